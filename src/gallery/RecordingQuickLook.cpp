#include "gallery/RecordingQuickLook.h"

#include "gallery/CardFormat.h"
#include "platform/MediaPlayback.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"
#include "ui/WindowActivation.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QScreen>
#include <QSlider>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>
#include <algorithm>

QPointer<RecordingQuickLook> RecordingQuickLook::s_current;

RecordingQuickLook* RecordingQuickLook::open(const QString& path, double recordedSeconds)
{
    if (!s_current) {
        s_current = new RecordingQuickLook();
        QScreen* screen = QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame(QPoint(0, 0), s_current->size());
            frame.moveCenter(screen->availableGeometry().center());
            s_current->move(frame.topLeft());
        }
    }
    s_current->m_recordedSeconds = recordedSeconds;
    s_current->setPath(path);
    s_current->show();
    WindowActivation::activate(s_current);
    return s_current;
}

RecordingQuickLook* RecordingQuickLook::current()
{
    return s_current;
}

RecordingQuickLook::RecordingQuickLook()
    // A dialog-type window without a parent, as the gallery's windows: floated at its own size.
    : QWidget(nullptr,
          Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
              | Qt::WindowMaximizeButtonHint | Qt::WindowStaysOnTopHint)
    , m_video(new QVideoWidget(this))
    , m_problem(textLabel(QString(), Theme::labelFont(13), Theme::secondaryText(), this))
    , m_playButton(new QToolButton(this))
    , m_position(new QSlider(Qt::Horizontal, this))
    , m_time(textLabel(QString(), Theme::labelFont(11), Theme::secondaryText(), this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    resize(720, 480);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Theme::annotationSurface());
    setPalette(palette);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(m_video, 1);
    m_problem->setAlignment(Qt::AlignCenter);
    m_problem->setWordWrap(true);
    layout->addWidget(m_problem, 1);
    m_problem->hide();
    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(12, 0, 12, 0);
    m_playButton->setAutoRaise(true);
    m_playButton->setIcon(Symbols::icon(QStringLiteral("play.fill"), Theme::text()));
    controls->addWidget(m_playButton);
    controls->addWidget(m_position, 1);
    controls->addWidget(m_time);
    layout->addLayout(controls);

    connect(m_playButton, &QToolButton::clicked, this, &RecordingQuickLook::togglePlayback);
    connect(m_position, &QSlider::sliderMoved, this, [this](int ms) {
        if (m_player)
            m_player->setPosition(ms);
    });
}

// The player is made for the first movie there is to play, so that a missing file never starts
// the media framework.
void RecordingQuickLook::makePlayer()
{
    m_player = new QMediaPlayer(this);
    m_audio = new QAudioOutput(this);
    m_player->setAudioOutput(m_audio);
    m_player->setVideoOutput(m_video);
    connect(m_player, &QMediaPlayer::durationChanged, this, [this](qint64 ms) {
        m_position->setRange(0, int(ms));
        updateTime();
    });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
        if (!m_position->isSliderDown())
            m_position->setValue(int(ms));
        updateTime();
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
        m_playButton->setIcon(Symbols::icon(
            state == QMediaPlayer::PlayingState ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"),
            Theme::text()));
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error, const QString& message) {
        showProblem(QStringLiteral("Die Aufnahme kann nicht abgespielt werden.\n") + message);
    });
}

void RecordingQuickLook::showProblem(const QString& text)
{
    m_problem->setText(text);
    m_problem->show();
    m_video->hide();
}

void RecordingQuickLook::setPath(const QString& path)
{
    m_path = path;
    setWindowTitle(QFileInfo(path).fileName());
    if (m_player)
        m_player->stop();
    if (!QFileInfo(path).isFile()) {
        if (m_player)
            m_player->setSource(QUrl());
        showProblem(QStringLiteral("Die Aufnahme fehlt: ") + QFileInfo(path).fileName());
        return;
    }
    // Qt ends the process when a player is made without a media backend that loads.
    if (!m_player && !MediaPlayback::isAvailable()) {
        showProblem(QStringLiteral("Die Aufnahme kann nicht abgespielt werden."));
        return;
    }
    if (!m_player)
        makePlayer();
    m_problem->hide();
    m_video->show();
    m_player->setSource(QUrl::fromLocalFile(path));
    m_player->play();
}

QString RecordingQuickLook::problem() const
{
    return m_problem->isVisibleTo(this) ? m_problem->text() : QString();
}

void RecordingQuickLook::togglePlayback()
{
    if (!m_player)
        return;
    if (m_player->playbackState() == QMediaPlayer::PlayingState)
        m_player->pause();
    else
        m_player->play();
}

void RecordingQuickLook::updateTime()
{
    if (!m_player)
        return;
    m_time->setText(timeText(m_player->position(), m_player->duration(), m_recordedSeconds));
}

QString RecordingQuickLook::timeText(qint64 positionMs, qint64 playerDurationMs, double recordedSeconds)
{
    const double length = recordedSeconds >= 0 ? recordedSeconds : double(playerDurationMs) / 1000;
    const double position = std::min(double(positionMs) / 1000, length);
    return CardFormat::duration(position).value_or(QString()) + QStringLiteral(" / ")
        + CardFormat::duration(length).value_or(QString());
}

void RecordingQuickLook::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space)
        togglePlayback();
    else if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}
