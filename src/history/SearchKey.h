#pragma once
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

// The searchable form of a text: lower-cased by the full Unicode mapping and in composed normal
// form, as UTF-8, so that "ABC" finds "abc" and a precomposed "é" finds "e" + combining acute.
// A map of the byte pairs present lets a search skip an entry that lacks one of the needle's pairs
// without scanning it; a scan looks first for the needle's byte that is least common in the text
// (counted over the text's first 2 KB).
class SearchKey {
public:
    SearchKey() = default;
    // From UTF-8 text; valid() is false when the bytes are not UTF-8.
    static SearchKey fromUtf8(const QByteArray& utf8);
    static SearchKey fromText(const QString& text);

    // The folded form of a query (the same folding as the keys).
    static QByteArray foldQuery(const QString& query);

    bool valid() const { return m_valid; }
    const QByteArray& folded() const { return m_folded; }
    // True when folded needle (from foldQuery) occurs in this key. An empty needle matches.
    bool contains(const QByteArray& needle) const;

private:
    QByteArray m_folded;
    static constexpr size_t pairBits = 1u << 15;
    static size_t pairSlot(unsigned char first, unsigned char second)
    {
        return ((size_t(first) << 7) ^ second) & (pairBits - 1);
    }
    std::array<uint16_t, 256> m_sampleCounts {};
    // One bit per byte pair (exact for ASCII pairs, shared slots for others).
    std::array<uint64_t, pairBits / 64> m_pairs {};
    bool m_valid = true;
};
