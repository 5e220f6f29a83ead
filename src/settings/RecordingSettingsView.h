#pragma once
#include "settings/SettingsWindowManager.h"

#include <QWidget>

class QPushButton;
class ShortcutRecorderView;

// The "Aufnahme" page: a recorder per recording action, system audio, the recordings folder and a
// footer that names the real folder.
class RecordingSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit RecordingSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent = nullptr);
    QList<ShortcutRecorderView*> recorders() const { return m_recorders; }
    QPushButton* openFolderButton() const { return m_openFolder; }

    // The folder as the user reads it: the home folder written as "~".
    static QString footerText(const QString& recordingsDirectory);

private:
    QList<ShortcutRecorderView*> m_recorders;
    QPushButton* m_openFolder;
};
