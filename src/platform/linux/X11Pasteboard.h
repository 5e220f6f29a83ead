#pragma once
#include "platform/Pasteboard.h"
#include "platform/linux/X11SelectionLoop.h"

#include <QByteArray>
#include <memory>

// The CLIPBOARD selection of an X server as the general pasteboard.
//
// It runs on an Xlib connection of its own, served by a worker thread (X11SelectionLoop): that
// thread handles the selection traffic (reads from other owners by X11SelectionReader, requests
// for what we wrote by X11SelectionOwner, XFixes owner-change events counted here), so no caller
// ever shares Qt's connection or waits on another client inside Qt's event loop. Public members
// may be called from any thread; reads are queued and run one at a time.
//
// - changeCount() counts the owner changes of CLIPBOARD reported by XFixes (PRIMARY is ignored),
//   our own writes included.
// - types()/data() speak the store's type identifiers (see MimeTypeMapping). Every conversion
//   request is bounded (2 s per reply or increment, 5 s per type read), so a hung owner never
//   freezes a caller; payloads over maxBytes are refused as soon as their size is known.
//   After each foreign owner change the worker fetches the owner's TARGETS and then every
//   readable payload (up to maxKeptBytes each, bounded like any read) at once, and answers later
//   reads of that change from what it kept: a program that copies and exits right away is still
//   read. An owner that goes away leaves that content in place (no change is counted) when it
//   was read; releaseContent() drops the kept payloads. Concealed copies are never kept. The
//   content of the change before the current one stays whole too (keptContent()), so a copy
//   replaced right after its quiet period is still stored as it was.
// - setChangeHandler() is called from the worker at each owner change, as XFixes reports it.
//   A selection cleared by its owner is a change (to no content).
// - clearContents()/writeItems() take the selection with a hidden window and serve every written
//   type (TARGETS, TIMESTAMP, MULTIPLE, and large payloads in INCR chunks) until another client
//   takes it. While we own the selection, reads are answered from our own items.
// - handOverToClipboardManager() asks the owner of CLIPBOARD_MANAGER to save what we own
//   (the ICCCM SAVE_TARGETS request) and keeps serving it until the manager says it is done.
//
// Without a display (no $DISPLAY, or it cannot be opened) the object is disabled: the change
// count stays 0, reads answer Unavailable and writes fail.
class X11SelectionOwner;
class X11SelectionReader;
struct X11SelectionState;

class X11Pasteboard : public Pasteboard, private X11SelectionLoop::Client {
public:
    // Connects to displayName, or to $DISPLAY when it is empty.
    explicit X11Pasteboard(const QByteArray& displayName = {});
    ~X11Pasteboard() override;
    X11Pasteboard(const X11Pasteboard&) = delete;
    X11Pasteboard& operator=(const X11Pasteboard&) = delete;

    // Longest wait for one reply of the owner (or one increment of a transfer).
    static constexpr int requestTimeoutMs = 2000;
    // Longest time the read of one type may take, all of its requests together.
    static constexpr int readTimeoutMs = 5000;
    // A requestor that stops taking increments of our payload is dropped after this time.
    static constexpr int serveStallTimeoutMs = 5000;
    // Most targets of one owner that are looked at.
    static constexpr int maxTargets = 1024;
    // Largest text/uri-list read to tell file URLs from web URLs.
    static constexpr qint64 maxUriListBytes = 16 * 1024 * 1024;
    // Largest payload per type read at the owner change (the history's limit).
    static constexpr qint64 maxKeptBytes = 52428800;
    // Longest wait for the clipboard manager to take our content at quit. Kept short: the whole
    // termination must end within 2 s.
    static constexpr int clipboardManagerTimeoutMs = 1500;

    bool isEnabled() const;
    // Payloads larger than this are served in INCR increments of this size (0 when disabled).
    qint64 incrementSize() const;
    // True while our window owns CLIPBOARD (as far as the worker has seen).
    bool ownsClipboard() const;

    qint64 changeCount() override;
    bool setChangeHandler(std::function<void()> handler) override;
    std::optional<QList<KeptType>> keptContent(qint64 changeCount, qint64 maxBytes) override;
    QStringList types() override;
    std::optional<QByteArray> data(
        const QString& type, qint64 maxBytes, ReadError* error = nullptr, qint64* size = nullptr) override;
    void releaseContent(qint64 changeCount) override;
    void clearContents() override;
    bool writeItems(const QList<Item>& items) override;
    bool handOverToClipboardManager() override;
    // Owns PRIMARY with the items on the worker's connection, taken at the server's time, until
    // another client takes it; the monitor never looks at PRIMARY.
    bool writePrimarySelection(const QList<Item>& items) override;
    // The MIME types a drag offers for the items (the targets served for them, without the
    // ICCCM text atoms, which the toolkit derives from text/plain); types without a MIME form
    // under their own names.
    QList<Item> dragFormats(const QList<Item>& items) const override;

private:
    using Clock = X11SelectionLoop::Clock;

    // X11SelectionLoop::Client, on the worker thread.
    void handleEvent(_XEvent& event) override;
    void expireDeadlines(Clock::time_point now) override;
    Clock::time_point nextDeadline(Clock::time_point latest) const override;
    void shutDown() override;
    void onOwnerChange(unsigned long subtype, unsigned long owner, unsigned long selection);

    std::unique_ptr<X11SelectionState> m_state;
    std::unique_ptr<X11SelectionLoop> m_loop;
    std::unique_ptr<X11SelectionReader> m_reader;
    std::unique_ptr<X11SelectionOwner> m_owner;
};
