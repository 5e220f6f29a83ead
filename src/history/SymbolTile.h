#pragma once
#include <QColor>
#include <QWidget>

// A rounded placeholder with a symbol: video and link rows without a picture, Final Cut Pro
// rows without a thumbnail.
class SymbolTile : public QWidget {
public:
    SymbolTile(QSize size, const QString& symbol, int symbolSize, const QColor& symbolColor, const QColor& fill,
        QWidget* parent);
    QString symbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    int m_symbolSize;
    QColor m_symbolColor;
    QColor m_fill;
};
