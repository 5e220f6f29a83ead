#include "settings/GlobalShortcuts.h"

QString shortcutActionTitle(GlobalShortcuts::Action action)
{
    switch (action) {
    case GlobalShortcuts::showHistory:
        return QStringLiteral("Clipboard anzeigen");
    case GlobalShortcuts::captureArea:
        return QStringLiteral("Screenshot (Bereich)");
    case GlobalShortcuts::captureWindow:
        return QStringLiteral("Screenshot (Fenster)");
    case GlobalShortcuts::captureText:
        return QStringLiteral("Text erfassen");
    case GlobalShortcuts::recordArea:
        return QStringLiteral("Bereich aufnehmen");
    case GlobalShortcuts::recordWindow:
        return QStringLiteral("Fenster aufnehmen");
    case GlobalShortcuts::recordScreen:
        return QStringLiteral("Bildschirm aufnehmen");
    case GlobalShortcuts::stopRecording:
        return QStringLiteral("Aufnahme stoppen");
    case GlobalShortcuts::captureScrolling:
        return QStringLiteral("Scrollende Seite aufnehmen");
    case GlobalShortcuts::captureLastArea:
        return QStringLiteral("Letzten Bereich erneut erfassen");
    case GlobalShortcuts::captureFullScreen:
        return QStringLiteral("Screenshot (Ganzer Bildschirm)");
    case GlobalShortcuts::captureAreaWithToolbar:
        return QStringLiteral("Screenshot (Bereich, mit Toolbar)");
    }
    return {};
}
