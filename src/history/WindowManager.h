#pragma once
#include "history/HistoryCommand.h"
#include "store/ModelContainerHolder.h"
#include "history/HistoryPanel.h"
#include "history/HistoryView.h"
#include "platform/Prefs.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <functional>
#include <optional>

class AppIconCache;
class ClipboardCryptoService;
class ImageCache;
class ModelContainer;
class NotificationCenter;
class Pasteboard;
class Permissions;
class PasteService;
class Preferences;
class QKeyEvent;
class QScreen;
class QuickLookPanelManager;
class Workspace;

// Owner of the floating history panel: creates it around the history view at the first show,
// places it (a column at the right edge of the screen under the pointer, or a free window below
// the top of that screen), shows and hides it, keeps its frame in "historyWindowFrame", hides it
// when it loses the focus ("closeOnFocusLoss"), and while it is shown turns its keys into the
// notifications the history view acts on. Main thread only.
class WindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 420;
    static constexpr int defaultHeight = 520;
    static constexpr int minWidth = 320;
    static constexpr int minHeight = 300;
    static constexpr int rightPanelWidth = 380;
    static constexpr int menuBarGap = 8;
    // A Space press held at least this long shows the quick look only while held.
    static constexpr qint64 spaceHoldMs = 300;
    // The longest a show waits for Qt to let go of the focus of a panel hidden a moment before.
    static constexpr int focusReleaseWaitMs = 500;
    static inline const QString windowFrameKey = Prefs::historyWindowFrame.key;

    // Builds the panel's content for the store's container; the content calls dismiss to close.
    using ContentFactory = std::function<QWidget*(ModelContainer& container, std::function<void()> dismiss)>;

    struct Needs {
        PasteService& paste;
        NotificationCenter& notifications;
        Preferences& preferences;
        QuickLookPanelManager* quickLook = nullptr;
        // Asked for the clipboard key when the panel opens; absent: nothing is asked.
        ClipboardCryptoService* crypto = nullptr;
        // What the history view gets beyond the services above.
        Permissions* permissions = nullptr;
        std::function<void()> openSettings = {};
        HistoryView::ScreenshotsPageFactory screenshotsPage = {};
        HistoryView::Annotator annotate = {};
        ImageCache* images = nullptr;
        AppIconCache* icons = nullptr;
        Pasteboard* pasteboard = nullptr;
    };

    explicit WindowManager(Needs needs);
    ~WindowManager() override;

    // Replaces the history view as the content of panels made from now on.
    void setContentFactory(ContentFactory factory) { m_contentFactory = std::move(factory); }

    bool isVisible() const { return m_isVisible; }
    HistoryPanel* historyPanel() const { return m_panel; }

    // Remembers the paste target first (while another application is still frontmost), then
    // creates the panel if needed, places it, activates it and posts "historyWindowDidShow".
    // Without a store container nothing is shown and nothing is posted. The panel can come on the
    // screen a moment later (see presentPanel); isVisible() turns true when it does.
    void showHistoryWindow();
    // Stores the frame, hides the panel and posts "historyWindowDidHide".
    void hideHistoryWindow();
    // Switches an existing panel between the right-edge column and the free floating window.
    void updatePanelMode(bool rightSide);
    // Adds or removes the title bar of an existing panel.
    void updateTitleBar(bool hidden);

    // Rectangle strings as stored under "historyWindowFrame": "{{x, y}, {w, h}}".
    static QString rectToString(const QRect& rect);
    static std::optional<QRect> rectFromString(const QString& text);
    // The screen under the pointer, else the primary screen (may be none).
    static QScreen* activeScreen();

    // Handles one key event meant for the panel or its quick look while the panel is shown;
    // true when the event was consumed. Exposed for tests; the manager's event filter calls it.
    bool handleKeyEvent(QKeyEvent* event);
    bool isQuickLookOpenFromTap() const { return m_isQuickLookOpenFromTap; }
    // The monotonic clock (milliseconds) that times Space presses; tests drive their own.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

signals:
    void isVisibleChanged(bool visible);
    // A key of the panel asks its content for a command.
    void commandIssued(HistoryCommand command);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool createPanel();
    // Puts the panel of a pending show on the screen with the keyboard focus, as soon as nothing
    // holds it back, and announces it.
    void presentPanel();
    // Ends the wait for Qt to let go of the focus of the panel hidden a moment before: it let go,
    // or (`waitedOut`) focusReleaseWaitMs passed, and the pending show goes ahead either way.
    void endFocusWait(bool waitedOut);
    void positionPanel();
    void placeBelowMenuBar();
    void setRightEdgeFrame();
    // The frame around the panel where it has a title bar: as the panel reports it, else as it
    // was the last time it was known (an unframed panel reports none).
    QMargins panelFrameMargins();
    void storeFrame();
    void installKeyMonitors();
    void removeKeyMonitors();
    bool isForPanelOrQuickLook(QObject* receiver) const;
    void setVisible(bool visible);
    // Notifications that leave the panel: only names NotificationNames makes.
    void post(const QString& name);

    Needs m_needs;
    PasteService& m_pasteService;
    NotificationCenter& m_notifications;
    Preferences& m_preferences;
    QuickLookPanelManager* m_quickLook;
    // The paste service's: it brings the panel to the front with the keyboard focus and tells
    // the frame of a titled panel before the panel appears.
    Workspace& m_workspace;
    ContentFactory m_contentFactory;
    QPointer<HistoryPanel> m_panel;
    bool m_isVisible = false;
    bool m_keyMonitorsInstalled = false;
    bool m_isHiding = false;
    QMargins m_knownFrameMargins;
    bool m_showPending = false;
    bool m_awaitingFrameExtents = false;
    bool m_frameExtentsAsked = false;
    QMetaObject::Connection m_focusRelease;
    QTimer m_focusReleaseBound;
    bool m_focusWaitedOut = false;
    std::function<qint64()> m_clock;
    std::optional<qint64> m_spacebarDownTime;
    bool m_isQuickLookOpenFromTap = false;
    // The key event last seen by the filter: propagation to parents shows it again.
    const QEvent* m_lastKeyEvent = nullptr;
    QPointer<QWidget> m_lastKeyReceiver;
};
