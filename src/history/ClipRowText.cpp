#include "history/ClipRowText.h"

#include "history/ClipItemViewModel.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QTextLayout>
#include <cmath>

using ClipRowText::maxLaidOutCharacters;

QStringList ClipRowText::wrapLines(QString text, const QFont& font, int width, int maxLines)
{
    // No line holds more characters than the width allows for the narrowest glyph: cutting the
    // text there keeps the layout of a long text as cheap as that of a short one.
    static const int narrowest = qMax(1, QFontMetrics(font).horizontalAdvance(QLatin1Char('i')) - 1);
    const qsizetype cap = maxLines > 0 ? qsizetype(maxLines) * (qMax(width, 1) / narrowest + 2) : maxLaidOutCharacters;
    if (text.size() > qMin<qsizetype>(cap, maxLaidOutCharacters))
        text.truncate(qMin<qsizetype>(cap, maxLaidOutCharacters));
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    QStringList lines;
    if (width <= 0)
        return {text.section(QChar::LineSeparator, 0, 0)};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    const QFontMetrics metrics(font);
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const bool last = maxLines > 0 && lines.size() == maxLines - 1;
        if (last) {
            QString rest = text.mid(line.textStart());
            const qsizetype breakAt = rest.indexOf(QChar::LineSeparator);
            const bool more = breakAt >= 0 || line.textStart() + line.textLength() < text.size();
            if (breakAt >= 0)
                rest = rest.left(breakAt) + QStringLiteral(" …");
            lines << (more ? metrics.elidedText(rest + (breakAt >= 0 ? QString() : QString()), Qt::ElideRight, width)
                           : rest);
            break;
        }
        QString piece = text.mid(line.textStart(), line.textLength());
        piece.remove(QChar::LineSeparator);
        lines << piece;
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines << QString();
    return lines;
}

int ClipRowText::estimateLineCount(const QString& text, int width, int maxLines, qreal average)
{
    const qreal perLine = qMax<qreal>(1, width / qMax<qreal>(1, average));
    int lines = 0;
    qsizetype segment = 0;
    const qsizetype limit = qMin<qsizetype>(text.size(), maxLaidOutCharacters);
    for (qsizetype i = 0; i <= limit; ++i) {
        if (i == limit || text.at(i) == QLatin1Char('\n')) {
            lines += qMax(1, int(std::ceil(segment / perLine)));
            segment = 0;
            if (maxLines > 0 && lines >= maxLines)
                return maxLines;
        } else {
            ++segment;
        }
    }
    return qMax(1, lines);
}

QString ClipRowText::fcpPreviewText(const ClipItemViewModel& model)
{
    const int count = model.fcpClipCount;
    if (model.fcpDescription) {
        if (model.fcpDuration && count < 2)
            return *model.fcpDescription + QStringLiteral(" (") + *model.fcpDuration + QLatin1Char(')');
        return *model.fcpDescription;
    }
    if (count < 2) {
        if (count != 1)
            return QStringLiteral("Final Cut Pro content");
        return model.fcpDuration ? QStringLiteral("Final Cut Pro clip (") + *model.fcpDuration + QLatin1Char(')')
                                 : QStringLiteral("Final Cut Pro clip");
    }
    QString text = QStringLiteral("Final Cut Pro: %1 clips").arg(count);
    if (model.fcpDuration)
        text += QStringLiteral(" (") + *model.fcpDuration + QLatin1Char(')');
    return text;
}

QString ClipRowText::fcpBadgeText(const ClipItemViewModel& model)
{
    if (model.fcpDuration)
        return *model.fcpDuration;
    if (model.fcpClipCount < 2)
        return QStringLiteral("FCP");
    return QStringLiteral("%1 clips").arg(model.fcpClipCount);
}

QString ClipRowText::relativeDateString(const QDateTime& time, const QDateTime& now)
{
    const qint64 seconds = time.secsTo(now);
    const bool future = seconds < 0;
    const qint64 s = qAbs(seconds);
    auto phrase = [future](qint64 n, const QString& unit) {
        return future ? QStringLiteral("in %1 %2").arg(n).arg(unit) : QStringLiteral("%1 %2 ago").arg(n).arg(unit);
    };
    if (s < 60)
        return phrase(s, QStringLiteral("sec."));
    if (s < 3600)
        return phrase(s / 60, QStringLiteral("min."));
    if (s < 86400)
        return phrase(s / 3600, QStringLiteral("hr."));
    const qint64 days = s / 86400;
    if (days < 7)
        return phrase(days, days == 1 ? QStringLiteral("day") : QStringLiteral("days"));
    if (days < 30)
        return phrase(days / 7, QStringLiteral("wk."));
    if (days < 365)
        return phrase(days / 30, QStringLiteral("mo."));
    return phrase(days / 365, QStringLiteral("yr."));
}
