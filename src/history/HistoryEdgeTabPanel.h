#pragma once
#include <QRect>
#include <QWidget>
#include <functional>

// One right-edge tab: a 16 x 90 tab flush against the right edge of a display, rounded on its
// left side, dark with a white chevron. It never takes the focus and reports the pointer's
// arrival and departure. On a compositing desktop the tab is translucent and casts a soft shadow,
// for which its window has a margin on the left, top and bottom (only the tab takes the pointer);
// without a compositor the window is the tab alone, shaped to it and drawn opaque in the colours
// the translucent tab has over a dark desktop.
class HistoryEdgeTabPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int tabWidth = 16;
    static constexpr int tabHeight = 90;
    static constexpr int cornerRadius = 10;
    static constexpr int shadowMargin = 10;

    explicit HistoryEdgeTabPanel(bool compositing = true, QWidget* parent = nullptr);

    void setOnHoverChanged(std::function<void(bool)> handler) { m_onHoverChanged = std::move(handler); }
    bool hasShadow() const { return m_margin > 0; }
    // The tab inside the window.
    QRect tabRect() const { return QRect(m_margin, m_margin, tabWidth, tabHeight); }
    // The tab's outline (square on the right) inside the window.
    QRegion tabRegion() const;
    // The window's top left for a display frame: the tab flush right, centred vertically.
    QPoint originFor(const QRect& displayFrame) const;
    // The opaque colours drawn without a compositor: the tab's black at 0.55 and the chevron's
    // white at 0.8 over the dark desktop grey.
    static QColor opaqueFill();
    static QColor opaqueChevron();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void paintShadow(QPainter& painter) const;

    int m_margin;
    std::function<void(bool)> m_onHoverChanged;
};
