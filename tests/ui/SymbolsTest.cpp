#include "annotation/PaintTool.h"
#include "ui/Symbols.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR", QStringLiteral("."));
}

QString artifactsDir()
{
    const QString build = qEnvironmentVariableIsSet("QUORVEL_BUILD_DIR")
        ? qEnvironmentVariable("QUORVEL_BUILD_DIR")
        : sourceDir() + QStringLiteral("/build");
    QDir().mkpath(build + QStringLiteral("/artifacts"));
    return build + QStringLiteral("/artifacts");
}

// Symbol-name literals in the program's sources: every dotted lower-case literal that is not a
// reverse-domain identifier, file name or number ("doc.on.clipboard", "1.circle.fill"), and every
// literal handed straight to a symbol, icon or button helper ("trash", "eyedropper").
QSet<QString> symbolNamesInSources()
{
    static const QRegularExpression dotted(QStringLiteral(R"re("([a-z0-9]+(?:\.[a-z0-9]+)+)")re"));
    static const QRegularExpression direct(
        QStringLiteral(R"re(\w*(?:[Ss]ymbol|[Ii]con|Button)\w*\(\s*(?:QStringLiteral\()?"([a-z0-9.]+)")re"));
    static const QSet<QString> notSymbols {QStringLiteral("com"), QStringLiteral("org"), QStringLiteral("net"),
        QStringLiteral("io"), QStringLiteral("public"), QStringLiteral("pl"), QStringLiteral("cc"), QStringLiteral("png"),
        QStringLiteral("feedback")};
    QSet<QString> names;
    QDirIterator files(sourceDir() + QStringLiteral("/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
        QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        for (const auto& match : dotted.globalMatch(text)) {
            const QString name = match.captured(1);
            const QStringList parts = name.split(QLatin1Char('.'));
            bool numeric = true;
            for (const QString& part : parts)
                numeric = numeric && QRegularExpression(QStringLiteral("^[0-9]+s?$")).match(part).hasMatch();
            if (!numeric && !notSymbols.contains(parts.first()) && !notSymbols.contains(parts.last()))
                names.insert(name);
        }
        for (const auto& match : direct.globalMatch(text))
            names.insert(match.captured(1));
    }
    return names;
}

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 96;
    return count;
}

}

TEST(Symbols, EveryNameTheProgramUsesIsInTheIconSet)
{
    const QSet<QString> used = symbolNamesInSources();
    ASSERT_GT(used.size(), 40) << "the source scan found too few names; is QUORVEL_TEST_SOURCE_DIR set?";
    for (const QString& name : used)
        EXPECT_TRUE(Symbols::contains(name)) << name.toStdString();
    for (const PaintTool& tool : PaintTool::allCases())
        EXPECT_TRUE(Symbols::contains(QString::fromLatin1(tool.traits().systemImage))) << tool.traits().systemImage;
}

// Every icon draws something at the smallest size it is shown, and stays inside its box at the
// size it was drawn for; the sheet of all of them goes to the artifacts to be looked at.
TEST(Symbols, EveryIconRendersAtSixteenAndTwentyFourPixels)
{
    const QStringList names = Symbols::names();
    ASSERT_GE(names.size(), 100);
    const int columns = 12;
    QImage sheet(columns * 60, ((names.size() + columns - 1) / columns) * 32, QImage::Format_ARGB32);
    sheet.fill(QColor(18, 18, 18));
    QPainter painter(&sheet);
    for (int i = 0; i < names.size(); ++i) {
        const QImage small = Symbols::pixmap(names[i], 16, Qt::white).toImage();
        const QImage large = Symbols::pixmap(names[i], 24, Qt::white).toImage();
        EXPECT_GT(opaquePixels(small), 6) << names[i].toStdString();
        EXPECT_GT(opaquePixels(large), 12) << names[i].toStdString();
        const QPoint cell((i % columns) * 60, (i / columns) * 32);
        painter.drawImage(cell + QPoint(6, 8), small);
        painter.drawImage(cell + QPoint(28, 4), large);
    }
    painter.end();
    sheet.save(artifactsDir() + QStringLiteral("/symbols.png"));
}

TEST(Symbols, TintKeepsTheIconsOwnOpacityAndTheDevicePixelRatio)
{
    const QImage red = Symbols::pixmap(QStringLiteral("stop.fill"), 24, QColor(255, 0, 0)).toImage();
    EXPECT_EQ(red.pixelColor(12, 12), QColor(255, 0, 0));
    EXPECT_EQ(qAlpha(red.pixel(1, 1)), 0);

    const QImage half = Symbols::pixmap(QStringLiteral("stop.fill"), 24, QColor(0, 0, 255, 128)).toImage();
    EXPECT_NEAR(half.pixelColor(12, 12).alpha(), 128, 2);
    EXPECT_EQ(half.pixelColor(12, 12).blue(), 255);

    // The highlighter's bar is drawn at about half strength whatever the tint.
    const QImage marker = Symbols::pixmap(QStringLiteral("highlighter"), 24, Qt::white).toImage();
    EXPECT_NEAR(qAlpha(marker.pixel(5, 21)), 140, 20);

    // Cut-outs stay transparent: the cross of "xmark.circle.fill" shows what lies beneath.
    const QImage cut = Symbols::pixmap(QStringLiteral("xmark.circle.fill"), 24, Qt::white).toImage();
    EXPECT_EQ(qAlpha(cut.pixel(12, 12)), 0);
    EXPECT_EQ(qAlpha(cut.pixel(12, 4)), 255);

    const QPixmap sharp = Symbols::pixmap(QStringLiteral("trash"), 16, Qt::white, 2);
    EXPECT_EQ(sharp.width(), 32);
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);

    // A name the set lacks still shows something of the right size instead of breaking a layout.
    const QPixmap missing = Symbols::pixmap(QStringLiteral("no.such.symbol"), 20, Qt::white);
    EXPECT_EQ(missing.size(), QSize(20, 20));
    EXPECT_GT(opaquePixels(missing.toImage()), 10);
}
