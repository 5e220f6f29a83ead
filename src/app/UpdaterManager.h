#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <QString>
#include <memory>

class QNetworkAccessManager;

// Checks an appcast feed for a newer release. Created stopped; startUpdater() enables the quiet
// background check; checkForUpdates() is the user's explicit check and always answers.
class AppcastUpdaterController : public QObject {
    Q_OBJECT
public:
    enum class Outcome { NoFeedConfigured, UpToDate, UpdateAvailable, Failed };

    AppcastUpdaterController(QString feedURL, QString currentVersion, QObject* parent = nullptr);
    void startUpdater();
    bool isStarted() const { return m_started; }
    void checkForUpdates();
    QString feedURL() const { return m_feedURL; }
    // The window an answer to the user's check shows above (none: a window of its own).
    void setDialogParent(std::function<QWidget*()> parent) { m_dialogParent = std::move(parent); }
    // The answer on screen; null when none is.
    QWidget* answer() const { return m_answer; }

    // The text shown to the user for an outcome.
    static QString message(Outcome outcome, const QString& newVersion, const QString& detail);

signals:
    void checkFinished(Outcome outcome, const QString& message, bool userInitiated);

private:
    void check(bool userInitiated);
    void showAnswer(const QString& text);
    QString m_feedURL;
    QString m_currentVersion;
    bool m_started = false;
    QNetworkAccessManager* m_network = nullptr;
    std::function<QWidget*()> m_dialogParent;
    QPointer<QWidget> m_answer;
};

// Holder of the updater controller; the tray menu calls controller()->checkForUpdates().
class UpdaterManager {
public:
    // Over the feed and the version this build names.
    UpdaterManager();
    AppcastUpdaterController* controller() const { return m_controller.get(); }
    // Starts the updater 3 seconds from now on the main queue (not once the manager is gone).
    void startDelayed();

private:
    std::unique_ptr<AppcastUpdaterController> m_controller;
};
