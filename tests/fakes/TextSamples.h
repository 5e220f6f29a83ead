#pragma once
// Rendered text for the tests and benchmarks of text recognition: German and English lines in a
// font and pixel size, the edits between a transcript and the lines it should read, and what the
// tesseract command reads from the same pixels.
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <optional>
#include <vector>

// German lines full of umlauts, then English lines.
inline const QStringList kGermanSampleLines {
    QStringLiteral("Bitte prüfen Sie die beigefügten Unterlagen während der Woche."),
    QStringLiteral("Der Zug fährt später ab, die Plätze sind reserviert."),
    QStringLiteral("Die Größe der Übersicht lässt sich später ändern."),
    QStringLiteral("Öffne die Einstellungen für weitere Optionen."),
    QStringLiteral("Für Rückfragen stehen wir Ihnen gerne zur Verfügung."),
    QStringLiteral("Die Gebühren müssen bis zum Monatsende überwiesen werden."),
    QStringLiteral("Wählen Sie ein Verzeichnis für die Sicherungskopien."),
    QStringLiteral("Schließen Sie alle Fenster, bevor Sie das Gerät ausschalten.")};
inline const QStringList kEnglishSampleLines {QStringLiteral("The quick brown fox jumps over the lazy dog at 10:45."),
    QStringLiteral("Please restart the application to apply the changes."),
    QStringLiteral("Invoice total 1,234.56 due today, payable by transfer.")};

// Lines set in one font and pixel size, their first line's top left corner at `topLeft`.
struct TextBlock {
    QStringList lines;
    QString family;
    int pixelSize = 16;
    QPoint topLeft;

    QFont font() const
    {
        QFont font(family);
        font.setPixelSize(pixelSize);
        return font;
    }
    QRect rect() const
    {
        const QFontMetrics metrics(font());
        int width = 0;
        for (const QString& line : lines)
            width = std::max(width, metrics.horizontalAdvance(line));
        return {topLeft, QSize(width, metrics.lineSpacing() * int(lines.size()))};
    }
};

// Two columns of seven lines, German on the left and English on the right, in one font and size
// with a gutter of two ems between them.
inline std::vector<TextBlock> twoColumns(const QString& family, int pixelSize)
{
    static const QStringList left {QStringLiteral("Die Größe der Übersicht lässt"),
        QStringLiteral("sich später in den Einstellungen"), QStringLiteral("ändern. Bitte prüfen Sie, ob"),
        QStringLiteral("die Plätze während der Woche"), QStringLiteral("frei sind, bevor der Zug fährt."),
        QStringLiteral("Für Rückfragen stehen wir"), QStringLiteral("Ihnen gerne zur Verfügung.")};
    static const QStringList right {QStringLiteral("Please restart the application"),
        QStringLiteral("to apply the new keyboard"), QStringLiteral("shortcuts. The quick brown fox"),
        QStringLiteral("jumps over the lazy dog at"), QStringLiteral("10:45 every morning. Select a"),
        QStringLiteral("folder where the backups should"), QStringLiteral("be stored today.")};
    const TextBlock first {left, family, pixelSize, {pixelSize, pixelSize}};
    const TextBlock second {right, family, pixelSize, {first.rect().right() + 2 * pixelSize, pixelSize}};
    return {first, second};
}

// The blocks dark on a light window background, on an image of `size`.
inline QImage renderedText(const std::vector<TextBlock>& blocks, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    painter.setPen(QColor(25, 25, 25));
    for (const TextBlock& block : blocks) {
        painter.setFont(block.font());
        const QFontMetrics metrics(block.font());
        for (int i = 0; i < block.lines.size(); ++i)
            painter.drawText(
                QPointF(block.topLeft.x(), block.topLeft.y() + metrics.ascent() + i * metrics.lineSpacing()),
                block.lines[i]);
    }
    return image;
}

// The lines of a transcript with their spaces evened out, blank lines dropped.
inline QStringList transcriptLines(const QString& transcript)
{
    QStringList lines;
    for (const QString& line : transcript.split(QLatin1Char('\n'))) {
        if (!line.simplified().isEmpty())
            lines << line.simplified();
    }
    return lines;
}

// The fewest insertions, deletions and replacements of characters that turn one text into the other.
inline qsizetype editDistance(const QString& from, const QString& to)
{
    std::vector<qsizetype> previous(size_t(to.size() + 1)), current(previous.size());
    for (qsizetype j = 0; j <= to.size(); ++j)
        previous[size_t(j)] = j;
    for (qsizetype i = 1; i <= from.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= to.size(); ++j)
            current[size_t(j)] = std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1,
                previous[size_t(j - 1)] + (from[i - 1] == to[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return previous.back();
}

// Edits that turn the transcript into the lines in their order, per character of the lines.
inline double characterErrorRate(const QString& transcript, const QStringList& lines)
{
    const QString expected = lines.join(QLatin1Char('\n'));
    return double(editDistance(transcriptLines(transcript).join(QLatin1Char('\n')), expected))
        / double(expected.size());
}

// For each line, the edits from the transcript's line closest to it.
inline std::vector<qsizetype> lineErrors(const QString& transcript, const QStringList& lines)
{
    const QStringList got = transcriptLines(transcript);
    std::vector<qsizetype> errors;
    for (const QString& line : lines) {
        qsizetype fewest = line.size();
        for (const QString& candidate : got)
            fewest = std::min(fewest, editDistance(candidate, line));
        errors.push_back(fewest);
    }
    return errors;
}

// Runs the tesseract command on a PNG file with the languages Quorvel reads (as in
// `tesseract page.png - -l eng+deu`), its OpenMP threads limited to idle cores as Quorvel's own
// engine is; nullopt when the command is missing or fails.
inline std::optional<QString> tesseractCommandReadsFile(
    const QString& file, const QString& languages = QStringLiteral("eng+deu"))
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_DYNAMIC"), QStringLiteral("true"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("tesseract"), {file, QStringLiteral("-"), QStringLiteral("-l"), languages});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// What the tesseract command reads from the same pixels saved as a PNG file.
inline std::optional<QString> tesseractCommandReads(
    const QImage& image, const QString& languages = QStringLiteral("eng+deu"))
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("selection.png"));
    if (!image.save(file))
        return std::nullopt;
    return tesseractCommandReadsFile(file, languages);
}
