#include "history/WindowManager.h"

#include "platform/NotificationNames.h"

#include "clipboard/PasteService.h"
#include "history/HistoryPanel.h"
#include "history/HistoryView.h"
#include "history/QuickLookPanelManager.h"
#include "platform/Compositing.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "platform/Prefs.h"
#include "platform/Shared.h"
#include "platform/Workspace.h"
#include "store/ClipboardCryptoService.h"
#include "store/ModelContainer.h"
#include "ui/WindowActivation.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

WindowManager::WindowManager(Needs needs)
    : ModelContainerHolder("WindowManager")
    , m_needs(std::move(needs))
    , m_pasteService(m_needs.paste)
    , m_notifications(m_needs.notifications)
    , m_preferences(m_needs.preferences)
    , m_quickLook(m_needs.quickLook)
    , m_workspace(m_pasteService.workspace())
{
    m_focusReleaseBound.setSingleShot(true);
    m_focusReleaseBound.setInterval(focusReleaseWaitMs);
    connect(&m_focusReleaseBound, &QTimer::timeout, this, [this] { endFocusWait(true); });
    m_clock = [] {
        static QElapsedTimer timer;
        if (!timer.isValid())
            timer.start();
        return timer.elapsed();
    };
    if (m_quickLook) {
        m_quickLook->setAnchor([self = QPointer<WindowManager>(this)]() -> QWidget* {
            return self ? static_cast<QWidget*>(self->m_panel.data()) : nullptr;
        });
        // However the quick look closes, a later Space press opens it again.
        connect(m_quickLook, &QuickLookPanelManager::closed, this, [this] { m_isQuickLookOpenFromTap = false; });
    }
    m_contentFactory = [this](ModelContainer& container, std::function<void()> dismiss) -> QWidget* {
        return new HistoryView(container.mainContext(),
            {m_preferences, m_notifications, m_pasteService, *this, m_quickLook, m_needs.permissions,
                m_needs.openSettings, m_needs.screenshotsPage, m_needs.annotate, m_needs.images, m_needs.icons,
                m_needs.pasteboard},
            std::move(dismiss));
    };
}

WindowManager::~WindowManager()
{
    removeKeyMonitors();
    delete m_panel.data();
}

QString WindowManager::rectToString(const QRect& rect)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

std::optional<QRect> WindowManager::rectFromString(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\s*\{\s*\{\s*(-?\d+(?:\.\d+)?)\s*,\s*(-?\d+(?:\.\d+)?)\s*\}\s*,\s*\{\s*(\d+(?:\.\d+)?)\s*,\s*(\d+(?:\.\d+)?)\s*\}\s*\}\s*$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    auto number = [&](int i) { return qRound(qBound(-1e7, match.captured(i).toDouble(), 1e7)); };
    return QRect(number(1), number(2), number(3), number(4));
}

QScreen* WindowManager::activeScreen()
{
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}

void WindowManager::showHistoryWindow()
{
    m_pasteService.captureTargetApp();
    // The entries open with the clipboard key: opening the history may ask to unlock the keychain
    // (off the main thread).
    if (m_needs.crypto)
        m_needs.crypto->requestKey(ClipboardCryptoService::KeyReason::UserAction);
    if (!m_panel && !createPanel())
        return;
    positionPanel();
    m_panel->setWindowOpacity(1.0);
    m_showPending = true;
    presentPanel();
}

void WindowManager::hideHistoryWindow()
{
    m_showPending = false;
    removeKeyMonitors();
    if (m_panel) {
        storeFrame();
        // Ordering the panel out takes its focus away: that is no focus loss to react to.
        m_isHiding = true;
        m_panel->hide();
        m_isHiding = false;
    }
    setVisible(false);
    post(NotificationNames::historyWindowDidHide);
}

void WindowManager::presentPanel()
{
    if (!m_showPending || m_awaitingFrameExtents)
        return;
    // A titled column is placed frame and all: the first time, the window manager is asked for
    // the frame it will draw before the panel appears, so that the panel neither shows up at
    // a wrong place and moves nor is laid out twice.
    if (!m_frameExtentsAsked && !m_panel->titleBarHidden() && m_preferences.boolForKey(Prefs::showAsRightPanel.key)
        && panelFrameMargins().isNull()) {
        m_frameExtentsAsked = true;
        m_awaitingFrameExtents = true;
        QPointer<WindowManager> self(this);
        if (m_workspace.requestFrameExtents(
                static_cast<quint64>(m_panel->winId()), [self](std::optional<QMargins> extents) {
                    if (!self || !self->m_awaitingFrameExtents)
                        return;
                    self->m_awaitingFrameExtents = false;
                    if (extents)
                        self->m_knownFrameMargins = *extents;
                    if (self->m_showPending) {
                        self->positionPanel();
                        self->presentPanel();
                    }
                }))
            return; // the answer is never given before the request returns
        // Not asked: the panel stays where showHistoryWindow placed it.
        m_awaitingFrameExtents = false;
    }
    // A panel hidden while it held the focus stays Qt's focus window until Qt has handled the
    // focus leaving it. Given the focus back before that, it would count as inactive: no focused
    // search field, and no focus loss to hide on. It comes on the screen once Qt let go, at most
    // a moment later (after focusReleaseWaitMs at the latest, where Qt never lets go).
    if (QWindow* window = m_panel->windowHandle();
        window && !m_focusWaitedOut && !m_panel->isVisible() && QGuiApplication::focusWindow() == window) {
        if (!m_focusRelease) {
            m_focusRelease = connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] { endFocusWait(false); });
            m_focusReleaseBound.start();
        }
        return;
    }
    m_showPending = false;
    m_panel->show();
    // Qt's own request carries the time of the last event Qt saw, which can be older than the
    // user's last input when a global hotkey opened the panel; the workspace's carries the current one.
    WindowActivation::activate(m_panel, &m_workspace);
    setVisible(true);
    installKeyMonitors();
    post(NotificationNames::historyWindowDidShow);
}

void WindowManager::endFocusWait(bool waitedOut)
{
    if (!m_focusRelease)
        return;
    disconnect(m_focusRelease);
    m_focusRelease = {};
    m_focusReleaseBound.stop();
    m_focusWaitedOut = waitedOut;
    presentPanel();
    m_focusWaitedOut = false;
}

bool WindowManager::createPanel()
{
    const std::shared_ptr<ModelContainer> store = container();
    if (!store)
        return false;

    QRect frame(0, 0, defaultWidth, defaultHeight);
    if (const auto saved = rectFromString(m_preferences.stringForKey(windowFrameKey));
        saved && saved->width() >= minWidth && saved->height() >= minHeight)
        frame = *saved;

    auto* panel = new HistoryPanel(m_preferences.boolForKey(Prefs::hideTitleBar.key));
    // Rounded, see-through corners only where a compositor blends windows.
    if (Compositing::isActive())
        panel->setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    QPointer<WindowManager> self(this);
    layout->addWidget(m_contentFactory(*store, [self] {
        if (self)
            self->hideHistoryWindow();
    }));
    panel->setGeometry(frame);

    connect(panel, &HistoryPanel::frameMarginsChanged, this, [this] {
        // Framed (or framed anew) after it was placed: the right-edge column takes the frame in.
        if (m_isVisible && m_preferences.boolForKey(Prefs::showAsRightPanel.key))
            setRightEdgeFrame();
    });
    connect(panel, &HistoryPanel::moved, this, [this] { storeFrame(); });
    connect(panel, &HistoryPanel::resized, this, [this] { storeFrame(); });
    connect(panel, &HistoryPanel::resignedKey, this, [this] {
        if (!m_isVisible || m_isHiding)
            return;
        post(NotificationNames::historyWindowDidResignKey);
        if (m_preferences.boolForKey(Prefs::closeOnFocusLoss.key))
            hideHistoryWindow();
    });
    m_panel = panel;
    return true;
}

void WindowManager::positionPanel()
{
    if (m_preferences.boolForKey(Prefs::showAsRightPanel.key)) {
        setRightEdgeFrame();
        return;
    }
    if (m_preferences.stringForKey(windowFrameKey).isEmpty())
        placeBelowMenuBar();
}

QMargins WindowManager::panelFrameMargins()
{
    if (m_panel->titleBarHidden())
        return {};
    if (const QMargins reported = m_panel->frameMargins(); !reported.isNull())
        m_knownFrameMargins = reported;
    return m_knownFrameMargins;
}

void WindowManager::setRightEdgeFrame()
{
    if (QScreen* screen = activeScreen()) {
        const QRect available = screen->availableGeometry();
        // The column holds the panel with the title bar and borders the window manager draws
        // around it, all inside the available area (below a top bar, above a bottom one).
        const QRect column(
            available.right() + 1 - rightPanelWidth, available.top(), rightPanelWidth, available.height());
        const QRect client = column.marginsRemoved(panelFrameMargins());
        // Straight from one fixed size to the next (minimum and maximum told to the window manager
        // at once), and only when the size changes: a window manager draws a resizable window's
        // frame otherwise (a grip at its foot), and the frame would change under the placement.
        if (m_panel->minimumSize() != client.size() || m_panel->maximumSize() != client.size())
            m_panel->setFixedSize(client.size());
        if (m_panel->geometry() != client)
            m_panel->setGeometry(client);
    }
    m_panel->setResizable(false);
    m_panel->setMovableByBackground(false);
}

void WindowManager::placeBelowMenuBar()
{
    QScreen* screen = activeScreen();
    if (!screen || !m_panel)
        return;
    // Panels and docks at the top are outside the available area: the window starts 8 pixels
    // below them, centred, and kept inside the available area on every arrangement of screens.
    const QRect available = screen->availableGeometry();
    const QSize size = m_panel->size();
    int x = available.center().x() + 1 - size.width() / 2;
    x = qMax(available.left(), qMin(x, available.right() + 1 - size.width()));
    const int y = available.top() + menuBarGap;
    m_panel->move(x, y);
}

void WindowManager::updatePanelMode(bool rightSide)
{
    if (!m_panel)
        return;
    if (rightSide) {
        setRightEdgeFrame();
        return;
    }
    m_panel->setResizable(true);
    m_panel->setMovableByBackground(true);
    m_panel->setGeometry(0, 0, defaultWidth, defaultHeight);
    placeBelowMenuBar();
}

void WindowManager::updateTitleBar(bool hidden)
{
    if (!m_panel)
        return;
    // In the right-edge column the panel is placed for its new frame before it shows again.
    m_panel->setTitleBarHidden(hidden, [this] {
        if (m_preferences.boolForKey(Prefs::showAsRightPanel.key))
            setRightEdgeFrame();
    });
}

void WindowManager::storeFrame()
{
    if (m_panel)
        m_preferences.set(windowFrameKey, rectToString(m_panel->geometry()));
}

void WindowManager::installKeyMonitors()
{
    removeKeyMonitors();
    qApp->installEventFilter(this);
    m_keyMonitorsInstalled = true;
}

void WindowManager::removeKeyMonitors()
{
    if (!m_keyMonitorsInstalled)
        return;
    qApp->removeEventFilter(this);
    m_keyMonitorsInstalled = false;
}

bool WindowManager::isForPanelOrQuickLook(QObject* receiver) const
{
    if (!receiver || !receiver->isWidgetType())
        return false;
    const QWidget* window = static_cast<QWidget*>(receiver)->window();
    if (m_panel && window == m_panel)
        return true;
    return m_quickLook && m_quickLook->quickLookPanel() && window == m_quickLook->quickLookPanel();
}

bool WindowManager::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    // A key the first receiver ignores travels to its parents and passes the filter again.
    if (event == m_lastKeyEvent && m_lastKeyReceiver && watched->isWidgetType() && watched != m_lastKeyReceiver
        && static_cast<QWidget*>(watched)->isAncestorOf(m_lastKeyReceiver))
        return false;
    m_lastKeyEvent = event;
    m_lastKeyReceiver = watched->isWidgetType() ? static_cast<QWidget*>(watched) : nullptr;
    if (!m_isVisible || !isForPanelOrQuickLook(watched))
        return false;
    return handleKeyEvent(key);
}

bool WindowManager::handleKeyEvent(QKeyEvent* event)
{
    if (!m_isVisible)
        return false;
    // Caps Lock and Num Lock are no modifiers here; the keypad flag of arrow keys is allowed.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();

    if (event->type() == QEvent::KeyRelease) {
        if (key != Qt::Key_Space || event->isAutoRepeat())
            return key == Qt::Key_Space;
        if (m_spacebarDownTime) {
            if (m_clock() - *m_spacebarDownTime < spaceHoldMs) {
                m_isQuickLookOpenFromTap = true;
            } else {
                emit commandIssued(HistoryCommand::hideQuickLook);
                m_isQuickLookOpenFromTap = false;
            }
        }
        m_spacebarDownTime.reset();
        return true;
    }

    if (modifiers == Qt::NoModifier && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        emit commandIssued(key == Qt::Key_Up ? HistoryCommand::moveSelectionUp : HistoryCommand::moveSelectionDown);
        return true;
    }
    if (modifiers == Qt::NoModifier) {
        switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit commandIssued(HistoryCommand::pasteSelectedItem);
            return true;
        case Qt::Key_Escape:
            emit commandIssued(HistoryCommand::escapePressed);
            return true;
        case Qt::Key_Space: {
            // Typing a blank into a search that already holds text.
            if (auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
                field && field->window() == m_panel && !field->text().isEmpty())
                return false;
            if (event->isAutoRepeat())
                return false;
            if (!m_isQuickLookOpenFromTap) {
                m_spacebarDownTime = m_clock();
                emit commandIssued(HistoryCommand::showQuickLook);
            } else {
                emit commandIssued(HistoryCommand::hideQuickLook);
                m_isQuickLookOpenFromTap = false;
            }
            return true;
        }
        default:
            return false;
        }
    }
    if (modifiers == Qt::ShiftModifier && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        emit commandIssued(HistoryCommand::pasteSelectedItemAsPlainText);
        return true;
    }
    // The command key of the desktop is Control.
    if (modifiers == Qt::ControlModifier && key == Qt::Key_C) {
        if (m_quickLook && m_quickLook->quickLookPanel() && m_quickLook->copySelection())
            return true;
        emit commandIssued(HistoryCommand::copySelectedItem);
        return true;
    }
    return false;
}

void WindowManager::setVisible(bool visible)
{
    if (m_isVisible == visible)
        return;
    m_isVisible = visible;
    emit isVisibleChanged(visible);
}

void WindowManager::post(const QString& name)
{
    m_notifications.post(name);
}
