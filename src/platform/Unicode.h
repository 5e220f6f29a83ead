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

// A text from outside (a program's name, a window title) made fit for one line of the interface:
// at most maxCharacters user-perceived characters, line breaks and other control characters
// turned into blanks, and the invisible direction controls (U+202E and its kin) removed, so that
// a name cannot reorder or break the text around it. Cheap for megabytes of input.
QString singleLine(const QString& text, qsizetype maxCharacters);

}
