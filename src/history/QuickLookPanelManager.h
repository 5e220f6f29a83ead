#pragma once
#include "history/QuickLookView.h"
#include "store/ClipItem.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>
#include <optional>

class AppIconCache;
class Pasteboard;
class QWidget;

// The one quick look of a history entry: a borderless 500 x 400 window beside the history panel
// (8 pixels to its left, or to its right when the left has no room), on the panel's screen,
// that never takes the keyboard focus, so the panel keeps it. Escape closes it. Main thread only.
class QuickLookPanelManager : public QObject {
    Q_OBJECT
public:
    static constexpr int panelWidth = 500;
    static constexpr int panelHeight = 400;
    static constexpr int gap = 8;

    // The quick look copies through pasteboard; icons shows the entry's application icon when it
    // is cached already (absent: no icon).
    explicit QuickLookPanelManager(Pasteboard& pasteboard, AppIconCache* icons = nullptr, QObject* parent = nullptr);
    ~QuickLookPanelManager() override;

    // The window the quick look sits beside (the history panel); may answer null.
    void setAnchor(std::function<QWidget*()> anchor) { m_anchor = std::move(anchor); }

    // Closes any open quick look, then shows this entry.
    void showQuickLook(const ClipItemPtr& item);
    // Closes the quick look if one is shown.
    void hideQuickLook();
    QWidget* quickLookPanel() const;
    QuickLookView* quickLookView() const { return m_view; }

    // Copies the text selected in the quick look as plain text; false when nothing is selected.
    bool copySelection();

    // The origin of the quick look beside an anchor frame, kept inside the available area;
    // without an anchor, centred on it.
    static QPoint placement(const std::optional<QRect>& anchorFrame, const QRect& available);

signals:
    // The quick look went away, by whatever path.
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Pasteboard& m_pasteboard;
    AppIconCache* m_icons;
    std::function<QWidget*()> m_anchor;
    QPointer<QuickLookView> m_view;
};
