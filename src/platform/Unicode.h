#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

// Text helpers shared by every layer: strict UTF-8 decoding and counting in user-perceived
// characters (grapheme clusters), so that "the first 500 characters" means the same everywhere.
namespace Unicode {

// The bytes as text when they are well-formed UTF-8; absent when any byte sequence is not.
std::optional<QString> decodeUtf8(const QByteArray& bytes);

// Decodes the code point of the UTF-8 sequence at bytes[i] and advances i past it. False on a
// malformed sequence: overlong forms, surrogates, values past U+10FFFF and cut sequences.
bool decodeCodePoint(const unsigned char* bytes, qsizetype size, qsizetype& i, char32_t& cp);

// The first n user-perceived characters of text (all of it when it has fewer).
QString graphemePrefix(const QString& text, qsizetype n);

// The number of user-perceived characters of text; counting stops after limit + 1, so that the
// answer tells "more than limit" apart without walking a long text to its end.
qsizetype graphemeCount(const QString& text, qsizetype limit);

}
