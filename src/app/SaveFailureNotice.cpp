#include "app/SaveFailureNotice.h"

#include "platform/DesktopNotifier.h"

const QString SaveFailureNotice::clipSummary = QStringLiteral("Kopie nicht gespeichert");
const QString SaveFailureNotice::clipBody = QStringLiteral(
    "Die Kopie ist in der Zwischenablage, aber nicht im Verlauf: %1.");
const QString SaveFailureNotice::screenshotSummary = QStringLiteral("Screenshot nicht gespeichert");
const QString SaveFailureNotice::screenshotBody = QStringLiteral(
    "Der Screenshot ist in der Zwischenablage, aber nicht in der Galerie: %1.");

SaveFailureNotice::SaveFailureNotice(DesktopNotifier& notifier, QString summary, QString body, Clock clock)
    : m_notifier(notifier)
    , m_summary(std::move(summary))
    , m_body(std::move(body))
    , m_clock(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now))
{
}

void SaveFailureNotice::report(const QString& error)
{
    if (error.isEmpty()) {
        m_told = false;
        return;
    }
    const auto now = m_clock();
    if (m_told && now - m_toldAt < quiet)
        return;
    m_told = true;
    m_toldAt = now;
    m_notifier.notify(m_summary, m_body.arg(reason(error)));
}

QString SaveFailureNotice::reason(const QString& error)
{
    // SQLite says "database or disk is full", the system "No space left on device".
    if (error.contains(QLatin1String("disk is full"), Qt::CaseInsensitive)
        || error.contains(QLatin1String("No space left"), Qt::CaseInsensitive))
        return QStringLiteral("Der Datenträger ist voll");
    return error;
}
