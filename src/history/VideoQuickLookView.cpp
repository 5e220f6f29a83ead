#include "history/VideoQuickLookView.h"

#include "platform/Background.h"
#include "platform/MediaPlayback.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QFile>
#include <QFileInfo>
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
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; color: white; }"));
    return button;
}

// Runs off the main thread: stat, then open, so that neither ever waits on the main thread.
VideoQuickLookView::FileState examine(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return VideoQuickLookView::FileState::missing;
    // isFile() follows links: a link to a pipe is no regular file either.
    if (!info.isFile())
        return VideoQuickLookView::FileState::notPlayable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return VideoQuickLookView::FileState::notPlayable;
    return VideoQuickLookView::FileState::playable;
}

}

VideoQuickLookView::VideoQuickLookView(const QUrl& url, QWidget* parent)
    : QWidget(parent)
    , m_url(url)
    , m_layout(new QVBoxLayout(this))
    , m_status(textLabel(QString(), Theme::labelFont(10), Theme::secondaryText(), this))
    , m_play(controlButton(QStringLiteral("play.fill"), QStringLiteral("Play"), this))
    , m_fullScreen(controlButton(QStringLiteral("arrow.up.left.and.arrow.down.right"), QStringLiteral("Full Screen"), this))
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
    Background::run(this, [path = url.toLocalFile()] { return examine(path); },
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

bool VideoQuickLookView::makePlayer()
{
    if (m_player)
        return true;
    if (m_state != FileState::playable || !MediaPlayback::isAvailable())
        return false;
    m_video = new QVideoWidget(this);
    m_layout->replaceWidget(m_status, m_video);
    m_status->hide();
    m_player = new QMediaPlayer(this);
    if (!m_player->isAvailable()) {
        delete m_player;
        m_player = nullptr;
        m_layout->replaceWidget(m_video, m_status);
        delete m_video;
        m_video = nullptr;
        setFileState(FileState::notPlayable);
        m_status->show();
        return false;
    }
    m_player->setVideoOutput(m_video);
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (error == QMediaPlayer::NoError)
            return;
        m_player->stop();
        m_video->hide();
        m_layout->replaceWidget(m_video, m_status);
        m_status->setText(cannotBePlayedText);
        m_status->show();
        m_play->hide();
        m_fullScreen->hide();
    });
    m_player->setSource(m_url);
    m_fullScreen->show();
    return true;
}

void VideoQuickLookView::togglePlayback()
{
    if (!makePlayer())
        return;
    if (m_player->playbackState() == QMediaPlayer::PlayingState) {
        m_player->pause();
        m_play->setText(QStringLiteral("Play"));
    } else {
        m_player->play();
        m_play->setText(QStringLiteral("Pause"));
    }
}
