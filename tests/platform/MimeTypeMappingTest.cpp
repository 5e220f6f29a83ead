#include "platform/linux/MimeTypeMapping.h"

#include <gtest/gtest.h>

namespace {

using Entry = MimeTypeMapping::Entry;

QStringList typesOf(const QList<Entry>& entries)
{
    QStringList types;
    for (const Entry& entry : entries)
        types.append(entry.type);
    return types;
}

QString targetFor(const QList<Entry>& entries, const QString& type)
{
    for (const Entry& entry : entries)
        if (entry.type == type)
            return entry.target;
    return {};
}

QByteArray servedData(const QList<MimeTypeMapping::ServedTarget>& served, const QString& target)
{
    for (const auto& s : served)
        if (s.target == target)
            return s.data;
    return "<absent>";
}

QStringList servedNames(const QList<MimeTypeMapping::ServedTarget>& served)
{
    QStringList names;
    for (const auto& s : served)
        names.append(s.target);
    return names;
}

} // namespace

TEST(MimeTypeMapping, TypicalToolkitTextOfferGivesOnePlainTextReadFromUtf8String)
{
    // What a GTK application offers for a text copy.
    const QStringList targets = {"TIMESTAMP", "TARGETS", "MULTIPLE", "SAVE_TARGETS", "STRING", "COMPOUND_TEXT", "TEXT",
        "text/plain", "text/plain;charset=utf-8", "UTF8_STRING"};
    const auto entries = MimeTypeMapping::readableTypes(targets);
    ASSERT_EQ(entries, (QList<Entry> {{"public.utf8-plain-text", "UTF8_STRING"}}));
}

TEST(MimeTypeMapping, TextTargetPreferenceAndLatin1Conversion)
{
    EXPECT_EQ(
        targetFor(MimeTypeMapping::readableTypes({"STRING", "text/plain; charset=UTF-8"}), "public.utf8-plain-text"),
        "text/plain; charset=UTF-8");
    EXPECT_EQ(
        targetFor(MimeTypeMapping::readableTypes({"STRING", "text/plain"}), "public.utf8-plain-text"), "text/plain");
    EXPECT_EQ(targetFor(MimeTypeMapping::readableTypes({"STRING"}), "public.utf8-plain-text"), "STRING");

    // STRING is Latin-1 on the wire; the store wants UTF-8.
    EXPECT_EQ(MimeTypeMapping::convertRead("public.utf8-plain-text", "STRING", QByteArray("caf\xe9")),
        QByteArray("caf\xc3\xa9"));
    EXPECT_EQ(MimeTypeMapping::convertRead("public.utf8-plain-text", "UTF8_STRING", QByteArray("caf\xc3\xa9")),
        QByteArray("caf\xc3\xa9"));
}

TEST(MimeTypeMapping, AReplyIsTakenOnlyInTheTypeAskedFor)
{
    EXPECT_TRUE(MimeTypeMapping::replyTypeFits("image/png", "image/png"));
    EXPECT_TRUE(MimeTypeMapping::replyTypeFits("TARGETS", "ATOM"));
    EXPECT_TRUE(MimeTypeMapping::replyTypeFits("UTF8_STRING", "text/plain;charset=utf-8"));
    EXPECT_FALSE(MimeTypeMapping::replyTypeFits("image/png", "UTF8_STRING"));
    EXPECT_FALSE(MimeTypeMapping::replyTypeFits("UTF8_STRING", "image/png"));
    EXPECT_FALSE(MimeTypeMapping::replyTypeFits("text/html", ""));
}

TEST(MimeTypeMapping, OnlyOneImageTargetIsRead)
{
    // png wins wherever it stands; its position in the owner's order is kept.
    auto entries = MimeTypeMapping::readableTypes({"image/bmp", "text/html", "image/jpeg", "image/png", "image/tiff"});
    EXPECT_EQ(typesOf(entries), (QStringList {"public.html", "public.png"}));
    EXPECT_EQ(targetFor(entries, "public.png"), "image/png");

    entries = MimeTypeMapping::readableTypes({"image/bmp", "image/jpeg", "image/tiff"});
    EXPECT_EQ(entries, (QList<Entry> {{"public.jpeg", "image/jpeg"}}));

    entries = MimeTypeMapping::readableTypes({"image/tiff", "image/bmp"});
    EXPECT_EQ(entries, (QList<Entry> {{"public.tiff", "image/tiff"}}));

    entries = MimeTypeMapping::readableTypes({"image/x-portable-bitmap", "image/tiff"});
    EXPECT_EQ(entries, (QList<Entry> {{"public.image", "image/x-portable-bitmap"}}));
}

TEST(MimeTypeMapping, MetaTargetsAreSkippedAndCustomNamesPassVerbatim)
{
    const QStringList targets = {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "DELETE", "INCR", "_QT_SELECTION",
        "_NETSCAPE_URL", "com.apple.flexo.clipboard", "application/x-foo", "text/html", "text/rtf", "application/rtf",
        "x-kde-passwordManagerHint", "chromium/x-web-custom-data"};
    const auto entries = MimeTypeMapping::readableTypes(targets);
    EXPECT_EQ(typesOf(entries),
        (QStringList {"com.apple.flexo.clipboard", "application/x-foo", "public.html", "public.rtf",
            "org.nspasteboard.ConcealedType", "chromium/x-web-custom-data"}));
    EXPECT_EQ(targetFor(entries, "public.rtf"), "text/rtf");
    EXPECT_EQ(targetFor(entries, "org.nspasteboard.ConcealedType"), "x-kde-passwordManagerHint");
    EXPECT_EQ(MimeTypeMapping::readableTypes({"application/rtf"}), (QList<Entry> {{"public.rtf", "application/rtf"}}));
    EXPECT_TRUE(MimeTypeMapping::readableTypes({"TEXT", "COMPOUND_TEXT", ""}).isEmpty());
}

TEST(MimeTypeMapping, UriListBecomesFileUrlOrUrlByItsContent)
{
    const QStringList targets = {"x-special/gnome-copied-files", "text/uri-list", "UTF8_STRING"};
    EXPECT_EQ(MimeTypeMapping::uriListTargetIn(targets), std::optional<QString>("text/uri-list"));
    EXPECT_FALSE(MimeTypeMapping::uriListTargetIn({"UTF8_STRING"}).has_value());

    const QByteArray files = "# copied\r\nfile:///home/u/a%20b.txt\r\nfile:///home/u/c.png\r\n";
    auto entries = MimeTypeMapping::readableTypes(targets, files);
    EXPECT_EQ(typesOf(entries), (QStringList {"public.file-url", "public.utf8-plain-text"}));
    // Without a uri-list beside it the file manager's list is just another custom target.
    EXPECT_EQ(typesOf(MimeTypeMapping::readableTypes({"x-special/gnome-copied-files"})),
        QStringList {"x-special/gnome-copied-files"});
    EXPECT_EQ(MimeTypeMapping::convertRead("public.file-url", "text/uri-list", files), "file:///home/u/a%20b.txt");

    // A list whose first entry is a web address still names a file: the first file URL is read.
    const QByteArray mixed = "https://example.org/\r\nfile:///tmp/x\r\n";
    EXPECT_EQ(MimeTypeMapping::typeForUriList(mixed), "public.file-url");
    EXPECT_EQ(MimeTypeMapping::convertRead("public.file-url", "text/uri-list", mixed), "file:///tmp/x");

    const QByteArray web = "https://example.org/a\nhttps://example.org/b\n";
    EXPECT_EQ(MimeTypeMapping::readableTypes({"text/uri-list"}, web), (QList<Entry> {{"public.url", "text/uri-list"}}));
    EXPECT_EQ(MimeTypeMapping::convertRead("public.url", "text/uri-list", web), "https://example.org/a");

    // Unreadable or empty lists leave the entry out.
    EXPECT_TRUE(MimeTypeMapping::readableTypes({"text/uri-list"}).isEmpty());
    EXPECT_TRUE(MimeTypeMapping::readableTypes({"text/uri-list"}, QByteArray("# nothing\r\n\r\n")).isEmpty());
}

TEST(MimeTypeMapping, WritesServeEveryTargetOfEachTypeOnceInItemOrder)
{
    const QList<Pasteboard::Item> items = {
        {"public.file-url", "file:///home/u/report.pdf"},
        {"public.utf8-plain-text", "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac"},
        {"public.url", "https://example.org/"}, // text/uri-list already taken by the file URL
        {"org.nspasteboard.ConcealedType", "secret"},
        {"public.rtf", "{\\rtf1}"},
        {"com.apple.flexo.clipboard", "fcp"},
        {"TARGETS", "must not be served"},
    };
    const auto served = MimeTypeMapping::servedTargets(items);
    EXPECT_EQ(servedNames(served),
        (QStringList {"text/uri-list", "x-special/gnome-copied-files", "UTF8_STRING", "text/plain;charset=utf-8",
            "text/plain", "STRING", "x-kde-passwordManagerHint", "text/rtf", "application/rtf",
            "com.apple.flexo.clipboard"}));
    EXPECT_EQ(servedData(served, "text/uri-list"), "file:///home/u/report.pdf\r\n");
    EXPECT_EQ(servedData(served, "x-special/gnome-copied-files"), "copy\nfile:///home/u/report.pdf");
    EXPECT_EQ(servedData(served, "UTF8_STRING"), "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac");
    // Latin-1 cannot hold the euro sign.
    EXPECT_EQ(servedData(served, "STRING"), "Gr\xfc\xdf ?");
}

TEST(MimeTypeMapping, GenericImageIsServedUnderTheMimeTypeOfItsBytes)
{
    const QByteArray gif = "GIF89a....";
    EXPECT_EQ(MimeTypeMapping::targetsForType("public.image", gif), QStringList {"image/gif"});
    EXPECT_EQ(MimeTypeMapping::targetsForType("public.image", QByteArray("II*\0rest", 8)), QStringList {"image/tiff"});
    EXPECT_EQ(MimeTypeMapping::targetsForType("public.image", "unknown"), QStringList {"public.image"});
    // A text that merely begins with a bitmap's signature letters is no bitmap.
    EXPECT_EQ(MimeTypeMapping::sniffImageMime("BMW is a car maker from Munich.\n"), QString());
    EXPECT_EQ(MimeTypeMapping::targetsForType("public.image", "BM and more text"), QStringList {"public.image"});
    EXPECT_EQ(MimeTypeMapping::sniffImageMime(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)), "image/png");
    EXPECT_EQ(MimeTypeMapping::targetsForType("public.png"), QStringList {"image/png"});
    EXPECT_EQ(MimeTypeMapping::targetsForType("public.jpeg"), QStringList {"image/jpeg"});
    EXPECT_EQ(MimeTypeMapping::targetsForType("public.html"), QStringList {"text/html"});
}
