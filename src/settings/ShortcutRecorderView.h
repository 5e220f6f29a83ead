#pragma once
#include "settings/GlobalShortcuts.h"

#include <QPointer>
#include <QWidget>
#include <optional>

class QKeyEvent;
class QLabel;
class QPushButton;
class QTimer;
class QToolButton;

// One settings row that shows the global shortcut of an action, records a new one from a key
// press with Command (Super), Option (Alt) or Control, and resets it to its default.
//
// Recording listens only to key presses aimed at this row's own window, and one recorder records
// at a time: starting one stops any other. While it records, the row holds the keyboard (an active
// grab), so that a combination another program has taken still reaches it; Escape, the end of
// recording and hiding the row release the grab. A recorded combination is handed to GlobalShortcuts,
// which grabs it at once; when the desktop refuses it or another action uses it the row shows the
// combination as failed (red, with the reason) and the previous shortcut stays in force. The
// failure shows for failureShownMs, until Escape or until the row is hidden; then the row shows
// the shortcut in force again.
class ShortcutRecorderView : public QWidget {
    Q_OBJECT
public:
    enum class State { idle, recording, failed };
    static constexpr int failureShownMs = 4000;

    ShortcutRecorderView(
        GlobalShortcuts& shortcuts, GlobalShortcuts::Action action, const QString& title, QWidget* parent = nullptr);
    ~ShortcutRecorderView() override;

    // One row per action, titled as in the tray menu, added to a "Shortcuts" card.
    static QList<ShortcutRecorderView*> addRows(
        class SettingsSection* section, const QList<GlobalShortcuts::Action>& actions, GlobalShortcuts& shortcuts);

    // The Carbon mask of the held modifiers: Command (Super/Meta) 0x100, Shift 0x200,
    // Option (Alt) 0x800, Control 0x1000; nothing else counts.
    static quint32 carbonModifiers(Qt::KeyboardModifiers modifiers);

    GlobalShortcuts::Action action() const { return m_action; }
    State state() const { return m_state; }
    bool isRecording() const { return m_state == State::recording; }
    // What the shortcut button shows ("Press keys..." while recording).
    QString buttonText() const;
    QString failureReason() const { return m_failure; }
    QPushButton* shortcutButton() const { return m_button; }
    QToolButton* resetButton() const { return m_reset; }

    void startRecording();
    void stopRecording();
    // The recorder that records now, if any.
    static ShortcutRecorderView* activeRecorder();
    // Reads the shown shortcut again (after a change made elsewhere).
    void refresh();

    // Handles one key press while recording; true when it was taken as a shortcut attempt.
    bool handleKeyPress(QKeyEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Stops listening and gives the program its hotkeys back.
    void endRecording();
    void releaseKeyboardGrab();
    void setState(State state);
    void restyle();
    GlobalShortcuts& shortcuts() const { return m_shortcuts; }

    GlobalShortcuts& m_shortcuts;
    GlobalShortcuts::Action m_action;
    State m_state = State::idle;
    QString m_currentShortcut;
    QString m_attempt;
    QString m_failure;
    QTimer* m_failureTimer;
    QLabel* m_failureLabel;
    QPushButton* m_button;
    QToolButton* m_reset;
};
