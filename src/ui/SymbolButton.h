#pragma once
#include <QAbstractButton>

// A button drawn around a symbol that can be marked active and knows whether the pointer is over
// it; how it looks is up to the subclass's paintEvent. Points with the hand, takes no focus.
class SymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SymbolButton(const QString& symbol, QWidget* parent = nullptr);

    void setSymbol(const QString& symbol);
    QString symbol() const { return m_symbol; }
    void setActive(bool active);
    bool isActive() const { return m_active; }
    bool isHovering() const { return m_hovering; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_symbol;
    bool m_active = false;
    bool m_hovering = false;
};
