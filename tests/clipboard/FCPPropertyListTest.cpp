// Property lists of every format (XML, old-style, binary); hostile bytes never crash the reader.
#include "clipboard/FCPPropertyList.h"
#include "ClipboardTestSupport.h"

#include <gtest/gtest.h>

using PList = FCPPropertyList;

TEST(PropertyListFormats, XMLAndOldStyleLists)
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>name</key><string>a &amp; b</string>
  <key>n</key><integer>-42</integer>
  <key>big</key><integer>99999999999999999999999</integer>
  <key>r</key><real>2.5</real>
  <key>d</key><data>aGVs
    bG8=</data>
  <key>t</key><true/>
  <key>ref</key><dict><key>CF$UID</key><integer>7</integer></dict>
  <key>list</key><array><string>x</string><date>2001-01-01T00:01:00Z</date></array>
</dict></plist>)";
    const PList::ValuePtr root = PList::parse(xml);
    ASSERT_TRUE(root && root->isDictionary());
    EXPECT_EQ(root->value(u"name")->string, "a & b");
    EXPECT_EQ(root->value(u"n")->integer, -42);
    EXPECT_EQ(root->value(u"big")->integer, std::numeric_limits<qint64>::max());
    EXPECT_EQ(root->value(u"r")->real, 2.5);
    EXPECT_EQ(root->value(u"d")->data, "hello");
    EXPECT_TRUE(root->value(u"t")->boolean);
    EXPECT_EQ(root->value(u"ref")->type, PList::Value::Type::UID);
    EXPECT_EQ(root->value(u"ref")->integer, 7);
    EXPECT_EQ(root->value(u"list")->array.at(1)->real, 60.0);

    const PList::ValuePtr old = PList::parse(R"( { files = ( "/tmp/a b.mov", /tmp/c ); // comment
        blob = <68 656c>; "q" = "\"\U00e9\n"; } )");
    ASSERT_TRUE(old && old->isDictionary());
    EXPECT_EQ(old->value(u"files")->array.at(0)->string, "/tmp/a b.mov");
    EXPECT_EQ(old->value(u"files")->array.at(1)->string, "/tmp/c");
    EXPECT_EQ(old->value(u"blob")->data, "hel");
    EXPECT_EQ(old->value(u"q")->string, QString::fromUtf8("\"é\n"));

    for (const char* bad : {"", "<plist><dict><key>a</key></dict></plist>", "<plist><integer>x</integer></plist>",
             "{ a = b ", "( a b )", "<0g>", "\"open", "<fcpxml><clip name=\"x\"/></fcpxml>"})
        EXPECT_EQ(PList::parse(QByteArray(bad)), nullptr) << bad;
}

TEST(PropertyListHostileInput, BinaryListsAreBoundsChecked)
{
    const QByteArray good = BinaryPlistWriter::write(
        PNode::map({{"k", PNode::list({PNode::str("v"), PNode::num(1)})}}));
    ASSERT_TRUE(PList::parse(good));

    // Every truncation and every single-byte change is refused or read; none crashes.
    for (qsizetype cut = 0; cut < good.size(); ++cut)
        PList::parse(good.left(cut));
    for (qsizetype i = 0; i < good.size(); ++i) {
        for (int value : {0x00, 0x0F, 0x7F, 0x80, 0xFF}) {
            QByteArray bad = good;
            bad[i] = static_cast<char>(value);
            PList::parse(bad);
        }
    }

    // An array that contains itself is a cycle.
    QByteArray cycle("bplist00");
    cycle += char(0xA1);
    cycle += char(0x00); // element 0: itself
    cycle += char(8);    // offset table: object 0 at 8
    cycle += QByteArray(6, '\0') + char(1) + char(1) + BinaryPlistWriter::be(1, 8) + BinaryPlistWriter::be(0, 8)
        + BinaryPlistWriter::be(10, 8);
    QString error;
    EXPECT_EQ(PList::parseBinary(cycle, &error), nullptr);
    EXPECT_EQ(error, "reference cycle");

    // A length far beyond the bytes.
    QByteArray longString("bplist00");
    longString += char(0x5F);
    longString += char(0x13) + BinaryPlistWriter::be(0x7fffffffffffffffULL, 8);
    longString += char(8);
    longString += QByteArray(6, '\0') + char(1) + char(1) + BinaryPlistWriter::be(1, 8) + BinaryPlistWriter::be(0, 8)
        + BinaryPlistWriter::be(18, 8);
    EXPECT_EQ(PList::parseBinary(longString), nullptr);
}

TEST(PropertyListHostileInput, SharedReferencesDoNotMultiplyAndDepthIsLimited)
{
    // Forty levels of arrays that each reference the level below twice: 2^40 paths, 41 objects.
    QByteArray bytes("bplist00");
    std::vector<quint32> offsets;
    const int levels = 40;
    for (int i = 0; i < levels; ++i) {
        offsets.push_back(static_cast<quint32>(bytes.size()));
        bytes += char(0xA2);
        bytes += char(i + 1);
        bytes += char(i + 1);
    }
    offsets.push_back(static_cast<quint32>(bytes.size()));
    bytes += char(0x51);
    bytes += 'x';
    const quint64 table = static_cast<quint64>(bytes.size());
    for (quint32 o : offsets)
        bytes += BinaryPlistWriter::be(o, 4);
    bytes += QByteArray(6, '\0') + char(4) + char(1) + BinaryPlistWriter::be(offsets.size(), 8)
        + BinaryPlistWriter::be(0, 8) + BinaryPlistWriter::be(table, 8);
    const PList::ValuePtr root = PList::parse(bytes);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->array.at(0), root->array.at(1)); // one shared object

    QByteArray deep;
    for (int i = 0; i < 1000; ++i)
        deep += "<array>";
    EXPECT_EQ(PList::parse("<plist>" + deep + "</plist>"), nullptr);
    EXPECT_EQ(PList::parse(QByteArray(5000, '(')), nullptr);
}
