#pragma once
#include <QWidget>

class QLabel;

// One labelled row of a settings card, 32 high: the title (Avenir Next 13) takes the width left
// over by the trailing control, which keeps its own size.
class SettingsRow : public QWidget {
    Q_OBJECT
public:
    SettingsRow(const QString& title, QWidget* control, QWidget* parent = nullptr, int height = 32);
    QLabel* titleLabel() const { return m_title; }
    QWidget* control() const { return m_control; }

private:
    QLabel* m_title;
    QWidget* m_control;
};
