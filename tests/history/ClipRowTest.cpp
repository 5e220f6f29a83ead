// History rows offscreen: layout by kind and thumbnail size, titles, the row widget's context
// menu, buttons and click routing with and without "doubleClickToPaste", the drag-out data and
// the rows as the delegate paints them.
#include "fakes/TestSupport.h"
#include "HistoryTestSupport.h"
#include "clipboard/AppIconCache.h"
#include "history/ClipDragSourceView.h"
#include "history/ClipPictures.h"
#include "history/ClipRowDelegate.h"
#include "history/ClipRowView.h"
#include "history/ImageDecoding.h"
#include "platform/linux/X11Pasteboard.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QDrag>
#include <QMenu>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QToolButton>

namespace {

ClipItemViewModelPtr model(const QString& text, qint64 id = 1)
{
    auto vm = std::make_shared<ClipItemViewModel>(storedTextEntry(text));
    vm->id = id;
    vm->appName = QStringLiteral("Editor");
    return vm;
}

ClipItemViewModelPtr imageModel(qint64 id, QColor color = QColor(60, 140, 220))
{
    auto vm = model(QString(), id);
    vm->hasImage = true;
    vm->thumbnailData = imageBytes(160, 100, "png", color);
    vm->contentTypeIcon = QStringLiteral("photo");
    return vm;
}

class ClipRowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Theme::install();
        Symbols::installIconTheme();
    }
    ClipRowActions recordingActions()
    {
        ClipRowActions actions;
        actions.onSelect = [this] { calls << QStringLiteral("select"); };
        actions.onPin = [this] { calls << QStringLiteral("pin"); };
        actions.onPastePlainText = [this] { calls << QStringLiteral("plain"); };
        actions.onDelete = [this] { calls << QStringLiteral("delete"); };
        actions.onSingleTapSelect = [this] { calls << QStringLiteral("single"); };
        actions.onCopy = [this] { calls << QStringLiteral("copy"); };
        actions.onAnnotate = [this](const QImage& image) {
            calls << QStringLiteral("annotate %1x%2").arg(image.width()).arg(image.height());
        };
        actions.onHoverChange = [this](bool on) { calls << (on ? QStringLiteral("enter") : QStringLiteral("leave")); };
        return actions;
    }
    void click(QWidget* widget, QPoint at = QPoint(10, 10), bool secondOfDouble = false)
    {
        QMouseEvent press(secondOfDouble ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, at,
            widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &press);
        QMouseEvent release(
            QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &release);
    }
    QStringList calls;
    TestCrypto crypto; // the key the rows' entries are sealed and opened with
};

TEST_F(ClipRowTest, TitlesFollowTheKindOfTheEntry)
{
    ClipRowOptions options;
    auto fcp = model(QString());
    fcp->hasFCPContent = true;
    auto title = [&] { return ClipRowView::titleOf(*fcp, options).text; };
    EXPECT_EQ(title(), QStringLiteral("Final Cut Pro content"));
    fcp->fcpClipCount = 1;
    EXPECT_EQ(title(), QStringLiteral("Final Cut Pro clip"));
    fcp->fcpDuration = QStringLiteral("0:12");
    EXPECT_EQ(title(), QStringLiteral("Final Cut Pro clip (0:12)"));
    fcp->fcpClipCount = 3;
    EXPECT_EQ(title(), QStringLiteral("Final Cut Pro: 3 clips (0:12)"));
    EXPECT_EQ(ClipRowView::fcpBadgeText(*fcp), QStringLiteral("0:12"));
    fcp->fcpDuration.reset();
    EXPECT_EQ(title(), QStringLiteral("Final Cut Pro: 3 clips"));
    EXPECT_EQ(ClipRowView::fcpBadgeText(*fcp), QStringLiteral("3 clips"));
    fcp->fcpDescription = QStringLiteral("Interview");
    fcp->fcpDuration = QStringLiteral("1:05");
    fcp->fcpClipCount = 1;
    EXPECT_EQ(title(), QStringLiteral("Interview (1:05)"));
    fcp->fcpClipCount = 2;
    EXPECT_EQ(title(), QStringLiteral("Interview"));
    fcp->fcpClipCount = 0;
    fcp->fcpDuration.reset();
    EXPECT_EQ(ClipRowView::fcpBadgeText(*fcp), QStringLiteral("FCP"));

    auto video = model(QString());
    video->isVideo = true;
    EXPECT_EQ(ClipRowView::titleOf(*video, options).text, QStringLiteral("Video"));
    video->fileName = QStringLiteral("clip.mov");
    EXPECT_EQ(ClipRowView::titleOf(*video, options).text, QStringLiteral("clip.mov"));
    auto file = model(QString());
    file->isFileCopy = true;
    EXPECT_EQ(ClipRowView::titleOf(*file, options).text, QStringLiteral("File"));
    EXPECT_EQ(ClipRowView::titleOf(*imageModel(2), options).text, QStringLiteral("Screenshot"));
    EXPECT_EQ(ClipRowView::titleOf(*imageModel(2), options).maxLines, 0);

    // A link without a title (or with an empty one) shows its text in the accent colour.
    auto link = model(QStringLiteral("https://example.org/a/long/path"));
    link->isURL = true;
    link->linkTitle = QString();
    ClipRowView::Title linkTitle = ClipRowView::titleOf(*link, options);
    EXPECT_EQ(linkTitle.text, QStringLiteral("https://example.org/a/long/path"));
    EXPECT_TRUE(linkTitle.accent);
    link->linkTitle = QStringLiteral("Example");
    EXPECT_FALSE(ClipRowView::titleOf(*link, options).accent);

    // Text: the whole text in up to 6 lines, or the preview in 2.
    auto text = model(QStringLiteral("line\n").repeated(20));
    EXPECT_EQ(ClipRowView::titleOf(*text, options).maxLines, 6);
    options.showFullText = false;
    EXPECT_EQ(ClipRowView::titleOf(*text, options).text, text->previewText);
    EXPECT_EQ(ClipRowView::titleOf(*text, options).maxLines, 2);

    EXPECT_EQ(ClipRowView::relativeDateString(QDateTime::fromSecsSinceEpoch(1000), QDateTime::fromSecsSinceEpoch(1030)),
        QStringLiteral("30 sec. ago"));
    EXPECT_EQ(ClipRowView::relativeDateString(QDateTime::fromSecsSinceEpoch(0), QDateTime::fromSecsSinceEpoch(7200)),
        QStringLiteral("2 hr. ago"));
    EXPECT_EQ(ClipRowView::relativeDateString(QDateTime::fromSecsSinceEpoch(0), QDateTime::fromSecsSinceEpoch(86400)),
        QStringLiteral("1 day ago"));
}

TEST_F(ClipRowTest, LayoutByKindAndThumbnailSize)
{
    EXPECT_EQ(ClipRowView::thumbnailSize(0), QSize(40, 30));
    EXPECT_EQ(ClipRowView::thumbnailSize(1), QSize(56, 42));
    EXPECT_EQ(ClipRowView::thumbnailSize(2), QSize(100, 75));
    EXPECT_EQ(ClipRowView::thumbnailSize(3), QSize(56, 42));

    ClipRowOptions options;
    const auto image = imageModel(7);
    ClipRowView row(image, options, recordingActions(), nullptr);
    row.resize(360, ClipRowView::heightFor(*image, options, 360));
    row.show();
    EXPECT_EQ(ClipRowView::computeGeometry(*image, options, 360).thumbnail.size(), QSize(100, 77));
    EXPECT_FALSE(row.selectTextButton()); // images never offer it
    EXPECT_EQ(row.dragSource()->geometry(), QRect(0, 0, 360 - 48, row.height()));

    // Full width with a thumbnail (a Final Cut Pro entry too); without one, the standard layout.
    options.imageThumbnailSize = 3;
    EXPECT_TRUE(ClipRowView::usesFullWidthLayout(*image, options));
    image->hasFCPContent = true;
    EXPECT_TRUE(ClipRowView::usesFullWidthLayout(*image, options));
    const auto text = model(QStringLiteral("hello"));
    EXPECT_FALSE(ClipRowView::usesFullWidthLayout(*text, options));
    EXPECT_EQ(ClipRowView::heightFor(*image, options, 360),
        ClipPictures::fullWidthHeightFor(360, QSize(160, 100)) + 8 + 20 + 10);

    // An image entry without thumbnail bytes is a link or text.
    auto bare = model(QStringLiteral("https://example.org"));
    bare->hasImage = true;
    bare->isURL = true;
    EXPECT_EQ(ClipRowView::kindOf(*bare), ClipRowView::Kind::link);

    // Six lines at most for the full text; two for the preview.
    ClipRowOptions standard;
    const auto longText = model(QStringLiteral("word ").repeated(400));
    const int six = ClipRowView::heightFor(*longText, standard, 360);
    standard.showFullText = false;
    const int two = ClipRowView::heightFor(*longText, standard, 360);
    const int lineHeight = QFontMetrics(ClipRowView::titleFont()).lineSpacing();
    EXPECT_EQ(six - two, 4 * lineHeight);

    // The film tag of Final Cut Pro thumbnails by width.
    EXPECT_FALSE(ClipPictures::fcpTagFor(49).shown);
    EXPECT_EQ(ClipPictures::fcpTagFor(50).symbolSize, 8);
    EXPECT_EQ(ClipPictures::fcpTagFor(71).margin, 2);
    EXPECT_EQ(ClipPictures::fcpTagFor(72).symbolSize, 10);
    EXPECT_EQ(ClipPictures::fcpTagFor(72).margin, 3);
}

TEST_F(ClipRowTest, ContextMenuAndButtons)
{
    ClipRowOptions options;
    const auto text = model(QStringLiteral("hello"));
    ClipRowView row(text, options, recordingActions(), nullptr);
    row.resize(360, 60);
    EXPECT_EQ(row.contextMenuTexts(),
        (QStringList {QStringLiteral("Paste"), QStringLiteral("Paste as Plain Text"),
            QStringLiteral("Copy to Clipboard"), QString(), QStringLiteral("Pin"), QString(),
            QStringLiteral("Delete")}));
    QMenu* menu = row.buildContextMenu();
    QStringList built;
    for (QAction* action : menu->actions())
        built << (action->isSeparator() ? QString() : action->text());
    EXPECT_EQ(built, row.contextMenuTexts());
    menu->actions().at(1)->trigger();
    menu->actions().at(2)->trigger(); // the row's own callback, not a process-wide service
    menu->actions().last()->trigger();
    EXPECT_EQ(calls, (QStringList {QStringLiteral("plain"), QStringLiteral("copy"), QStringLiteral("delete")}));
    delete menu;

    // Unpinned: pin and select-text show only under the mouse; pinned: the pin always.
    EXPECT_TRUE(row.pinButton()->isHidden());
    ASSERT_TRUE(row.selectTextButton());
    EXPECT_TRUE(row.selectTextButton()->isHidden());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&row, &enter);
    EXPECT_FALSE(row.pinButton()->isHidden());
    EXPECT_FALSE(row.selectTextButton()->isHidden());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&row, &leave);
    EXPECT_TRUE(row.pinButton()->isHidden());
    text->isPinned = true;
    row.setViewModel(text);
    EXPECT_FALSE(row.pinButton()->isHidden());
    EXPECT_TRUE(row.contextMenuTexts().contains(QStringLiteral("Unpin")));

    // Images offer "Annotate"; it decodes nothing until chosen.
    ClipRowView imageRow(imageModel(3), options, recordingActions(), nullptr);
    EXPECT_TRUE(imageRow.contextMenuTexts().contains(QStringLiteral("Annotate")));
    calls.clear();
    std::unique_ptr<QMenu> imageMenu(imageRow.buildContextMenu());
    for (QAction* action : imageMenu->actions())
        if (action->text() == QStringLiteral("Annotate"))
            action->trigger();
    EXPECT_EQ(calls, QStringList {QStringLiteral("annotate 160x100")});

    QWidget* popover = row.showSelectableTextPopover();
    ASSERT_TRUE(popover);
    EXPECT_GE(popover->width(), 300);
    popover->close();
}

TEST_F(ClipRowTest, ClicksPasteAtOnceOrSelectThenPasteOnDoubleClick)
{
    const auto text = model(QStringLiteral("hello"));
    ClipRowOptions options;
    {
        ClipRowView row(text, options, recordingActions(), nullptr);
        row.resize(360, 60);
        EXPECT_FALSE(row.dragSource()->hasDoubleTap());
        click(row.dragSource());
        EXPECT_EQ(calls, QStringList {QStringLiteral("select")});
        click(row.dragSource(), QPoint(10, 10), true);
        EXPECT_EQ(calls, (QStringList {QStringLiteral("select"), QStringLiteral("select")}));
    }
    calls.clear();
    options.doubleClickToPaste = true;
    ClipRowView row(text, options, recordingActions(), nullptr);
    row.resize(360, 60);
    ClipDragSourceView* source = row.dragSource();
    source->setDoubleClickInterval(10000); // a second click always counts as a double click
    click(source);
    EXPECT_TRUE(calls.isEmpty());
    click(source, QPoint(10, 10), true);
    EXPECT_EQ(calls, QStringList {QStringLiteral("select")});
    click(source, QPoint(10, 10), true); // triple click: the double action again
    EXPECT_EQ(calls, (QStringList {QStringLiteral("select"), QStringLiteral("select")}));
    QTest::qWait(20);
    EXPECT_EQ(calls.count(QStringLiteral("single")), 0);

    // A single click selects once the interval has passed.
    calls.clear();
    ClipRowView other(text, options, recordingActions(), nullptr);
    other.resize(360, 60);
    other.dragSource()->setDoubleClickInterval(0);
    click(other.dragSource());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !calls.isEmpty(); }));
    EXPECT_EQ(calls, QStringList {QStringLiteral("single")});

    // A new press cancels the pending single click.
    calls.clear();
    other.dragSource()->setDoubleClickInterval(50);
    click(other.dragSource());
    QMouseEvent press(
        QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(other.dragSource(), &press);
    QTest::qWait(120);
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(ClipRowTest, DragCarriesEveryRepresentationBeyondFourPixels)
{
    const QByteArray png = imageBytes(20, 10);
    ClipItemPtr item = makeEntry(QStringLiteral("caption"),
        {sealedRepresentation(QStringLiteral("public.png"), 900, png),
            sealedRepresentation(QStringLiteral("public.html"), 400, "<b>caption</b>"),
            sealedRepresentation(QStringLiteral("public.utf8-plain-text"), 100, "caption")});
    // The desktop's formats for a drag (no display needed for the mapping).
    X11Pasteboard desktop(":no-such-display-for-quorvel");
    std::unique_ptr<QMimeData> mime(ClipDragSourceView::makeMimeData(item, &desktop));
    EXPECT_EQ(mime->data(QStringLiteral("image/png")), png);
    EXPECT_EQ(mime->data(QStringLiteral("text/html")), QByteArray("<b>caption</b>"));
    EXPECT_EQ(mime->text(), QStringLiteral("caption"));

    QStringList dragged;
    ClipDragSourceView::setDragRunner([&](QDrag& drag) { dragged = drag.mimeData()->formats(); });
    ClipDragSourceView source(&desktop);
    source.resize(300, 50);
    source.setClipItem(item);
    int taps = 0;
    source.setOnTap([&] { ++taps; });
    auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(
            type, at, at, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&source, &event);
    };
    send(QEvent::MouseButtonPress, QPointF(10, 10), Qt::LeftButton);
    send(QEvent::MouseMove, QPointF(14, 10), Qt::LeftButton); // exactly 4: no drag
    EXPECT_TRUE(dragged.isEmpty());
    send(QEvent::MouseMove, QPointF(14.1, 10), Qt::LeftButton);
    EXPECT_TRUE(dragged.contains(QStringLiteral("image/png")));
    send(QEvent::MouseButtonRelease, QPointF(14.1, 10), Qt::NoButton);
    EXPECT_EQ(taps, 0); // the release after a drag is no click

    // Without an entry a drag does nothing; the release then counts as a click.
    dragged.clear();
    source.setClipItem(nullptr);
    send(QEvent::MouseButtonPress, QPointF(10, 10), Qt::LeftButton);
    send(QEvent::MouseMove, QPointF(40, 10), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, QPointF(40, 10), Qt::NoButton);
    EXPECT_TRUE(dragged.isEmpty());
    EXPECT_EQ(taps, 1);
    ClipDragSourceView::setDragRunner({});

    const QImage slab = ClipDragSourceView::dragImage(QSize(100, 40), 1).toImage();
    EXPECT_EQ(qAlpha(slab.pixel(50, 20)), qRound(255 * 0.6));
    EXPECT_EQ(qAlpha(slab.pixel(0, 0)), 0); // rounded corner
}

TEST_F(ClipRowTest, OwnDragsAreRefusedByTheProgramsFieldsOtherProgramsDropsAreTaken)
{
    QLineEdit field;
    field.resize(200, 30);
    const auto dropInto = [&](QMimeData* mime) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&field, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&field, &drop);
        return enter.isAccepted() || drop.isAccepted();
    };
    X11Pasteboard desktop(":no-such-display-for-quorvel"); // the desktop's formats for a drag
    std::unique_ptr<QMimeData> own(
        ClipDragSourceView::makeMimeData(makeTextEntry(QStringLiteral("our clip")), &desktop));
    ASSERT_TRUE(own->hasText());
    EXPECT_TRUE(ClipDragSourceView::isOwnDrag(own.get()));
    EXPECT_FALSE(dropInto(own.get()));
    EXPECT_TRUE(field.text().isEmpty());

    QMimeData other; // a drag of another program
    other.setText(QStringLiteral("from elsewhere"));
    EXPECT_FALSE(ClipDragSourceView::isOwnDrag(&other));
    EXPECT_TRUE(dropInto(&other));
    EXPECT_EQ(field.text(), QStringLiteral("from elsewhere"));
}

TEST_F(ClipRowTest, RowsOfOneProgramShareOneIconLookupAndAPictureIsDecodedOnce)
{
    PictureCaches caches;
    ClipPictures pictures({caches.images, caches.icons});
    const QString program = QStringLiteral("org.example.no-such-program");
    int changes = 0;
    QObject::connect(&pictures, &ClipPictures::changed, [&] { ++changes; });
    for (int i = 0; i < 20; ++i) // twenty rows of the program painted
        EXPECT_FALSE(pictures.appIcon(program));
    EXPECT_EQ(caches.icons.lookupsStarted(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !caches.icons.isLookingUp(program); }, 5000));
    QTest::qWait(3 * ClipPictures::lookupPollMs);
    EXPECT_FALSE(pictures.appIcon(program));
    EXPECT_EQ(caches.icons.lookupsStarted(), 1); // no new lookup once one has found nothing

    // A picture is decoded once however often it is asked for, then comes from the cache.
    const QByteArray png = imageBytes(160, 100, "png", QColor(60, 140, 220));
    EXPECT_TRUE(pictures.image(QStringLiteral("7"), png, QSize(100, 75)).isNull());
    EXPECT_TRUE(pictures.image(QStringLiteral("7"), png, QSize(100, 75)).isNull());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        ImageDecoding::waitForDecodes();
        return changes > 0;
    }));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(pictures.image(QStringLiteral("7"), png, QSize(100, 75)).isNull());
    EXPECT_EQ(caches.images.count(), 1);
    // Bytes that are no image stay a placeholder, without a repaint.
    pictures.image(QStringLiteral("8"), QByteArray("no image"), QSize(100, 75));
    ImageDecoding::waitForDecodes();
    QTest::qWait(20);
    EXPECT_TRUE(pictures.image(QStringLiteral("8"), QByteArray("no image"), QSize(100, 75)).isNull());
    EXPECT_EQ(changes, 1);
}

TEST_F(ClipRowTest, PicturesOfEveryKind)
{
    ClipRowOptions options;
    const int width = 380;
    std::vector<ClipItemViewModelPtr> models;
    models.push_back(model(QStringLiteral("The quick brown fox jumps over the lazy dog. ").repeated(4), 1));
    auto link = model(QStringLiteral("https://www.example.org/articles/history-panel"), 2);
    link->isURL = true;
    link->linkTitle = QStringLiteral("History panel — Example");
    models.push_back(link);
    models.push_back(imageModel(3));
    auto fcp = model(QString(), 4);
    fcp->hasFCPContent = true;
    fcp->fcpClipCount = 2;
    fcp->fcpDuration = QStringLiteral("0:42");
    fcp->fcpThumbnailData = imageBytes(120, 80, "png", QColor(200, 90, 40));
    fcp->appName = QStringLiteral("Final Cut Pro");
    models.push_back(fcp);
    auto video = model(QString(), 5);
    video->isVideo = true;
    video->fileName = QStringLiteral("Recording 2026-12-07.mov");
    models.push_back(video);
    models.back()->isPinned = true;

    PictureCaches caches;
    ClipPictures pictures({caches.images, caches.icons});
    int height = 0;
    for (const ClipItemViewModelPtr& m : models)
        height += ClipRowView::heightFor(*m, options, width) + 2;
    // The rows as the list paints them; the second is selected, the third under the pointer.
    const auto paint = [&] {
        QImage sheet(width, height, QImage::Format_ARGB32_Premultiplied);
        sheet.fill(QColor(16, 16, 18));
        QPainter painter(&sheet);
        for (size_t i = 0; i < models.size(); ++i) {
            ClipRowDelegate::paintRow(painter, *models[i], options, width, {i == 1, i == 2}, pictures);
            painter.translate(0, ClipRowView::heightFor(*models[i], options, width) + 2);
        }
        return sheet;
    };
    const QImage placeholders = paint();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        ImageDecoding::waitForDecodes();
        QCoreApplication::processEvents();
        return caches.images.image(QStringLiteral("3")) && caches.images.image(QStringLiteral("4"));
    }));
    const QImage sheet = paint();
    // The image row's thumbnail shows its blue once decoded.
    const ClipRowView::Geometry g = ClipRowView::computeGeometry(*models[2], options, width);
    int top = 0;
    for (int i = 0; i < 2; ++i)
        top += ClipRowView::heightFor(*models[size_t(i)], options, width) + 2;
    const QColor middle = sheet.pixelColor(g.thumbnail.center().x(), top + g.thumbnail.center().y());
    EXPECT_GT(middle.blue(), 150);
    EXPECT_NE(placeholders.pixelColor(g.thumbnail.center().x(), top + g.thumbnail.center().y()), middle);
    EXPECT_TRUE(sheet.save(artifactPath(QStringLiteral("clip_rows.png"))));

    // With full-width images the image row is the whole picture above its age.
    ClipRowOptions fullWidth;
    fullWidth.imageThumbnailSize = 3;
    const ClipRowView::Geometry full = ClipRowView::computeGeometry(*models[2], fullWidth, width);
    QImage wide(width, full.height, QImage::Format_ARGB32_Premultiplied);
    const auto paintWide = [&] {
        wide.fill(QColor(16, 16, 18));
        QPainter painter(&wide);
        ClipRowDelegate::paintRow(painter, *models[2], fullWidth, width, {}, pictures);
    };
    paintWide();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        ImageDecoding::waitForDecodes();
        QCoreApplication::processEvents();
        paintWide();
        return wide.pixelColor(full.image.center()).blue() > 150;
    }));
    EXPECT_EQ(full.image, QRect(0, 0, width, ClipPictures::fullWidthHeightFor(width, QSize(160, 100))));
}

}
