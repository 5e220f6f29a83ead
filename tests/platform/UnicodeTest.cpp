#include "platform/Unicode.h"

#include <gtest/gtest.h>

TEST(Unicode, PrefixesAndCountsAreInUserPerceivedCharacters)
{
    const QString family = QString::fromUtf8(
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"); // one character
    EXPECT_EQ(Unicode::graphemePrefix(family.repeated(3) + "abc", 4), family.repeated(3) + "a");
    EXPECT_EQ(Unicode::graphemePrefix("e\u0301tude", 2), QString::fromUtf8("e\u0301t"));
    EXPECT_EQ(Unicode::graphemePrefix("short", 10000), "short");
    EXPECT_EQ(Unicode::graphemePrefix(QString(12000, QLatin1Char('a')), 10000).size(), 10000);
}
