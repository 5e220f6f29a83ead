#pragma once
#include "history/HistoryCommand.h"
#include "history/ClipItemViewModel.h"
#include "history/ClipRowView.h"
#include "history/HistoryTab.h"

#include <QWidget>
#include <functional>
#include <optional>

class ClipHistoryController;
class AppIconCache;
class ClipListView;
class DispatchQueue;
class ImageCache;
class ModelContext;
class NotificationCenter;
class Pasteboard;
class PasteService;
class Permissions;
class Preferences;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QuickLookPanelManager;
class SearchBar;
class SmartFilterBar;
class WindowManager;

// The content of the history panel: the Clipboard / Screenshots tabs, the search field, the
// filter chips, the accessibility banner (when synthetic keys are unavailable), the list of
// entries with its keyboard selection, and the footer. Carries out the commands the panel's keys
// post (move, paste, plain paste, copy, quick look, escape) on the clipboard list.
class HistoryView : public QWidget {
    Q_OBJECT
public:
    // What the Screenshots tab shows (the gallery's grid); without it the tab shows an empty state.
    using ScreenshotsPageFactory = std::function<QWidget*(QWidget* parent)>;
    // What a row's "Annotate" does with the entry's picture (the editor).
    using Annotator = std::function<void(const QImage& image)>;

    struct Needs {
        Preferences& preferences;
        NotificationCenter& notifications;
        PasteService& paste;
        WindowManager& windowManager;
        QuickLookPanelManager* quickLook = nullptr;
        // Absent (a view made outside the program): no accessibility banner.
        Permissions* permissions = nullptr;
        // What the footer's settings button opens (the settings window).
        std::function<void()> openSettings = {};
        ScreenshotsPageFactory screenshotsPage = {};
        Annotator annotate = {};
        // The rows' picture caches; absent (a view made outside the program): caches of its own.
        ImageCache* images = nullptr;
        AppIconCache* icons = nullptr;
        // Gives a dragged row's content the desktop's formats; absent: the stored types as they are.
        Pasteboard* pasteboard = nullptr;
    };

    HistoryView(ModelContext& context, Needs needs, std::function<void()> onDismiss, DispatchQueue* listQueue = nullptr,
        QWidget* parent = nullptr);
    ~HistoryView() override;

    ClipHistoryController& controller() { return *m_controller; }
    ClipListView* list() const { return m_list; }
    SearchBar* searchBar() const { return m_searchBar; }
    SmartFilterBar* filterBar() const { return m_filterBar; }
    HistoryTab selectedTab() const { return m_selectedTab; }
    void setSelectedTab(HistoryTab tab);
    int selectedIndex() const { return m_selectedIndex; }
    ClipItemViewModelPtr selectedViewModel() const;
    // The hovered entry, looked up by id in the current list (null when it is gone).
    ClipItemViewModelPtr hoveredViewModel() const;
    bool showingQuickLook() const { return m_showingQuickLook; }
    bool hasAccessibilityPermission() const { return m_hasAccessibilityPermission; }
    QWidget* accessibilityBanner() const { return m_banner; }
    QWidget* emptyState() const { return m_emptyState; }
    QString emptyStateTitle() const;
    QString footerCountText() const;
    QWidget* footer() const { return m_footer; }

    // The operations the notifications and rows call.
    void pasteItem(const ClipItemPtr& item, bool asPlainText);
    void selectItem(const ClipItemViewModelPtr& model);
    void moveSelection(int step);
    void showQuickLookForHoveredOrSelected();
    void hoverChanged(const ClipItemViewModelPtr& model, bool hovering);
    void recheckAccessibility();

    // The contrast the tab labels keep against their band.
    static constexpr qreal tabLabelContrast = 5.0;
    // The footer's count: "1 item", "N items".
    static QString itemCountText(size_t count);
    QWidget* screenshotsPage() const { return m_screenshotsContent; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeClipboardPage();
    QWidget* makeScreenshotsPage();
    void connectListAndController();
    void observeCommands();
    void runCommand(HistoryCommand command);
    QWidget* makeTabSwitcher();
    QWidget* makeFooter();
    QWidget* makeEmptyState();
    void setSelectedIndex(int index);
    void onFilteredListChanged();
    void updateEmptyState();
    void updateFooter();
    void updateTabButtons();
    void closeQuickLookRecord();
    bool onClipboardTab() const { return m_selectedTab == HistoryTab::clipboard; }
    ClipRowOptions rowOptions() const;

    ModelContext& m_context;
    Needs m_needs;
    Preferences& m_preferences;
    NotificationCenter& m_notifications;
    PasteService& m_pasteService;
    WindowManager& m_windowManager;
    QuickLookPanelManager* m_quickLook;
    std::function<void()> m_onDismiss;
    ClipHistoryController* m_controller;

    HistoryTab m_selectedTab = HistoryTab::clipboard;
    int m_selectedIndex = 0;
    bool m_showingQuickLook = false;
    std::optional<qint64> m_hoveredId;
    bool m_hasAccessibilityPermission = true;
    bool m_resetSelectionOnNextList = false;
    // The entry the selection marks, kept across refreshes.
    std::optional<qint64> m_selectedId;

    // What the switcher's band shows under the tab labels.
    QColor m_tabBand;
    QPushButton* m_clipboardTabButton = nullptr;
    QPushButton* m_screenshotsTabButton = nullptr;
    QWidget* m_screenshotsContent = nullptr;
    QStackedWidget* m_pages = nullptr;
    SearchBar* m_searchBar = nullptr;
    SmartFilterBar* m_filterBar = nullptr;
    QWidget* m_banner = nullptr;
    struct OwnPictures;
    std::unique_ptr<OwnPictures> m_ownPictures;
    ClipListView* m_list = nullptr;
    QWidget* m_emptyState = nullptr;
    QLabel* m_emptyTitle = nullptr;
    QLabel* m_emptyHint = nullptr;
    QWidget* m_footer = nullptr;
    QLabel* m_countLabel = nullptr;
    QWidget* m_hints = nullptr;
    QLabel* m_galleryHint = nullptr;
    QWidget* m_background = nullptr;
    QWidget* m_tint = nullptr;
};
