#include "gallery/RecordingQuickLook.h"

#include "gallery/CardFormat.h"
#include "platform/Background.h"
#include "platform/MediaPlayback.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"
#include "ui/WindowActivation.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QProxyStyle>
#include <QScreen>
#include <QSlider>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>
#include <algorithm>
#include <utility>

QPointer<RecordingQuickLook> RecordingQuickLook::s_current;

namespace {

// A press of the primary button on the slider's groove puts the knob there and holds it, as a
// press on the knob does, rather than moving it a page towards the pointer.
class JumpToClickStyle : public QProxyStyle {
public:
    int styleHint(
        StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton | Qt::MiddleButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}

RecordingQuickLook* RecordingQuickLook::open(const QString& path, double recordedSeconds, Workspace* workspace)
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
    WindowActivation::activate(s_current, workspace);
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
    // The slider counts milliseconds. Any value the user gives it (a drag, a click on the groove,
    // the keys) is a seek; the values it takes from the player are not. A movie that had played to
    // its end plays on from the place sought (once the knob is let go); one the user paused stays
    // paused there.
    auto* style = new JumpToClickStyle;
    style->setParent(m_position);
    m_position->setStyle(style);
    m_position->setStyleSheet(Theme::sliderStyle());
    m_position->setSingleStep(1000);
    m_position->setPageStep(5000);
    connect(m_position, &QSlider::valueChanged, this, [this](int ms) {
        if (m_player && !m_followingPlayer)
            seek(ms);
    });
    connect(m_position, &QSlider::sliderReleased, this, &RecordingQuickLook::playOnAfterEnd);
}

RecordingQuickLook::~RecordingQuickLook()
{
    MediaPlayback::release(m_player);
}

void RecordingQuickLook::connectPlayer()
{
    connect(m_player, &QMediaPlayer::durationChanged, this,
        [this](qint64 ms) { showPlayerTime(ms, m_player->position()); });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
        // The backend reports the end's position as it ends; only a place before it shows the play
        // moving on.
        if (m_playingOnFrom >= 0 && ms >= m_playingOnFrom + movedOnMs && ms < m_player->duration())
            m_playingOnFrom = -1;
        showPlayerTime(m_player->duration(), ms);
    });
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::EndOfMedia)
            endReached();
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
        m_playButton->setIcon(Symbols::icon(
            state == QMediaPlayer::PlayingState ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"),
            Theme::text()));
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error, const QString& message) {
        showProblem(QStringLiteral("Die Aufnahme kann nicht abgespielt werden.\n") + message);
    });
    // The backend may have read the length while the movie was handed to it, before these
    // connections existed.
    showPlayerTime(m_player->duration(), m_player->position());
}

void RecordingQuickLook::showPlayerTime(qint64 durationMs, qint64 positionMs)
{
    m_followingPlayer = true;
    m_position->setRange(0, int(std::max<qint64>(0, durationMs)));
    // The knob stays where the user holds it.
    if (!m_position->isSliderDown())
        m_position->setValue(int(positionMs));
    m_followingPlayer = false;
    updateTime();
}

void RecordingQuickLook::showProblem(const QString& text)
{
    m_problem->setText(text);
    m_problem->show();
    m_video->hide();
}

// The movie is looked at and opened off the main thread (a file on a mount that does not answer,
// or one turned into a pipe, would hold it); the player gets the file that was opened, with sound
// only where a sound output answered.
void RecordingQuickLook::setPath(const QString& path)
{
    m_path = path;
    setWindowTitle(QFileInfo(path).fileName());
    MediaPlayback::release(m_player);
    m_player = nullptr;
    m_playingOnFrom = -1;
    m_position->setRange(0, 0);
    m_time->clear();
    m_problem->hide();
    m_video->show();
    const int request = ++m_request;
    Background::runOn(
        MediaPlayback::pool(), this, [path] { return MediaPlayback::openMovie(path); },
        [this, request](MediaPlayback::OpenedMovie movie) {
            if (request == m_request)
                play(movie);
        });
}

void RecordingQuickLook::play(MediaPlayback::OpenedMovie& movie)
{
    if (movie.state == MediaPlayback::OpenedMovie::State::missing)
        showProblem(QStringLiteral("Die Aufnahme fehlt: ") + QFileInfo(movie.path).fileName());
    else
        m_player = MediaPlayback::makePlayer(movie, m_video);
    if (m_player) {
        connectPlayer();
        m_player->play();
    } else if (movie.state != MediaPlayback::OpenedMovie::State::missing) {
        // Not a regular file, or no media backend that loads (Qt would end the process).
        showProblem(QStringLiteral("Die Aufnahme kann nicht abgespielt werden."));
    }
    emit opened();
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

void RecordingQuickLook::seek(qint64 ms)
{
    m_player->setPosition(ms);
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        // Qt 6.4's FFmpeg backend reads a movie ahead of its play and, once it has read the file to
        // its end (in the last half second or so of a play), reads again only when told to pause or
        // play: a seek then left it playing with nothing more to show, its picture and time frozen
        // under the pause symbol. A pause and a play make it read on from the new place.
        m_player->pause();
        m_player->play();
        m_playingOnFrom = ms;
    }
    if (!m_position->isSliderDown())
        playOnAfterEnd();
}

void RecordingQuickLook::playOnAfterEnd()
{
    // The player stops only at the end of the movie (the user pauses).
    if (m_player && m_player->playbackState() == QMediaPlayer::StoppedState) {
        m_playingOnFrom = m_position->value();
        m_player->play();
    }
}

void RecordingQuickLook::endReached()
{
    // An end reported before the play moved on from the place sought was reached before the seek
    // (the backend reports it after the seek when it came in the meantime), or the backend ended
    // the play it had just begun there at once: the movie plays on from that place, once. A place
    // at the end shows the end.
    const qint64 from = std::exchange(m_playingOnFrom, -1);
    if (from >= 0 && from < m_player->duration() - movedOnMs) {
        m_player->setPosition(from);
        m_player->play();
    }
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
