#include "app/HotkeyServiceShortcuts.h"

#include "app/HotkeyService.h"
#include "platform/linux/CarbonKeyMap.h"

#include <QKeyEvent>

HotkeyServiceShortcuts::HotkeyServiceShortcuts(HotkeyService& service)
    : m_service(service)
{
}

QString HotkeyServiceShortcuts::shortcutDisplay(Action action) const
{
    return m_service.shortcutDisplay(action);
}

QString HotkeyServiceShortcuts::display(quint32 keyCode, quint32 modifiers) const
{
    return HotkeyService::shortcutDisplay(keyCode, modifiers);
}

bool HotkeyServiceShortcuts::assign(Action action, quint32 keyCode, quint32 modifiers, QString* reason)
{
    QString error;
    std::optional<HotkeyAction> usedBy;
    if (m_service.updateHotkey(action, keyCode, modifiers, &error, &usedBy))
        return true;
    if (reason) {
        if (usedBy)
            *reason = QStringLiteral("Bereits belegt von „%1“")
                          .arg(usedBy->title());
        else // the desktop's own wording (English, in the log) stays out of the German row
            *reason = QStringLiteral("Belegt oder nicht belegbar");
    }
    return false;
}

void HotkeyServiceShortcuts::resetToDefault(Action action)
{
    m_service.resetToDefault(action);
}

void HotkeyServiceShortcuts::setRecording(bool recording)
{
    if (recording == m_recording)
        return;
    m_recording = recording;
    // Every stored shortcut is grabbed again afterwards, the newly recorded one included.
    if (recording)
        m_service.unregisterHotkey();
    else
        m_service.registerHotkey();
}

std::optional<quint32> HotkeyServiceShortcuts::carbonKeyCode(const QKeyEvent& event) const
{
    if (event.nativeVirtualKey() != 0)
        if (const std::optional<quint32> code = CarbonKeyMap::carbonKeyCodeForKeysym(event.nativeVirtualKey()))
            return code;
    // Qt's codes of Latin-1 keys are their keysyms (upper-case letters).
    const int key = event.key();
    if (key > 0x20 && key < 0x100)
        return CarbonKeyMap::carbonKeyCodeForKeysym(quint32(key));
    switch (key) {
    case Qt::Key_Space:
        return 49;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 36;
    case Qt::Key_Tab:
        return 48;
    case Qt::Key_Backspace:
        return 51;
    case Qt::Key_Escape:
        return 53;
    case Qt::Key_Left:
        return 123;
    case Qt::Key_Right:
        return 124;
    case Qt::Key_Down:
        return 125;
    case Qt::Key_Up:
        return 126;
    default:
        return std::nullopt;
    }
}
