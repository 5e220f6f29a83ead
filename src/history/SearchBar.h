#pragma once
#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

// The search field of the history surfaces: a magnifying glass, a borderless field with the
// placeholder "Search clipboard..." and, while there is text, a clear button. The host binds the
// text to its controller's search text (setText one way, textChanged the other).
class SearchBar : public QWidget {
    Q_OBJECT
public:
    explicit SearchBar(bool autoFocus, QWidget* parent = nullptr);

    QString text() const;
    // Sets the text without emitting textChanged (the host's side of the binding).
    void setText(const QString& text);
    bool autoFocus() const { return m_autoFocus; }
    // Gives the field the keyboard focus (hosts that focus the bar each time they are shown).
    void focusField();

    QLineEdit* field() const { return m_field; }
    QToolButton* clearButton() const { return m_clearButton; }

signals:
    // Every keystroke and the clear button.
    void textChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void updateClearButton();

    bool m_autoFocus;
    QLabel* m_glass;
    QLineEdit* m_field;
    QToolButton* m_clearButton;
};
