// The quick look's content views against hostile and real entries: a real movie plays, a named
// pipe or a missing backend never reaches a player, megabytes of unbroken text open capped and
// wrapped, and the character count is in user-perceived characters.
#include "HistoryTestSupport.h"
#include "TestMovie.h"
#include "fakes/FakePasteboard.h"
#include "history/QuickLookView.h"
#include "platform/Background.h"

#include <QMediaPlayer>
#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <sys/stat.h>

namespace {

ClipItemPtr videoEntry(const QString& path)
{
    ClipItemPtr entry = makeEntry(QStringLiteral("clip.mp4"));
    entry->cachedIsVideo = true;
    entry->cachedFileURL = QUrl::fromLocalFile(path).toString();
    return entry;
}

bool checked(VideoQuickLookView* video)
{
    return QTest::qWaitFor([&] {
        QCoreApplication::processEvents();
        return video->fileState() != VideoQuickLookView::FileState::checking;
    });
}

class QuickLookContentTest : public ::testing::Test {
protected:
    TestCrypto crypto;
    FakePasteboard pasteboard;
    QTemporaryDir dir;
};

}

TEST_F(QuickLookContentTest, ARealMoviePlaysOnlyOnceTheUserAsks)
{
    const QString path = dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(writeTestMovie(path));
    QuickLookView view(videoEntry(path), pasteboard, {});
    VideoQuickLookView* video = view.videoContent();
    ASSERT_TRUE(video);
    ASSERT_TRUE(checked(video));
    EXPECT_EQ(video->fileState(), VideoQuickLookView::FileState::playable);
    EXPECT_FALSE(video->hasPlayer()); // nothing is opened before Play
    EXPECT_TRUE(video->playButton()->isVisibleTo(video));

    video->togglePlayback();
    ASSERT_TRUE(QTest::qWaitFor([&] { return video->hasPlayer(); })); // opened off the main thread
    QMediaPlayer* player = video->player();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player->duration() > 0 || player->error() != QMediaPlayer::NoError; }));
    EXPECT_EQ(player->error(), QMediaPlayer::NoError) << player->errorString().toStdString();
    EXPECT_TRUE(player->hasVideo());
    EXPECT_NEAR(player->duration(), 1000, 200);
    video->togglePlayback(); // pause
    EXPECT_NE(player->playbackState(), QMediaPlayer::PlayingState);
}

TEST_F(QuickLookContentTest, PipesMissingFilesAndAMissingBackendNeverReachAPlayer)
{
    // A named pipe with no writer: whoever opens it waits for ever.
    const QString pipe = dir.filePath(QStringLiteral("pipe.mov"));
    ASSERT_EQ(::mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
    QuickLookView fromPipe(videoEntry(pipe), pasteboard, {});
    VideoQuickLookView* video = fromPipe.videoContent();
    ASSERT_TRUE(checked(video));
    EXPECT_EQ(video->fileState(), VideoQuickLookView::FileState::notPlayable);
    EXPECT_EQ(video->statusText(), QStringLiteral("This video cannot be played"));
    video->togglePlayback();
    EXPECT_FALSE(video->hasPlayer());

    // A file that is gone: an empty view, no message.
    QuickLookView gone(videoEntry(dir.filePath(QStringLiteral("gone.mov"))), pasteboard, {});
    ASSERT_TRUE(checked(gone.videoContent()));
    EXPECT_EQ(gone.videoContent()->fileState(), VideoQuickLookView::FileState::missing);
    EXPECT_TRUE(gone.videoContent()->statusText().isEmpty());
    EXPECT_FALSE(gone.videoContent()->playButton()->isVisibleTo(gone.videoContent()));

    // A backend that is not installed: the view says so instead of making a player.
    const QString path = dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(writeTestMovie(path, 3));
    const QByteArray chosen = qgetenv("QT_MEDIA_BACKEND");
    qputenv("QT_MEDIA_BACKEND", "nonexistent");
    QuickLookView noBackend(videoEntry(path), pasteboard, {});
    ASSERT_TRUE(checked(noBackend.videoContent()));
    noBackend.videoContent()->togglePlayback();
    qputenv("QT_MEDIA_BACKEND", chosen);
    EXPECT_EQ(noBackend.videoContent()->fileState(), VideoQuickLookView::FileState::notPlayable);
    EXPECT_EQ(noBackend.videoContent()->statusText(), QStringLiteral("This video cannot be played"));
    EXPECT_FALSE(noBackend.videoContent()->hasPlayer());
}

TEST_F(QuickLookContentTest, AMovieSwappedForAPipeBeforePlayIsNeverWaitedOn)
{
    // A movie when the quick look opens; a named pipe without a writer in its place by the time
    // Play is pressed. Opening that pipe for reading would wait for ever.
    const QString path = dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(writeTestMovie(path, 3));
    QuickLookView view(videoEntry(path), pasteboard, {});
    VideoQuickLookView* video = view.videoContent();
    ASSERT_TRUE(checked(video));
    ASSERT_EQ(video->fileState(), VideoQuickLookView::FileState::playable);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);

    QElapsedTimer held;
    held.start();
    video->togglePlayback();
    EXPECT_LT(held.elapsed(), 1000) << "Play waited on the file";
    ASSERT_TRUE(QTest::qWaitFor([&] { return video->fileState() != VideoQuickLookView::FileState::playable; }));
    EXPECT_EQ(video->fileState(), VideoQuickLookView::FileState::notPlayable);
    EXPECT_EQ(video->statusText(), VideoQuickLookView::cannotBePlayedText);
    EXPECT_FALSE(video->hasPlayer());

    // Gone altogether by the time of Play: the view empties, without a player.
    const QString other = dir.filePath(QStringLiteral("other.mp4"));
    ASSERT_TRUE(writeTestMovie(other, 3));
    QuickLookView removed(videoEntry(other), pasteboard, {});
    ASSERT_TRUE(checked(removed.videoContent()));
    ASSERT_TRUE(QFile::remove(other));
    removed.videoContent()->togglePlayback();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return removed.videoContent()->fileState() == VideoQuickLookView::FileState::missing; }));
    EXPECT_FALSE(removed.videoContent()->hasPlayer());
    EXPECT_FALSE(removed.videoContent()->playButton()->isVisibleTo(removed.videoContent()));
}

TEST_F(QuickLookContentTest, LongUnbrokenTextIsCappedAndWrappedAnywhere)
{
    const QString line(1'000'000, QLatin1Char('x'));
    QuickLookView view(makeTextEntry(line), pasteboard, {});
    TextQuickLookView* text = view.textContent();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->textView()->toPlainText().size(), TextQuickLookView::maxShownCharacters);
    EXPECT_EQ(text->textView()->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
    view.resize(500, 400);
    view.grab(); // lays the text out: a few lines per row, never one line of a million
    EXPECT_GT(text->textView()->document()->documentLayout()->documentSize().height(), 100);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        Background::waitForAll();
        return text->countLabelText() == QStringLiteral("1000000 characters");
    }));
    // Copy still copies the whole text.
    text->copyButton()->click();
    EXPECT_EQ(pasteboard.data(PasteboardTypes::utf8PlainText, 1 << 24).value_or(QByteArray()).size(), 1'000'000);
}

TEST_F(QuickLookContentTest, TheCountIsInUserPerceivedCharacters)
{
    // e + combining acute, a flag of two regional indicators, a family joined by ZWJs, CR LF.
    const QString text = QStringLiteral("e\u0301") + QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA")
        + QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7") + QStringLiteral("\r\n");
    EXPECT_EQ(TextQuickLookView::countText(text), QStringLiteral("4 characters"));
    QuickLookView view(makeTextEntry(text), pasteboard, {});
    EXPECT_EQ(view.textContent()->countLabelText(), QStringLiteral("4 characters"));
}
