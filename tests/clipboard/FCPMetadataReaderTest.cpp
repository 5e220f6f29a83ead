// The Final Cut Pro metadata reader: the keyed-archive walk, the FCPXML fallback, the name
// heuristics and the duration text.
#include "clipboard/FCPMetadataReader.h"
#include "clipboard/FCPPropertyList.h"
#include "ClipboardTestSupport.h"
#include "platform/PasteboardTypes.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace FCPMetadataReader;
using PList = FCPPropertyList;

namespace {

const QString fcpType = QStringLiteral("com.apple.flexo.proFFPasteboardUTI");

QList<std::pair<QString, QByteArray>> copyOf(const QByteArray& bytes, const QString& type = fcpType)
{
    return {{PasteboardTypes::utf8PlainText, "hello"}, {type, bytes}};
}

}

TEST(FCPFormatDuration, FollowsTheFrameRateRulesAndClamps)
{
    const std::pair<double, const char*> cases[] = {
        {0.02, "0s"},
        {0.5, "0.5s"},
        {5.005, "5s"},
        {9.99, "9.9s"},
        {10.5, "10s"},
        {59.9, "59s"},
        {60, "1:00"},
        {3725, "1:02:05"},
        {5.5, "5.5s"},
        {3600, "1:00:00"},
        {90, "1:30"},
        {0, "0s"},
        {-4.5, "0s"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(formatDuration(seconds), QString::fromLatin1(text)) << seconds;

    // Values beyond 64 bits are clamped.
    EXPECT_EQ(formatDuration(std::numeric_limits<double>::quiet_NaN()), "0s");
    EXPECT_EQ(formatDuration(-std::numeric_limits<double>::infinity()), "0s");
    const QString huge = formatDuration(std::numeric_limits<double>::infinity());
    EXPECT_TRUE(huge.endsWith(":00")) << huge.toStdString();
    EXPECT_EQ(formatDuration(1e300), huge);
}

TEST(FCPNameHeuristics, TellsClipNamesFromArchiveNoise)
{
    for (const char* name : {"A001_C002", "Interview 2", "2024-05-01", "Take-3", "Zoë 12"})
        EXPECT_TRUE(isLikelyClipName(QString::fromUtf8(name))) << name;
    for (const char* name : {"Interview", "12345", "clip.mov", "a12", "v3", "file://x/y", "NSString", "https-x 1",
             "/tmp/a 1", "ab", "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0", "QUJDREVGR0hJSktMTU5PUFFSU1RVVg==", "root",
             "my UUID 1", "public.data 1", "Pasteboard 1", "sound.aiff"})
        EXPECT_FALSE(isLikelyClipName(QString::fromUtf8(name))) << name;
    // Digits and a separator without letters still make a name.
    EXPECT_TRUE(isLikelyClipName(QStringLiteral("12 34")));
    // The suffix rule decides even where letters and digits would make a name.
    EXPECT_FALSE(isLikelyClipName(QStringLiteral("clip 1.mov")));
    EXPECT_FALSE(isLikelyClipName(QStringLiteral("sound 1.aiff")));
    // Lengths count user-perceived characters: an emoji with a skin-tone modifier is one.
    const QString thumb = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");
    EXPECT_TRUE(isLikelyClipName(QStringLiteral("Take ") + thumb.repeated(55)));  // 60 characters, 225 code units
    EXPECT_FALSE(isLikelyClipName(QStringLiteral("Take ") + thumb.repeated(56))); // 61 characters
}

TEST(FCPNameHeuristics, ScoresDatesAboveShortAndLongNames)
{
    EXPECT_EQ(scoreClipName(QStringLiteral("2024-05-01")), 150);
    EXPECT_EQ(scoreClipName(QStringLiteral("A001_C002")), 30);
    EXPECT_EQ(scoreClipName(QStringLiteral("Interview 2")), 10);
    EXPECT_EQ(scoreClipName(QStringLiteral("Scene 1 - Take 2 final")), 20 - 50);
    EXPECT_EQ(scoreClipName(QStringLiteral("v1.2")), 30 - 30);
}

TEST(FCPSystemStrings, CoverPrefixesMarkersAndLength)
{
    for (const char* s : {"{(0/1),(1/1)}", "$class", "NSArray", "FFAnchoredClip", "DSObject", "kMDItem", "root",
             "myUUIDs", "someClass", "", "com.apple.x", "public.jpeg", "xPasteboard", "pasteboardy"})
        EXPECT_TRUE(isSystemString(QString::fromLatin1(s))) << s;
    EXPECT_TRUE(isSystemString(QString(101, QLatin1Char('a'))));
    EXPECT_FALSE(isSystemString(QString(100, QLatin1Char('a'))));
    EXPECT_FALSE(isSystemString(QStringLiteral("Interview")));
}

TEST(FCPXMLFallback, NamesAndDurations)
{
    EXPECT_EQ(extractFCPClipName(R"(<asset-clip name="A" offset="0s"/><clip  name="B"><clip name="A">)"), "A, B");
    EXPECT_EQ(extractFCPClipName(R"(<clip name="Solo" duration="5s">)"), "Solo");
    EXPECT_EQ(
        extractFCPClipName(R"(<sync-clip name="One"/><mc-clip name="Two"/><ref-clip name="Three"/>)"), "One + 2 more");
    QString six;
    for (int i = 1; i <= 6; ++i)
        six += QStringLiteral("<clip name=\"C%1\"/>").arg(i);
    EXPECT_EQ(extractFCPClipName(six), "C1 + 4 more");
    EXPECT_EQ(extractFCPClipName(R"(<clip name=""/><title name="x"/><clip offset="1s"/>)"), std::nullopt);

    EXPECT_EQ(extractFCPDuration(R"(<clip duration="13200/2400s"/>)"), "5.5s");
    EXPECT_EQ(extractFCPDuration(R"(<clip duration="90/0s"/>)"), "1:30");
    EXPECT_EQ(extractFCPDuration(R"(<clip duration="3600s"/>)"), "1:00:00");
    EXPECT_EQ(extractFCPDuration(R"(<clip duration="90"/>)"), std::nullopt);
    // An absurd digit run is clamped, not converted blindly.
    const auto huge = extractFCPDuration(
        QStringLiteral("duration=\"") + QString(400, QLatin1Char('9')) + QStringLiteral("s\""));
    ASSERT_TRUE(huge.has_value());
    EXPECT_TRUE(huge->contains(QLatin1Char(':')));
}

TEST(FCPXMLFallback, ScansOnlyTheFirstMebibyte)
{
    const QString padding(static_cast<qsizetype>(maxScannedText), QLatin1Char(' '));
    EXPECT_EQ(extractFCPClipName(padding + QStringLiteral("<clip name=\"Late\"/>")), std::nullopt);
    EXPECT_EQ(extractFCPClipName(QStringLiteral("<clip name=\"Early\"/>") + padding), "Early");
}

TEST(FCPArchive, NameByReferenceCountAndDuration)
{
    const QByteArray data = fcpPasteboardData(
        {PNode::str("$null"), PNode::map({{"displayName", PNode::num(3)}}), PNode::str("{(0/1),(13200/2400)}"),
            PNode::str("My Clip"), PNode::str("2024-05-01")},
        3);
    const Metadata m = extractFCPMetadata(data);
    EXPECT_EQ(m.clipName, "My Clip"); // the reference wins over the better-scoring heuristic name
    EXPECT_EQ(m.clipCount, 3);
    EXPECT_EQ(m.duration, "5.5s");

    // The reference also works as an object UID.
    const QByteArray byUID = fcpPasteboardData(
        {PNode::map({{"displayName", PNode::uid(1)}}), PNode::str("Clip via UID")});
    EXPECT_EQ(extractFCPMetadata(byUID).clipName, "Clip via UID");
}

TEST(FCPArchive, BadReferencesFallBackToTheHeuristic)
{
    for (const PNode& target : {PNode::num(1), PNode::num(2), PNode::num(99), PNode::num(-1)}) {
        const QByteArray data = fcpPasteboardData(
            {PNode::map({}), PNode::str("root"), PNode::str("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0"),
                PNode::map({{"displayName", target}}), PNode::map({{"displayName", PNode::num(6)}}),
                PNode::str("Interview 2"), PNode::str("A001_C002"), PNode::str("2024-05-01")});
        // Only the first dictionary with an integer displayName decides; then the best score wins.
        EXPECT_EQ(extractFCPMetadata(data).clipName, "2024-05-01") << target.integer;
    }
    // A non-integer displayName is passed over, and the next one decides.
    const QByteArray skipped = fcpPasteboardData({PNode::map({{"displayName", PNode::str("x")}}),
        PNode::map({{"displayName", PNode::num(2)}}), PNode::str("Named 1")});
    EXPECT_EQ(extractFCPMetadata(skipped).clipName, "Named 1");
    // Equal scores keep archive order.
    const QByteArray tie = fcpPasteboardData({PNode::str("Cam_A1"), PNode::str("Cam_B1")});
    EXPECT_EQ(extractFCPMetadata(tie).clipName, "Cam_A1");
}

TEST(FCPArchive, TimeStringsMustBeUnitless)
{
    EXPECT_EQ(extractFCPMetadata(fcpPasteboardData({PNode::str("{(0),(3600)}")})).duration, "1:00:00");
    EXPECT_EQ(extractFCPMetadata(fcpPasteboardData({PNode::str("{(0),(90/1)}")})).duration, "1:30");
    EXPECT_EQ(
        extractFCPMetadata(fcpPasteboardData({PNode::str("{(0s),(90s)}"), PNode::str("{(0),(60)}")})).duration, "1:00");
    EXPECT_EQ(extractFCPMetadata(fcpPasteboardData({PNode::str("{(0s),(90s)}")})).duration, std::nullopt);
}

TEST(FCPReading, CountsAndFallbacks)
{
    // No Final Cut Pro type at all.
    EXPECT_EQ(read({{PasteboardTypes::utf8PlainText, "x"}}), Metadata {});
    // Unreadable bytes: count 1, nothing else.
    EXPECT_EQ(read(copyOf(QByteArray("\xff\xfe\x00garbage", 10))), (Metadata {std::nullopt, 1, std::nullopt}));
    // A list without the copied-types dictionary still counts one clip.
    const QByteArray noCount = fcpPasteboardData({PNode::str("Clip_01")}, std::nullopt);
    EXPECT_EQ(read(copyOf(noCount)), (Metadata {QStringLiteral("Clip_01"), 1, std::nullopt}));
    // FCPXML text fills what the archive lacks; the first matching type is read.
    const QByteArray xml = R"(<?xml version="1.0"?><fcpxml><asset-clip name="Beach" duration="48/24s"/></fcpxml>)";
    EXPECT_EQ(read(copyOf(xml, QStringLiteral("com.apple.finalcutpro.xml.v1-10"))),
        (Metadata {QStringLiteral("Beach"), 1, QStringLiteral("2s")}));
    // Clip counts beyond int are clamped.
    const QByteArray many = fcpPasteboardData({}, std::numeric_limits<qint64>::max());
    EXPECT_EQ(read(copyOf(many)).clipCount, std::numeric_limits<int>::max());
}

TEST(FCPArchive, ListsWrittenByAnotherWriterReadTheSame)
{
    // Seed files of the fuzz corpus, written by Python's plistlib (binary and XML, UIDs inside).
    if (!qEnvironmentVariableIsSet("QUORVEL_TEST_SOURCE_DIR"))
        GTEST_SKIP() << "QUORVEL_TEST_SOURCE_DIR names the source tree (ctest sets it)";
    const QString corpus = qEnvironmentVariable("QUORVEL_TEST_SOURCE_DIR") + "/fuzz/corpus/fuzz_plist/";
    for (const char* name : {"fcp_binary.bplist", "fcp_xml.plist"}) {
        QFile file(corpus + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        const Metadata m = extractFCPMetadata(file.readAll());
        EXPECT_EQ(m, (Metadata {QStringLiteral("Interview 2"), 2, QStringLiteral("5.5s")})) << name;
    }
    QFile names(corpus + "filenames.plist");
    ASSERT_TRUE(names.open(QIODevice::ReadOnly));
    const PList::ValuePtr list = PList::parse(names.readAll());
    ASSERT_TRUE(list && list->isArray());
    EXPECT_EQ(list->array.at(0)->string, "/Users/me/Movies/Take 1.mov");
}
