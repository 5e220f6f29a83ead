#include "platform/DisplayList.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

TEST(DisplayIdentifierTest, EdidWhereValidElseOutputName)
{
    QByteArray edid = QByteArray::fromHex("00ffffffffffff00") + QByteArray(120, '\0');
    edid[8] = 0x10;  // vendor
    edid[12] = 0x01; // serial number
    const QString id = DisplayList::identifierFor(edid, QStringLiteral("DP-1"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
                    .match(id)
                    .hasMatch())
        << id.toStdString();
    // The same monitor on another port, with other timing bytes: the same identifier.
    QByteArray moved = edid;
    moved[60] = 0x7f;
    EXPECT_EQ(DisplayList::identifierFor(moved, QStringLiteral("HDMI-2")), id);
    // Another serial number: another monitor.
    QByteArray other = edid;
    other[12] = 0x02;
    EXPECT_NE(DisplayList::identifierFor(other, QStringLiteral("DP-1")), id);
    // Missing, short or broken EDID: the output name.
    EXPECT_EQ(DisplayList::identifierFor(QByteArray(), QStringLiteral("screen")), QStringLiteral("screen"));
    EXPECT_EQ(DisplayList::identifierFor(edid.left(100), QStringLiteral("DP-1")), QStringLiteral("DP-1"));
    QByteArray broken = edid;
    broken[0] = 0x01;
    EXPECT_EQ(DisplayList::identifierFor(broken, QStringLiteral("DP-1")), QStringLiteral("DP-1"));
    EXPECT_EQ(DisplayList::identifierFor(QByteArray(), QString()), QString());
}

TEST(DisplayIdentifierTest, TwoMonitorsWithoutSerialNumbersStayApart)
{
    QByteArray edid = QByteArray::fromHex("00ffffffffffff00") + QByteArray(120, '\0');
    edid[8] = 0x10; // vendor, no serial number at all
    const QString left = DisplayList::identifierFor(edid, QStringLiteral("DP-1"));
    const QString right = DisplayList::identifierFor(edid, QStringLiteral("DP-2"));
    EXPECT_NE(left, right);
    EXPECT_EQ(DisplayList::identifierFor(edid, QStringLiteral("DP-1")), left);
    // A serial number in a text descriptor (type 0xFF) counts as one: the port no longer matters.
    edid[54 + 3] = char(0xFF);
    edid.replace(54 + 5, 4, "A123");
    EXPECT_EQ(DisplayList::identifierFor(edid, QStringLiteral("DP-1")),
        DisplayList::identifierFor(edid, QStringLiteral("DP-2")));
}

TEST(DisplayIdentifierTest, MainDisplayIsThePrimaryElseTheFirst)
{
    struct Displays : DisplayList {
        QList<DisplayDescription> list;
        QList<DisplayDescription> displays() override { return list; }
    } displays;
    EXPECT_FALSE(displays.mainDisplay());
    displays.list = {{QStringLiteral("A"), QStringLiteral("A"), QRect(0, 0, 10, 10), QRect(0, 0, 10, 10), false},
        {QStringLiteral("B"), QStringLiteral("B"), QRect(10, 0, 10, 10), QRect(10, 0, 10, 10), false}};
    EXPECT_EQ(displays.mainDisplay()->identifier, QStringLiteral("A"));
    displays.list[1].isPrimary = true;
    EXPECT_EQ(displays.mainDisplay()->identifier, QStringLiteral("B"));
}
