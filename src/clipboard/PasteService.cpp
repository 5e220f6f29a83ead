#include "clipboard/PasteService.h"

#include "clipboard/ClipboardSuspension.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/KeySynthesizer.h"
#include "platform/PasteboardTypes.h"
#include "platform/Unicode.h"
#include "store/ClipboardCryptoService.h"
#include "store/UTIPriority.h"

#include <algorithm>

namespace {

QString nameOr(const RunningApplication& app, const QString& fallback)
{
    return app.localizedName.isEmpty() ? fallback : app.localizedName;
}

}

PasteService::PasteService(Pasteboard& pasteboard, Workspace& workspace, KeySynthesizer& keys, DispatchQueue& mainQueue,
    ClipboardSuspension& suspension, QString tracePath)
    : m_pasteboard(pasteboard)
    , m_workspace(workspace)
    , m_keys(keys)
    , m_mainQueue(mainQueue)
    , m_suspension(suspension)
    , m_trace(std::move(tracePath))
    , m_alive(std::make_shared<PasteService*>(this))
{
}

PasteService::~PasteService()
{
    for (; m_heldSuspensions > 0; --m_heldSuspensions)
        m_suspension.resume();
}

// MARK: - Target

void PasteService::captureTargetApp(const std::optional<RunningApplication>& known)
{
    if (!known) {
        captureTargetApp();
        return;
    }
    m_targetApp = *known;
    m_targetPID = known->processIdentifier != 0 ? std::optional<qint64>(known->processIdentifier) : std::nullopt;
    logPaste(QStringLiteral("Captured target app: %1 (%2)")
                 .arg(nameOr(*known, QStringLiteral("Unknown")),
                     known->bundleIdentifier.isEmpty() ? QStringLiteral("no-id") : known->bundleIdentifier));
}

void PasteService::captureTargetApp()
{
    const RunningApplication self = m_workspace.currentApplication();
    // Two missing identifiers count as equal; the process identifier tells our own windows apart
    // even when the identifiers are missing.
    auto isSelf = [&self](const RunningApplication& app) {
        if (app.processIdentifier != 0 && app.processIdentifier == self.processIdentifier)
            return true;
        return app.bundleIdentifier == self.bundleIdentifier;
    };

    if (const std::optional<RunningApplication> front = m_workspace.frontmostApplication(); front && !isSelf(*front)) {
        m_targetApp = *front;
        m_targetPID = front->processIdentifier != 0 ? std::optional<qint64>(front->processIdentifier) : std::nullopt;
        logPaste(QStringLiteral("Captured target app: %1 (%2)")
                     .arg(nameOr(*front, QStringLiteral("Unknown")),
                         front->bundleIdentifier.isEmpty() ? QStringLiteral("no-id") : front->bundleIdentifier));
        return;
    }

    const QList<RunningApplication> running = m_workspace.runningApplications();
    // Only an application with a window of its own: never a dock, panel, desktop or notification.
    const auto other = std::find_if(
        running.begin(), running.end(), [&](const RunningApplication& app) { return !isSelf(app) && app.isRegular; });
    if (other != running.end()) {
        m_targetApp = *other;
        m_targetPID = other->processIdentifier != 0 ? std::optional<qint64>(other->processIdentifier) : std::nullopt;
    } else {
        m_targetApp.reset();
        m_targetPID.reset();
    }
    logPaste(QStringLiteral("Captured fallback app: %1")
                 .arg(m_targetApp ? nameOr(*m_targetApp, QStringLiteral("None")) : QStringLiteral("None")));
}

// MARK: - Contents

std::vector<ClipRepresentationPtr> PasteService::sortedRepresentations(const ClipItem& item)
{
    std::vector<ClipRepresentationPtr> sorted;
    for (const ClipRepresentationPtr& rep : item.representations())
        if (rep)
            sorted.push_back(rep);
    UTIPriority::sortByPriority(sorted, [](const ClipRepresentationPtr& rep) { return rep->priority; });
    return sorted;
}

QList<Pasteboard::Item> PasteService::pasteboardItems(const ClipItem& item, bool asPlainText)
{
    QList<Pasteboard::Item> items;
    if (asPlainText) {
        // The whole stored plain text (the search text is only a prefix of long texts); the later
        // plain-text type wins, as it does when the search text is taken at capture.
        std::optional<QByteArray> text;
        for (const ClipRepresentationPtr& rep : item.representations()) {
            if (!rep || !PasteboardTypes::isPlainText(rep->typeUTI))
                continue;
            if (std::optional<QByteArray> bytes = rep->data(); bytes && Unicode::decodeUtf8(*bytes))
                text = std::move(bytes);
        }
        if (!text) {
            if (const std::optional<QString> search = item.searchIndex())
                text = search->toUtf8();
        }
        if (text)
            items.append({PasteboardTypes::utf8PlainText, *text});
        return items;
    }

    for (const ClipRepresentationPtr& rep : sortedRepresentations(item)) {
        std::optional<QByteArray> bytes = rep->data();
        if (!bytes)
            continue; // sealed and cannot be opened: skipped rather than written empty
        // One value per type; a repeated type replaces the earlier value in its place.
        const auto same = std::find_if(
            items.begin(), items.end(), [&](const Pasteboard::Item& i) { return i.type == rep->typeUTI; });
        if (same != items.end())
            same->data = std::move(*bytes);
        else
            items.append({rep->typeUTI, std::move(*bytes)});
    }
    return items;
}

QList<Pasteboard::Item> PasteService::makeDragPasteboardItem(const ClipItemPtr& item)
{
    return item ? pasteboardItems(*item, false) : QList<Pasteboard::Item> {};
}

bool PasteService::writeToPasteboard(const QList<Pasteboard::Item>& items)
{
    // writeItems replaces the whole content in one step, so a failed write never leaves the
    // clipboard emptied.
    return m_pasteboard.writeItems(items);
}

// MARK: - Copy and paste

ClipboardCryptoService* PasteService::keyServiceOf(const ClipItemPtr& item)
{
    return item ? item->sealer : nullptr;
}

bool PasteService::copyToClipboard(const ClipItemPtr& item)
{
    ClipboardCryptoService* crypto = keyServiceOf(item);
    if (crypto && !crypto->hasKey()) {
        std::weak_ptr<PasteService*> alive = m_alive;
        crypto->requestKey(ClipboardCryptoService::KeyReason::UserAction, m_mainQueue, [alive, item](bool) {
            if (const auto self = alive.lock())
                (*self)->copyNow(item);
        });
        return true;
    }
    return copyNow(item);
}

bool PasteService::copyNow(const ClipItemPtr& item)
{
    const QList<Pasteboard::Item> items = item ? pasteboardItems(*item, false) : QList<Pasteboard::Item> {};
    if (items.isEmpty()) {
        Console::log(QStringLiteral("PasteService: nothing of the entry can be read; the clipboard is left as it was"));
        return false;
    }
    m_suspension.suspendFor(copySuspension, &m_mainQueue);
    if (!writeToPasteboard(items)) {
        Console::log(QStringLiteral("Failed to copy the entry: the clipboard could not be written"));
        return false;
    }
    return true;
}

bool PasteService::paste(const ClipItemPtr& item, bool asPlainText)
{
    ClipboardCryptoService* crypto = keyServiceOf(item);
    if (crypto && !crypto->hasKey()) {
        // Opening the entry needs the key: the key service loads it off the main thread (asking
        // the user to unlock the keychain if need be) and the paste goes on with its answer.
        std::weak_ptr<PasteService*> alive = m_alive;
        crypto->requestKey(ClipboardCryptoService::KeyReason::UserAction, m_mainQueue, [alive, item, asPlainText](bool) {
            if (const auto self = alive.lock())
                (*self)->pasteNow(item, asPlainText);
        });
        return true;
    }
    return pasteNow(item, asPlainText);
}

bool PasteService::pasteNow(const ClipItemPtr& item, bool asPlainText)
{
    const QList<Pasteboard::Item> items = item ? pasteboardItems(*item, asPlainText) : QList<Pasteboard::Item> {};
    if (items.isEmpty()) {
        logPaste(QStringLiteral("Nothing of the entry can be read. Paste skipped; the clipboard is left as it was."));
        return false;
    }

    m_suspension.suspend();
    ++m_heldSuspensions;
    if (!writeToPasteboard(items)) {
        logPaste(QStringLiteral("Failed to write the clipboard. Paste skipped."));
        resumeMonitoringAfterDelay();
        return false;
    }
    m_pastedItems = items;
    activateTargetAppAndPaste();
    return true;
}

bool PasteService::isTerminated(const RunningApplication& app)
{
    const QList<RunningApplication> running = m_workspace.runningApplications();
    return std::none_of(running.begin(), running.end(),
        [&app](const RunningApplication& r) { return r.processIdentifier == app.processIdentifier; });
}

void PasteService::activateTargetAppAndPaste()
{
    logPaste(QStringLiteral("Paste sequence started. Accessibility: %1")
                 .arg(m_keys.isAvailable() ? QStringLiteral("true") : QStringLiteral("false")));

    if (m_targetApp && m_targetPID && !isTerminated(*m_targetApp)) {
        const Target target {*m_targetApp, *m_targetPID};
        logPaste(QStringLiteral("Activating target: %1 (PID: %2)")
                     .arg(nameOr(target.app, QStringLiteral("Unknown")))
                     .arg(target.pid));
        m_workspace.activate(target.app);
        waitForActivationAndPaste(target, 0);
        return;
    }

    logPaste(QStringLiteral("No valid target app. Simulating session-wide paste."));
    simulatePasteToFrontmost();
}

void PasteService::waitForActivationAndPaste(const Target& target, int attempts)
{
    std::weak_ptr<PasteService*> alive = m_alive;
    if (m_workspace.isActive(target.app)) {
        logPaste(QStringLiteral("App is active after %1ms. Waiting 100ms for settle.")
                     .arg(attempts * activationPollInterval.count()));
        m_mainQueue.asyncAfter(settleDelay, [alive, target] {
            const auto self = alive.lock();
            if (!self)
                return;
            PasteService& service = **self;
            service.logPaste(QStringLiteral("Firing paste event to PID %1.").arg(target.pid));
            service.simulatePasteToApp(target, false, 0);
        });
        return;
    }
    if (attempts >= maxActivationAttempts) {
        simulatePasteToApp(target, true, attempts);
        return;
    }
    m_mainQueue.asyncAfter(activationPollInterval, [alive, target, attempts] {
        if (const auto self = alive.lock())
            (*self)->waitForActivationAndPaste(target, attempts + 1);
    });
}

void PasteService::afterModifiersReleased(std::function<void(bool released)> next, int waitedMs)
{
    if (!m_keys.modifiersHeld()) {
        next(true);
        return;
    }
    if (waitedMs >= modifierReleaseTimeoutMs) {
        next(false);
        return;
    }
    std::weak_ptr<PasteService*> alive = m_alive;
    m_mainQueue.asyncAfter(modifierPollInterval, [alive, next = std::move(next), waitedMs]() mutable {
        if (const auto self = alive.lock())
            (*self)->afterModifiersReleased(std::move(next), waitedMs + int(modifierPollInterval.count()));
    });
}

// Ends the chain: the keystroke (or the decision to skip it), then monitoring resumes 600 ms later.
void PasteService::simulatePasteToApp(const Target& target, bool afterTimeout, int attempts)
{
    // The keystroke would combine with modifiers the user still holds (the hotkey's, say).
    afterModifiersReleased([this, target, afterTimeout, attempts](bool released) {
        postPasteToApp(target, afterTimeout, attempts, released);
        resumeMonitoringAfterDelay();
    });
}

void PasteService::postPasteToApp(const Target& target, bool afterTimeout, int attempts, bool modifiersReleased)
{
    const QString timeout
        = QStringLiteral("Activation timeout after %1ms.").arg(attempts * activationPollInterval.count());
    if (!modifiersReleased) {
        logPaste((afterTimeout ? timeout + QLatin1Char(' ') : QString())
            + QStringLiteral(
                "Modifier keys are still held. Paste to PID %1 skipped; the content stays on the clipboard.")
                  .arg(target.pid));
        return;
    }
    // A synthetic key reaches whatever window has the focus: send it only to the target.
    const bool focused = m_workspace.isActive(target.app);
    if (afterTimeout) {
        if (!focused) {
            logPaste(timeout
                + QStringLiteral(" Target window does not have the focus. Paste to PID %1 skipped; the content stays "
                                 "on the clipboard.")
                      .arg(target.pid));
            return;
        }
        logPaste(timeout + QStringLiteral(" Firing fallback paste to PID %1.").arg(target.pid));
    } else if (!focused) {
        logPaste(
            QStringLiteral("Target window lost the focus. Paste to PID %1 skipped; the content stays on the clipboard.")
                .arg(target.pid));
        return;
    }
    if (!postPasteKey(target.app))
        logPaste(QStringLiteral("Failed to post the paste keystroke to PID %1.").arg(target.pid));
}

void PasteService::simulatePasteToFrontmost()
{
    afterModifiersReleased([this](bool released) {
        if (!released)
            logPaste(QStringLiteral(
                "Modifier keys are still held. Session-wide paste skipped; the content stays on the clipboard."));
        else if (!postPasteKey(m_workspace.frontmostApplication()))
            logPaste(QStringLiteral("Failed to post the session-wide paste keystroke."));
        resumeMonitoringAfterDelay();
    });
}

bool PasteService::postPasteKey(const std::optional<RunningApplication>& target)
{
    // That key would insert whatever PRIMARY holds: without our content there it is not sent.
    if (m_keys.pasteSelection(target) == KeySynthesizer::PasteSelection::Primary
        && !m_pasteboard.writePrimarySelection(m_pastedItems)) {
        logPaste(QStringLiteral("Failed to write the PRIMARY selection that the target's paste key inserts."));
        return false;
    }
    return m_keys.postPaste(target);
}

void PasteService::resumeMonitoringAfterDelay()
{
    // The paste's own hold becomes a timed one that the suspension releases by itself.
    m_suspension.suspendFor(pasteSuspension, &m_mainQueue);
    if (m_heldSuspensions > 0) {
        --m_heldSuspensions;
        m_suspension.resume();
    }
}
