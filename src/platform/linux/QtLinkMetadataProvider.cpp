#include "platform/linux/QtLinkMetadataProvider.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QImageReader>
#include <QImageWriter>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QThreadPool>
#include <QTimer>

namespace {

bool isWebURL(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

QString decodeEntities(const QString& text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const qsizetype semi = c == u'&' ? text.indexOf(QLatin1Char(';'), i + 1) : -1;
        if (semi < 0 || semi - i > 12) {
            out.append(c);
            continue;
        }
        const QString name = text.mid(i + 1, semi - i - 1);
        char32_t code = 0;
        if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
            const uint value = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
            if (ok && value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF))
                code = value;
        } else {
            static const QHash<QString, char32_t> named {
                {QStringLiteral("amp"), U'&'}, {QStringLiteral("lt"), U'<'}, {QStringLiteral("gt"), U'>'},
                {QStringLiteral("quot"), U'"'}, {QStringLiteral("apos"), U'\''}, {QStringLiteral("nbsp"), U' '},
                {QStringLiteral("ndash"), U'\u2013'}, {QStringLiteral("mdash"), U'\u2014'},
                {QStringLiteral("hellip"), U'\u2026'}, {QStringLiteral("middot"), U'\u00B7'},
                {QStringLiteral("raquo"), U'\u00BB'}, {QStringLiteral("laquo"), U'\u00AB'},
                {QStringLiteral("copy"), U'\u00A9'}, {QStringLiteral("reg"), U'\u00AE'}};
            code = named.value(name, 0);
        }
        if (code == 0) {
            out.append(c);
            continue;
        }
        out.append(QString::fromUcs4(&code, 1));
        i = semi;
    }
    return out;
}

QStringDecoder decoderFor(const QByteArray& html, const QByteArray& contentType)
{
    static const QRegularExpression headerCharset(QStringLiteral(R"re(charset\s*=\s*"?([A-Za-z0-9_.:-]+))re"),
                                                  QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression metaCharset(QStringLiteral(R"re(<meta[^>]+charset\s*=\s*["']?([A-Za-z0-9_.:-]+))re"),
                                                QRegularExpression::CaseInsensitiveOption);
    QString name = headerCharset.match(QString::fromLatin1(contentType)).captured(1);
    if (name.isEmpty())
        name = metaCharset.match(QString::fromLatin1(html.left(4096))).captured(1);
    if (!name.isEmpty()) {
        QStringDecoder decoder(name.toLatin1().constData());
        if (decoder.isValid())
            return decoder;
        if (name.compare(u"windows-1252", Qt::CaseInsensitive) == 0)
            return QStringDecoder(QStringDecoder::Latin1);
    }
    return QStringDecoder(QStringDecoder::Utf8);
}

}

QtLinkMetadataProvider::PageMetadata QtLinkMetadataProvider::parseHTML(const QByteArray& html, const QUrl& baseURL,
                                                                        const QByteArray& contentType)
{
    static const QRegularExpression titleTag(QStringLiteral(R"re(<title\b[^>]*>(.*?)</title\s*>)re"),
                                             QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression metaTag(QStringLiteral(R"re(<meta\b[^>]*>)re"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attribute(
        QStringLiteral(R"re(([^\s=/>"']+)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>"']+)))re"));

    QStringDecoder decoder = decoderFor(html, contentType);
    const QString text = decoder(html);

    PageMetadata result;
    std::optional<QString> ogTitle;
    auto metas = metaTag.globalMatch(text);
    while (metas.hasNext()) {
        const QString tag = metas.next().captured(0);
        QString property, content;
        bool hasContent = false;
        auto attributes = attribute.globalMatch(tag);
        while (attributes.hasNext()) {
            const auto a = attributes.next();
            const QString key = a.captured(1).toLower();
            const QString value = a.hasCaptured(2) ? a.captured(2) : a.hasCaptured(3) ? a.captured(3) : a.captured(4);
            if (key == u"property" || (key == u"name" && property.isEmpty()))
                property = value.trimmed().toLower();
            else if (key == u"content") {
                content = value;
                hasContent = true;
            }
        }
        if (!hasContent)
            continue;
        if (property == u"og:title" && !ogTitle) {
            const QString title = decodeEntities(content).simplified();
            if (!title.isEmpty())
                ogTitle = title;
        } else if ((property == u"og:image" || property == u"og:image:url" || property == u"og:image:secure_url")
                   && !result.imageURL) {
            const QUrl image = baseURL.resolved(QUrl(decodeEntities(content).trimmed()));
            if (isWebURL(image))
                result.imageURL = image;
        }
    }
    if (ogTitle) {
        result.title = ogTitle;
    } else {
        const QString title = decodeEntities(titleTag.match(text).captured(1)).simplified();
        if (!title.isEmpty())
            result.title = title;
    }
    return result;
}

std::optional<QByteArray> QtLinkMetadataProvider::jpegFromImageData(const QByteArray& data, qint64 maxDecodedBytes)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || static_cast<qint64>(size.width()) * size.height() * 4 > maxDecodedBytes)
        return std::nullopt;
    QImage image;
    if (!reader.read(&image) || image.isNull())
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
class QtLinkMetadataProvider::Fetch : public QObject {
public:
    Fetch(QNetworkAccessManager* network, Limits limits, Completion completion, QObject* parent)
        : QObject(parent), m_network(network), m_limits(limits), m_completion(std::move(completion)),
          m_deadline(limits.timeoutMs)
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_timedOut = true;
            if (m_reply)
                m_reply->abort(); // finished() follows and ends the fetch
            else
                finish(m_title, std::nullopt);
        });
    }

    ~Fetch() override
    {
        if (m_reply) {
            m_reply->disconnect(this);
            m_reply->abort();
        }
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
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setMaximumRedirectsAllowed(m_limits.maxRedirects);
        request.setTransferTimeout(static_cast<int>(std::max<qint64>(1, m_deadline.remainingTime())));
        request.setHeader(QNetworkRequest::UserAgentHeader,
                          QStringLiteral("Mozilla/5.0 (X11; Linux x86_64) Quorvel/" QUORVEL_VERSION));
        request.setRawHeader("Accept", stage == Stage::Page ? "text/html,application/xhtml+xml,*/*;q=0.8" : "image/*");
        m_stage = stage;
        m_body.clear();
        m_capped = false;
        m_reply = m_network->get(request);
        connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
            // A declared length over the cap: an image is refused at once; a page is read up to it.
            const qint64 declared = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
            if (m_stage == Stage::Image && declared > m_limits.maxBytes) {
                m_capped = true;
                m_reply->abort();
            }
        });
        // A short link may lead to a sign-in or reset link: that one is not followed.
        connect(m_reply, &QNetworkReply::redirected, this, [this](const QUrl& target) {
            if (m_stage == Stage::Page && carriesSecret(m_reply->url().resolved(target)))
                m_reply->abort();
        });
        connect(m_reply, &QNetworkReply::readyRead, this, [this] {
            const qint64 room = m_limits.maxBytes - m_body.size();
            if (room > 0)
                m_body += m_reply->read(room);
            if (m_body.size() >= m_limits.maxBytes && m_reply->bytesAvailable() > 0) {
                m_capped = true;
                m_reply->abort();
            }
        });
        connect(m_reply, &QNetworkReply::finished, this, [this] { finished(); });
    }

    void finished()
    {
        QNetworkReply* reply = m_reply;
        m_reply = nullptr;
        reply->deleteLater();
        if (m_done)
            return;
        if (m_timedOut) {
            finish(m_title, std::nullopt);
            return;
        }
        if (!m_capped && reply->bytesAvailable() > 0) {
            const qint64 room = m_limits.maxBytes - m_body.size();
            if (room > 0)
                m_body += reply->read(room);
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool answered = (reply->error() == QNetworkReply::NoError || m_capped) && status >= 200 && status < 300;
        const QByteArray contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray().toLower();
        if (m_stage == Stage::Page) {
            if (!answered) {
                finish(std::nullopt, std::nullopt);
                return;
            }
            if (contentType.startsWith("image/")) {
                if (m_capped)
                    finish(std::nullopt, std::nullopt);
                else
                    decodeAndFinish(std::nullopt, m_body);
                return;
            }
            const PageMetadata page = parseHTML(m_body, reply->url(), contentType);
            m_title = page.title;
            if (page.imageURL && !m_deadline.hasExpired())
                get(*page.imageURL, Stage::Image);
            else
                finish(m_title, std::nullopt);
            return;
        }
        if (!answered || m_capped) {
            finish(m_title, std::nullopt);
            return;
        }
        decodeAndFinish(m_title, m_body);
    }

    void decodeAndFinish(std::optional<QString> title, QByteArray bytes)
    {
        m_done = true;
        m_timer.stop();
        QThreadPool::globalInstance()->start(
            [completion = std::move(m_completion), title = std::move(title), bytes = std::move(bytes),
             limit = m_limits.maxDecodedBytes] { completion(title, jpegFromImageData(bytes, limit)); });
        deleteLater();
    }

    void finish(std::optional<QString> title, std::optional<QByteArray> image)
    {
        if (m_done)
            return;
        m_done = true;
        m_timer.stop();
        Completion completion = std::move(m_completion);
        deleteLater();
        completion(std::move(title), std::move(image));
    }

    QNetworkAccessManager* m_network;
    Limits m_limits;
    Completion m_completion;
    QDeadlineTimer m_deadline;
    QTimer m_timer;
    QNetworkReply* m_reply = nullptr;
    Stage m_stage = Stage::Page;
    QByteArray m_body;
    bool m_capped = false;
    bool m_timedOut = false;
    bool m_done = false;
    std::optional<QString> m_title;
};

QtLinkMetadataProvider::QtLinkMetadataProvider(Limits limits)
    : m_limits(limits), m_network(new QNetworkAccessManager(this))
{
}

QtLinkMetadataProvider::QtLinkMetadataProvider() : QtLinkMetadataProvider(Limits {}) { }

QtLinkMetadataProvider::~QtLinkMetadataProvider()
{
    // Fetches first: they abort their replies, which the network manager owns.
    const QObjectList children = this->children();
    for (QObject* child : children)
        if (child != m_network)
            delete child;
}

void QtLinkMetadataProvider::fetchMetadata(const QUrl& url, Completion completion)
{
    QPointer<QtLinkMetadataProvider> self = this;
    QMetaObject::invokeMethod(
        this,
        [self, url, completion = std::move(completion)]() mutable {
            if (self)
                self->start(url, std::move(completion));
            else
                completion(std::nullopt, std::nullopt);
        },
        Qt::QueuedConnection);
}

void QtLinkMetadataProvider::start(const QUrl& url, Completion completion)
{
    auto* fetch = new Fetch(m_network, m_limits, std::move(completion), this);
    fetch->begin(url);
}
