#include "history/NotchShelfWindowManager.h"

#include "platform/Shared.h"

#include "history/ShelfTransitionEffect.h"

#include "history/NotchShelfPanel.h"
#include "history/QuickLookPanelManager.h"
#include "platform/Compositing.h"
#include "platform/Console.h"
#include "platform/DisplayList.h"
#include "platform/NotificationCenter.h"
#include "platform/PointerLocation.h"
#include "platform/Preferences.h"
#include "platform/WindowShape.h"
#include "store/ModelContainer.h"

#include <QApplication>
#include <QPainterPath>

NotchShelfWindowManager::NotchShelfWindowManager(Needs needs)
    : ModelContainerHolder("NotchShelfWindowManager")
    , m_preferences(needs.preferences)
    , m_displays(needs.displays)
    , m_pointer(needs.pointer)
    , m_shape(needs.shape)
    , m_notifications(needs.notifications)
    , m_mainQueue(needs.mainQueue)
    , m_isCompositing(
          needs.isCompositing ? std::move(needs.isCompositing) : std::function<bool()>(&Compositing::isActive))
    , m_quickLook(needs.quickLook)
    , m_hover(needs.mainQueue)
    , m_alive(std::make_shared<NotchShelfWindowManager*>(this))
{
}

NotchShelfWindowManager::~NotchShelfWindowManager()
{
    m_alive.reset();
    // Without an application its windows are gone already.
    if (!qApp)
        return;
    hidePanel();
}

void NotchShelfWindowManager::setEnabled(bool enabled)
{
    m_isEnabled = enabled;
    if (enabled)
        showPanel();
    else
        hidePanel();
}

void NotchShelfWindowManager::toggleExpanded()
{
    if (!m_isEnabled)
        return;
    if (!m_panel)
        showPanel();
    m_hover.cancel();
    setExpanded(!m_isExpanded);
}

NotchShelfGeometry NotchShelfWindowManager::geometry() const
{
    const QList<DisplayDescription> displays = m_displays ? m_displays->displays() : QList<DisplayDescription>();
    const QString stored = m_preferences ? m_preferences->stringForKey(displayKey) : QString();
    return NotchShelfGeometry(NotchShelfGeometry::resolveTargetScreen(displays, stored), m_contentHeight);
}

void NotchShelfWindowManager::showPanel()
{
    if (m_panel) {
        m_panel->show();
        m_panel->raise();
        return;
    }
    if (!container())
        return;

    const NotchShelfGeometry shelf = geometry();
    m_panel = new NotchShelfPanel();
    m_panel->resize(shelf.panelWidth(), shelf.panelHeight());
    connect(m_panel, &NotchShelfPanel::resignedKey, this, [this] { onResignKey(); });
    positionPanel();
    m_panel->winId(); // the native window exists before it is shaped
    updateInteractiveRegion();
    m_panel->show();
    m_panel->raise();

    m_screenObserver = m_notifications.observe(
        screenParametersNotification, this, [this](const QVariantMap&) { onScreenParametersChanged(); });
    if (m_pointer) {
        m_pointerInside = false;
        std::weak_ptr<NotchShelfWindowManager*> alive = m_alive;
        m_pollTimer = m_mainQueue.scheduleRepeating(pointerPollInterval, [alive] {
            if (const auto self = alive.lock())
                (*self)->pollPointer();
        });
    }
}

void NotchShelfWindowManager::hidePanel()
{
    if (m_screenObserver)
        m_notifications.removeObserver(m_screenObserver);
    m_screenObserver = 0;
    m_pollTimer.reset();
    m_hover.cancel();
    m_pointerInside = false;
    m_interactions = 0;
    const bool wasExpanded = m_isExpanded;
    m_isExpanded = false;
    delete m_content;
    if (m_panel) {
        m_panel->hide();
        m_panel->deleteLater();
        m_panel = nullptr;
    }
    m_hoverTrackingFrame = QRect();
    m_interactiveFrame = QRect();
    if (wasExpanded)
        emit isExpandedChanged(false);
}

void NotchShelfWindowManager::positionPanel()
{
    if (!m_panel)
        return;
    const std::optional<QRect> frame = geometry().panelFrame();
    if (!frame)
        return;
    m_panel->setGeometry(*frame);
}

QRegion NotchShelfWindowManager::visibleRegion() const
{
    if (m_interactiveFrame.isEmpty())
        return QRegion();
    // The card's rounded corners (radius 20) leave the desktop visible without a compositor.
    QPainterPath path;
    path.addRoundedRect(QRectF(m_interactiveFrame), 20, 20);
    return QRegion(path.toFillPolygon().toPolygon());
}

void NotchShelfWindowManager::updateInteractiveRegion()
{
    if (!m_panel)
        return;
    const NotchShelfGeometry shelf(geometry());
    const QRect hover = shelf.collapsedHoverFrame();
    const QRect content = shelf.expandedContentFrame();
    m_hoverTrackingFrame = m_isExpanded ? hover.united(content) : hover;
    m_interactiveFrame = m_isExpanded ? content : QRect();
    if (m_content)
        m_content->setGeometry(content);
    // Collapsed, nothing of the panel exists for the pointer; without a compositor nothing of it
    // is drawn either (its clear pixels would show black).
    if (m_shape)
        m_shape->setShape(m_panel, visibleRegion(), !m_isCompositing());
}

void NotchShelfWindowManager::pollPointer()
{
    if (!m_panel || !m_pointer)
        return;
    const std::optional<QPoint> position = m_pointer->position();
    const QRect tracked = m_hoverTrackingFrame.translated(m_panel->geometry().topLeft());
    const bool inside = position && tracked.contains(*position);
    // A press outside while the shelf holds the keyboard is a click into another window, one the
    // window manager will not focus (it never knew the shelf had the keyboard): collapse.
    if (!inside && m_isExpanded && panelIsKey() && !isInteracting() && m_pointer->isButtonDown()) {
        m_pointerInside = false;
        m_hover.cancel();
        setExpanded(false);
        return;
    }
    if (inside == m_pointerInside)
        return;
    m_pointerInside = inside;
    handleHoverChanged(inside);
}

void NotchShelfWindowManager::handleHoverChanged(bool isHovering)
{
    m_hover.cancel();
    if (isHovering) {
        m_hover.scheduleEnter([this] {
            if (!m_isExpanded)
                setExpanded(true);
        });
        return;
    }
    if (panelIsKey())
        return;
    m_hover.scheduleExit([this] {
        if (m_isExpanded && !isInteracting())
            setExpanded(false);
    });
}

bool NotchShelfWindowManager::panelIsKey() const
{
    return m_panel && m_panel->isActiveWindow();
}

void NotchShelfWindowManager::setExpanded(bool expanded)
{
    if (m_isExpanded == expanded)
        return;
    m_isExpanded = expanded;
    // Windows mapped since may lie above the panel: the card comes to the front.
    if (expanded && m_panel)
        m_panel->raise();
    if (expanded && m_panel && !m_content && m_contentFactory) {
        if (const std::shared_ptr<ModelContainer> store = container()) {
            m_content = m_contentFactory(*store, *this, m_panel);
            m_content->show();
            ShelfTransitionEffect::enter(m_content);
        }
    } else if (!expanded) {
        if (panelIsKey() && m_focusReturn)
            m_focusReturn();
        m_interactions = 0;
        // The card leaves with its transition (seen where a compositor draws the panel; without
        // one the panel's shape hides it at once), taking no input meanwhile.
        if (QWidget* leaving = m_content.data()) {
            leaving->setAttribute(Qt::WA_TransparentForMouseEvents);
            leaving->setEnabled(false);
            QPointer<QWidget> card(leaving);
            ShelfTransitionEffect::leave(leaving, [card] {
                if (card)
                    card->deleteLater();
            });
        }
        m_content = nullptr;
    }
    updateInteractiveRegion();
    if (m_panel)
        m_panel->update();
    emit isExpandedChanged(expanded);
}

void NotchShelfWindowManager::showQuickLook(const ClipItemPtr& item)
{
    if (!m_quickLook)
        return;
    m_quickLook->showQuickLook(item);
    // Below the card rather than beside the history panel, which may be hidden.
    QWidget* preview = m_quickLook->quickLookPanel();
    if (!preview || !m_panel)
        return;
    const QRect shelf = m_panel->geometry();
    QRect frame(QPoint(shelf.center().x() - preview->width() / 2, shelf.bottom() + 1 + 8), preview->size());
    if (const std::optional<DisplayDescription> display = geometry().targetDisplay()) {
        const QRect area = display->visibleFrame;
        frame.moveLeft(std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - frame.width())));
        frame.moveTop(std::min(frame.top(), std::max(area.top(), area.bottom() + 1 - frame.height())));
    }
    preview->move(frame.topLeft());
}

void NotchShelfWindowManager::onResignKey()
{
    if (m_isExpanded && !isInteracting())
        setExpanded(false);
}

void NotchShelfWindowManager::onScreenParametersChanged()
{
    if (!m_isEnabled)
        return;
    hidePanel();
    showPanel();
}

void NotchShelfWindowManager::beginInteraction()
{
    ++m_interactions;
    m_hover.cancel();
}

void NotchShelfWindowManager::endInteraction()
{
    if (m_interactions == 0)
        return;
    if (--m_interactions > 0 || !m_isExpanded)
        return;
    // The pointer may have left while the menu or drag ran: a fresh poll schedules the collapse.
    m_pointerInside = true;
    pollPointer();
}

QList<NotchShelfWindowManager::DisplayOption> NotchShelfWindowManager::availableDisplayOptions(
    const QList<DisplayDescription>& displays)
{
    QList<DisplayOption> options {{QString(), QStringLiteral("Automatic (Main Display)")}};
    for (const DisplayDescription& display : displays)
        if (!display.identifier.isEmpty())
            options.append({display.identifier, display.name});
    return options;
}

QList<NotchShelfWindowManager::DisplayOption> NotchShelfWindowManager::availableDisplayOptions() const
{
    return availableDisplayOptions(m_displays ? m_displays->displays() : QList<DisplayDescription>());
}
