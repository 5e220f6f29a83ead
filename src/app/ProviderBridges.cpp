// merge: this file goes once every area takes the clipboard's, the store's and the editor's
// objects by reference from the application. Until then, shared() gives the code not converted
// yet the instance the application installed, else one made on first use over the platform's
// process-wide services (for tests that run such code without an application).
#include "clipboard/AppIconCache.h"
#include "clipboard/ClipboardSuspension.h"
#include "clipboard/ImageCache.h"
#include "clipboard/PasteService.h"
#include "clipboard/PasteStack.h"
#include "editor/AnnotationWindowManager.h"
#include "platform/Dispatch.h"
#include "platform/KeySynthesizer.h"
#include "platform/Keychain.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/Preferences.h"
#include "platform/TextRecognizer.h"
#include "platform/Workspace.h"
#include "store/ClipboardCryptoService.h"

#include <atomic>

namespace {

template <typename T> std::atomic<T*>& installed()
{
    static std::atomic<T*> instance {nullptr};
    return instance;
}

} // namespace

ClipboardCryptoService& ClipboardCryptoService::shared()
{
    if (ClipboardCryptoService* service = installed<ClipboardCryptoService>().load())
        return *service;
    static ClipboardCryptoService* instance = [] {
        auto* service = new ClipboardCryptoService(Keychain::shared());
        service->setKeyQueue(DispatchQueue::makeSerial(QStringLiteral("com.quorvel.clipboard-key")).release());
        return service;
    }();
    return *instance;
}

void ClipboardCryptoService::setShared(ClipboardCryptoService* service)
{
    installed<ClipboardCryptoService>().store(service);
}

ClipboardSuspension& ClipboardSuspension::shared()
{
    if (ClipboardSuspension* suspension = installed<ClipboardSuspension>().load())
        return *suspension;
    static ClipboardSuspension instance;
    return instance;
}

void ClipboardSuspension::setShared(ClipboardSuspension* suspension)
{
    installed<ClipboardSuspension>().store(suspension);
}

PasteService& PasteService::shared()
{
    if (PasteService* service = installed<PasteService>().load())
        return *service;
    static PasteService instance(Pasteboard::shared(), Workspace::shared(), KeySynthesizer::shared(),
        DispatchQueue::main(), ClipboardSuspension::shared());
    return instance;
}

void PasteService::setShared(PasteService* service)
{
    installed<PasteService>().store(service);
}

PasteStack& PasteStack::shared()
{
    if (PasteStack* stack = installed<PasteStack>().load())
        return *stack;
    static PasteStack* instance = new PasteStack(PasteService::shared());
    return *instance;
}

void PasteStack::setShared(PasteStack* stack)
{
    installed<PasteStack>().store(stack);
}

ImageCache& ImageCache::shared()
{
    if (ImageCache* cache = installed<ImageCache>().load())
        return *cache;
    static ImageCache* instance = new ImageCache(NotificationCenter::shared());
    return *instance;
}

void ImageCache::setShared(ImageCache* cache)
{
    installed<ImageCache>().store(cache);
}

AppIconCache& AppIconCache::shared()
{
    if (AppIconCache* cache = installed<AppIconCache>().load())
        return *cache;
    static std::unique_ptr<DispatchQueue> queue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.appiconloading"));
    static AppIconCache* instance = new AppIconCache(*queue, DispatchQueue::main());
    return *instance;
}

void AppIconCache::setShared(AppIconCache* cache)
{
    installed<AppIconCache>().store(cache);
}

AnnotationWindowManager& AnnotationWindowManager::shared()
{
    if (AnnotationWindowManager* manager = installed<AnnotationWindowManager>().load())
        return *manager;
    static AnnotationWindowManager* instance = new AnnotationWindowManager({
        {Preferences::shared(), Pasteboard::shared(), ClipboardSuspension::shared(), {}},
        TextRecognizer::isShared() ? &TextRecognizer::shared() : nullptr,
    });
    return *instance;
}

void AnnotationWindowManager::setShared(AnnotationWindowManager* manager)
{
    installed<AnnotationWindowManager>().store(manager);
}
