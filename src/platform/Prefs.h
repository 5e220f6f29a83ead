#pragma once
#include <QLatin1String>
#include <QVariantMap>
#include <iterator>
#include <span>

class Preferences;

// One declaration per preference: the key it is stored under, its type (the declaration's struct),
// the value it has until the user sets one, and where the settings offer a fixed set or range, what
// they accept. Readers, the settings tabs and the defaults registered at launch all take key and
// default from here, so neither is written twice. Keys and defaults are those of existing
// preferences files and must not change.
namespace Prefs {

struct BoolPref {
    QLatin1String key;
    bool defaultValue;
};

struct IntegerPref {
    QLatin1String key;
    qlonglong defaultValue;
    // The values the settings offer, in their order; empty: any integer.
    std::span<const int> choices;

    constexpr bool accepts(qlonglong value) const
    {
        if (choices.empty())
            return true;
        for (const int choice : choices)
            if (value == choice)
                return true;
        return false;
    }
};

struct DoublePref {
    QLatin1String key;
    double defaultValue;
    // The range the settings offer.
    double minimum;
    double maximum;
};

struct StringPref {
    QLatin1String key;
    QLatin1String defaultValue;
};

// A list of strings stored as JSON in a data value; absent by default.
struct StringListPref {
    QLatin1String key;
};

// Other JSON kept in a data value; absent by default, and its reader checks the content.
struct JSONDataPref {
    QLatin1String key;
};

// Clipboard
// The history limits the settings offer, in their order; 0, the last, stands for "Unlimited".
inline constexpr int historyLimitChoices[] = {100, 250, 500, 1000, 0};
static_assert(historyLimitChoices[std::size(historyLimitChoices) - 1] == 0);
inline constexpr IntegerPref maxHistoryItems {QLatin1String("maxHistoryItems"), 0, historyLimitChoices};
inline constexpr BoolPref rejectDuplicates {QLatin1String("rejectDuplicates"), true};
inline constexpr BoolPref downloadLinkPreviews {QLatin1String("downloadLinkPreviews"), true};
inline constexpr StringListPref blockedApps {QLatin1String("blockedApps")};

// History panel
// The thumbnail sizes S, M, L and XL.
inline constexpr int imageThumbnailSizeChoices[] = {0, 1, 2, 3};
inline constexpr IntegerPref imageThumbnailSize {QLatin1String("imageThumbnailSize"), 2, imageThumbnailSizeChoices};
inline constexpr BoolPref showFullText {QLatin1String("showFullText"), true};
// Not among the registered defaults: absent reads as off.
inline constexpr BoolPref doubleClickToPaste {QLatin1String("doubleClickToPaste"), false};
inline constexpr BoolPref autoCloseAfterPaste {QLatin1String("autoCloseAfterPaste"), true};
inline constexpr BoolPref closeOnFocusLoss {QLatin1String("closeOnFocusLoss"), true};
inline constexpr BoolPref showAsRightPanel {QLatin1String("showAsRightPanel"), true};
inline constexpr BoolPref hideTitleBar {QLatin1String("hideTitleBar"), true};
inline constexpr DoublePref glassDarkness {QLatin1String("glassDarkness"), 0.45, 0.0, 0.7};
inline constexpr BoolPref historyEdgeRevealEnabled {QLatin1String("historyEdgeRevealEnabled"), false};
// Not among the registered defaults: the panel's frame as "{{x, y}, {width, height}}"; empty
// until the window was first placed.
inline constexpr StringPref historyWindowFrame {QLatin1String("historyWindowFrame"), QLatin1String()};

// Filter bar
inline constexpr BoolPref showImagesFilter {QLatin1String("showImagesFilter"), true};
inline constexpr BoolPref showLinksFilter {QLatin1String("showLinksFilter"), true};
inline constexpr BoolPref showFCPFilter {QLatin1String("showFCPFilter"), true};
inline constexpr BoolPref showRecentApps {QLatin1String("showRecentApps"), true};
// The app filters saved as chips, [[identifier, name], ...].
inline constexpr JSONDataPref smartFilterApps {QLatin1String("smartFilterApps")};

// Shelf
inline constexpr BoolPref notchShelfEnabled {QLatin1String("notchShelfEnabled"), false};
// Empty: the primary display.
inline constexpr StringPref notchShelfDisplayUUID {QLatin1String("notchShelfDisplayUUID"), QLatin1String()};

// Capture and recording
inline constexpr BoolPref recordSystemAudio {QLatin1String("recordSystemAudio"), false};
inline constexpr BoolPref scrollingCaptureAutoScroll {QLatin1String("scrollingCaptureAutoScroll"), true};
inline constexpr BoolPref captureToolbarEnabled {QLatin1String("captureToolbarEnabled"), false};
// The editor's frame settings kept as the default of new documents.
inline constexpr JSONDataPref beautifyConfigDefaults {QLatin1String("beautifyConfigDefaults")};

// System
inline constexpr BoolPref autoLaunchAtLogin {QLatin1String("autoLaunchAtLogin"), true};
inline constexpr BoolPref playSounds {QLatin1String("playSounds"), true};
// Not among the registered defaults: set once the first launch asked for accessibility.
inline constexpr BoolPref hasRequestedAccessibility {QLatin1String("hasRequestedAccessibility"), false};

// The defaults registered at launch, under whatever the user stored.
QVariantMap registeredDefaults();

// The stored or registered value read through the type check of Preferences; the declared
// default when neither is there.
bool read(const Preferences& preferences, const BoolPref& pref);
// The stored or registered value when it is a Boolean, else the declared default (no console line).
bool readIfBool(const Preferences& preferences, const BoolPref& pref);
// The stored or registered value when it is a number within the declared range; a value outside
// it (NaN and the infinities included) is ignored with a console line, like a wrongly typed one,
// and the registered, else the declared, default read instead.
double read(const Preferences& preferences, const DoublePref& pref);

}
