#include "editor/EditorSymbols.h"

#include "ui/Symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

// Draws one symbol into a 24 × 24 box; false when the name is not drawn here.
bool draw(QPainter& p, const QString& name, const QColor& c)
{
    QPen pen(c, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    auto fill = [&] { p.setBrush(c); };
    auto arrowHead = [&](QPointF tip, QPointF from, double len) {
        const QLineF l(tip, from);
        const double a = qDegreesToRadians(-l.angle());
        QPolygonF head;
        head << tip << tip + QPointF(std::cos(a + 0.5) * len, std::sin(a + 0.5) * len)
             << tip + QPointF(std::cos(a - 0.5) * len, std::sin(a - 0.5) * len);
        p.save();
        p.setBrush(c);
        p.drawPolygon(head);
        p.restore();
    };
    if (name == "cursorarrow") {
        QPolygonF arrow;
        arrow << QPointF(7, 3) << QPointF(7, 19) << QPointF(11, 15) << QPointF(14, 21) << QPointF(16.5, 20)
              << QPointF(13.5, 14) << QPointF(19, 14);
        fill();
        p.setPen(QPen(c, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolygon(arrow);
    } else if (name == "pencil.tip") {
        p.drawLine(QPointF(5, 19), QPointF(17, 7));
        p.drawLine(QPointF(8, 21), QPointF(20, 9));
        p.drawLine(QPointF(17, 7), QPointF(20, 9));
        QPolygonF tip;
        tip << QPointF(5, 19) << QPointF(8, 21) << QPointF(3.5, 22.5);
        fill();
        p.drawPolygon(tip);
    } else if (name == "arrow.up.right") {
        p.drawLine(QPointF(5, 19), QPointF(18, 6));
        arrowHead(QPointF(19, 5), QPointF(5, 19), 7);
    } else if (name == "rectangle") {
        p.drawRoundedRect(QRectF(3.5, 6, 17, 12), 2, 2);
    } else if (name == "rectangle.fill") {
        fill();
        p.drawRoundedRect(QRectF(3.5, 6, 17, 12), 2, 2);
    } else if (name == "circle") {
        p.drawEllipse(QRectF(4, 4, 16, 16));
    } else if (name == "line.diagonal") {
        p.drawLine(QPointF(5, 19), QPointF(19, 5));
    } else if (name == "eraser") {
        p.save();
        p.translate(12, 12);
        p.rotate(-45);
        p.drawRoundedRect(QRectF(-8, -4.5, 16, 9), 2, 2);
        p.drawLine(QPointF(-2, -4.5), QPointF(-2, 4.5));
        p.restore();
        p.drawLine(QPointF(10, 21), QPointF(21, 21));
    } else if (name == "character.cursor.ibeam") {
        QFont font = p.font();
        font.setPixelSize(15);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRectF(1, 3, 15, 18), Qt::AlignCenter, QStringLiteral("A"));
        p.drawLine(QPointF(19, 5), QPointF(19, 19));
        p.drawLine(QPointF(17, 5), QPointF(21, 5));
        p.drawLine(QPointF(17, 19), QPointF(21, 19));
    } else if (name == "1.circle.fill" || name == "number.circle.fill" || name == "number.circle") {
        const bool filled = name != "number.circle";
        if (filled)
            fill();
        p.drawEllipse(QRectF(3, 3, 18, 18));
        QFont font = p.font();
        font.setPixelSize(12);
        font.setBold(true);
        p.setFont(font);
        p.setPen(filled ? QColor(20, 20, 20) : c);
        p.drawText(
            QRectF(3, 3, 18, 18), Qt::AlignCenter, name.startsWith('1') ? QStringLiteral("1") : QStringLiteral("#"));
    } else if (name == "tag.fill") {
        QPainterPath tag;
        tag.moveTo(3, 12);
        tag.lineTo(9, 5);
        tag.lineTo(21, 5);
        tag.lineTo(21, 19);
        tag.lineTo(9, 19);
        tag.closeSubpath();
        tag.addEllipse(QPointF(10, 12), 1.8, 1.8);
        tag.setFillRule(Qt::OddEvenFill);
        p.fillPath(tag, c);
    } else if (name == "square.grid.3x3.fill") {
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                p.fillRect(QRectF(3.5 + x * 6, 3.5 + y * 6, 5, 5), c);
    } else if (name == "highlighter") {
        p.save();
        p.translate(13, 11);
        p.rotate(45);
        p.drawRoundedRect(QRectF(-3.5, -9, 7, 12), 1.5, 1.5);
        QPolygonF tip;
        tip << QPointF(-3.5, 3) << QPointF(3.5, 3) << QPointF(1.5, 8) << QPointF(-1.5, 8);
        fill();
        p.drawPolygon(tip);
        p.restore();
        QColor faint = c;
        faint.setAlphaF(c.alphaF() * 0.55);
        p.fillRect(QRectF(2, 19.5, 10, 3), faint);
    } else if (name == "sun.max.fill") {
        fill();
        p.drawEllipse(QPointF(12, 12), 4.5, 4.5);
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            p.drawLine(QPointF(12 + std::cos(a) * 7.5, 12 + std::sin(a) * 7.5),
                QPointF(12 + std::cos(a) * 10, 12 + std::sin(a) * 10));
        }
    } else if (name == "eye.slash.fill" || name == "eye") {
        QPainterPath eye;
        eye.moveTo(2, 12);
        eye.quadTo(12, 2, 22, 12);
        eye.quadTo(12, 22, 2, 12);
        p.drawPath(eye);
        fill();
        p.drawEllipse(QPointF(12, 12), 3, 3);
        if (name == "eye.slash.fill")
            p.drawLine(QPointF(4, 20), QPointF(20, 4));
    } else if (name == "aqi.medium") {
        const double r[3] = {2.5, 2, 1.5};
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                QColor dot = c;
                dot.setAlphaF(c.alphaF() * (1.0 - 0.25 * ((x + y) % 3)));
                p.setPen(Qt::NoPen);
                p.setBrush(dot);
                p.drawEllipse(QPointF(5.5 + x * 6.5, 5.5 + y * 6.5), r[(x + y) % 3], r[(x + y) % 3]);
            }
    } else if (name == "wand.and.rays") {
        p.drawLine(QPointF(4, 20), QPointF(14, 10));
        for (const auto& ray : {QLineF(17, 3, 17, 6), QLineF(21, 7, 18, 7), QLineF(20, 4, 18.5, 5.5),
                 QLineF(13, 4, 14.5, 5.5), QLineF(20, 11, 18.5, 9.5)})
            p.drawLine(ray);
    } else if (name == "sparkles") {
        auto star = [&](QPointF m, double r) {
            QPainterPath s;
            s.moveTo(m.x(), m.y() - r);
            s.quadTo(m, QPointF(m.x() + r, m.y()));
            s.quadTo(m, QPointF(m.x(), m.y() + r));
            s.quadTo(m, QPointF(m.x() - r, m.y()));
            s.quadTo(m, QPointF(m.x(), m.y() - r));
            p.fillPath(s, c);
        };
        star(QPointF(10, 13), 8);
        star(QPointF(18.5, 5.5), 4);
        star(QPointF(19, 18), 3);
    } else if (name == "questionmark.bubble") {
        QPainterPath bubble;
        bubble.addRoundedRect(QRectF(3, 3, 18, 14), 4, 4);
        p.drawPath(bubble);
        p.drawLine(QPointF(7, 17), QPointF(6, 21));
        p.drawLine(QPointF(6, 21), QPointF(11, 17));
        QFont font = p.font();
        font.setPixelSize(11);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRectF(3, 3, 18, 14), Qt::AlignCenter, QStringLiteral("?"));
    } else if (name == "minus.circle") {
        p.drawEllipse(QRectF(3.5, 3.5, 17, 17));
        p.drawLine(QPointF(8, 12), QPointF(16, 12));
    } else if (name == "trash") {
        p.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
        p.drawLine(QPointF(9.5, 6.5), QPointF(10, 3.5));
        p.drawLine(QPointF(10, 3.5), QPointF(14, 3.5));
        p.drawLine(QPointF(14, 3.5), QPointF(14.5, 6.5));
        QPainterPath bin;
        bin.moveTo(6, 6.5);
        bin.lineTo(7, 20.5);
        bin.lineTo(17, 20.5);
        bin.lineTo(18, 6.5);
        p.drawPath(bin);
        p.drawLine(QPointF(10, 10), QPointF(10, 17));
        p.drawLine(QPointF(14, 10), QPointF(14, 17));
    } else if (name == "arrow.uturn.backward") {
        QPainterPath turn;
        turn.moveTo(6, 9);
        turn.lineTo(15, 9);
        turn.cubicTo(22, 9, 22, 19, 15, 19);
        turn.lineTo(9, 19);
        p.drawPath(turn);
        arrowHead(QPointF(4, 9), QPointF(12, 9), 6);
    } else if (name == "eyedropper") {
        p.save();
        p.translate(12, 12);
        p.rotate(45);
        p.drawLine(QPointF(0, -2), QPointF(0, 9));
        fill();
        p.drawRoundedRect(QRectF(-3, -10, 6, 8), 2, 2);
        p.drawLine(QPointF(-4.5, -2), QPointF(4.5, -2));
        p.restore();
    } else if (name == "hand.draw") {
        QPainterPath squiggle;
        squiggle.moveTo(3, 16);
        squiggle.cubicTo(6, 8, 9, 8, 10, 14);
        squiggle.cubicTo(11, 20, 15, 20, 16, 12);
        p.drawPath(squiggle);
        p.drawLine(QPointF(14, 20), QPointF(21, 5));
    } else if (name == "paintpalette.fill") {
        QPainterPath palette;
        palette.addEllipse(QRectF(3, 4, 18, 16));
        palette.addEllipse(QPointF(14.5, 15), 2.2, 2.2);
        palette.setFillRule(Qt::OddEvenFill);
        p.fillPath(palette, c);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(18, 18, 18));
        for (const QPointF& dot : {QPointF(8, 9), QPointF(12, 7.5), QPointF(16, 9), QPointF(7.5, 13.5)})
            p.drawEllipse(dot, 1.5, 1.5);
    } else if (name == "square.stack.3d.up.fill") {
        QLinearGradient gradient(3, 3, 21, 21);
        QColor a = c;
        QColor b = c;
        b.setAlphaF(c.alphaF() * 0.35);
        gradient.setColorAt(0, a);
        gradient.setColorAt(1, b);
        p.setPen(Qt::NoPen);
        p.setBrush(gradient);
        p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 3, 3);
    } else if (name == "photo.on.rectangle.angled" || name == "photo" || name == "photo.badge.plus") {
        p.drawRoundedRect(QRectF(3, 5, 18, 14), 2, 2);
        QPolygonF hill;
        hill << QPointF(4, 18) << QPointF(10, 11) << QPointF(14, 15) << QPointF(16, 13) << QPointF(20, 18);
        fill();
        p.setPen(Qt::NoPen);
        p.drawPolygon(hill);
        p.drawEllipse(QPointF(16, 9), 1.6, 1.6);
        if (name == "photo.badge.plus") {
            p.setBrush(QColor(18, 18, 18));
            p.drawEllipse(QPointF(19, 18), 5, 5);
            p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(19, 15.5), QPointF(19, 20.5));
            p.drawLine(QPointF(16.5, 18), QPointF(21.5, 18));
        } else if (name == "photo.on.rectangle.angled") {
            p.setPen(QPen(c, 1.4));
            p.setBrush(Qt::NoBrush);
            p.drawLine(QPointF(6, 3), QPointF(22, 3));
            p.drawLine(QPointF(22, 3), QPointF(22, 15));
        }
    } else if (name == "xmark.circle.fill") {
        fill();
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.setPen(QPen(QColor(18, 18, 18), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 9), QPointF(15, 15));
        p.drawLine(QPointF(15, 9), QPointF(9, 15));
    } else if (name == "doc.on.doc") {
        p.drawRoundedRect(QRectF(8, 3, 12, 14), 2, 2);
        p.drawRoundedRect(QRectF(4, 7, 12, 14), 2, 2);
    } else if (name == "checkmark") {
        p.drawPolyline(QPolygonF {QPointF(4, 13), QPointF(10, 19), QPointF(20, 5)});
    } else if (name == "arrow.down.right.and.arrow.up.left") {
        p.drawLine(QPointF(5, 5), QPointF(19, 19));
        arrowHead(QPointF(20, 20), QPointF(5, 5), 7);
        arrowHead(QPointF(4, 4), QPointF(19, 19), 7);
    } else {
        return false;
    }
    return true;
}

}

QPixmap EditorSymbols::pixmap(const QString& symbolName, int size, const QColor& color, qreal devicePixelRatio)
{
    const int side = qMax(1, qRound(size * devicePixelRatio));
    QPixmap out(side, side);
    out.fill(Qt::transparent);
    {
        QPainter painter(&out);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(side / 24.0, side / 24.0);
        if (!draw(painter, symbolName, color)) {
            painter.end();
            out = Symbols::pixmap(symbolName, side, color);
        }
    }
    out.setDevicePixelRatio(devicePixelRatio);
    return out;
}

QIcon EditorSymbols::icon(const QString& symbolName, const QColor& color, int size)
{
    QIcon result;
    result.addPixmap(pixmap(symbolName, size, color, 1));
    result.addPixmap(pixmap(symbolName, size, color, 2));
    return result;
}
