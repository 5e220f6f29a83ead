#pragma once
#include "ui/SymbolButton.h"

#include <QColor>
#include <optional>

// The plain buttons of the editor's bars and panels: a symbol (or a text, or a colour circle)
// centred in a fixed frame, on a rounded rectangle tinted with the accent colour while active.
class EditorButton : public SymbolButton {
    Q_OBJECT
public:
    explicit EditorButton(
        const QString& symbol, QSize frame = QSize(28, 28), int iconSize = 18, QWidget* parent = nullptr);

    // A filled circle of the colour instead of a symbol, ringed as `ring` says.
    void setSwatch(const QColor& color, const QColor& ring, qreal ringWidth);
    // A colour for the symbol other than the text colour (accent while active wins).
    void setSymbolColor(const QColor& color)
    {
        m_symbolColor = color;
        update();
    }
    // Draws the rounded background of an inactive button faintly (panel buttons and chips).
    void setFaintBackground(bool faint)
    {
        m_faint = faint;
        update();
    }
    void setRadius(qreal radius)
    {
        m_radius = radius;
        update();
    }

    QSize sizeHint() const override { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize m_frame;
    int m_iconSize;
    bool m_faint = false;
    qreal m_radius = 6;
    std::optional<QColor> m_symbolColor;
    std::optional<QColor> m_swatch;
    QColor m_ring;
    qreal m_ringWidth = 1;
};
