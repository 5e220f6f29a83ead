#pragma once
#include "platform/ApplicationCatalog.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

// A window-modal sheet listing the installed applications to pick one from, with a search field.
// The list is read off the main thread; "Block" confirms the selected application.
class ApplicationChooser : public QDialog {
    Q_OBJECT
public:
    explicit ApplicationChooser(ApplicationCatalog& catalog, QWidget* parent = nullptr);

    QString chosenBundleID() const;
    QListWidget* list() const { return m_list; }
    bool isLoaded() const { return m_loaded; }

signals:
    void loaded();

private:
    void fill(const QList<InstalledApplication>& applications);
    void filter(const QString& text);

    QLineEdit* m_search;
    QListWidget* m_list;
    QPushButton* m_confirm;
    bool m_loaded = false;
};
