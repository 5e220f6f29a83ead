#pragma once
#include <QList>
#include <QPointer>
#include <QScrollArea>

class ClipHistoryController;
class FilterChip;
class QHBoxLayout;

// The line of filter chips below a search field: All, Images, Links, FCP (when such content
// exists), the saved applications and, fainter, recent applications as suggestions. Everything
// comes from the controller (which reads the chip preferences); the bar keeps no state.
class SmartFilterBar : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int barHeight = 24;
    static constexpr int chipSpacing = 6;

    explicit SmartFilterBar(ClipHistoryController& controller, QWidget* parent = nullptr);

    // The chips in order.
    QList<FilterChip*> chips() const;

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    void rebuild();

    ClipHistoryController& m_controller;
    QWidget* m_row;
    QHBoxLayout* m_layout;
    QList<QPointer<FilterChip>> m_chips;
};
