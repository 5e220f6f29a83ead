#pragma once
#include <QAbstractButton>

// One button of the settings window's tab bar: its symbol and title, an accent background when
// selected, a faint one while hovered.
class TabButton : public QAbstractButton {
    Q_OBJECT
public:
    TabButton(const QString& title, const QString& icon, QWidget* parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHovering() const { return m_hovering; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    QString m_icon;
    bool m_selected = false;
    bool m_hovering = false;
};
