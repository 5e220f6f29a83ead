#pragma once
#include <QWidget>

class QVBoxLayout;

// A titled card of settings rows: a header (the symbol in the accent colour, the title in
// Avenir Next Demi Bold 12) over a faintly lit rounded card that holds the rows, with no dividers.
class SettingsSection : public QWidget {
    Q_OBJECT
public:
    SettingsSection(const QString& title, const QString& icon, QWidget* parent = nullptr);

    // Places a row at the end of the card.
    void addRow(QWidget* row);
    QWidget* card() const { return m_card; }
    QString title() const { return m_title; }

private:
    QString m_title;
    QWidget* m_card;
    QVBoxLayout* m_rows;
};
