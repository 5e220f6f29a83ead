#pragma once
#include <QWidget>
#include <functional>

// One right-edge tab: a 16 x 90 window flush against the right edge of a display, rounded on its
// left side, dark with a white chevron. It never takes the focus and reports the pointer's
// arrival and departure.
class HistoryEdgeTabPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int tabWidth = 16;
    static constexpr int tabHeight = 90;
    static constexpr int cornerRadius = 10;

    explicit HistoryEdgeTabPanel(QWidget* parent = nullptr);

    void setOnHoverChanged(std::function<void(bool)> handler) { m_onHoverChanged = std::move(handler); }
    // The tab's outline (square on the right), in its own coordinates.
    static QRegion tabRegion();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::function<void(bool)> m_onHoverChanged;
};
