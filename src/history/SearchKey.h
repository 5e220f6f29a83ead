#pragma once
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

// The searchable form of a text: lower-cased by the full Unicode mapping and in composed normal
// form, as UTF-8, so that "ABC" finds "abc" and a precomposed "é" finds "e" + combining acute.
// Byte counts let a search skip an entry that lacks one of the needle's bytes without scanning it,
// and start each scan at the needle's rarest byte.
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
    std::array<uint32_t, 256> m_counts {};
    bool m_valid = true;
};
