#include "app/UpdaterManager.h"

#include "app/AppcastParser.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "ui/AlertWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {
constexpr qint64 maxFeedBytes = 1024 * 1024;
constexpr int feedTimeoutMs = 15000;
}

AppcastUpdaterController::AppcastUpdaterController(QString feedURL, QString currentVersion, QObject* parent)
    : QObject(parent)
    , m_feedURL(std::move(feedURL))
    , m_currentVersion(std::move(currentVersion))
{
}

void AppcastUpdaterController::startUpdater()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_feedURL.isEmpty())
        check(false);
}

void AppcastUpdaterController::checkForUpdates()
{
    check(true);
}

QString AppcastUpdaterController::message(Outcome outcome, const QString& newVersion, const QString& detail)
{
    switch (outcome) {
    case Outcome::NoFeedConfigured:
        return QStringLiteral("Updates for Quorvel come from your package manager.");
    case Outcome::UpToDate:
        return QStringLiteral("Quorvel %1 is the newest version.").arg(QStringLiteral(QUORVEL_VERSION));
    case Outcome::UpdateAvailable:
        return QStringLiteral("Quorvel %1 is available (you have %2).").arg(newVersion, QStringLiteral(QUORVEL_VERSION));
    case Outcome::Failed:
        return QStringLiteral("Could not check for updates: %1").arg(detail);
    }
    return {};
}

void AppcastUpdaterController::showAnswer(const QString& text)
{
    // Above the window the user asked from; open() returns at once, no nested event loop.
    QWidget* parent = m_dialogParent ? m_dialogParent() : nullptr;
    if (m_answer)
        m_answer->close();
    auto* box = new QMessageBox(
        QMessageBox::Information, QStringLiteral("Check for Updates…"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_answer = box;
    if (!parent) {
        // Asked from the tray with no window of ours active: the answer must not land behind our
        // floating windows, which are kept above.
        AlertWindow::show(box, nullptr);
        return;
    }
    box->open();
    box->raise();
    box->activateWindow();
}

void AppcastUpdaterController::check(bool userInitiated)
{
    auto finish = [this, userInitiated](Outcome outcome, const QString& version, const QString& detail) {
        const QString text = message(outcome, version, detail);
        emit checkFinished(outcome, text, userInitiated);
        if (userInitiated && qobject_cast<QApplication*>(QCoreApplication::instance())
            && !qEnvironmentVariableIsSet("QUORVEL_NO_DIALOGS"))
            showAnswer(text);
        else if (outcome == Outcome::UpdateAvailable || outcome == Outcome::Failed)
            Console::log(QStringLiteral("UpdaterManager: ") + text);
    };
    const QUrl url(m_feedURL);
    if (m_feedURL.isEmpty() || !url.isValid()
        || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")
            && url.scheme() != QLatin1String("file"))) {
        finish(Outcome::NoFeedConfigured, {}, {});
        return;
    }
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(feedTimeoutMs);
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maxFeedBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, finish] {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError) {
            finish(Outcome::Failed, {}, reply->errorString());
            return;
        }
        const QByteArray body = reply->read(maxFeedBytes + 1);
        const auto newest = AppcastParser::newestItem(body);
        if (!newest) {
            finish(Outcome::Failed, {}, QStringLiteral("the update feed could not be read"));
            return;
        }
        if (AppcastParser::compareVersions(newest->version, m_currentVersion) > 0)
            finish(Outcome::UpdateAvailable, newest->shortVersionString, {});
        else
            finish(Outcome::UpToDate, {}, {});
    });
}

UpdaterManager::UpdaterManager()
    : m_controller(std::make_unique<AppcastUpdaterController>(
        QStringLiteral(QUORVEL_APPCAST_URL), QStringLiteral(QUORVEL_VERSION)))
{
}

void UpdaterManager::startDelayed()
{
    QPointer<AppcastUpdaterController> controller = m_controller.get();
    DispatchQueue::main().asyncAfter(std::chrono::milliseconds(3000), [controller] {
        if (controller)
            controller->startUpdater();
    });
}
