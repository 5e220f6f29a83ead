#pragma once
#include <QIcon>
#include <QWidget>
#include <functional>
#include <optional>

class QToolButton;

// One application in a settings list, 28 high: its icon (18 x 18, or the fallback symbol, or
// nothing), its text taking the remaining width, and a button that removes it.
class AppListRow : public QWidget {
    Q_OBJECT
public:
    AppListRow(const QString& text, const std::optional<QIcon>& icon, const QString& fallbackSymbol, int pointSize,
        std::function<void()> onRemove, QWidget* parent = nullptr);
    QToolButton* removeButton() const { return m_remove; }

private:
    QToolButton* m_remove;
};
