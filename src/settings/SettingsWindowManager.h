#pragma once
#include "settings/SettingsServices.h"
#include "store/ModelContainerHolder.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

// Opens the settings window ("Quorvel Settings", floating, centred) with a fresh settings view, or
// brings the open one forward; a minimised one is restored, never duplicated. A window closed
// with its close button is kept hidden until the next opening replaces it with a new one, which
// starts on "General". Closing the window stops any shortcut recording.
class SettingsWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    static inline const QString windowTitle = QStringLiteral("Quorvel Settings");

    static SettingsWindowManager& shared();
    SettingsWindowManager()
        : ModelContainerHolder("SettingsWindowManager")
    {
    }
    ~SettingsWindowManager() override;

    // What the pages act on (the process-wide services when never set).
    void setServices(std::function<SettingsServices()> services) { m_services = std::move(services); }

    void showSettings();
    // The last settings window (visible or hidden); null before the first.
    QWidget* settingsWindow() const { return m_settingsWindow; }

private:
    std::function<SettingsServices()> m_services;
    QPointer<QWidget> m_settingsWindow;
};
