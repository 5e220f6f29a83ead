#pragma once
#include <QList>
#include <QPointer>
#include <QScrollArea>

#include <vector>

class ClipHistoryController;
struct FilterChipSpec;
class FilterChip;
class QHBoxLayout;

// The line of filter chips below a search field: All, Images, Links, FCP (when such content
// exists), the saved applications and, fainter, recent applications as suggestions. Everything
// comes from the controller (which reads the chip preferences); the bar keeps no state of its own.
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
    // Brings the line up to the controller: when the same chips are offered only their states
    // change (with the chips' fade), otherwise the line is built anew in one pass.
    void sync();
    void rebuild(const std::vector<FilterChipSpec>& specs);

    ClipHistoryController& m_controller;
    QWidget* m_row;
    QHBoxLayout* m_layout;
    QList<QPointer<FilterChip>> m_chips;
};
