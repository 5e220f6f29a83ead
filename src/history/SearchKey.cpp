#include "history/SearchKey.h"

#include "platform/Unicode.h"

#include <QChar>
#include <cstring>
#include <utility>

namespace {

// Appends the UTF-8 form of a code point.
void appendUtf8(QByteArray& out, char32_t cp)
{
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else {
        out.append(char(0xF0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3F)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
}

// The lowered bytes, written over a buffer sized for the input and grown when a lowered code
// point is longer than its original.
struct LoweredOutput {
    QByteArray& out;
    char* write;
    qsizetype written = 0;

    void put(char byte)
    {
        if (written < out.size()) {
            write[written++] = byte;
        } else {
            out.append(byte);
            write = out.data();
            ++written;
        }
    }

    void put(const char* data, qsizetype length)
    {
        if (written + length <= out.size()) {
            std::memcpy(write + written, data, size_t(length));
            written += length;
        } else {
            out.resize(written);
            out.append(data, length);
            written = out.size();
            write = out.data();
        }
    }
};

// Eight ASCII bytes at a time: capitals get 0x20 added, without branches. False (and nothing
// written) when one of the eight is not ASCII.
bool lowerAsciiWord(const unsigned char* source, char* target, bool& changed)
{
    uint64_t word;
    std::memcpy(&word, source, 8);
    constexpr uint64_t ones = 0x0101010101010101ull;
    constexpr uint64_t highBits = 0x8080808080808080ull;
    if ((word & highBits) != 0)
        return false;
    const uint64_t atLeastA = (word + (0x80 - 'A') * ones) & highBits;
    const uint64_t aboveZ = (word + (0x80 - 'Z' - 1) * ones) & highBits;
    const uint64_t capitals = atLeastA & ~aboveZ;
    changed |= capitals != 0;
    word |= capitals >> 2;
    std::memcpy(target, &word, 8);
    return true;
}

// The UTF-8 of a non-ASCII code point's lower case; empty when the code point is its own lower
// case.
QByteArray lowerCodePoint(char32_t cp, bool& needsComposition)
{
    QByteArray encoded;
    if (cp == 0x0130) {
        // The one unconditional lower-case mapping to more than one code point.
        encoded = QByteArrayLiteral("i\xCC\x87");
        needsComposition = true;
        return encoded;
    }
    const char32_t lowered = QChar::toLower(cp);
    needsComposition |= lowered >= 0x300;
    if (lowered != cp)
        appendUtf8(encoded, lowered);
    return encoded;
}

// Lower-cases UTF-8 by the full mapping. ASCII runs take a table; other code points go through
// Qt's Unicode tables. needsComposition is set when the result holds code points from U+0300 on,
// the only ones that can take part in canonical composition.
bool lowerUtf8(const QByteArray& input, QByteArray& out, bool& needsComposition, bool& changed)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.constData());
    const qsizetype size = input.size();
    out.resize(size);
    LoweredOutput output {out, out.data()};
    qsizetype i = 0;
    needsComposition = false;
    changed = false;
    while (i < size) {
        if (i + 8 <= size && output.written + 8 <= out.size()
            && lowerAsciiWord(bytes + i, output.write + output.written, changed)) {
            output.written += 8;
            i += 8;
            continue;
        }
        const unsigned char byte = bytes[i];
        if (byte < 0x80) {
            const char lowered = (byte >= 'A' && byte <= 'Z') ? char(byte + 32) : char(byte);
            changed |= lowered != char(byte);
            output.put(lowered);
            ++i;
            continue;
        }
        char32_t cp;
        const qsizetype start = i;
        if (!Unicode::decodeCodePoint(bytes, size, i, cp))
            return false;
        const QByteArray encoded = lowerCodePoint(cp, needsComposition);
        if (encoded.isEmpty()) {
            output.put(reinterpret_cast<const char*>(bytes + start), i - start);
            continue;
        }
        changed = true;
        output.put(encoded.constData(), encoded.size());
    }
    out.resize(output.written);
    return true;
}

// How common a byte is in ordinary lower-cased text (higher: more common). Letters by their
// frequency in English and German; white space most common; everything else rare.
int commonness(unsigned char byte)
{
    static const std::array<int, 256> table = [] {
        std::array<int, 256> ranks {};
        const char* byFrequency = "zqxjkvbpygfwmucldrhsnioate"; // rarest first
        for (int i = 0; byFrequency[i]; ++i)
            ranks[static_cast<unsigned char>(byFrequency[i])] = 10 + i;
        ranks[' '] = 40;
        return ranks;
    }();
    return table[byte];
}

QByteArray fold(const QByteArray& utf8, bool* ok)
{
    QByteArray lowered;
    bool needsComposition = false;
    bool changed = false;
    if (!lowerUtf8(utf8, lowered, needsComposition, changed)) {
        *ok = false;
        return {};
    }
    *ok = true;
    if (needsComposition) {
        const QString text = QString::fromUtf8(lowered);
        const QString composed = text.normalized(QString::NormalizationForm_C);
        if (composed != text)
            return composed.toUtf8();
    }
    // Unchanged text shares the caller's bytes.
    return changed ? lowered : utf8;
}

} // namespace

SearchKey SearchKey::fromUtf8(const QByteArray& utf8)
{
    SearchKey key;
    bool ok = false;
    key.m_folded = fold(utf8, &ok);
    key.m_valid = ok;
    const unsigned char* __restrict bytes = reinterpret_cast<const unsigned char*>(key.m_folded.constData());
    uint64_t* __restrict bits = key.m_pairs.data();
    const qsizetype size = key.m_folded.size();
    // Two maps for alternate positions, merged at the end: neighbouring pairs often fall in one
    // word, and a single map would make each update wait for the one before.
    std::array<uint64_t, pairBits / 64> odd {};
    uint64_t* __restrict oddBits = odd.data();
    qsizetype i = 1;
    for (; i + 1 < size; i += 2) {
        const size_t first = ((size_t(bytes[i - 1]) << 7) ^ bytes[i]) & (pairBits - 1);
        const size_t second = ((size_t(bytes[i]) << 7) ^ bytes[i + 1]) & (pairBits - 1);
        bits[first >> 6] |= uint64_t(1) << (first & 63);
        oddBits[second >> 6] |= uint64_t(1) << (second & 63);
    }
    if (i < size) {
        const size_t last = ((size_t(bytes[i - 1]) << 7) ^ bytes[i]) & (pairBits - 1);
        bits[last >> 6] |= uint64_t(1) << (last & 63);
    }
    for (size_t w = 0; w < odd.size(); ++w)
        bits[w] |= oddBits[w];
    for (qsizetype k = 0; k < std::min<qsizetype>(size, 2048); ++k)
        ++key.m_sampleCounts[bytes[k]];
    return key;
}

SearchKey SearchKey::fromText(const QString& text)
{
    return fromUtf8(text.toUtf8());
}

QByteArray SearchKey::foldQuery(const QString& query)
{
    bool ok = false;
    return fold(query.toUtf8(), &ok);
}

bool SearchKey::contains(const QByteArray& needle) const
{
    if (needle.isEmpty())
        return true;
    if (needle.size() > m_folded.size())
        return false;
    if (needle.size() == 1)
        return std::memchr(m_folded.constData(), needle[0], size_t(m_folded.size())) != nullptr;
    for (qsizetype i = 0; i + 1 < needle.size(); ++i) {
        const size_t slot = pairSlot(static_cast<unsigned char>(needle[i]), static_cast<unsigned char>(needle[i + 1]));
        if (!(m_pairs[slot / 64] & (uint64_t(1) << (slot % 64))))
            return false;
    }
    // Start from the needle's least common byte in this text (ties: in ordinary text).
    const auto rarity = [&](qsizetype i) {
        const unsigned char byte = static_cast<unsigned char>(needle[i]);
        return std::pair(m_sampleCounts[byte], commonness(byte));
    };
    qsizetype anchor = 0;
    for (qsizetype i = 1; i < needle.size(); ++i) {
        if (rarity(i) < rarity(anchor))
            anchor = i;
    }
    const char* hay = m_folded.constData();
    const qsizetype haySize = m_folded.size();
    const char anchorByte = needle[anchor];
    const qsizetype needleSize = needle.size();
    // Candidate positions of the anchor byte: from anchor to haySize - (needleSize - anchor).
    const char* cursor = hay + anchor;
    const char* last = hay + haySize - (needleSize - anchor);
    while (cursor <= last) {
        const void* found = std::memchr(cursor, anchorByte, size_t(last - cursor + 1));
        if (!found)
            return false;
        const char* hit = static_cast<const char*>(found);
        if (std::memcmp(hit - anchor, needle.constData(), size_t(needleSize)) == 0)
            return true;
        cursor = hit + 1;
    }
    return false;
}
