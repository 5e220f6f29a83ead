#pragma once
#include "ui/AppAction.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

// The rows of the tray menu for one state of the program, top to bottom. Rebuilt each time the
// menu opens, so shortcut texts, the paste stack and the recording state are current.
namespace MenuBarModel {

// What a row does: one of the program's actions (AppAction, by its own enumerators here:
// Command::captureArea) or one of the menu's own commands.
class Command {
public:
    using enum AppAction::Value;
    enum Own : quint32 {
        none = 0,
        pasteNext = 0x100,
        clearStack,
        clearHistory,
        showScreenshots,
        showRecordings,
        openSibling,
        settings,
        checkForUpdates,
        feedback,
        quit,
    };

    constexpr Command() = default;
    constexpr Command(Own own)
        : m_raw(own)
    {
    }
    constexpr Command(AppAction::Value action)
        : m_raw(action)
    {
    }
    constexpr Command(AppAction action)
        : m_raw(action.rawValue())
    {
    }
    static constexpr Command fromRawValue(quint32 raw) { return Command(raw); }

    constexpr quint32 rawValue() const { return m_raw; }
    // The action, for the rows that start one.
    std::optional<AppAction> action() const { return AppAction::fromRawValue(m_raw); }
    bool operator==(const Command&) const = default;

private:
    constexpr explicit Command(quint32 raw)
        : m_raw(raw)
    {
    }
    quint32 m_raw = none;
};

struct Row {
    enum class Kind { header, button, divider };
    Kind kind = Kind::button;
    QString title;
    QString icon;         // symbol name; empty: an empty slot keeps the titles aligned
    QString shortcutText; // empty: none shown
    Command command = Command::none;
    bool operator==(const Row&) const = default;
};

struct State {
    int pasteStackCount = 0;
    bool isRecording = false;
    bool siblingInstalled = false;
};

// The shortcut of a hotkey row as shown ("⇧⌘V", or "Nicht belegt", which shows nothing), by the
// action's raw value.
using ShortcutDisplay = std::function<QString(quint32 action)>;

QList<Row> rows(const State& state, const ShortcutDisplay& shortcutDisplay);

// True for the rows that start a capture or recording session: they wait until the menu is off
// the screen, so it never appears in the picture.
bool startsCaptureSession(Command command);

// The bundle identifier of the sibling application offered when installed.
inline const QString siblingBundleIdentifier = QStringLiteral("com.fernhollow.pexmoor");

}
