#include "platform/linux/TextLanguage.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

QString TextLanguage::languageOfLine(const QString& line)
{
    static const QStringList german = QStringLiteral(
        "der die das und ist nicht sie ich wir mit für auf den dem des ein eine einen einem einer zu zum zur "
        "von sich bei aus nach auch wie oder aber wenn dass noch nur bitte werden wird sind hat haben kann "
        "sehr es er bis durch ob um unter hier mehr ab jetzt")
                                          .split(QLatin1Char(' '));
    static const QStringList english = QStringLiteral(
        "the and of to is are were you your that this with for on at by from be have has it its not or but "
        "if can we they which there been would should please a new our my")
                                           .split(QLatin1Char(' '));
    static const QRegularExpression notLetters(QStringLiteral("[^\\p{L}]+"));
    int germanWords = int(
        std::count_if(line.begin(), line.end(), [](QChar c) { return QStringLiteral("äöüÄÖÜß").contains(c); }));
    int englishWords = 0;
    for (const QString& word : line.toLower().split(notLetters, Qt::SkipEmptyParts)) {
        germanWords += german.contains(word);
        englishWords += english.contains(word);
    }
    if (germanWords == englishWords)
        return {};
    return germanWords > englishWords ? QStringLiteral("deu") : QStringLiteral("eng");
}

bool TextLanguage::mayHaveLostLetters(const QString& text, const QString& language, const QString& readWith)
{
    if (language.isEmpty() || language == readWith)
        return false;
    if (language == QLatin1String("eng"))
        return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter() && c.unicode() > 0x7f; });
    return true;
}
