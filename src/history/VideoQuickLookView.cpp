#include "history/VideoQuickLookView.h"

#include "platform/Background.h"
#include "platform/MediaPlayback.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVideoWidget>

const QString VideoQuickLookView::cannotBePlayedText = QStringLiteral("This video cannot be played");

namespace {

QToolButton* controlButton(const QString& symbol, const QString& text, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(Symbols::icon(symbol, Theme::text(), {14, 28}));
    button->setIconSize(QSize(14, 14));
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(Theme::flatTextButtonStyle(QStringLiteral("QToolButton"), Theme::text()));
    return button;
}

// Runs off the main thread, as does the open at Play: nothing that waits ever holds the main thread.
VideoQuickLookView::FileState examine(const QString& path)
{
    switch (MediaPlayback::openMovie(path, false).state) {
    case MediaPlayback::OpenedMovie::State::missing:
        return VideoQuickLookView::FileState::missing;
    case MediaPlayback::OpenedMovie::State::notPlayable:
        return VideoQuickLookView::FileState::notPlayable;
    case MediaPlayback::OpenedMovie::State::playable:
        break;
    }
    return VideoQuickLookView::FileState::playable;
}

}

VideoQuickLookView::VideoQuickLookView(const QUrl& url, QWidget* parent)
    : QWidget(parent)
    , m_url(url)
    , m_layout(new QVBoxLayout(this))
    , m_status(textLabel(QString(), Theme::labelFont(10), Theme::secondaryText(), this))
    , m_play(controlButton(QStringLiteral("play.fill"), QStringLiteral("Play"), this))
    , m_fullScreen(
          controlButton(QStringLiteral("arrow.up.left.and.arrow.down.right"), QStringLiteral("Full Screen"), this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    setMinimumHeight(220);
    m_status->setAlignment(Qt::AlignCenter);
    m_layout->addWidget(m_status, 1);
    auto* controls = new QHBoxLayout;
    controls->addWidget(m_play);
    controls->addStretch();
    controls->addWidget(m_fullScreen);
    m_layout->addLayout(controls);
    m_play->hide();
    m_fullScreen->hide();
    connect(m_play, &QToolButton::clicked, this, &VideoQuickLookView::togglePlayback);
    connect(m_fullScreen, &QToolButton::clicked, this, [this] {
        if (m_video)
            m_video->setFullScreen(!m_video->isFullScreen());
    });

    if (!url.isLocalFile()) {
        setFileState(FileState::missing);
        return;
    }
    Background::runOn(
        MediaPlayback::pool(), this, [path = url.toLocalFile()] { return examine(path); },
        [this](FileState state) { setFileState(state); });
}

QString VideoQuickLookView::statusText() const
{
    return m_status->text();
}

void VideoQuickLookView::setFileState(FileState state)
{
    m_state = state;
    if (state == FileState::playable && !MediaPlayback::isAvailable())
        m_state = FileState::notPlayable;
    m_status->setText(m_state == FileState::notPlayable ? cannotBePlayedText : QString());
    m_play->setVisible(m_state == FileState::playable);
    emit fileChecked();
}

VideoQuickLookView::~VideoQuickLookView()
{
    MediaPlayback::release(m_player);
}

void VideoQuickLookView::makePlayer(MediaPlayback::OpenedMovie& movie)
{
    if (movie.state != MediaPlayback::OpenedMovie::State::playable) {
        // The file went, or is something else now (a pipe put in its place).
        setFileState(
            movie.state == MediaPlayback::OpenedMovie::State::missing ? FileState::missing : FileState::notPlayable);
        return;
    }
    m_video = new QVideoWidget(this);
    m_player = MediaPlayback::makePlayer(movie, m_video);
    if (!m_player) {
        delete m_video;
        m_video = nullptr;
        setFileState(FileState::notPlayable);
        return;
    }
    // The layout hands the replaced widget's item back to its caller.
    delete m_layout->replaceWidget(m_status, m_video);
    m_status->hide();
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (error == QMediaPlayer::NoError)
            return;
        MediaPlayback::release(m_player);
        m_player = nullptr;
        m_video->hide();
        delete m_layout->replaceWidget(m_video, m_status);
        m_status->setText(cannotBePlayedText);
        m_status->show();
        m_play->hide();
        m_fullScreen->hide();
    });
    // The button offers what a click does: pause while the movie plays, play once it paused or ended.
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
        const bool playing = state == QMediaPlayer::PlayingState;
        m_play->setIcon(Symbols::icon(
            playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), Theme::text(), {14, 28}));
        m_play->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    });
    m_fullScreen->show();
    m_player->play();
    emit fileChecked();
}

// The first Play opens the file again, off the main thread: what was a movie when the quick look
// opened may have been replaced since, and only the regular file that was opened goes to the player.
void VideoQuickLookView::togglePlayback()
{
    if (!m_player) {
        if (m_state != FileState::playable || m_opening || !MediaPlayback::isAvailable())
            return;
        m_opening = true;
        Background::runOn(
            MediaPlayback::pool(), this, [path = m_url.toLocalFile()] { return MediaPlayback::openMovie(path); },
            [this](MediaPlayback::OpenedMovie movie) {
                m_opening = false;
                makePlayer(movie);
            });
        return;
    }
    if (m_player->playbackState() == QMediaPlayer::PlayingState)
        m_player->pause();
    else
        m_player->play();
}
