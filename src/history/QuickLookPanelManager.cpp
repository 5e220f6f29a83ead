#include "history/QuickLookPanelManager.h"

#include "clipboard/AppIconCache.h"
#include "history/QuickLookView.h"
#include "platform/Compositing.h"
#include "platform/Pasteboard.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QScreen>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>

QuickLookPanelManager::QuickLookPanelManager(Pasteboard& pasteboard, AppIconCache* icons, QObject* parent)
    : QObject(parent)
    , m_pasteboard(pasteboard)
    , m_icons(icons)
{
}

QuickLookPanelManager::~QuickLookPanelManager()
{
    delete m_view.data();
}

QWidget* QuickLookPanelManager::quickLookPanel() const
{
    return m_view.data();
}

QPoint QuickLookPanelManager::placement(const std::optional<QRect>& anchorFrame, const QRect& available)
{
    if (!anchorFrame)
        return QPoint(available.center().x() + 1 - panelWidth / 2, available.center().y() + 1 - panelHeight / 2);
    const QRect& h = *anchorFrame;
    int x = h.left() - panelWidth - gap;
    if (x < available.left())
        x = h.right() + 1 + gap;
    int y = h.center().y() + 1 - panelHeight / 2;
    x = qMax(available.left(), qMin(available.right() + 1 - panelWidth, x));
    y = qMax(available.top(), qMin(available.bottom() + 1 - panelHeight, y));
    return QPoint(x, y);
}

void QuickLookPanelManager::showQuickLook(const ClipItemPtr& item)
{
    hideQuickLook();
    if (!item)
        return;
    QPointer<QuickLookPanelManager> self(this);
    auto* view = new QuickLookView(
        item, m_pasteboard,
        [self] {
            if (self)
                self->hideQuickLook();
        },
        m_icons ? m_icons->cachedIcon(item->appBundleID) : std::nullopt);
    // A window that never takes the focus: the history panel keeps it, and its keys.
    view->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    view->setAttribute(Qt::WA_ShowWithoutActivating);
    if (Compositing::isActive())
        view->setAttribute(Qt::WA_TranslucentBackground);
    view->setAttribute(Qt::WA_DeleteOnClose, false);
    view->setWindowTitle(QStringLiteral("Quick Look"));
    view->resize(panelWidth, panelHeight);

    QWidget* anchor = m_anchor ? m_anchor() : nullptr;
    QScreen* screen = anchor ? anchor->screen() : QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        std::optional<QRect> anchorFrame;
        if (anchor)
            anchorFrame = anchor->frameGeometry();
        view->move(placement(anchorFrame, screen->availableGeometry()));
    }
    view->show();
    view->raise();
    m_view = view;
    qApp->installEventFilter(this);
}

void QuickLookPanelManager::hideQuickLook()
{
    if (!m_view)
        return;
    qApp->removeEventFilter(this);
    QuickLookView* view = m_view.data();
    m_view.clear();
    view->hide();
    view->deleteLater();
    emit closed();
}

bool QuickLookPanelManager::copySelection()
{
    if (!m_view || !m_view->textContent())
        return false;
    QTextCursor cursor = m_view->textContent()->textView()->textCursor();
    if (!cursor.hasSelection())
        return false;
    const QString selected = cursor.selection().toPlainText();
    m_pasteboard.clearContents();
    m_pasteboard.writeItems({{PasteboardTypes::utf8PlainText, selected.toUtf8()}});
    return true;
}

bool QuickLookPanelManager::eventFilter(QObject*, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && m_view) {
        // Closed after the event has been consumed, outside of its delivery.
        QTimer::singleShot(0, this, [this] { hideQuickLook(); });
        return true;
    }
    return false;
}
