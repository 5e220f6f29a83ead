// Tesseract with the English and German models finds the lines of a rendered image.
#include "fakes/TextSamples.h"
#include "platform/linux/TesseractTextRecognizer.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QThread>
#include <cmath>
#include <functional>
#include <thread>
#include <gtest/gtest.h>

TEST(TesseractTextRecognizer, FindsTheTextLinesOfARenderedImage)
{
    const QStringList lines {QStringLiteral("The quick brown fox jumps over"),
        QStringLiteral("Größere Übungen für Straßenbahnen"), QStringLiteral("Invoice total 1,234.56 due today")};
    QImage image(900, 330, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(30);
    std::vector<QRectF> expected;
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const QFontMetricsF metrics(font, &image);
        for (int i = 0; i < lines.size(); ++i) {
            const QPointF baseline(40, 70 + 100 * i);
            painter.drawText(baseline, lines[i]);
            const QRectF box = metrics.tightBoundingRect(lines[i]).translated(baseline);
            expected.emplace_back(box.x() / 900, box.y() / 330, box.width() / 900, box.height() / 330);
        }
    }

    TesseractTextRecognizer recognizer;
    const std::vector<QRectF> found = recognizer.textLineRects(image);
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_NEAR(found[i].left(), expected[i].left(), 0.02) << i;
        EXPECT_NEAR(found[i].right(), expected[i].right(), 0.02) << i;
        EXPECT_NEAR(found[i].center().y(), expected[i].center().y(), 0.03) << i;
        EXPECT_NEAR(found[i].height(), expected[i].height(), 0.05) << i;
    }
    EXPECT_TRUE(recognizer.textLineRects(QImage()).empty());
}

namespace {

// A German and an English paragraph in small interface text (13 pixels), dark on light.
QImage interfaceParagraphs(int pixelSize)
{
    QImage image(620, 150, QImage::Format_RGB32);
    image.fill(QColor(246, 246, 246));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    painter.drawText(QPointF(12, 30), QStringLiteral("Die Größe der Übersicht lässt sich später ändern."));
    painter.drawText(QPointF(12, 50), QStringLiteral("Öffne die Einstellungen für weitere Optionen."));
    painter.drawText(QPointF(12, 95), QStringLiteral("Please restart the application to apply"));
    painter.drawText(QPointF(12, 115), QStringLiteral("the new keyboard shortcuts."));
    return image;
}

}

TEST(TesseractTextRecognizer, ReadsTheWordsOfSmallGermanAndEnglishText)
{
    TesseractTextRecognizer recognizer;
    QString error;
    const std::optional<QString> text = recognizer.recognizeText(interfaceParagraphs(13), &error);
    ASSERT_TRUE(text.has_value()) << error.toStdString();
    for (const char* word : {"Größe", "Übersicht", "lässt", "später", "ändern", "Öffne", "Einstellungen", "Please",
             "restart", "application", "keyboard", "shortcuts"})
        EXPECT_TRUE(text->contains(QString::fromUtf8(word))) << word << " in " << text->toStdString();
    EXPECT_FALSE(text->endsWith(QLatin1Char('\n')));

    // No text: nothing, and no error.
    QImage blank(400, 200, QImage::Format_RGB32);
    blank.fill(Qt::white);
    error.clear();
    EXPECT_EQ(recognizer.recognizeText(blank, &error), std::nullopt);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(recognizer.recognizeText(QImage(), &error), std::nullopt);
}

// A terminal's lines as an area selection of a real screen grabbed them: the "Zeile n:" column
// touches the left edge and the selection cuts through the 13th row.
TEST(TesseractTextRecognizer, ReadsEveryLineOfATerminalSelection)
{
    const QImage image(qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR", QStringLiteral("."))
        + QStringLiteral("/tests/data/ocr/terminal-selection.png"));
    ASSERT_FALSE(image.isNull());
    TesseractTextRecognizer recognizer;
    QString error;
    const std::optional<QString> text = recognizer.recognizeText(image, &error);
    ASSERT_TRUE(text.has_value()) << error.toStdString();
    QStringList expected;
    for (int row = 1; row <= 12; ++row)
        expected << QStringLiteral("Zeile %1: The quick brown fox jumps over the lazy dog").arg(row);
    EXPECT_EQ(text->split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected) << text->toStdString();
}

namespace {

const QStringList kGermanAndEnglishLines {kGermanSampleLines[0], kEnglishSampleLines[0]};

bool hasTesseractCommand()
{
    return !QStandardPaths::findExecutable(QStringLiteral("tesseract")).isEmpty();
}

}

// Enlarging every small selection three times cost the umlauts of 16-24 px text. Compared with the
// tesseract command on the same pixels: every word the command reads is read.
TEST(TesseractTextRecognizer, ReadsGermanAndEnglishLinesAtLeastAsWellAsTheTesseractCommand)
{
    if (!hasTesseractCommand())
        GTEST_SKIP() << "the tesseract command is not installed";
    TesseractTextRecognizer recognizer;
    double ours = 0;
    double command = 0;
    const std::pair<const char*, int> cases[] {{"DejaVu Sans", 12}, {"Lato", 16}, {"DejaVu Sans", 20}, {"Lato", 24}};
    for (const auto& [family, pixelSize] : cases) {
        const TextBlock block {kGermanAndEnglishLines, QString::fromLatin1(family), pixelSize, {pixelSize, pixelSize}};
        const QImage image = renderedText({block}, block.rect().size() + QSize(2, 2) * pixelSize);
        const std::optional<QString> text = recognizer.recognizeText(image);
        ASSERT_TRUE(text.has_value()) << family << " " << pixelSize;
        const std::optional<QString> commandText = tesseractCommandReads(image);
        ASSERT_TRUE(commandText.has_value());
        for (const char* word : {"prüfen", "beigefügten", "während", "quick", "lazy"}) {
            if (commandText->contains(QString::fromUtf8(word))) {
                EXPECT_TRUE(text->contains(QString::fromUtf8(word)))
                    << word << " at " << pixelSize << " px " << family << ": " << text->toStdString();
            }
        }
        ours += characterErrorRate(*text, kGermanAndEnglishLines);
        command += characterErrorRate(*commandText, kGermanAndEnglishLines);
    }
    EXPECT_LE(ours, command) << "character error rates summed over the sizes";
}

// Lines of 14 to 28 px between two other rows, each selected four ways: between the rows, and
// cutting through them at 30 % and 50 % of their height. An enlargement chosen from the glyphs at
// the selection's edges, and enlargements of text that needs none, lost the umlauts the tesseract
// command keeps ("priifen", "wahrend", "fahrt", "spater", "Platze").
TEST(TesseractTextRecognizer, ReadsEveryLineAtLeastAsWellAsTheTesseractCommandWhateverTheSelection)
{
    if (!hasTesseractCommand())
        GTEST_SKIP() << "the tesseract command is not installed";
    TesseractTextRecognizer recognizer;
    const QStringList lines = kGermanSampleLines.mid(0, 4) + kEnglishSampleLines.mid(0, 1);
    for (const int pixelSize : {14, 15, 16, 17, 20, 24, 28}) {
        const TextBlock block {QStringList {kGermanSampleLines[6]} + lines + QStringList {kGermanSampleLines[7]},
            "DejaVu Sans", pixelSize, {20, 20}};
        const QImage page = renderedText({block}, block.rect().size() + QSize(40, 40));
        const int lineSpacing = QFontMetrics(block.font()).lineSpacing();
        QSet<QString> ours;
        QSet<QString> command;
        for (const auto& [shown, shift] : {std::pair {0.0, 0}, {0.3, 0}, {0.3, 3}, {0.5, 3}}) {
            const int top = 20 + int(lineSpacing * (1 - shown));
            const int bottom = 20 + int(lineSpacing * (6 + shown));
            const QImage selection = page.copy(10 + shift, top, page.width() - 20, bottom - top);
            const std::optional<QString> text = recognizer.recognizeText(selection);
            const std::optional<QString> commandText = tesseractCommandReads(selection);
            ASSERT_TRUE(text && commandText) << pixelSize;
            ours.insert(transcriptLines(*text).join(QLatin1Char('\n')));
            command.insert(transcriptLines(*commandText).join(QLatin1Char('\n')));
            const std::vector<qsizetype> ourErrors = lineErrors(*text, lines);
            const std::vector<qsizetype> commandErrors = lineErrors(*commandText, lines);
            for (size_t i = 0; i < ourErrors.size(); ++i) {
                EXPECT_LE(ourErrors[i] * 4, lines[qsizetype(i)].size())
                    << pixelSize << " px, " << int(shown * 100) << " % of the rows shown: line " << i << " lost";
                EXPECT_LE(ourErrors[i], commandErrors[i])
                    << pixelSize << " px, " << int(shown * 100) << " % of the rows shown, line " << i << ":\n"
                    << text->toStdString() << "\nthe command:\n"
                    << commandText->toStdString();
            }
        }
        if (command.size() == 1) {
            EXPECT_EQ(ours.size(), 1) << pixelSize << " px: another reading for another selection";
        }
    }
}

// A heading over body text, plain and small: the heading is read as the tesseract command reads
// it, plain body text too; small body text is enlarged, which reads it far better on the whole.
TEST(TesseractTextRecognizer, ReadsEachSizeOfAMixedSelectionAtItsOwnEnlargement)
{
    if (!hasTesseractCommand())
        GTEST_SKIP() << "the tesseract command is not installed";
    TesseractTextRecognizer recognizer;
    const struct {
        const char* family;
        int heading;
        int body;
    } cases[] {{"DejaVu Sans", 28, 14}, {"DejaVu Sans", 24, 16}, {"Lato", 24, 15}, {"DejaVu Sans", 22, 11},
        {"Lato", 26, 12}, {"DejaVu Sans", 20, 10}, {"Lato", 22, 10}, {"DejaVu Sans", 16, 9}};
    double ours = 0;
    double command = 0;
    for (const auto& [family, headingSize, bodySize] : cases) {
        const TextBlock heading {
            {QStringLiteral("Größere Übungen für Straßenbahnen")}, QString::fromLatin1(family), headingSize, {16, 12}};
        const TextBlock body {kGermanSampleLines.mid(4, 3) + kEnglishSampleLines.mid(1, 1), heading.family, bodySize,
            {16, heading.rect().bottom() + bodySize}};
        const QImage image = renderedText({heading, body},
            QSize(std::max(heading.rect().right(), body.rect().right()) + 16, body.rect().bottom() + 12));
        const QStringList lines = heading.lines + body.lines;
        const std::optional<QString> text = recognizer.recognizeText(image);
        const std::optional<QString> commandText = tesseractCommandReads(image);
        ASSERT_TRUE(text && commandText) << headingSize << "/" << bodySize;
        const std::vector<qsizetype> ourErrors = lineErrors(*text, lines);
        const std::vector<qsizetype> commandErrors = lineErrors(*commandText, lines);
        const bool smallBody = bodySize < 13;
        for (size_t i = 0; i < (smallBody ? 1 : ourErrors.size()); ++i)
            EXPECT_LE(ourErrors[i], commandErrors[i]) << headingSize << "/" << bodySize << ":\n" << text->toStdString();
        ours += characterErrorRate(*text, lines);
        command += characterErrorRate(*commandText, lines);

        const std::vector<TesseractTextRecognizer::Strip> strips = TesseractTextRecognizer::readingStrips(image);
        const auto factorAt = [&strips](int row) {
            for (const TesseractTextRecognizer::Strip& strip : strips) {
                if (row >= strip.top && row < strip.bottom)
                    return strip.factor;
            }
            return 0.0;
        };
        EXPECT_EQ(factorAt(heading.rect().center().y()), 1.0);
        EXPECT_EQ(factorAt(body.rect().center().y()) > 1.0, smallBody) << headingSize << "/" << bodySize;
    }
    EXPECT_LE(ours, command) << "character error rates summed over the selections";
}

// Two columns with a gutter of two ems are read one after the other, as the tesseract command's
// automatic page segmentation reads them; one block of lines read them line by line across both.
TEST(TesseractTextRecognizer, ReadsTwoColumnsOneAfterTheOther)
{
    if (!hasTesseractCommand())
        GTEST_SKIP() << "the tesseract command is not installed";
    TesseractTextRecognizer recognizer;
    for (const auto& [family, pixelSize] : {std::pair {"DejaVu Sans", 14}, {"Lato", 16}, {"DejaVu Sans", 20}}) {
        const std::vector<TextBlock> columns = twoColumns(QString::fromLatin1(family), pixelSize);
        const QStringList left = columns[0].lines;
        const QStringList right = columns[1].lines;
        const QImage image = renderedText(
            columns, QSize(columns[1].rect().right(), columns[0].rect().bottom()) + QSize(pixelSize, pixelSize));
        const std::optional<QString> text = recognizer.recognizeText(image);
        const std::optional<QString> commandText = tesseractCommandReads(image);
        ASSERT_TRUE(text && commandText) << pixelSize;
        const double errors = characterErrorRate(*text, left + right);
        EXPECT_LE(errors, characterErrorRate(*commandText, left + right)) << pixelSize << ":\n" << text->toStdString();
        EXPECT_LT(errors, 0.05) << pixelSize << ":\n" << text->toStdString();
    }
}

// The automatic page segmentation takes the third of these lines for a picture and leaves it out
// (the tesseract command reads four lines); it is read as a block of text in its place.
TEST(TesseractTextRecognizer, ReadsALineThePageSegmentationTakesForAPicture)
{
    const QStringList lines = kGermanSampleLines.mid(0, 4) + kEnglishSampleLines.mid(0, 1);
    const TextBlock block {lines, QStringLiteral("Lato"), 16, {16, 16}};
    const std::optional<QString> text = TesseractTextRecognizer().recognizeText(
        renderedText({block}, block.rect().size() + QSize(32, 32)));
    ASSERT_TRUE(text.has_value());
    EXPECT_LT(characterErrorRate(*text, lines), 0.02) << text->toStdString();
}

// Tesseract tries its other language on a word only when the first is unsure of it: with English
// first "fährt", "später", "prüfen" came out as "fahrt", "spater", "priifen", with German first an
// English "first" as "fırst". In either order German lines are read at least as well as by the
// tesseract command with German first, English lines as with English first.
TEST(TesseractTextRecognizer, ReadsGermanLinesWithGermanFirstAndEnglishLinesWithEnglishFirst)
{
    if (!hasTesseractCommand())
        GTEST_SKIP() << "the tesseract command is not installed";
    TesseractTextRecognizer englishFirst(QStringLiteral("eng+deu"));
    TesseractTextRecognizer germanFirst(QStringLiteral("deu+eng"));
    const QStringList english = kEnglishSampleLines
        + QStringList {QStringLiteral("Download the latest version from the website first.")};
    for (const auto& [lines, family, pixelSize, first] : {std::tuple {kGermanSampleLines, "Lato", 20, "deu+eng"},
             {kGermanSampleLines, "DejaVu Serif", 26, "deu+eng"}, {english, "Lato", 24, "eng+deu"}}) {
        const TextBlock block {lines, QString::fromLatin1(family), pixelSize, {pixelSize, pixelSize}};
        const QImage image = renderedText({block}, block.rect().size() + QSize(2, 2) * pixelSize);
        const std::optional<QString> commandText = tesseractCommandReads(image, QString::fromLatin1(first));
        ASSERT_TRUE(commandText.has_value());
        const std::vector<qsizetype> commandErrors = lineErrors(*commandText, lines);
        for (TesseractTextRecognizer* recognizer : {&englishFirst, &germanFirst}) {
            const std::optional<QString> text = recognizer->recognizeText(image);
            ASSERT_TRUE(text.has_value());
            const std::vector<qsizetype> errors = lineErrors(*text, lines);
            for (size_t i = 0; i < errors.size(); ++i)
                EXPECT_LE(errors[i], commandErrors[i])
                    << family << (recognizer == &germanFirst ? ", German" : ", English") << " first:\n"
                    << text->toStdString();
        }
    }
}

// Marks of an annotation editor drawn over lines of text (a frame round two lines, arrows and a pen
// scribble across them, highlighter bars), light and dark: in plain luminance they were as dark as
// the text and little of the page was read. Coloured text (a link, white on a coloured bar, a
// coloured heading) is read as before.
TEST(TesseractTextRecognizer, ReadsTheLinesUnderColouredMarksAtLeastAsWellAsTheTesseractCommand)
{
    if (!hasTesseractCommand())
        GTEST_SKIP() << "the tesseract command is not installed";
    TesseractTextRecognizer recognizer;
    const QStringList lines = kGermanSampleLines.mid(0, 4) + kEnglishSampleLines;
    for (const auto& [family, pixelSize, dark] : {std::tuple {"DejaVu Sans", 17, false}, {"Lato", 16, true}}) {
        const TextBlock block {lines, QString::fromLatin1(family), pixelSize, {pixelSize, pixelSize}};
        QImage image = renderedText({block}, block.rect().size() + QSize(2, 2) * pixelSize);
        if (dark)
            image.invertPixels();
        const double width = image.width();
        const double spacing = QFontMetrics(block.font()).lineSpacing();
        const auto row = [&](double line) { return pixelSize + spacing * (line + 0.5); };
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        for (const int line : {0, 5})
            painter.fillRect(QRectF(pixelSize, row(line) - spacing * 0.6, width * 0.75, spacing * 1.2), QColor(255, 214, 0, 115));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        const auto pen = [&](QColor colour) { painter.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)); };
        pen(QColor(255, 59, 48));
        painter.drawRect(QRectF(pixelSize / 2.0, row(1) - spacing * 0.45, width * 0.6, spacing * 1.9));
        painter.drawLine(QPointF(width * 0.9, row(6) + 5), QPointF(width * 0.3, row(1)));
        pen(QColor(0, 122, 255));
        painter.drawLine(QPointF(width * 0.05, row(6)), QPointF(width * 0.6, row(3)));
        pen(QColor(176, 82, 222));
        QPainterPath scribble(QPointF(width * 0.2, row(4)));
        for (double x = width * 0.2; x < width * 0.95; x += 5)
            scribble.lineTo(x, row(4) + spacing * 0.6 * std::sin(x / 25));
        painter.drawPath(scribble);
        painter.end();
        const std::optional<QString> text = recognizer.recognizeText(image);
        const std::optional<QString> commandText = tesseractCommandReads(image);
        ASSERT_TRUE(text && commandText) << family;
        const double errors = characterErrorRate(*text, lines);
        EXPECT_LE(errors, characterErrorRate(*commandText, lines)) << family << ":\n" << text->toStdString();
        EXPECT_LT(errors, 0.1) << family << ":\n" << text->toStdString();
    }

    const QStringList coloured {kGermanSampleLines[2], kEnglishSampleLines[1], kGermanSampleLines[3]};
    QImage image(640, 150, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(28);
    painter.setFont(font);
    painter.setPen(QColor(220, 40, 40));
    painter.drawText(QPointF(16, 36), coloured[0].left(22));
    font.setPixelSize(16);
    font.setUnderline(true);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 238));
    painter.drawText(QPointF(16, 80), coloured[1]);
    font.setUnderline(false);
    painter.setFont(font);
    painter.fillRect(QRectF(10, 100, 480, 30), QColor(0, 122, 255));
    painter.setPen(Qt::white);
    painter.drawText(QPointF(16, 120), coloured[2]);
    painter.end();
    const std::optional<QString> text = recognizer.recognizeText(image);
    ASSERT_TRUE(text.has_value());
    const std::vector<qsizetype> errors = lineErrors(*text, {coloured[0].left(22), coloured[1], coloured[2]});
    EXPECT_LE(*std::max_element(errors.begin(), errors.end()), 1) << text->toStdString();
}

// Text of one size is read once, at the enlargement of its size, wherever the selection's edges
// fall, also through the rows above and below: as it is from an x-height of 7 pixels (DejaVu Sans
// at 13 px), enlarged below.
TEST(TesseractTextRecognizer, ReadsTextOfOneSizeOnceAtOneEnlargement)
{
    const QStringList lines = kGermanSampleLines.mid(2, 3) + kEnglishSampleLines.mid(2, 1);
    for (const int pixelSize : {10, 11, 13, 14, 17, 20, 28}) {
        const TextBlock block {QStringList {kGermanSampleLines[6]} + lines + QStringList {kGermanSampleLines[7]},
            QStringLiteral("DejaVu Sans"), pixelSize, {20, 20}};
        const QImage page = renderedText({block}, block.rect().size() + QSize(40, 40));
        const int lineSpacing = QFontMetrics(block.font()).lineSpacing();
        const QRect text(0, 20 + lineSpacing, page.width(), 4 * lineSpacing);
        QSet<double> factors;
        for (const QRect& selection : {text, text.adjusted(7, -3, -9, 4), text.adjusted(18, 2, -12, -2),
                 text.adjusted(0, -lineSpacing * 4 / 10, 0, lineSpacing / 2)}) {
            const std::vector<TesseractTextRecognizer::Strip> strips = TesseractTextRecognizer::readingStrips(
                page.copy(selection));
            ASSERT_EQ(strips.size(), 1u) << pixelSize;
            factors.insert(strips.front().factor);
        }
        EXPECT_EQ(factors.size(), 1) << pixelSize;
        EXPECT_EQ(*factors.begin() > 1.0, pixelSize < 13) << pixelSize;
    }
    EXPECT_TRUE(TesseractTextRecognizer::readingStrips(QImage()).empty());
}

namespace {

bool eventually(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(60000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

}

// An engine loaded while the user draws the area serves the read, whichever worker thread runs
// it; an engine left idle for its lifetime is ended and its memory given back.
TEST(TesseractTextRecognizer, AnEngineLoadedAheadServesTheReadAndEndsWhenLeftIdle)
{
    TesseractTextRecognizer recognizer(QStringLiteral("eng+deu"), std::chrono::milliseconds(200));
    recognizer.prepare();
    recognizer.prepare(); // one load, however often it is asked for
    ASSERT_TRUE(eventually([&] { return recognizer.enginesIdle() == 1; }));
    std::optional<QString> text;
    std::thread reader([&] { text = recognizer.recognizeText(interfaceParagraphs(16)); });
    reader.join();
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(text->contains(QStringLiteral("keyboard")));
    EXPECT_EQ(recognizer.enginesLoaded(), 1);
    EXPECT_TRUE(eventually([&] { return recognizer.enginesIdle() == 0; })) << "the idle engine was never ended";
}

// Tesseract ends the last line of a paragraph with a second line break, and one more was added to
// it: two blank lines between paragraphs where the tesseract command sets one. Also where small
// paragraphs are read enlarged in a strip of their own and set in the page's reading.
TEST(TesseractTextRecognizer, SetsOneBlankLineBetweenParagraphsAsTheTesseractCommandDoes)
{
    TesseractTextRecognizer recognizer;
    for (const int smallSize : {16, 10}) {
        std::vector<TextBlock> paragraphs;
        int top = 16;
        for (int i = 0; i < 4; ++i) {
            const int size = i == 1 || i == 2 ? smallSize : 16;
            paragraphs.push_back({{kGermanSampleLines[i], kEnglishSampleLines[i % 3]}, "DejaVu Sans", size, {16, top}});
            top = paragraphs.back().rect().bottom() + 16;
        }
        const QImage page = renderedText(paragraphs, QSize(paragraphs[0].rect().right() + 16, top));
        const std::optional<QString> text = recognizer.recognizeText(page);
        ASSERT_TRUE(text.has_value());
        const QStringList read = text->split(QStringLiteral("\n\n"));
        EXPECT_EQ(read.size(), 4) << smallSize << " px:\n" << text->toStdString();
        for (const QString& paragraph : read)
            EXPECT_EQ(paragraph.count(QLatin1Char('\n')), 1) << smallSize << " px:\n" << text->toStdString();
        const std::optional<QString> commandText = hasTesseractCommand() ? tesseractCommandReads(page) : std::nullopt;
        if (commandText) {
            EXPECT_EQ(text->count(QStringLiteral("\n\n")), commandText->trimmed().count(QStringLiteral("\n\n")));
        }
        // The small paragraphs have a strip of their own.
        EXPECT_EQ(TesseractTextRecognizer::readingStrips(page).size() > 1, smallSize < 16);
    }
}

namespace {

// A transcript's lines without their spaces (a blank line as an empty one).
QStringList linesWithoutSpaces(const QString& transcript)
{
    QStringList lines;
    for (const QString& line : transcript.trimmed().split(QLatin1Char('\n')))
        lines << QString(line).remove(QRegularExpression(QStringLiteral("\\s")));
    return lines;
}

}

// Indented code with quoted names (DejaVu Sans Mono, 15 px), whose small quotes made its lines read
// apart as small print, or cut into two columns at wide gutters: read line for line, as the
// tesseract command reads the same pixels.
TEST(TesseractTextRecognizer, ReadsIndentedCodeLineForLineAsTheTesseractCommandDoes)
{
    const QStringList python {QStringLiteral("def person(name, age):"), QStringLiteral("    person = {"),
        QStringLiteral("    \"name\": name.strip(),"), QStringLiteral("    \"city\": \"Berlin\","),
        QStringLiteral("    }"), QStringLiteral("    return person")};
    const QStringList json {QStringLiteral("{"), QStringLiteral("  \"name\": \"Quorvel\","),
        QStringLiteral("  \"version\": \"1.4.2\","), QStringLiteral("  \"license\": \"MIT\","),
        QStringLiteral("  \"private\": true"), QStringLiteral("}")};
    TesseractTextRecognizer recognizer;
    for (const QStringList& code : {python, json}) {
        for (const int margin : {10, 30}) {
            const TextBlock block {code, QStringLiteral("DejaVu Sans Mono"), 15, {margin, margin}};
            const QImage image = renderedText({block}, block.rect().size() + QSize(2 * margin + 10, 2 * margin));
            const std::vector<TesseractTextRecognizer::Strip> strips = TesseractTextRecognizer::readingStrips(image);
            ASSERT_EQ(strips.size(), 1u) << code[1].toStdString() << ", margin " << margin;
            EXPECT_EQ(strips.front().factor, 1.0) << code[1].toStdString() << ", margin " << margin;
            if (!hasTesseractCommand())
                continue;
            const std::optional<QString> text = recognizer.recognizeText(image);
            const std::optional<QString> commandText = tesseractCommandReads(image);
            ASSERT_TRUE(text && commandText);
            EXPECT_EQ(linesWithoutSpaces(*text).join(QLatin1Char('\n')).toStdString(),
                linesWithoutSpaces(*commandText).join(QLatin1Char('\n')).toStdString())
                << "margin " << margin;
            if (code == python) {
                EXPECT_TRUE(linesWithoutSpaces(*text).contains(QStringLiteral("\"name\":name.strip(),")))
                    << text->toStdString();
            }
        }
    }
}
