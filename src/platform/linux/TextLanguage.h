#pragma once
#include <QString>

// What the words of a line of recognised text tell of its language, for reading it again with that
// language first.
namespace TextLanguage {

// The language a line of text is written in as far as its words tell: "deu" for umlauts, "ß" and
// common words only German uses, "eng" for common words only English uses; empty for a line that
// tells neither (names, numbers) or both as much.
QString languageOfLine(const QString& line);

// Whether Tesseract's reading of a line in `language`, made with `readWith` first, may have lost
// letters that a reading with `language` first keeps: a German line read with English loses its
// umlauts ("fahrt" for "fährt"); an English line read with German keeps its letters unless German
// ones have crept in ("fırst" for "first").
bool mayHaveLostLetters(const QString& text, const QString& language, const QString& readWith);

}
