#include "feedback/FeedbackToggleSwitch.h"

#include "ui/Theme.h"

#include <QPainter>

FeedbackToggleSwitch::FeedbackToggleSwitch(const QString& text, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(text);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

QSize FeedbackToggleSwitch::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(text()) + 60, qMax(fontMetrics().height(), 22) + 2);
}

void FeedbackToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Theme::text());
    const QRect textRect = rect().adjusted(0, 0, -52, 0);
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text());
    const QRectF pill(width() - 40, (height() - 22) / 2.0, 38, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(isChecked() ? Theme::blue() : Theme::whiteAlpha(50));
    p.drawRoundedRect(pill, 11, 11);
    const qreal knob = 18;
    const qreal x = isChecked() ? pill.right() - knob - 2 : pill.left() + 2;
    p.setBrush(Theme::text());
    p.drawEllipse(QRectF(x, pill.top() + 2, knob, knob));
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(Theme::blue().red(), Theme::blue().green(), Theme::blue().blue(), 140), 2));
        p.drawRoundedRect(pill.adjusted(-2, -2, 2, 2), 13, 13);
    }
}
