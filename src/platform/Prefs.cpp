#include "platform/Prefs.h"

#include "platform/Preferences.h"

namespace Prefs {

QVariantMap registeredDefaults()
{
    QVariantMap defaults;
    for (const BoolPref* pref : {&autoLaunchAtLogin, &playSounds, &autoCloseAfterPaste, &closeOnFocusLoss,
             &showAsRightPanel, &rejectDuplicates, &downloadLinkPreviews, &showFullText, &hideTitleBar,
             &showImagesFilter, &showLinksFilter, &showFCPFilter, &showRecentApps, &notchShelfEnabled,
             &historyEdgeRevealEnabled, &recordSystemAudio, &scrollingCaptureAutoScroll, &captureToolbarEnabled})
        defaults.insert(pref->key, pref->defaultValue);
    for (const IntegerPref* pref : {&maxHistoryItems, &imageThumbnailSize})
        defaults.insert(pref->key, pref->defaultValue);
    defaults.insert(glassDarkness.key, glassDarkness.defaultValue);
    // An empty default is registered as the null string, as files written before hold it.
    const StringPref& display = notchShelfDisplayUUID;
    defaults.insert(display.key, display.defaultValue.isEmpty() ? QString() : QString(display.defaultValue));
    return defaults;
}

bool read(const Preferences& preferences, const BoolPref& pref)
{
    return preferences.object(pref.key).isValid() ? preferences.boolForKey(pref.key) : pref.defaultValue;
}

bool readIfBool(const Preferences& preferences, const BoolPref& pref)
{
    const QVariant value = preferences.object(pref.key);
    return value.typeId() == QMetaType::Bool ? value.toBool() : pref.defaultValue;
}

double read(const Preferences& preferences, const DoublePref& pref)
{
    return preferences.doubleForKey(pref.key, pref.minimum, pref.maximum).value_or(pref.defaultValue);
}

}
