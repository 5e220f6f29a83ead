#pragma once
#include "platform/LinkMetadataProvider.h"

#include <QHostAddress>
#include <QObject>
#include <QThread>
#include <QUrl>
#include <functional>
#include <optional>

// Link previews over Qt Network sockets (LinkHttpRequest): the page's og:title (else <title>) and
// og:image, decoded and re-encoded as JPEG. Pages and images are answers from anywhere on the web:
// every fetch has one overall time-out at which its connection is closed, a capped response head,
// follows at most a few redirects (never to a less safe scheme, and once at a public address never
// to a loopback, link-local or private one, nor is the image fetched from one), stops reading at a
// fixed number of bytes, caps the title, and decodes images only when their pixels fit an
// allocation limit. Every fetch has connections of its own: a slow one delays no other.
// The network is read on a thread of the provider's own (with its own event loop), never on the
// thread that created the provider: a server that sends without end keeps no window from drawing.
// fetchMetadata() may be called from any thread; destroying the provider ends the fetches still
// under way (their completions run with nothing) and joins its thread.
class QtLinkMetadataProvider : public QObject, public LinkMetadataProvider {
    Q_OBJECT
public:
    struct Limits {
        int timeoutMs = 5000; // page and image together
        int maxRedirects = 5;
        qint64 maxBytes = 2 * 1024 * 1024;           // per response body
        qint64 maxDecodedBytes = 64LL * 1024 * 1024; // pixels × 4 of a decoded image
        qint64 maxHeaderBytes = 64 * 1024;           // status line and header fields
        // Whether an address counts as public; empty means LinkHttpRequest::isPublicAddress.
        std::function<bool(const QHostAddress&, quint16 port)> isPublicAddress;
    };
    // Longest title kept, in user-perceived characters.
    static constexpr int maxTitleLength = 1000;

    explicit QtLinkMetadataProvider(Limits limits);
    QtLinkMetadataProvider();
    ~QtLinkMetadataProvider() override;

    void fetchMetadata(const QUrl& url, Completion completion) override;

    // What a page names: its title (og:title, else <title>, entities decoded, white space
    // collapsed) and its preview image URL (og:image resolved against baseURL, http(s) only).
    // The page is parsed by libxml2's HTML parser, so markup inside comments, scripts, styles and
    // SVG never counts. The charset is the header's, else the page's <meta>, else UTF-8. Any thread.
    struct PageMetadata {
        std::optional<QString> title;
        std::optional<QUrl> imageURL;
    };
    static PageMetadata parseHTML(const QByteArray& html, const QUrl& baseURL, const QByteArray& contentType = {});
    // JPEG (quality 80, transparency on white) of image bytes; absent when they do not decode or
    // their pixels would exceed maxDecodedBytes.
    static std::optional<QByteArray> jpegFromImageData(const QByteArray& data, qint64 maxDecodedBytes);

private:
    class Fetch;

    Limits m_limits;
    QThread m_thread;
    // Lives on m_thread and owns the fetches under way; deleted there as the thread finishes.
    QObject* m_fetches = nullptr;
};
