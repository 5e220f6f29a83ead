#include "platform/linux/QtLinkMetadataProvider.h"

#include "platform/Background.h"
#include "platform/ImageDecoder.h"
#include "platform/Unicode.h"
#include "platform/linux/LinkHttpRequest.h"
#include "platform/linux/NetworkExchange.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QFutureWatcher>
#include <QImageWriter>
#include <QPainter>
#include <QPointer>
#include <QPromise>
#include <QStringDecoder>
#include <QTimer>

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <climits>
#include <memory>

namespace {

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlCharPtr = std::unique_ptr<xmlChar, XmlFree>;

struct XmlDocFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using HtmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

bool isWebURL(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

// The charset a Content-Type header names ("text/html; charset=ISO-8859-1"), empty when none.
QByteArray headerCharset(const QByteArray& contentType)
{
    for (const QByteArray& parameter : contentType.split(';')) {
        const QByteArray trimmed = parameter.trimmed();
        const qsizetype eq = trimmed.indexOf('=');
        if (eq > 0 && trimmed.left(eq).trimmed().toLower() == "charset") {
            QByteArray value = trimmed.mid(eq + 1).trimmed();
            if (value.size() >= 2 && (value.startsWith('"') || value.startsWith('\'')))
                value = value.mid(1, value.size() - 2);
            return value.trimmed();
        }
    }
    return {};
}

// The page's text as UTF-8, decoded from the named charset (UTF-8 when none or unknown).
// Undecodable bytes become U+FFFD, so the HTML parser always gets valid UTF-8.
QByteArray toUtf8(const QByteArray& html, const QByteArray& charset)
{
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return QString(decoder(html)).toUtf8();
        if (charset.compare("windows-1252", Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(html).toUtf8();
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    return QString(utf8(html)).toUtf8();
}

QString utf8String(const xmlChar* text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}

// An attribute's value (entities decoded by the parser); absent when the element lacks it.
std::optional<QString> attributeOf(xmlNode* element, const char* name)
{
    for (xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) {
        if (!attribute->name || xmlStrcasecmp(attribute->name, reinterpret_cast<const xmlChar*>(name)) != 0)
            continue;
        const XmlCharPtr value(xmlNodeListGetString(element->doc, attribute->children, 1));
        return value ? utf8String(value.get()) : QString();
    }
    return std::nullopt;
}

bool hasName(const xmlNode* node, const char* name)
{
    return node->name && xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

// What the page's elements say, in document order.
struct PageScan {
    std::optional<QString> title;   // the first <title> outside embedded documents
    std::optional<QString> ogTitle; // the first non-empty og:title
    std::optional<QString> ogImage; // the first og:image (or :url, :secure_url), unresolved
    QByteArray metaCharset;         // <meta charset> or the charset of a Content-Type http-equiv
};

void scanElements(xmlNode* node, PageScan* scan, int depth)
{
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue; // text, comments, CDATA of scripts and styles
        // Scripts, styles and templates hold no page metadata; SVG and MathML have titles of
        // their own (an icon's <title>), which are not the page's.
        if (hasName(node, "script") || hasName(node, "style") || hasName(node, "template") || hasName(node, "svg")
            || hasName(node, "math") || hasName(node, "noscript"))
            continue;
        if (hasName(node, "title")) {
            if (!scan->title) {
                const XmlCharPtr text(xmlNodeGetContent(node));
                scan->title = utf8String(text.get());
            }
            continue;
        }
        if (hasName(node, "meta")) {
            if (const auto charset = attributeOf(node, "charset"); charset && scan->metaCharset.isEmpty())
                scan->metaCharset = charset->trimmed().toLatin1();
            const auto content = attributeOf(node, "content");
            const auto httpEquiv = attributeOf(node, "http-equiv");
            if (content && httpEquiv && httpEquiv->trimmed().compare(u"content-type", Qt::CaseInsensitive) == 0
                && scan->metaCharset.isEmpty())
                scan->metaCharset = headerCharset(content->toLatin1());
            auto property = attributeOf(node, "property");
            if (!property || property->trimmed().isEmpty())
                property = attributeOf(node, "name");
            const QString key = property ? property->trimmed().toLower() : QString();
            if (content && key == u"og:title" && !scan->ogTitle) {
                const QString title = content->simplified();
                if (!title.isEmpty())
                    scan->ogTitle = title;
            } else if (content && (key == u"og:image" || key == u"og:image:url" || key == u"og:image:secure_url")
                && !scan->ogImage) {
                scan->ogImage = content->trimmed();
            }
        }
        // libxml2 itself refuses documents nested deeper than a few hundred levels.
        if (depth < 1024)
            scanElements(node->children, scan, depth + 1);
    }
}

// Parses UTF-8 HTML with libxml2's HTML parser: never from the network, quietly, recovering from
// broken markup the way browsers do (entities decoded, comments and CDATA kept apart from elements,
// a '>' inside a quoted attribute value is part of that value).
PageScan scanPage(const QByteArray& utf8)
{
    static const bool initialized = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialized;
    PageScan scan;
    const HtmlDocPtr document(
        htmlReadMemory(utf8.constData(), int(std::min<qsizetype>(utf8.size(), INT_MAX)), nullptr, "UTF-8",
            HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_RECOVER | HTML_PARSE_NOBLANKS
                | HTML_PARSE_IGNORE_ENC));
    if (document)
        scanElements(xmlDocGetRootElement(document.get()) ? document->children : nullptr, &scan, 0);
    return scan;
}

}

QtLinkMetadataProvider::PageMetadata QtLinkMetadataProvider::parseHTML(
    const QByteArray& html, const QUrl& baseURL, const QByteArray& contentType)
{
    const QByteArray declared = headerCharset(contentType);
    PageScan scan = scanPage(toUtf8(html, declared));
    // Without a charset in the header, a <meta> of the page may name one: read the page again in it.
    if (declared.isEmpty() && !scan.metaCharset.isEmpty() && scan.metaCharset.compare("utf-8", Qt::CaseInsensitive) != 0
        && scan.metaCharset.compare("utf8", Qt::CaseInsensitive) != 0)
        scan = scanPage(toUtf8(html, scan.metaCharset));

    PageMetadata result;
    if (scan.ogImage) {
        const QUrl image = baseURL.resolved(QUrl(*scan.ogImage));
        if (isWebURL(image))
            result.imageURL = image;
    }
    if (scan.ogTitle) {
        result.title = scan.ogTitle;
    } else if (scan.title) {
        const QString title = scan.title->simplified();
        if (!title.isEmpty())
            result.title = title;
    }
    // A page may send megabytes as its title; the stored title is a line.
    if (result.title && result.title->size() > maxTitleLength)
        result.title = Unicode::graphemePrefix(*result.title, maxTitleLength);
    return result;
}

std::optional<QByteArray> QtLinkMetadataProvider::jpegFromImageData(const QByteArray& data, qint64 maxDecodedBytes)
{
    QImage image = ImageDecoder::decode(data, maxDecodedBytes);
    if (image.isNull())
        return std::nullopt;
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        painter.end();
        image = flat;
    }
    QByteArray jpeg;
    QBuffer out(&jpeg);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, "jpeg");
    writer.setQuality(80);
    if (!writer.write(image))
        return std::nullopt;
    return jpeg;
}

// One preview: the page, then possibly its image, under one deadline. Deletes itself when done.
// Each request has a connection of its own, so a slow or hostile server holds up nobody else.
class QtLinkMetadataProvider::Fetch : public QObject {
public:
    Fetch(Limits limits, Completion completion, QObject* parent)
        : QObject(parent)
        , m_limits(std::move(limits))
        , m_completion(std::move(completion))
        , m_deadline(m_limits.timeoutMs)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            // The connection is closed now, whatever the server is still sending.
            if (m_request)
                m_request->abort();
            finish(m_title, std::nullopt);
        });
    }

    ~Fetch() override
    {
        delete m_request;
        if (!m_done && m_completion)
            m_completion(std::nullopt, std::nullopt);
    }

    void begin(const QUrl& url)
    {
        if (!isWebURL(url) || carriesSecret(url)) {
            finish(std::nullopt, std::nullopt);
            return;
        }
        m_timer.start(m_limits.timeoutMs);
        get(url, Stage::Page);
    }

private:
    enum class Stage { Page, Image };

    void get(const QUrl& url, Stage stage)
    {
        LinkHttpRequest::Limits limits;
        limits.maxHeaderBytes = m_limits.maxHeaderBytes;
        limits.maxBodyBytes = m_limits.maxBytes;
        limits.maxRedirects = m_limits.maxRedirects;
        // An image announced over the cap is refused at once; a page is read up to it.
        limits.refuseOversizedBody = stage == Stage::Image;
        limits.isPublic = m_limits.isPublicAddress;
        const bool reachedPublic = m_request && m_request->reachedPublic();
        if (m_request)
            m_request->deleteLater();
        m_request = new LinkHttpRequest(
            url, stage == Stage::Page ? "text/html,application/xhtml+xml,*/*;q=0.8" : "image/*", limits, reachedPublic,
            [this, stage](const LinkHttpRequest::Response& response) { finished(stage, response); }, this);
        m_request->start();
    }

    void finished(Stage stage, const LinkHttpRequest::Response& response)
    {
        if (m_done)
            return;
        const bool answered = response.ok && response.status >= 200 && response.status < 300;
        if (stage == Stage::Page) {
            if (!answered) {
                finish(std::nullopt, std::nullopt);
                return;
            }
            if (response.contentType.startsWith("image/")) {
                if (response.capped)
                    finish(std::nullopt, std::nullopt);
                else
                    decodeAndFinish(std::nullopt, response.body);
                return;
            }
            parseOffMainThread(response.body, response.url, response.contentType);
            return;
        }
        if (!answered || response.capped) {
            finish(m_title, std::nullopt);
            return;
        }
        decodeAndFinish(m_title, response.body);
    }

    // A large page takes a while to parse: that runs on the worker pool, and the fetch goes on
    // here when it is done (unless the deadline ended it meanwhile). A fetch deleted meanwhile
    // deletes its watcher; the pool's task then only fills a promise nobody reads.
    void parseOffMainThread(const QByteArray& body, const QUrl& pageURL, const QByteArray& contentType)
    {
        auto promise = std::make_shared<QPromise<PageMetadata>>();
        auto* watcher = new QFutureWatcher<PageMetadata>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
            watcher->deleteLater();
            if (m_done || watcher->future().resultCount() == 0)
                return;
            const PageMetadata page = watcher->future().result();
            m_title = page.title;
            if (page.imageURL && !m_deadline.hasExpired())
                get(*page.imageURL, Stage::Image);
            else
                finish(m_title, std::nullopt);
        });
        watcher->setFuture(promise->future());
        promise->start();
        Background::run([promise, body, pageURL, contentType] {
            promise->addResult(parseHTML(body, pageURL, contentType));
            promise->finish();
        });
    }

    void decodeAndFinish(std::optional<QString> title, QByteArray bytes)
    {
        m_done = true;
        m_timer.stop();
        Background::run(
            [completion = std::move(m_completion), title = std::move(title), bytes = std::move(bytes),
                limit = m_limits.maxDecodedBytes] { completion(title, jpegFromImageData(bytes, limit)); });
        deleteLater();
    }

    void finish(std::optional<QString> title, std::optional<QByteArray> image)
    {
        if (std::optional<Completion> completion = NetworkExchange::end(*this, m_done, m_timer, m_completion))
            (*completion)(std::move(title), std::move(image));
    }

    Limits m_limits;
    Completion m_completion;
    QDeadlineTimer m_deadline;
    QTimer m_timer;
    LinkHttpRequest* m_request = nullptr;
    bool m_done = false;
    std::optional<QString> m_title;
};

QtLinkMetadataProvider::QtLinkMetadataProvider(Limits limits)
    : m_limits(std::move(limits))
{
    m_thread.setObjectName(QStringLiteral("com.quorvel.link-previews"));
    m_fetches = new QObject;
    m_fetches->moveToThread(&m_thread);
    // The fetches still under way end on their own thread as it finishes (their sockets and timers
    // can only be stopped there); each tells its caller that nothing came.
    QObject::connect(&m_thread, &QThread::finished, m_fetches, &QObject::deleteLater, Qt::DirectConnection);
    m_thread.start();
}

QtLinkMetadataProvider::QtLinkMetadataProvider()
    : QtLinkMetadataProvider(Limits {})
{
}

QtLinkMetadataProvider::~QtLinkMetadataProvider()
{
    m_thread.quit();
    m_thread.wait();
}

void QtLinkMetadataProvider::fetchMetadata(const QUrl& url, Completion completion)
{
    QObject* fetches = m_fetches;
    const bool posted = QMetaObject::invokeMethod(
        fetches,
        [fetches, limits = m_limits, url, completion]() mutable {
            auto* fetch = new Fetch(std::move(limits), std::move(completion), fetches);
            fetch->begin(url);
        },
        Qt::QueuedConnection);
    if (!posted)
        completion(std::nullopt, std::nullopt);
}
