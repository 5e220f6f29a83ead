#pragma once
#include <QDialog>
#include <functional>
#include <memory>

class ModelContainer;
class QLabel;
class QPushButton;

// "Clipboard komplett löschen?": on "Alles löschen" every clipboard entry is deleted in one
// transaction off the main thread while the dialog waits; it closes when the store confirms, and
// otherwise shows the failure and stays open. "Abbrechen" (or closing it) deletes nothing.
class ClearHistoryDialog : public QDialog {
    Q_OBJECT
public:
    // afterClear runs on the main thread once the entries are gone.
    ClearHistoryDialog(std::weak_ptr<ModelContainer> container, std::function<void()> afterClear,
        QWidget* parent = nullptr);

    QPushButton* deleteButton() const { return m_delete; }
    QPushButton* cancelButton() const { return m_cancel; }
    QString failure() const;
    bool isErasing() const { return m_erasing; }

    // What "Alles löschen" does.
    void eraseAll();

signals:
    void eraseFinished(bool cleared);

private:
    void done(bool ok, const QString& error);

    std::weak_ptr<ModelContainer> m_container;
    std::function<void()> m_afterClear;
    QLabel* m_failure;
    QPushButton* m_delete;
    QPushButton* m_cancel;
    bool m_erasing = false;
};
