#pragma once
#include <QAbstractButton>
#include <QColor>

// The feedback form's switch: its label on the left, the pill on the right, in the accent blue.
class FeedbackToggleSwitch : public QAbstractButton {
public:
    FeedbackToggleSwitch(const QString& text, QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};
