#include "capture/PostCaptureQuickActionController.h"

#include "capture/ScreenshotGeometry.h"
#include "platform/Compositing.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/HotkeyRegistrar.h"
#include "platform/ScreenSource.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWidget>

namespace {

constexpr int kFadeInMs = 150;
constexpr int kFadeOutMs = 200;

// The capsule: "⎵" and "Leertaste zum Bearbeiten" in white on black at 0.85. It never takes the
// focus or the mouse. Without a compositing manager the capsule is cut out by a shape mask, so
// its corners show the desktop instead of black.
class QuickActionHintView : public QWidget {
public:
    QuickActionHintView()
        : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
                  | Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput)
    {
        setObjectName(QStringLiteral("quickActionHint"));
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_DeleteOnClose);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(12, 7, 12, 7);
        row->setSpacing(6);
        auto* sign = new QLabel(QStringLiteral("\u23B5"), this);
        sign->setFont(Theme::labelFont(13, QFont::Bold));
        auto* words = new QLabel(QStringLiteral("Leertaste zum Bearbeiten"), this);
        words->setFont(Theme::labelFont(12, QFont::Medium));
        for (QLabel* label : {sign, words}) {
            QPalette palette = label->palette();
            palette.setColor(QPalette::WindowText, Theme::text());
            label->setPalette(palette);
            row->addWidget(label, 0, Qt::AlignVCenter);
        }
        adjustSize();
        setFixedSize(sizeHint());
        if (!Compositing::isActive() && QGuiApplication::platformName() == QStringLiteral("xcb"))
            setMask(QRegion(capsule().toFillPolygon().toPolygon()));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(capsule(), Theme::blackAlpha(Compositing::isActive() ? 217 : 255));
    }

private:
    QPainterPath capsule() const
    {
        QPainterPath path;
        const qreal radius = height() / 2.0;
        path.addRoundedRect(QRectF(rect()), radius, radius);
        return path;
    }
};

}

PostCaptureQuickActionController::PostCaptureQuickActionController(Needs needs)
    : m_needs(std::move(needs))
{
}

PostCaptureQuickActionController::~PostCaptureQuickActionController()
{
    cancel();
    if (m_hintWindow)
        delete m_hintWindow.data();
}

void PostCaptureQuickActionController::offer(const QImage& image, quint32 displayID)
{
    cancel();
    ++m_offers;
    m_pendingImage = image;
    m_pendingDisplayID = displayID;

    HotkeyRegistrar* keys = registrar();
    QString error;
    if (keys->registerHotkey(hotkeyID, spaceKeyCode, 0, &error)) {
        m_hotkeyRegistered = true;
        connect(keys, &HotkeyRegistrar::hotkeyPressed, this, [this](quint32 id) {
            // Handled from the event loop, after the key event that carried it.
            if (id == hotkeyID)
                QMetaObject::invokeMethod(this, &PostCaptureQuickActionController::trigger, Qt::QueuedConnection);
        });
    } else {
        Console::log(QStringLiteral("Failed to register quick-action hotkey: ") + error);
    }
    showHint(displayID);
    QPointer<PostCaptureQuickActionController> self(this);
    m_dismissWorkItem = std::make_shared<DispatchWorkItem>([self] {
        if (self)
            self->cancel();
    });
    m_needs.mainQueue.asyncAfter(std::chrono::milliseconds(offerMs), m_dismissWorkItem);
}

void PostCaptureQuickActionController::cancel()
{
    if (m_dismissWorkItem) {
        m_dismissWorkItem->cancel();
        m_dismissWorkItem.reset();
    }
    m_pendingImage.reset();
    m_pendingDisplayID.reset();
    if (m_hotkeyRegistered) {
        HotkeyRegistrar* keys = registrar();
        keys->unregisterHotkey(hotkeyID);
        disconnect(keys, &HotkeyRegistrar::hotkeyPressed, this, nullptr);
        m_hotkeyRegistered = false;
    }
    hideHint();
}

quint64 PostCaptureQuickActionController::removeHintAtOnce()
{
    // The hint of the current offer and any still fading out are hidden now, not at the end of
    // their animation.
    quint64 shown = 0;
    QList<QWidget*> hints;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("quickActionHint") && widget->isVisible()) {
            hints.append(widget);
            shown = quint64(widget->winId());
        }
    }
    cancel();
    for (QWidget* hint : hints)
        hint->close();
    return shown;
}

void PostCaptureQuickActionController::trigger()
{
    if (!m_pendingImage)
        return;
    const QImage image = *m_pendingImage;
    QScreen* screen = m_pendingDisplayID ? screenFor(*m_pendingDisplayID) : nullptr;
    cancel();
    if (m_needs.present)
        m_needs.present(image, screen);
}

QScreen* PostCaptureQuickActionController::screenFor(quint32 displayID) const
{
    if (displayID == 0)
        return nullptr;
    const std::optional<ScreenMonitor> monitor = ScreenshotGeometry::monitorWithID(
        m_needs.source.monitors(), displayID);
    if (!monitor)
        return nullptr;
    for (QScreen* screen : QApplication::screens()) {
        const double ratio = screen->devicePixelRatio();
        const QPoint nativeTopLeft(qRound(screen->geometry().x() * ratio), qRound(screen->geometry().y() * ratio));
        if (screen->name() == monitor->name || nativeTopLeft == monitor->frame.topLeft())
            return screen;
    }
    return nullptr;
}

void PostCaptureQuickActionController::showHint(quint32 displayID)
{
    QScreen* screen = screenFor(displayID);
    if (!screen)
        screen = QApplication::primaryScreen();
    if (!screen)
        return;
    auto* hint = new QuickActionHintView;
    // The hint stands 90 points above the monitor's bottom edge, centred.
    const QRect primary = QApplication::primaryScreen()->geometry();
    const QRect frame = screen->geometry();
    const QRectF global(frame.x() - primary.x(), primary.bottom() + 1 - frame.y() - frame.height(), frame.width(),
        frame.height());
    const QPointF origin = ScreenshotGeometry::quickActionHintOrigin(global, hint->size());
    const QRectF desktop = ScreenshotGeometry::globalToDesktop(QRectF(origin, QSizeF(hint->size())), primary.height());
    hint->move(qRound(desktop.x()) + primary.x(), qRound(desktop.y()) + primary.y());
    hint->setWindowOpacity(0.0);
    hint->show();
    auto* fade = new QPropertyAnimation(hint, "windowOpacity", hint);
    fade->setDuration(kFadeInMs);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
    m_hintWindow = hint;
}

void PostCaptureQuickActionController::hideHint()
{
    if (!m_hintWindow)
        return;
    QWidget* hint = m_hintWindow;
    m_hintWindow = nullptr;
    auto* fade = new QPropertyAnimation(hint, "windowOpacity", hint);
    fade->setDuration(kFadeOutMs);
    fade->setEndValue(0.0);
    connect(fade, &QPropertyAnimation::finished, hint, &QWidget::close);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}
