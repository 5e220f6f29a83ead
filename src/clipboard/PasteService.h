#pragma once
#include "clipboard/PasteTrace.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "store/ClipItem.h"

#include <QList>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class ClipboardCryptoService;
class ClipboardSuspension;
class DispatchQueue;
class KeySynthesizer;

// Writes a stored history entry back to the clipboard and pastes it into the application the
// user was working in: the target is remembered when the history opens, activated again, polled
// until it is really active, and then receives the paste keystroke. Clipboard monitoring is
// suspended around our own writes. Every step of a paste is traced (PasteTrace).
//
// Main thread only; every delayed step runs on the main queue given at construction, and no step
// blocks it. Sealed entries are opened with the clipboard key: while the entry's key service has
// none yet, a paste or copy asks it (an unlock prompt may show) and goes on when the keychain answers.
class PasteService {
public:
    static constexpr std::chrono::milliseconds activationPollInterval {10};
    static constexpr int maxActivationAttempts = 50;
    static constexpr std::chrono::milliseconds settleDelay {100};
    static constexpr std::chrono::milliseconds pasteSuspension {600};
    static constexpr std::chrono::milliseconds copySuspension {300};
    // How long the keystroke waits for the user to let go of the hotkey's modifiers, polling the
    // keyboard from main-queue timer steps so that the interface and the hotkeys stay responsive.
    static constexpr int modifierReleaseTimeoutMs = 2000;
    static constexpr std::chrono::milliseconds modifierPollInterval {10};

    PasteService(Pasteboard& pasteboard, Workspace& workspace, KeySynthesizer& keys, DispatchQueue& mainQueue,
        ClipboardSuspension& suspension, QString tracePath = QString::fromLatin1(PasteTrace::defaultPath));
    ~PasteService();
    PasteService(const PasteService&) = delete;
    PasteService& operator=(const PasteService&) = delete;

    // The remembered target; both change only at the next capture.
    std::optional<qint64> targetPID() const { return m_targetPID; }
    std::optional<RunningApplication> targetApp() const { return m_targetApp; }

    // Remembers the application to paste into: the frontmost one unless it is this program,
    // else the first other running application.
    void captureTargetApp();
    // Remembers a known application as the target (the last foreign active one, for surfaces
    // that may hold the focus themselves); without one, as captureTargetApp().
    void captureTargetApp(const std::optional<RunningApplication>& known);

    // Writes the entry (all readable representations by priority, or only its plain text) to the
    // clipboard, activates the remembered target and sends the paste keystroke. Returns false,
    // leaving the clipboard untouched and sending nothing, when nothing of the entry can be read
    // or the clipboard cannot be written. While the clipboard key is being loaded it returns true
    // and the paste goes on when the keychain answers.
    bool paste(const ClipItemPtr& item, bool asPlainText);

    // Writes the entry to the clipboard without pasting. Returns false (clipboard untouched)
    // when nothing of it can be read or the write fails; true while the key is being loaded.
    bool copyToClipboard(const ClipItemPtr& item);

    // Every readable representation of the entry, by priority, as one drag item (store type
    // identifiers; the drag source maps them to its own formats).
    static QList<Pasteboard::Item> makeDragPasteboardItem(const ClipItemPtr& item);

    // The entry's representations by priority, highest first; equal priorities keep their order.
    static std::vector<ClipRepresentationPtr> sortedRepresentations(const ClipItem& item);
    // What a paste writes: the readable representations by priority, or for plain text the
    // entry's whole plain-text representation (its search text when it has none). Empty when
    // nothing can be read.
    static QList<Pasteboard::Item> pasteboardItems(const ClipItem& item, bool asPlainText);

    PasteTrace& trace() { return m_trace; }
    // The desktop the targets are remembered from and activated on.
    Workspace& workspace() { return m_workspace; }

private:
    struct Target {
        RunningApplication app;
        qint64 pid = 0;
    };
    void logPaste(const QString& message) { m_trace.log(message); }
    bool writeToPasteboard(const QList<Pasteboard::Item>& items);
    // The key service that opens the entry: the one of the store it was fetched from or written
    // to; none for an entry that was never stored.
    static ClipboardCryptoService* keyServiceOf(const ClipItemPtr& item);
    bool pasteNow(const ClipItemPtr& item, bool asPlainText);
    bool copyNow(const ClipItemPtr& item);
    // Runs next(true) once no modifier is held, or next(false) after modifierReleaseTimeoutMs;
    // polls from main-queue steps. next runs only while the service exists.
    void afterModifiersReleased(std::function<void(bool released)> next, int waitedMs = 0);
    void postPasteToApp(const Target& target, bool afterTimeout, int attempts, bool modifiersReleased);
    void activateTargetAppAndPaste();
    void waitForActivationAndPaste(const Target& target, int attempts);
    void simulatePasteToApp(const Target& target, bool afterTimeout, int attempts);
    void simulatePasteToFrontmost();
    // Posts the target's paste key; where that key inserts only PRIMARY, PRIMARY first gets the
    // content the paste wrote to the clipboard.
    bool postPasteKey(const std::optional<RunningApplication>& target);
    void resumeMonitoringAfterDelay();
    bool isTerminated(const RunningApplication& app);

    Pasteboard& m_pasteboard;
    Workspace& m_workspace;
    KeySynthesizer& m_keys;
    DispatchQueue& m_mainQueue;
    ClipboardSuspension& m_suspension;
    PasteTrace m_trace;

    std::optional<qint64> m_targetPID;
    std::optional<RunningApplication> m_targetApp;
    // What the last paste wrote to the clipboard (for a PRIMARY-only paste key).
    QList<Pasteboard::Item> m_pastedItems;

    // Suspension holds taken by pastes whose chain has not ended yet; released if the service
    // goes away first, so monitoring never stays suspended.
    int m_heldSuspensions = 0;
    // Scheduled steps hold this weakly and do nothing once the service is gone.
    std::shared_ptr<PasteService*> m_alive;
};
