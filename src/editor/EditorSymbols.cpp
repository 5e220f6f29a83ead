#include "editor/EditorSymbols.h"

#include "ui/Symbols.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

// The pen, colour and name of the symbol being drawn into a 24 × 24 box.
struct SymbolCanvas {
    QPainter& p;
    const QColor& c;
    const QString& name;

    void fill() { p.setBrush(c); }
    void arrowHead(QPointF tip, QPointF from, double len)
    {
        const QLineF l(tip, from);
        const double a = qDegreesToRadians(-l.angle());
        QPolygonF head;
        head << tip << tip + QPointF(std::cos(a + 0.5) * len, std::sin(a + 0.5) * len)
             << tip + QPointF(std::cos(a - 0.5) * len, std::sin(a - 0.5) * len);
        p.save();
        p.setBrush(c);
        p.drawPolygon(head);
        p.restore();
    }
};

void drawCursorarrow(SymbolCanvas& k)
{
    QPolygonF arrow;
    arrow << QPointF(7, 3) << QPointF(7, 19) << QPointF(11, 15) << QPointF(14, 21) << QPointF(16.5, 20)
          << QPointF(13.5, 14) << QPointF(19, 14);
    k.fill();
    k.p.setPen(QPen(k.c, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    k.p.drawPolygon(arrow);
}

void drawPencilTip(SymbolCanvas& k)
{
    k.p.drawLine(QPointF(5, 19), QPointF(17, 7));
    k.p.drawLine(QPointF(8, 21), QPointF(20, 9));
    k.p.drawLine(QPointF(17, 7), QPointF(20, 9));
    QPolygonF tip;
    tip << QPointF(5, 19) << QPointF(8, 21) << QPointF(3.5, 22.5);
    k.fill();
    k.p.drawPolygon(tip);
}

void drawArrowUpRight(SymbolCanvas& k)
{
    k.p.drawLine(QPointF(5, 19), QPointF(18, 6));
    k.arrowHead(QPointF(19, 5), QPointF(5, 19), 7);
}

void drawRectangle(SymbolCanvas& k)
{
    k.p.drawRoundedRect(QRectF(3.5, 6, 17, 12), 2, 2);
}

void drawRectangleFill(SymbolCanvas& k)
{
    k.fill();
    k.p.drawRoundedRect(QRectF(3.5, 6, 17, 12), 2, 2);
}

void drawCircle(SymbolCanvas& k)
{
    k.p.drawEllipse(QRectF(4, 4, 16, 16));
}

void drawLineDiagonal(SymbolCanvas& k)
{
    k.p.drawLine(QPointF(5, 19), QPointF(19, 5));
}

void drawEraser(SymbolCanvas& k)
{
    k.p.save();
    k.p.translate(12, 12);
    k.p.rotate(-45);
    k.p.drawRoundedRect(QRectF(-8, -4.5, 16, 9), 2, 2);
    k.p.drawLine(QPointF(-2, -4.5), QPointF(-2, 4.5));
    k.p.restore();
    k.p.drawLine(QPointF(10, 21), QPointF(21, 21));
}

void drawCharacterCursorIbeam(SymbolCanvas& k)
{
    QFont font = k.p.font();
    font.setPixelSize(15);
    font.setBold(true);
    k.p.setFont(font);
    k.p.drawText(QRectF(1, 3, 15, 18), Qt::AlignCenter, QStringLiteral("A"));
    k.p.drawLine(QPointF(19, 5), QPointF(19, 19));
    k.p.drawLine(QPointF(17, 5), QPointF(21, 5));
    k.p.drawLine(QPointF(17, 19), QPointF(21, 19));
}

void drawNumber1CircleFill(SymbolCanvas& k)
{
    const bool filled = k.name != "number.circle";
    if (filled)
        k.fill();
    k.p.drawEllipse(QRectF(3, 3, 18, 18));
    QFont font = k.p.font();
    font.setPixelSize(12);
    font.setBold(true);
    k.p.setFont(font);
    k.p.setPen(filled ? QColor(20, 20, 20) : k.c);
    k.p.drawText(
        QRectF(3, 3, 18, 18), Qt::AlignCenter, k.name.startsWith('1') ? QStringLiteral("1") : QStringLiteral("#"));
}

void drawTagFill(SymbolCanvas& k)
{
    QPainterPath tag;
    tag.moveTo(3, 12);
    tag.lineTo(9, 5);
    tag.lineTo(21, 5);
    tag.lineTo(21, 19);
    tag.lineTo(9, 19);
    tag.closeSubpath();
    tag.addEllipse(QPointF(10, 12), 1.8, 1.8);
    tag.setFillRule(Qt::OddEvenFill);
    k.p.fillPath(tag, k.c);
}

void drawSquareGrid3x3Fill(SymbolCanvas& k)
{
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            k.p.fillRect(QRectF(3.5 + x * 6, 3.5 + y * 6, 5, 5), k.c);
}

void drawHighlighter(SymbolCanvas& k)
{
    k.p.save();
    k.p.translate(13, 11);
    k.p.rotate(45);
    k.p.drawRoundedRect(QRectF(-3.5, -9, 7, 12), 1.5, 1.5);
    QPolygonF tip;
    tip << QPointF(-3.5, 3) << QPointF(3.5, 3) << QPointF(1.5, 8) << QPointF(-1.5, 8);
    k.fill();
    k.p.drawPolygon(tip);
    k.p.restore();
    QColor faint = k.c;
    faint.setAlphaF(k.c.alphaF() * 0.55);
    k.p.fillRect(QRectF(2, 19.5, 10, 3), faint);
}

void drawSunMaxFill(SymbolCanvas& k)
{
    k.fill();
    k.p.drawEllipse(QPointF(12, 12), 4.5, 4.5);
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        k.p.drawLine(QPointF(12 + std::cos(a) * 7.5, 12 + std::sin(a) * 7.5),
            QPointF(12 + std::cos(a) * 10, 12 + std::sin(a) * 10));
    }
}

void drawEyeSlashFill(SymbolCanvas& k)
{
    QPainterPath eye;
    eye.moveTo(2, 12);
    eye.quadTo(12, 2, 22, 12);
    eye.quadTo(12, 22, 2, 12);
    k.p.drawPath(eye);
    k.fill();
    k.p.drawEllipse(QPointF(12, 12), 3, 3);
    if (k.name == "eye.slash.fill")
        k.p.drawLine(QPointF(4, 20), QPointF(20, 4));
}

void drawAqiMedium(SymbolCanvas& k)
{
    const double r[3] = {2.5, 2, 1.5};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            QColor dot = k.c;
            dot.setAlphaF(k.c.alphaF() * (1.0 - 0.25 * ((x + y) % 3)));
            k.p.setPen(Qt::NoPen);
            k.p.setBrush(dot);
            k.p.drawEllipse(QPointF(5.5 + x * 6.5, 5.5 + y * 6.5), r[(x + y) % 3], r[(x + y) % 3]);
        }
}

void drawWandAndRays(SymbolCanvas& k)
{
    k.p.drawLine(QPointF(4, 20), QPointF(14, 10));
    for (const auto& ray : {QLineF(17, 3, 17, 6), QLineF(21, 7, 18, 7), QLineF(20, 4, 18.5, 5.5),
             QLineF(13, 4, 14.5, 5.5), QLineF(20, 11, 18.5, 9.5)})
        k.p.drawLine(ray);
}

void drawSparkles(SymbolCanvas& k)
{
    auto star = [&](QPointF m, double r) {
        QPainterPath s;
        s.moveTo(m.x(), m.y() - r);
        s.quadTo(m, QPointF(m.x() + r, m.y()));
        s.quadTo(m, QPointF(m.x(), m.y() + r));
        s.quadTo(m, QPointF(m.x() - r, m.y()));
        s.quadTo(m, QPointF(m.x(), m.y() - r));
        k.p.fillPath(s, k.c);
    };
    star(QPointF(10, 13), 8);
    star(QPointF(18.5, 5.5), 4);
    star(QPointF(19, 18), 3);
}

void drawQuestionmarkBubble(SymbolCanvas& k)
{
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(3, 3, 18, 14), 4, 4);
    k.p.drawPath(bubble);
    k.p.drawLine(QPointF(7, 17), QPointF(6, 21));
    k.p.drawLine(QPointF(6, 21), QPointF(11, 17));
    QFont font = k.p.font();
    font.setPixelSize(11);
    font.setBold(true);
    k.p.setFont(font);
    k.p.drawText(QRectF(3, 3, 18, 14), Qt::AlignCenter, QStringLiteral("?"));
}

void drawMinusCircle(SymbolCanvas& k)
{
    k.p.drawEllipse(QRectF(3.5, 3.5, 17, 17));
    k.p.drawLine(QPointF(8, 12), QPointF(16, 12));
}

void drawTrash(SymbolCanvas& k)
{
    k.p.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
    k.p.drawLine(QPointF(9.5, 6.5), QPointF(10, 3.5));
    k.p.drawLine(QPointF(10, 3.5), QPointF(14, 3.5));
    k.p.drawLine(QPointF(14, 3.5), QPointF(14.5, 6.5));
    QPainterPath bin;
    bin.moveTo(6, 6.5);
    bin.lineTo(7, 20.5);
    bin.lineTo(17, 20.5);
    bin.lineTo(18, 6.5);
    k.p.drawPath(bin);
    k.p.drawLine(QPointF(10, 10), QPointF(10, 17));
    k.p.drawLine(QPointF(14, 10), QPointF(14, 17));
}

void drawArrowUturnBackward(SymbolCanvas& k)
{
    QPainterPath turn;
    turn.moveTo(6, 9);
    turn.lineTo(15, 9);
    turn.cubicTo(22, 9, 22, 19, 15, 19);
    turn.lineTo(9, 19);
    k.p.drawPath(turn);
    k.arrowHead(QPointF(4, 9), QPointF(12, 9), 6);
}

void drawEyedropper(SymbolCanvas& k)
{
    k.p.save();
    k.p.translate(12, 12);
    k.p.rotate(45);
    k.p.drawLine(QPointF(0, -2), QPointF(0, 9));
    k.fill();
    k.p.drawRoundedRect(QRectF(-3, -10, 6, 8), 2, 2);
    k.p.drawLine(QPointF(-4.5, -2), QPointF(4.5, -2));
    k.p.restore();
}

void drawHandDraw(SymbolCanvas& k)
{
    QPainterPath squiggle;
    squiggle.moveTo(3, 16);
    squiggle.cubicTo(6, 8, 9, 8, 10, 14);
    squiggle.cubicTo(11, 20, 15, 20, 16, 12);
    k.p.drawPath(squiggle);
    k.p.drawLine(QPointF(14, 20), QPointF(21, 5));
}

void drawPaintpaletteFill(SymbolCanvas& k)
{
    QPainterPath palette;
    palette.addEllipse(QRectF(3, 4, 18, 16));
    palette.addEllipse(QPointF(14.5, 15), 2.2, 2.2);
    palette.setFillRule(Qt::OddEvenFill);
    k.p.fillPath(palette, k.c);
    k.p.setPen(Qt::NoPen);
    k.p.setBrush(QColor(18, 18, 18));
    for (const QPointF& dot : {QPointF(8, 9), QPointF(12, 7.5), QPointF(16, 9), QPointF(7.5, 13.5)})
        k.p.drawEllipse(dot, 1.5, 1.5);
}

void drawSquareStack3dUpFill(SymbolCanvas& k)
{
    QLinearGradient gradient(3, 3, 21, 21);
    QColor a = k.c;
    QColor b = k.c;
    b.setAlphaF(k.c.alphaF() * 0.35);
    gradient.setColorAt(0, a);
    gradient.setColorAt(1, b);
    k.p.setPen(Qt::NoPen);
    k.p.setBrush(gradient);
    k.p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 3, 3);
}

void drawPhotoOnRectangleAngled(SymbolCanvas& k)
{
    k.p.drawRoundedRect(QRectF(3, 5, 18, 14), 2, 2);
    QPolygonF hill;
    hill << QPointF(4, 18) << QPointF(10, 11) << QPointF(14, 15) << QPointF(16, 13) << QPointF(20, 18);
    k.fill();
    k.p.setPen(Qt::NoPen);
    k.p.drawPolygon(hill);
    k.p.drawEllipse(QPointF(16, 9), 1.6, 1.6);
    if (k.name == "photo.badge.plus") {
        k.p.setBrush(QColor(18, 18, 18));
        k.p.drawEllipse(QPointF(19, 18), 5, 5);
        k.p.setPen(QPen(k.c, 1.8, Qt::SolidLine, Qt::RoundCap));
        k.p.drawLine(QPointF(19, 15.5), QPointF(19, 20.5));
        k.p.drawLine(QPointF(16.5, 18), QPointF(21.5, 18));
    } else if (k.name == "photo.on.rectangle.angled") {
        k.p.setPen(QPen(k.c, 1.4));
        k.p.setBrush(Qt::NoBrush);
        k.p.drawLine(QPointF(6, 3), QPointF(22, 3));
        k.p.drawLine(QPointF(22, 3), QPointF(22, 15));
    }
}

void drawXmarkCircleFill(SymbolCanvas& k)
{
    k.fill();
    k.p.setPen(Qt::NoPen);
    k.p.drawEllipse(QRectF(3, 3, 18, 18));
    k.p.setPen(QPen(QColor(18, 18, 18), 2, Qt::SolidLine, Qt::RoundCap));
    k.p.drawLine(QPointF(9, 9), QPointF(15, 15));
    k.p.drawLine(QPointF(15, 9), QPointF(9, 15));
}

void drawDocOnDoc(SymbolCanvas& k)
{
    k.p.drawRoundedRect(QRectF(8, 3, 12, 14), 2, 2);
    k.p.drawRoundedRect(QRectF(4, 7, 12, 14), 2, 2);
}

void drawCheckmark(SymbolCanvas& k)
{
    k.p.drawPolyline(QPolygonF {QPointF(4, 13), QPointF(10, 19), QPointF(20, 5)});
}

void drawArrowDownRightAndArrowUpLeft(SymbolCanvas& k)
{
    k.p.drawLine(QPointF(5, 5), QPointF(19, 19));
    k.arrowHead(QPointF(20, 20), QPointF(5, 5), 7);
    k.arrowHead(QPointF(4, 4), QPointF(19, 19), 7);
}

using SymbolDrawing = void (*)(SymbolCanvas&);

// One drawing per symbol name; a new tool's icon is one entry here.
const QHash<QString, SymbolDrawing>& drawings()
{
    static const QHash<QString, SymbolDrawing> table {
        {QStringLiteral("cursorarrow"), &drawCursorarrow},
        {QStringLiteral("pencil.tip"), &drawPencilTip},
        {QStringLiteral("arrow.up.right"), &drawArrowUpRight},
        {QStringLiteral("rectangle"), &drawRectangle},
        {QStringLiteral("rectangle.fill"), &drawRectangleFill},
        {QStringLiteral("circle"), &drawCircle},
        {QStringLiteral("line.diagonal"), &drawLineDiagonal},
        {QStringLiteral("eraser"), &drawEraser},
        {QStringLiteral("character.cursor.ibeam"), &drawCharacterCursorIbeam},
        {QStringLiteral("1.circle.fill"), &drawNumber1CircleFill},
        {QStringLiteral("number.circle.fill"), &drawNumber1CircleFill},
        {QStringLiteral("number.circle"), &drawNumber1CircleFill},
        {QStringLiteral("tag.fill"), &drawTagFill},
        {QStringLiteral("square.grid.3x3.fill"), &drawSquareGrid3x3Fill},
        {QStringLiteral("highlighter"), &drawHighlighter},
        {QStringLiteral("sun.max.fill"), &drawSunMaxFill},
        {QStringLiteral("eye.slash.fill"), &drawEyeSlashFill},
        {QStringLiteral("eye"), &drawEyeSlashFill},
        {QStringLiteral("aqi.medium"), &drawAqiMedium},
        {QStringLiteral("wand.and.rays"), &drawWandAndRays},
        {QStringLiteral("sparkles"), &drawSparkles},
        {QStringLiteral("questionmark.bubble"), &drawQuestionmarkBubble},
        {QStringLiteral("minus.circle"), &drawMinusCircle},
        {QStringLiteral("trash"), &drawTrash},
        {QStringLiteral("arrow.uturn.backward"), &drawArrowUturnBackward},
        {QStringLiteral("eyedropper"), &drawEyedropper},
        {QStringLiteral("hand.draw"), &drawHandDraw},
        {QStringLiteral("paintpalette.fill"), &drawPaintpaletteFill},
        {QStringLiteral("square.stack.3d.up.fill"), &drawSquareStack3dUpFill},
        {QStringLiteral("photo.on.rectangle.angled"), &drawPhotoOnRectangleAngled},
        {QStringLiteral("photo"), &drawPhotoOnRectangleAngled},
        {QStringLiteral("photo.badge.plus"), &drawPhotoOnRectangleAngled},
        {QStringLiteral("xmark.circle.fill"), &drawXmarkCircleFill},
        {QStringLiteral("doc.on.doc"), &drawDocOnDoc},
        {QStringLiteral("checkmark"), &drawCheckmark},
        {QStringLiteral("arrow.down.right.and.arrow.up.left"), &drawArrowDownRightAndArrowUpLeft},
    };
    return table;
}

// Draws one symbol into a 24 × 24 box; false when the name is not drawn here.
bool draw(QPainter& p, const QString& name, const QColor& c)
{
    const SymbolDrawing drawing = drawings().value(name);
    if (!drawing)
        return false;
    p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    SymbolCanvas canvas {p, c, name};
    drawing(canvas);
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
