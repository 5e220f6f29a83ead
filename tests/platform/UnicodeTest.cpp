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

TEST(Unicode, DecodesOneCodePointAndRefusesMalformedSequences)
{
    const auto decode = [](const QByteArray& bytes) -> std::optional<char32_t> {
        qsizetype i = 0;
        char32_t cp = 0;
        if (!Unicode::decodeCodePoint(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), i, cp))
            return std::nullopt;
        EXPECT_EQ(i, bytes.size());
        return cp;
    };
    EXPECT_EQ(decode("\xC3\xA4"), char32_t(0xE4));            // ä
    EXPECT_EQ(decode("\xE2\x82\xAC"), char32_t(0x20AC));      // €
    EXPECT_EQ(decode("\xF0\x9F\x98\x80"), char32_t(0x1F600)); // 😀
    for (const char* malformed : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80",
             "\xC3\x28"})
        EXPECT_EQ(decode(malformed), std::nullopt) << QByteArray(malformed).toHex().toStdString();
}

TEST(Unicode, SingleLinesAreCappedAndCannotReorderOrBreakTheirSurroundings)
{
    EXPECT_EQ(Unicode::singleLine(QStringLiteral("Kate"), 128), QStringLiteral("Kate"));
    // Direction overrides and isolates go; line breaks, tabs and other controls become blanks.
    EXPECT_EQ(Unicode::singleLine(QStringLiteral("a\u202Eb\u2067c\u200Fd"), 128), QStringLiteral("abcd"));
    EXPECT_EQ(Unicode::singleLine(QStringLiteral("one\r\ntwo\nthree\u2028four\tfive"), 128),
        QStringLiteral("one two three four five"));
    // Capped in user-perceived characters, never inside one.
    EXPECT_EQ(Unicode::singleLine(QStringLiteral("e\u0301e\u0301e\u0301"), 2), QStringLiteral("e\u0301e\u0301"));
    const QString huge(8 << 20, QLatin1Char('x'));
    EXPECT_EQ(Unicode::singleLine(huge, 128).size(), 128);
}
