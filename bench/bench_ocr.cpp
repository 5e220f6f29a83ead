// Text capture against the tesseract command on the same pixels: the time from a selection to its
// text and the character error rate, for single-size lines, mixed-size selections and two columns
// of German and English text. The command (`tesseract page.png - -l eng+deu`, a new process each
// time, with its OpenMP threads limited to idle cores like Quorvel's engine) is the baseline of the
// same run; the aim is text capture in at most the command's time. Text capture is measured with
// its engine loaded (a text capture loads it while the user draws the area, and an idle engine is
// kept for the next one) and with a new engine loaded by the read itself (an engine never made
// ready, e.g. "Text extrahieren" in the gallery after a long pause).
#include "BenchSupport.h"
#include "fakes/TextSamples.h"
#include "platform/linux/TesseractTextRecognizer.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <thread>

namespace {

struct Selection {
    QImage image;
    QString file; // the same pixels as a PNG file for the command
    QStringList lines;
};

struct Category {
    std::string key;
    const char* title;
    std::vector<Selection> selections;
    double ourErrorRate = 0;
    double commandErrorRate = 0;
};

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

void add(Category& category, const std::vector<TextBlock>& blocks, QSize size)
{
    Selection selection;
    selection.image = renderedText(blocks, size);
    selection.file = folder().filePath(
        QStringLiteral("%1-%2.png").arg(QString::fromStdString(category.key)).arg(category.selections.size()));
    selection.image.save(selection.file);
    for (const TextBlock& block : blocks)
        selection.lines += block.lines;
    category.selections.push_back(std::move(selection));
}

// Single-size lines of 14 to 28 px: four German lines and an English one.
Category singleSize()
{
    Category category {"single", "single-size lines, 14-28 px", {}};
    const QStringList lines = kGermanSampleLines.mid(0, 4) + kEnglishSampleLines.mid(0, 1);
    for (const auto& [family, pixelSize] :
        {std::pair {"DejaVu Sans", 14}, {"DejaVu Sans", 15}, {"DejaVu Sans", 16}, {"DejaVu Sans", 17},
            {"DejaVu Sans", 20}, {"DejaVu Sans", 24}, {"DejaVu Sans", 28}, {"Lato", 16}, {"Lato", 24}}) {
        const TextBlock block {lines, QString::fromLatin1(family), pixelSize, {pixelSize, pixelSize}};
        add(category, {block}, block.rect().size() + QSize(2, 2) * pixelSize);
    }
    return category;
}

// A heading over four lines of body text: plain body text of 14 to 17 px and small print of 9 to 12 px.
Category mixedSizes()
{
    Category category {"mixed", "mixed-size selections", {}};
    for (const auto& [family, headingSize, bodySize] : {std::tuple {"DejaVu Sans", 28, 14}, {"DejaVu Sans", 24, 16},
             {"Lato", 24, 15}, {"DejaVu Sans", 26, 17}, {"DejaVu Sans", 22, 11}, {"Lato", 26, 12},
             {"DejaVu Sans", 20, 10}, {"Lato", 22, 10}, {"DejaVu Sans", 16, 9}}) {
        const TextBlock heading {
            {QStringLiteral("Größere Übungen für Straßenbahnen")}, QString::fromLatin1(family), headingSize, {16, 12}};
        const TextBlock body {kGermanSampleLines.mid(4, 3) + kEnglishSampleLines.mid(1, 1), heading.family, bodySize,
            {16, heading.rect().bottom() + bodySize}};
        add(category, {heading, body},
            QSize(std::max(heading.rect().right(), body.rect().right()) + 16, body.rect().bottom() + 12));
    }
    return category;
}

// Two columns of seven lines with a gutter of two ems.
Category twoColumnText()
{
    Category category {"columns", "two-column text", {}};
    for (const auto& [family, pixelSize] :
        {std::pair {"DejaVu Sans", 14}, {"DejaVu Sans", 16}, {"DejaVu Sans", 20}, {"Lato", 16}, {"Lato", 20}}) {
        const std::vector<TextBlock> columns = twoColumns(QString::fromLatin1(family), pixelSize);
        add(category, columns,
            QSize(columns[1].rect().right(), columns[0].rect().bottom()) + QSize(pixelSize, pixelSize));
    }
    return category;
}

// Edits per character of the expected lines, over every selection of a category.
double errorRate(const Category& category, const std::vector<QString>& transcripts)
{
    double edits = 0;
    double characters = 0;
    for (size_t i = 0; i < category.selections.size(); ++i) {
        const QString expected = category.selections[i].lines.join(QLatin1Char('\n'));
        edits += double(editDistance(transcriptLines(transcripts[i]).join(QLatin1Char('\n')), expected));
        characters += double(expected.size());
    }
    return edits / characters;
}

std::vector<Category>& categories()
{
    static std::vector<Category> all = [] {
        std::vector<Category> list {singleSize(), mixedSizes(), twoColumnText()};
        TesseractTextRecognizer recognizer;
        for (Category& category : list) {
            std::vector<QString> ours, command;
            for (const Selection& selection : category.selections) {
                ours.push_back(recognizer.recognizeText(selection.image).value_or(QString()));
                command.push_back(tesseractCommandReadsFile(selection.file).value_or(QString()));
            }
            category.ourErrorRate = errorRate(category, ours);
            category.commandErrorRate = errorRate(category, command);
        }
        return list;
    }();
    return all;
}

void registerBenchmarks()
{
    static TesseractTextRecognizer recognizer;
    for (const Category& category : categories()) {
        const std::vector<Selection>* selections = &category.selections;
        // The engine is loaded, as for a text capture.
        benchmark::RegisterBenchmark(("BM_TextCapture/" + category.key).c_str(),
            [selections](benchmark::State& state) {
                recognizer.recognizeText(selections->front().image);
                for (auto _ : state) {
                    for (const Selection& selection : *selections)
                        benchmark::DoNotOptimize(recognizer.recognizeText(selection.image));
                }
            })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
        // No engine ready: the read loads one first.
        benchmark::RegisterBenchmark(("BM_TextCaptureNewEngine/" + category.key).c_str(),
            [selections](benchmark::State& state) {
                for (auto _ : state) {
                    for (const Selection& selection : *selections) {
                        std::thread worker([&selection] {
                            TesseractTextRecognizer fresh;
                            benchmark::DoNotOptimize(fresh.recognizeText(selection.image));
                        });
                        worker.join();
                    }
                }
            })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(2);
        benchmark::RegisterBenchmark(("BM_TesseractCommand/" + category.key).c_str(),
            [selections](benchmark::State& state) {
                for (auto _ : state) {
                    for (const Selection& selection : *selections)
                        benchmark::DoNotOptimize(tesseractCommandReadsFile(selection.file));
                }
            })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    registerBenchmarks();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n%-30s %21s %21s %21s %14s\n", "per selection", "text capture", "with a new engine",
        "tesseract command", "capture/command");
    for (const Category& category : categories()) {
        const double count = double(category.selections.size());
        const double ours = reporter.ms("BM_TextCapture/" + category.key + "/iterations:3/real_time") / count;
        const double fresh = reporter.ms("BM_TextCaptureNewEngine/" + category.key + "/iterations:2/real_time") / count;
        const double command = reporter.ms("BM_TesseractCommand/" + category.key + "/iterations:3/real_time") / count;
        const std::string title = std::string(category.title) + " (" + std::to_string(category.selections.size()) + ")";
        std::printf("%-30s %7.0f ms CER %5.2f %% %7.0f ms %12s %7.0f ms CER %5.2f %% %6.2f x / %.2f x\n", title.c_str(),
            ours, 100 * category.ourErrorRate, fresh, "", command, 100 * category.commandErrorRate, ours / command,
            fresh / command);
    }
    return 0;
}
