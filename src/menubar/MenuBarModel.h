#pragma once
#include <QList>
#include <QString>
#include <functional>

// The rows of the tray menu for one state of the program, top to bottom. Rebuilt each time the
// menu opens, so shortcut texts, the paste stack and the recording state are current.
namespace MenuBarModel {

enum class Command {
    none,
    pasteNext,
    clearStack,
    showHistory,
    clearHistory,
    captureArea,
    captureAreaWithToolbar,
    captureWindow,
    captureFullScreen,
    captureLastArea,
    captureText,
    captureScrolling,
    showScreenshots,
    stopRecording,
    recordArea,
    recordWindow,
    recordScreen,
    showRecordings,
    openSibling,
    settings,
    checkForUpdates,
    feedback,
    quit,
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
// hotkey router's raw action value.
using ShortcutDisplay = std::function<QString(quint32 action)>;

QList<Row> rows(const State& state, const ShortcutDisplay& shortcutDisplay);

// True for the rows that start a capture or recording session: they wait until the menu is off
// the screen, so it never appears in the picture.
bool startsCaptureSession(Command command);

// The bundle identifier of the sibling application offered when installed.
inline const QString siblingBundleIdentifier = QStringLiteral("com.fernhollow.pexmoor");

}
