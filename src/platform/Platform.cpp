#include "platform/Platform.h"

#include "platform/ApplicationCatalog.h"
#include "platform/DesktopNotifier.h"
#include "platform/DisplayList.h"
#include "platform/FileRevealer.h"
#include "platform/ForeignWindowTracker.h"
#include "platform/HotkeyRegistrar.h"
#include "platform/HttpClient.h"
#include "platform/KeySynthesizer.h"
#include "platform/Keychain.h"
#include "platform/LinkMetadataProvider.h"
#include "platform/LoginItem.h"
#include "platform/MovieThumbnailer.h"
#include "platform/MovieWriter.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/Permissions.h"
#include "platform/PointerLocation.h"
#include "platform/Preferences.h"
#include "platform/ScreenSource.h"
#include "platform/ScrollActivityMonitor.h"
#include "platform/ScrollEventPoster.h"
#include "platform/SleepInhibitor.h"
#include "platform/SystemAudioSource.h"
#include "platform/TextRecognizer.h"
#include "platform/WindowShape.h"
#include "platform/Workspace.h"

Platform Platform::wired()
{
    return Platform {
        Preferences::shared(),
        NotificationCenter::shared(),
        Pasteboard::shared(),
        Keychain::shared(),
        LoginItem::shared(),
        Permissions::shared(),
        Workspace::shared(),
        ForeignWindowTracker::isWired() ? &ForeignWindowTracker::shared() : nullptr,
        DisplayList::shared(),
        PointerLocation::shared(),
        ScreenSource::shared(),
        WindowShape::shared(),
        KeySynthesizer::shared(),
        HotkeyRegistrar::shared(),
        LinkMetadataProvider::shared(),
        HttpClient::shared(),
        TextRecognizer::shared(),
        FileRevealer::shared(),
        MovieWriter::shared(),
        MovieThumbnailer::shared(),
        SleepInhibitor::shared(),
        SystemAudioSource::shared(),
        DesktopNotifier::shared(),
        ScrollEventPoster::shared(),
        ScrollActivityMonitor::shared(),
        ApplicationCatalog::shared(),
    };
}
