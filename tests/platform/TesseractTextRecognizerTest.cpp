// Tesseract with the English and German models finds the lines of a rendered image.
#include "platform/linux/TesseractTextRecognizer.h"

#include <QFontMetricsF>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QPainter>
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

const QStringList kGermanAndEnglishLines {QStringLiteral("Bitte prüfen Sie die beigefügten Unterlagen während der Woche."),
    QStringLiteral("The quick brown fox jumps over the lazy dog at 10:45.")};

// The lines in one font and pixel size, dark on a light window background.
QImage renderedLines(const QString& family, int pixelSize)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QString& line : kGermanAndEnglishLines)
        width = std::max(width, metrics.horizontalAdvance(line));
    QImage image(width + 2 * pixelSize, metrics.lineSpacing() * int(kGermanAndEnglishLines.size()) + 2 * pixelSize,
        QImage::Format_RGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(QColor(25, 25, 25));
    for (int i = 0; i < kGermanAndEnglishLines.size(); ++i)
        painter.drawText(QPointF(pixelSize, pixelSize + metrics.ascent() + i * metrics.lineSpacing()),
            kGermanAndEnglishLines[i]);
    return image;
}

// Edits needed to turn the transcript (spaces and blank lines evened out) into the lines, per
// character of the lines.
double characterErrorRate(const QString& transcript)
{
    QStringList lines;
    for (const QString& line : transcript.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.simplified().isEmpty())
            lines << line.simplified();
    }
    const QString got = lines.join(QLatin1Char('\n'));
    const QString expected = kGermanAndEnglishLines.join(QLatin1Char('\n'));
    std::vector<qsizetype> previous(size_t(expected.size() + 1)), current(previous.size());
    for (qsizetype j = 0; j <= expected.size(); ++j)
        previous[size_t(j)] = j;
    for (qsizetype i = 1; i <= got.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= expected.size(); ++j)
            current[size_t(j)] = std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1,
                previous[size_t(j - 1)] + (got[i - 1] == expected[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return double(previous.back()) / double(expected.size());
}

// What the tesseract command reads from the same pixels as a PNG file; nullopt without the command.
std::optional<QString> tesseractCommandReads(const QImage& image)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("lines.png"));
    if (!image.save(file))
        return std::nullopt;
    QProcess process;
    process.start(QStringLiteral("tesseract"), {file, QStringLiteral("-"), QStringLiteral("-l"), QStringLiteral("eng+deu")});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

}

// Enlarging every small selection three times cost the umlauts of 16-24 px text; the enlargement
// now follows the measured text height. Compared with the tesseract command on the same pixels.
TEST(TesseractTextRecognizer, ReadsGermanAndEnglishLinesAtLeastAsWellAsTheTesseractCommand)
{
    if (QStandardPaths::findExecutable(QStringLiteral("tesseract")).isEmpty())
        GTEST_SKIP() << "the tesseract command is not installed";
    TesseractTextRecognizer recognizer;
    double ours = 0;
    double command = 0;
    const std::pair<const char*, int> cases[] {{"DejaVu Sans", 12}, {"Lato", 16}, {"DejaVu Sans", 20}, {"Lato", 24}};
    for (const auto& [family, pixelSize] : cases) {
        const QImage image = renderedLines(QString::fromLatin1(family), pixelSize);
        const std::optional<QString> text = recognizer.recognizeText(image);
        ASSERT_TRUE(text.has_value()) << family << " " << pixelSize;
        const std::optional<QString> commandText = tesseractCommandReads(image);
        ASSERT_TRUE(commandText.has_value());
        for (const char* word : {"prüfen", "beigefügten", "während", "quick", "lazy"})
            EXPECT_TRUE(text->contains(QString::fromUtf8(word)))
                << word << " at " << pixelSize << " px " << family << ": " << text->toStdString();
        ours += characterErrorRate(*text);
        command += characterErrorRate(*commandText);
    }
    EXPECT_LE(ours, command) << "character error rates summed over the sizes";
}
