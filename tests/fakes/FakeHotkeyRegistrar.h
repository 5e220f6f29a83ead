#pragma once
#include "platform/HotkeyRegistrar.h"

#include <QMap>
#include <QSet>
#include <QString>
#include <utility>

// HotkeyRegistrar for tests: records registrations, refuses combinations marked as taken,
// and press(id) emits hotkeyPressed as a real key press would.
class FakeHotkeyRegistrar : public HotkeyRegistrar {
public:
    struct Combination {
        quint32 keyCode = 0;
        quint32 modifiers = 0;
        bool operator==(const Combination&) const = default;
    };

    QMap<quint32, Combination> registered; // id -> combination, currently registered
    QList<std::pair<quint32, Combination>> registerCalls;
    QList<quint32> unregisterCalls;
    QList<std::pair<quint32, quint32>> taken; // (keyCode, modifiers) refused as taken

    void markTaken(quint32 keyCode, quint32 modifiers) { taken.append({keyCode, modifiers}); }

    bool registerHotkey(quint32 id, quint32 keyCode, quint32 modifiers, QString* error) override
    {
        registerCalls.append({id, Combination {keyCode, modifiers}});
        if (taken.contains(std::pair<quint32, quint32> {keyCode, modifiers})) {
            if (error)
                *error = QStringLiteral("the shortcut is taken by another program");
            return false;
        }
        registered.insert(id, Combination {keyCode, modifiers});
        return true;
    }
    void unregisterHotkey(quint32 id) override
    {
        unregisterCalls.append(id);
        registered.remove(id);
    }
    bool isRegistered(quint32 id) const { return registered.contains(id); }
    // Simulates the user pressing the combination registered under id (ignored when not registered).
    void press(quint32 id)
    {
        if (registered.contains(id))
            emit hotkeyPressed(id);
    }
};
