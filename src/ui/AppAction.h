#pragma once
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>
#include <functional>
#include <optional>

// The program's twelve actions: what a global shortcut, a tray row and a settings row start. One
// table holds, per action, its title, its symbol in the tray, the two integer preferences its
// shortcut is stored under (Carbon key code and modifier mask), its default shortcut, the capture
// overlay's begin operation that starts it, and the group whose tray rows and settings page list
// it (in the table's order). The raw value is the identifier its hotkey is registered under.
class AppAction {
public:
    enum Value : quint32 {
        showHistory = 1,
        captureArea,
        captureWindow,
        captureText,
        recordArea,
        recordWindow,
        recordScreen,
        stopRecording,
        captureScrolling,
        captureLastArea,
        captureFullScreen,
        captureAreaWithToolbar,
    };

    // How the capture overlay begins an action's session; none for the actions that start no
    // overlay (the history, stopping a recording).
    enum class Begin {
        none,
        areaSelection,
        areaSelectionWithToolbar,
        windowSelection,
        textSelection,
        areaRecording,
        windowRecording,
        screenRecording,
        scrollingSelection,
        lastAreaCapture,
        fullScreenCapture,
    };

    // Where the tray and the settings list an action: the history stands alone, screenshots and
    // recordings each have their block of tray rows and their settings page.
    enum class Group { history, screenshot, recording };

    constexpr AppAction(Value value)
        : m_value(value)
    {
    }

    // None outside 1 to 12.
    static std::optional<AppAction> fromRawValue(quint32 raw);
    // In raw-value order.
    static const std::array<AppAction, 12>& allCases();
    // The actions of one group, in the order the tray and the settings show them.
    static QList<AppAction> inGroup(Group group);

    constexpr quint32 rawValue() const { return m_value; }
    constexpr operator Value() const { return m_value; }

    // The case name ("showHistory", "captureAreaWithToolbar", ...).
    QString name() const;
    // The title in the tray menu and on the settings pages ("Clipboard anzeigen", ...).
    QString title() const;
    // The symbol of its tray row; empty for none.
    QString symbol() const;
    // "hotkeyKeyCode"/"hotkeyModifiers" for showHistory, "<name>HotkeyKeyCode"/"<name>HotkeyModifiers"
    // otherwise ("captureAreaToolbar..." for captureAreaWithToolbar).
    QString keyCodeDefaultsKey() const;
    QString modifiersDefaultsKey() const;
    // The shortcut used while none is stored: Shift-Command-V for showHistory, none otherwise.
    std::optional<quint32> defaultKeyCode() const;
    std::optional<quint32> defaultModifiers() const;
    Begin begin() const;
    Group group() const;

private:
    Value m_value;
};

inline size_t qHash(AppAction action, size_t seed = 0) noexcept
{
    return ::qHash(action.rawValue(), seed);
}

template <> struct std::hash<AppAction> {
    size_t operator()(AppAction action) const noexcept { return std::hash<quint32> {}(action.rawValue()); }
};
