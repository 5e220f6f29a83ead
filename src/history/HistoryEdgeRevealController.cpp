#include "history/HistoryEdgeRevealController.h"

#include "platform/Shared.h"

#include "history/HistoryEdgeTabPanel.h"
#include "history/NotchShelfWindowManager.h"
#include "history/WindowManager.h"
#include "platform/Compositing.h"
#include "platform/DisplayList.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/WindowShape.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

HistoryEdgeRevealController::HistoryEdgeRevealController(Needs needs)
    : m_needs(std::move(needs))
    , m_displays(m_needs.displays)
    , m_shape(m_needs.shape)
    , m_notifications(m_needs.notifications)
    , m_isCompositing(m_needs.isCompositing ? m_needs.isCompositing : std::function<bool()>(&Compositing::isActive))
    , m_hover(m_needs.mainQueue)
{
}

HistoryEdgeRevealController::~HistoryEdgeRevealController()
{
    // Without an application its windows are gone already.
    if (!qApp)
        return;
    qApp->removeEventFilter(this);
    hideTab();
}

void HistoryEdgeRevealController::setEnabled(bool enabled)
{
    m_isEnabled = enabled;
    if (enabled)
        showTab();
    else
        hideTab();
}

void HistoryEdgeRevealController::showTab()
{
    if (!m_panels.isEmpty()) {
        for (const QPointer<HistoryEdgeTabPanel>& tab : m_panels)
            if (tab) {
                tab->show();
                tab->raise();
            }
        return;
    }
    QList<QRect> frames;
    if (m_displays) {
        for (const DisplayDescription& display : m_displays->displays())
            frames.append(display.frame);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        frames.append(screen->geometry());
    }
    for (const QRect& frame : frames) {
        const bool compositing = m_isCompositing();
        auto* tab = new HistoryEdgeTabPanel(compositing);
        tab->setOnHoverChanged([self = QPointer<HistoryEdgeRevealController>(this)](bool hovering) {
            if (self)
                self->setHoveringTab(hovering);
        });
        // Flush against the right edge, centred on the whole display.
        tab->move(tab->originFor(frame));
        tab->winId();
        if (m_shape)
            m_shape->setShape(tab, tab->tabRegion(), !compositing);
        tab->show();
        tab->raise();
        m_panels.append(tab);
    }
    installObservers();
}

void HistoryEdgeRevealController::hideTab()
{
    removeObservers();
    m_hover.cancel();
    m_isHoveringTab = false;
    m_isHoveringContent = false;
    for (const QPointer<HistoryEdgeTabPanel>& tab : m_panels)
        if (tab) {
            tab->hide();
            tab->deleteLater();
        }
    m_panels.clear();
}

void HistoryEdgeRevealController::installObservers()
{
    removeObservers();
    m_observers.append(
        m_notifications.observe(NotificationNames::historyContentHoverChanged, this, [this](const QVariantMap& info) {
            const QVariant hovering = info.value(QStringLiteral("hovering"));
            m_isHoveringContent = hovering.typeId() == QMetaType::Bool && hovering.toBool();
            evaluateHoverState();
        }));
    m_observers.append(
        m_notifications.observe(NotificationNames::historyWindowDidResignKey, this, [this](const QVariantMap&) {
            if (!m_openedViaHover)
                return;
            m_openedViaHover = false;
            if (m_needs.hidePanel)
                m_needs.hidePanel();
        }));
    m_observers.append(
        m_notifications.observe(NotificationNames::historyWindowDidHide, this, [this](const QVariantMap&) {
            // The panel is gone, whoever hid it: forget what the hover knew about it.
            m_openedViaHover = false;
            m_userInteracted = false;
            m_isHoveringContent = false;
            if (qApp)
                qApp->removeEventFilter(this);
        }));
    m_observers.append(m_notifications.observe(
        NotchShelfWindowManager::screenParametersNotification, this, [this](const QVariantMap&) {
            if (!m_isEnabled)
                return;
            hideTab();
            showTab();
        }));
}

void HistoryEdgeRevealController::removeObservers()
{
    for (int token : m_observers)
        m_notifications.removeObserver(token);
    m_observers.clear();
}

void HistoryEdgeRevealController::setHoveringTab(bool hovering)
{
    m_isHoveringTab = hovering;
    evaluateHoverState();
}

void HistoryEdgeRevealController::evaluateHoverState()
{
    m_hover.cancel();
    if (m_isHoveringTab || m_isHoveringContent) {
        m_hover.scheduleEnter([this] {
            if (m_needs.isPanelVisible && m_needs.isPanelVisible())
                return;
            m_openedViaHover = true;
            m_userInteracted = false;
            // Clicks and keys in the panel from now on keep it open.
            qApp->installEventFilter(this);
            if (m_needs.showPanel)
                m_needs.showPanel();
        });
        return;
    }
    m_hover.scheduleExit([this] {
        if (!m_openedViaHover || !(m_needs.isPanelVisible && m_needs.isPanelVisible()) || m_userInteracted)
            return;
        m_openedViaHover = false;
        if (m_needs.hidePanel)
            m_needs.hidePanel();
    });
}

bool HistoryEdgeRevealController::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (m_openedViaHover && (type == QEvent::MouseButtonPress || type == QEvent::KeyPress) && watched->isWidgetType()
        && m_needs.panelWindow) {
        const QWidget* panel = m_needs.panelWindow();
        if (panel && static_cast<QWidget*>(watched)->window() == panel)
            m_userInteracted = true;
    }
    return QObject::eventFilter(watched, event);
}
