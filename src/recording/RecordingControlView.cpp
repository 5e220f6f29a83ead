#include "recording/RecordingControlView.h"

#include "recording/ScreenRecordingService.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

namespace {

// The red recording dot, 10 x 10.
class RecordingDot : public QWidget {
public:
    explicit RecordingDot(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(10, 10);
    }
    void setDimmed(bool dimmed)
    {
        m_dimmed = dimmed;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(m_dimmed ? 0.4 : 1.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::recording());
        painter.drawEllipse(rect());
    }

private:
    bool m_dimmed = false;
};

QToolButton* makeButton(QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setFixedSize(24, 24);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(Theme::flatButtonStyle(QStringLiteral("QToolButton"), Theme::whiteAlpha(30)));
    return button;
}

}

RecordingControlView::RecordingControlView(ScreenRecordingService& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(10);
    auto* dot = new RecordingDot(this);
    m_dot = dot;
    m_time = new QLabel(this);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(Theme::labelFont(13).pointSizeF());
    font.setWeight(QFont::DemiBold);
    m_time->setFont(font);
    m_time->setStyleSheet(Theme::labelStyle(Theme::text()));
    // Wide enough for a hundred minutes.
    m_time->setFixedWidth(QFontMetrics(font).horizontalAdvance(QStringLiteral("100:00")) + 2);
    m_pause = makeButton(this);
    m_stop = makeButton(this);
    m_stop->setIcon(Symbols::icon(QStringLiteral("stop.fill"), Theme::text()));
    m_stop->setToolTip(QStringLiteral("Aufnahme stoppen"));
    layout->addWidget(m_dot, 0, Qt::AlignVCenter);
    layout->addWidget(m_time, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(m_pause, 0, Qt::AlignVCenter);
    layout->addWidget(m_stop, 0, Qt::AlignVCenter);

    connect(m_pause, &QToolButton::clicked, this, [this] {
        if (m_service.isPaused())
            m_service.resumeRecording();
        else
            m_service.pauseRecording();
    });
    connect(m_stop, &QToolButton::clicked, this, [this] { m_service.stopRecording(); });
    connect(&m_service, &ScreenRecordingService::elapsedChanged, this, &RecordingControlView::refresh);
    connect(&m_service, &ScreenRecordingService::isPausedChanged, this, &RecordingControlView::refresh);
    refresh();
}

QString RecordingControlView::formatElapsed(double seconds)
{
    const qint64 whole = seconds > 0 ? qint64(seconds) : 0;
    return QStringLiteral("%1:%2").arg(whole / 60, 2, 10, QLatin1Char('0')).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

void RecordingControlView::refresh()
{
    const bool paused = m_service.isPaused();
    static_cast<RecordingDot*>(m_dot)->setDimmed(paused);
    m_time->setText(formatElapsed(m_service.elapsed()));
    m_pause->setIcon(Symbols::icon(paused ? QStringLiteral("play.fill") : QStringLiteral("pause.fill"), Theme::text()));
    m_pause->setToolTip(paused ? QStringLiteral("Fortsetzen") : QStringLiteral("Pausieren"));
}
