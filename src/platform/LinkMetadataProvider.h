#pragma once
#include "platform/Shared.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// Title and preview image of a web page (og:title, else <title>; og:image), for link entries of
// the clipboard history.
class LinkMetadataProvider {
public:
    // The page's title (absent when it has none or the page could not be read) and its preview
    // image as JPEG of quality 80 (absent when there is none or it could not be read).
    using Completion = std::function<void(std::optional<QString> title, std::optional<QByteArray> jpegImage)>;

    virtual ~LinkMetadataProvider() = default;
    static LinkMetadataProvider& shared() { return SharedSlot<LinkMetadataProvider>::get(); }
    static void setShared(LinkMetadataProvider* p) { SharedSlot<LinkMetadataProvider>::set(p); }

    // True when fetching the address could use up or hand out a secret: it carries user
    // information (user:pass@) or a query parameter whose name holds token, code, key, sig,
    // signature, auth, password, secret, session, otp or reset (in any case). Such links
    // (sign-in, reset and one-time links) are never fetched.
    static bool carriesSecret(const QUrl& url);

    // Starts fetching; the completion runs exactly once, on any thread, also on failure or
    // time-out (then with whatever was read so far). Callable from any thread.
    virtual void fetchMetadata(const QUrl& url, Completion completion) = 0;
};
