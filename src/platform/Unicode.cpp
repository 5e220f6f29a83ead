#include "platform/Unicode.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <algorithm>

namespace Unicode {

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool decodeCodePoint(const unsigned char* bytes, qsizetype size, qsizetype& i, char32_t& cp)
{
    const unsigned char lead = bytes[i];
    int length;
    char32_t minimum;
    if (lead < 0xC2 || lead > 0xF4)
        return false;
    if (lead < 0xE0) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if (lead < 0xF0) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    }
    if (i + length > size)
        return false;
    for (int k = 1; k < length; ++k) {
        const unsigned char next = bytes[i + k];
        if ((next & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    i += length;
    return true;
}

QString graphemePrefix(const QString& text, qsizetype n)
{
    // A cluster holds at least one code unit: a text no longer than n is its own prefix.
    if (text.size() <= n)
        return text;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype next = graphemes.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
    }
    return text.left(end);
}

qsizetype graphemeCount(const QString& text, qsizetype limit)
{
    // Below U+0300 every code unit is a character of its own, except CR LF, which is one.
    const bool simple = std::none_of(
        text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x300 || c.unicode() == u'\r'; });
    if (simple)
        return std::min(text.size(), limit + 1);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (count <= limit && graphemes.toNextBoundary() >= 0)
        ++count;
    return count;
}


namespace {
bool isDirectionControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool isLineBreakOrControl(char16_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029;
}
}

QString singleLine(const QString& text, qsizetype maxCharacters)
{
    // A cluster rarely spans more than a few code units: the boundary search never looks at
    // more than this window of a long text.
    constexpr qsizetype unitsPerCharacter = 8;
    QString clean = graphemePrefix(text.left(maxCharacters * unitsPerCharacter), maxCharacters);
    qsizetype out = 0;
    for (qsizetype i = 0; i < clean.size(); ++i) {
        const char16_t c = clean.at(i).unicode();
        if (isDirectionControl(c))
            continue;
        if (c == u'\r' && i + 1 < clean.size() && clean.at(i + 1) == u'\n')
            continue; // CR LF is one break
        clean[out++] = isLineBreakOrControl(c) ? QChar(u' ') : QChar(c);
    }
    clean.truncate(out);
    return clean;
}

}
