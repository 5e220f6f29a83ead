#pragma once
#include "history/ClipItemViewModel.h"
#include "history/ClipRowText.h"

#include <QDateTime>
#include <QFont>
#include <QRect>
#include <QStringList>
#include <QImage>
#include <QWidget>
#include <functional>

class ClipDragSourceView;
class Pasteboard;
class QMenu;
class QToolButton;

// The preferences a row follows.
struct ClipRowOptions {
    int imageThumbnailSize = 2; // 0, 1, 2, or 3 (full-width images)
    bool showFullText = true;
    bool doubleClickToPaste = false;
    bool operator==(const ClipRowOptions&) const = default;
};

// What a row asks of its host.
struct ClipRowActions {
    std::function<void()> onSelect; // paste with every representation
    std::function<void()> onPin;
    std::function<void()> onPastePlainText;
    std::function<void()> onDelete;
    std::function<void(bool)> onHoverChange;
    std::function<void()> onSingleTapSelect; // make the row the selection (double-click mode)
    std::function<void()> onCopy;            // copy the entry to the clipboard
    std::function<void(const QImage&)> onAnnotate; // open the entry's picture in the editor
};

// The layout of a history row (its source application, a title by kind, the application name and
// age, Final Cut Pro facts, and a thumbnail or, with the full-width setting, the whole image), and
// the widget laid over the one row under the pointer: the list's delegate paints every row, this
// transparent widget takes the row's gestures. It can be dragged out, clicked (paste, or select
// with "doubleClickToPaste"), pinned, opened as selectable text, and offers a context menu.
class ClipRowView : public QWidget {
    Q_OBJECT
public:
    enum class Kind { fcp, video, file, image, link, text };
    static constexpr int trailingClickInset = 48;

    // `pasteboard` gives the desktop's drag formats (none: the stored types as they are).
    ClipRowView(const ClipItemViewModelPtr& viewModel, const ClipRowOptions& options, ClipRowActions actions,
        Pasteboard* pasteboard, QWidget* parent = nullptr);

    const ClipItemViewModelPtr& viewModel() const { return m_viewModel; }
    bool isHovering() const { return m_isHovering; }
    // The pointer entered or left the row (its buttons show, the host is told).
    void setHovering(bool hovering);
    // Replaces the entry shown (a pin toggled in place).
    void setViewModel(const ClipItemViewModelPtr& viewModel);

    static Kind kindOf(const ClipItemViewModel& model);
    static QSize thumbnailSize(int imageThumbnailSize);
    static bool usesFullWidthLayout(const ClipItemViewModel& model, const ClipRowOptions& options);
    // The title of the standard layout and how many lines it may take (0: no limit).
    struct Title {
        QString text;
        int maxLines = 2;
        bool accent = false;
    };
    static Title titleOf(const ClipItemViewModel& model, const ClipRowOptions& options);
    static QString fcpPreviewText(const ClipItemViewModel& model) { return ClipRowText::fcpPreviewText(model); }
    static QString fcpBadgeText(const ClipItemViewModel& model) { return ClipRowText::fcpBadgeText(model); }
    // The abbreviated age of a time ("now", "5 min. ago", "3 hr. ago", "2 days ago", ...).
    static QString relativeDateString(const QDateTime& time, const QDateTime& now = QDateTime::currentDateTimeUtc())
    {
        return ClipRowText::relativeDateString(time, now);
    }
    static bool offersSelectText(const ClipItemViewModel& model);

    // The row's height at a width, as the list lays it out (same layout as the row draws).
    static int heightFor(const ClipItemViewModel& model, const ClipRowOptions& options, int width);
    // A close guess of that height without laying the text out (no shaping): lines are counted
    // from the characters at an average width.
    static int estimatedHeightFor(const ClipItemViewModel& model, const ClipRowOptions& options, int width);

    // The context menu's item texts in order, "" for a divider.
    QStringList contextMenuTexts() const;
    QMenu* buildContextMenu();
    ClipDragSourceView* dragSource() const { return m_dragSource; }
    QToolButton* pinButton() const { return m_pinButton; }
    QToolButton* selectTextButton() const { return m_selectTextButton; }
    // Opens the popover with the whole text, selectable.
    QWidget* showSelectableTextPopover();

    static QFont titleFont();
    static QFont metaFont();

    // Where a row of a width places its parts (the title's lines laid out unless only estimated).
    struct Geometry {
        bool fullWidth = false;
        int height = 0;
        QRect icon;
        QRect thumbnail;
        QRect title;
        QStringList titleLines;
        QRect meta;
        QRect image;
        QRect pin;
        QRect selectText;
    };
    static Geometry computeGeometry(
        const ClipItemViewModel& model, const ClipRowOptions& options, int width, bool exactText = true);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void rebuild();
    void updateButtons();
    void annotate();

    ClipItemViewModelPtr m_viewModel;
    ClipRowOptions m_options;
    ClipRowActions m_actions;
    Pasteboard* m_pasteboard;
    bool m_isHovering = false;
    QToolButton* m_pinButton = nullptr;
    QToolButton* m_selectTextButton = nullptr;
    ClipDragSourceView* m_dragSource = nullptr;
};
