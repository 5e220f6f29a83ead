#include "clipboard/FCPPropertyList.h"
#include "clipboard/FCPPropertyListDetail.h"

#include <QDateTime>
#include <QTimeZone>
#include <QXmlStreamReader>
#include <cmath>
#include <cstring>
#include <limits>

using Value = FCPPropertyList::Value;
using ValuePtr = FCPPropertyList::ValuePtr;

const Value* Value::value(QStringView key) const
{
    if (type != Type::Dictionary)
        return nullptr;
    for (const auto& [k, v] : dictionary)
        if (k == key)
            return v.get();
    return nullptr;
}

using namespace FCPPropertyListDetail;

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
constexpr double referenceDateOffset = 978307200.0;

// The value of a hexadecimal digit, or -1.
int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Decimal or hexadecimal ("0x") text with an optional sign, clamped to 64 bits.
std::optional<qint64> parseClampedInteger(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool negative = false;
    if (text.front() == u'-' || text.front() == u'+') {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text = text.mid(2);
    }
    if (text.isEmpty())
        return std::nullopt;
    // Magnitude as unsigned, saturating.
    quint64 magnitude = 0;
    bool saturated = false;
    for (QChar c : text) {
        const int digit = hexValue(c);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        if (!saturated) {
            if (magnitude
                > (std::numeric_limits<quint64>::max() - static_cast<quint64>(digit)) / static_cast<quint64>(base))
                saturated = true;
            else
                magnitude = magnitude * static_cast<quint64>(base) + static_cast<quint64>(digit);
        }
    }
    if (negative) {
        if (saturated || magnitude > static_cast<quint64>(int64Max) + 1)
            return int64Min;
        return magnitude == static_cast<quint64>(int64Max) + 1 ? int64Min : -static_cast<qint64>(magnitude);
    }
    if (saturated || magnitude > static_cast<quint64>(int64Max))
        return int64Max;
    return static_cast<qint64>(magnitude);
}

// ---------------------------------------------------------------------------------------------
// XML format.

class XMLReader {
public:
    XMLReader(const QByteArray& bytes, QString* error)
        : m_xml(bytes)
        , m_error(error)
    {
    }

    ValuePtr read()
    {
        if (!m_xml.readNextStartElement())
            return fail(m_error, QStringLiteral("no root element"));
        if (m_xml.name() == u"plist") {
            if (!m_xml.readNextStartElement())
                return fail(m_error, QStringLiteral("empty plist"));
        }
        ValuePtr root = value(0);
        if (!root && m_error && m_error->isEmpty())
            *m_error = m_xml.hasError() ? m_xml.errorString() : QStringLiteral("unreadable value");
        return root;
    }

private:
    // The reader stands on the start element of a value; leaves it on that value's end element.
    ValuePtr value(int depth)
    {
        if (depth > FCPPropertyList::maxDepth)
            return fail(m_error, QStringLiteral("nesting too deep"));
        const QStringView name = m_xml.name();
        if (name == u"dict")
            return dictionary(depth);
        if (name == u"array") {
            auto v = makeValue(Value::Type::Array);
            while (m_xml.readNextStartElement()) {
                ValuePtr element = value(depth + 1);
                if (!element)
                    return nullptr;
                v->array.push_back(std::move(element));
            }
            return m_xml.hasError() ? fail(m_error, m_xml.errorString()) : v;
        }
        if (name == u"true" || name == u"false") {
            auto v = makeValue(Value::Type::Boolean);
            v->boolean = name == u"true";
            m_xml.skipCurrentElement();
            return m_xml.hasError() ? fail(m_error, m_xml.errorString()) : v;
        }
        return scalar(name);
    }

    // A string, data, date, integer or real element; anything else is refused.
    ValuePtr scalar(QStringView name)
    {
        const bool isString = name == u"string", isData = name == u"data", isDate = name == u"date",
                   isInteger = name == u"integer", isReal = name == u"real";
        if (!isString && !isData && !isDate && !isInteger && !isReal)
            return fail(m_error, QStringLiteral("unknown element ") + name.toString());
        const QString text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError())
            return fail(m_error, m_xml.errorString());
        if (isString) {
            auto v = makeValue(Value::Type::String);
            v->string = text;
            return v;
        }
        if (isData) {
            QByteArray compact;
            compact.reserve(text.size());
            for (QChar c : text)
                if (!c.isSpace())
                    compact.append(static_cast<char>(c.unicode() < 128 ? c.unicode() : '!'));
            auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                return fail(m_error, QStringLiteral("bad base64 data"));
            auto v = makeValue(Value::Type::Data);
            v->data = std::move(*decoded);
            return v;
        }
        if (isDate) {
            const QDateTime date = QDateTime::fromString(text.trimmed(), Qt::ISODate);
            if (!date.isValid())
                return fail(m_error, QStringLiteral("bad date"));
            auto v = makeValue(Value::Type::Date);
            v->real = static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0 - referenceDateOffset;
            return v;
        }
        if (isInteger) {
            const auto n = parseClampedInteger(text);
            if (!n)
                return fail(m_error, QStringLiteral("bad integer"));
            auto v = makeValue(Value::Type::Integer);
            v->integer = *n;
            return v;
        }
        const QString t = text.trimmed().toLower();
        auto v = makeValue(Value::Type::Real);
        if (t == u"nan")
            v->real = std::numeric_limits<double>::quiet_NaN();
        else if (t == u"inf" || t == u"infinity" || t == u"+inf" || t == u"+infinity")
            v->real = std::numeric_limits<double>::infinity();
        else if (t == u"-inf" || t == u"-infinity")
            v->real = -std::numeric_limits<double>::infinity();
        else {
            bool ok = false;
            v->real = t.toDouble(&ok);
            if (!ok)
                return fail(m_error, QStringLiteral("bad real"));
        }
        return v;
    }

    ValuePtr dictionary(int depth)
    {
        auto v = makeValue(Value::Type::Dictionary);
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() != u"key")
                return fail(m_error, QStringLiteral("dictionary entry without key"));
            QString key = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            if (m_xml.hasError())
                return fail(m_error, m_xml.errorString());
            if (!m_xml.readNextStartElement())
                return fail(m_error, QStringLiteral("key without value"));
            ValuePtr element = value(depth + 1);
            if (!element)
                return nullptr;
            v->dictionary.emplace_back(std::move(key), std::move(element));
        }
        if (m_xml.hasError())
            return fail(m_error, m_xml.errorString());
        // A keyed archive's object reference, written as a one-entry dictionary.
        if (v->dictionary.size() == 1 && v->dictionary.front().first == u"CF$UID"
            && v->dictionary.front().second->type == Value::Type::Integer) {
            auto uid = makeValue(Value::Type::UID);
            uid->integer = std::max<qint64>(0, v->dictionary.front().second->integer);
            return uid;
        }
        return v;
    }

    QXmlStreamReader m_xml;
    QString* m_error;
};

// ---------------------------------------------------------------------------------------------
// Old-style text format: { key = value; }, ( a, b ), "quoted" or bare strings, <hex data>.

class OpenStepReader {
public:
    OpenStepReader(const QByteArray& bytes, QString* error)
        : m_text(QString::fromUtf8(bytes))
        , m_error(error)
    {
    }

    ValuePtr read()
    {
        skipSpace();
        ValuePtr root = value(0);
        if (!root)
            return root;
        skipSpace();
        if (m_pos != m_text.size())
            return fail(m_error, QStringLiteral("text after the value"));
        return root;
    }

private:
    static bool isBare(QChar c)
    {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_'
            || u == u'$' || u == u'+' || u == u'/' || u == u':' || u == u'.' || u == u'-';
    }

    void skipSpace()
    {
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos];
            if (c.isSpace()) {
                ++m_pos;
            } else if (c == u'/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'/') {
                while (m_pos < m_text.size() && m_text[m_pos] != u'\n')
                    ++m_pos;
            } else if (c == u'/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'*') {
                const qsizetype end = m_text.indexOf(QStringLiteral("*/"), m_pos + 2);
                m_pos = end < 0 ? m_text.size() : end + 2;
            } else {
                return;
            }
        }
    }

    bool accept(QChar c)
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    ValuePtr value(int depth)
    {
        if (depth > FCPPropertyList::maxDepth)
            return fail(m_error, QStringLiteral("nesting too deep"));
        skipSpace();
        if (m_pos >= m_text.size())
            return fail(m_error, QStringLiteral("unexpected end"));
        const QChar c = m_text[m_pos];
        if (c == u'{') {
            ++m_pos;
            auto v = makeValue(Value::Type::Dictionary);
            while (!accept(u'}')) {
                ValuePtr key = string();
                if (!key)
                    return nullptr;
                if (!accept(u'='))
                    return fail(m_error, QStringLiteral("expected ="));
                ValuePtr element = value(depth + 1);
                if (!element)
                    return nullptr;
                if (!accept(u';'))
                    return fail(m_error, QStringLiteral("expected ;"));
                v->dictionary.emplace_back(key->string, std::move(element));
            }
            return v;
        }
        if (c == u'(') {
            ++m_pos;
            auto v = makeValue(Value::Type::Array);
            if (accept(u')'))
                return v;
            for (;;) {
                ValuePtr element = value(depth + 1);
                if (!element)
                    return nullptr;
                v->array.push_back(std::move(element));
                if (accept(u')'))
                    return v;
                if (!accept(u','))
                    return fail(m_error, QStringLiteral("expected ,"));
                if (accept(u')'))
                    return v;
            }
        }
        if (c == u'<') {
            ++m_pos;
            auto v = makeValue(Value::Type::Data);
            int pending = -1;
            for (;;) {
                skipSpace();
                if (m_pos >= m_text.size())
                    return fail(m_error, QStringLiteral("unterminated data"));
                const QChar h = m_text[m_pos++];
                if (h == u'>')
                    break;
                const int digit = hexValue(h);
                if (digit < 0)
                    return fail(m_error, QStringLiteral("bad data digit"));
                if (pending < 0) {
                    pending = digit;
                } else {
                    v->data.append(static_cast<char>(pending * 16 + digit));
                    pending = -1;
                }
            }
            if (pending >= 0)
                return fail(m_error, QStringLiteral("odd number of data digits"));
            return v;
        }
        return string();
    }

    ValuePtr string()
    {
        skipSpace();
        if (m_pos >= m_text.size())
            return fail(m_error, QStringLiteral("unexpected end"));
        auto v = makeValue(Value::Type::String);
        const QChar quote = m_text[m_pos];
        if (quote != u'"' && quote != u'\'') {
            const qsizetype start = m_pos;
            while (m_pos < m_text.size() && isBare(m_text[m_pos]))
                ++m_pos;
            if (m_pos == start)
                return fail(m_error, QStringLiteral("unexpected character"));
            v->string = m_text.mid(start, m_pos - start);
            return v;
        }
        ++m_pos;
        QString out;
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos++];
            if (c == quote) {
                v->string = std::move(out);
                return v;
            }
            if (c != u'\\') {
                out.append(c);
                continue;
            }
            if (m_pos >= m_text.size())
                break;
            const QChar e = m_text[m_pos++];
            switch (e.unicode()) {
            case u'n':
                out.append(u'\n');
                break;
            case u't':
                out.append(u'\t');
                break;
            case u'r':
                out.append(u'\r');
                break;
            case u'a':
                out.append(QChar(7));
                break;
            case u'b':
                out.append(QChar(8));
                break;
            case u'f':
                out.append(QChar(12));
                break;
            case u'v':
                out.append(QChar(11));
                break;
            case u'U': {
                char16_t code = 0;
                int digits = 0;
                while (digits < 4 && m_pos < m_text.size() && hexValue(m_text[m_pos]) >= 0) {
                    code = static_cast<char16_t>(code * 16 + hexValue(m_text[m_pos]));
                    ++m_pos;
                    ++digits;
                }
                out.append(QChar(code));
                break;
            }
            default:
                if (e >= u'0' && e <= u'7') {
                    int code = e.unicode() - u'0';
                    for (int k = 0; k < 2 && m_pos < m_text.size() && m_text[m_pos] >= u'0' && m_text[m_pos] <= u'7';
                         ++k)
                        code = code * 8 + (m_text[m_pos++].unicode() - u'0');
                    out.append(QChar(static_cast<char16_t>(code)));
                } else {
                    out.append(e);
                }
            }
        }
        return fail(m_error, QStringLiteral("unterminated string"));
    }

    QString m_text;
    qsizetype m_pos = 0;
    QString* m_error;
};

}

ValuePtr FCPPropertyList::parseXML(const QByteArray& bytes, QString* error)
{
    return readWith<XMLReader>(bytes, error);
}

ValuePtr FCPPropertyList::parseOpenStep(const QByteArray& bytes, QString* error)
{
    return readWith<OpenStepReader>(bytes, error);
}

ValuePtr FCPPropertyList::parse(const QByteArray& bytes, QString* error)
{
    if (bytes.startsWith("bplist"))
        return parseBinary(bytes, error);
    // XML, possibly after a byte-order mark or white space.
    qsizetype i = 0;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        i = 3;
    const bool utf16 = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    if (utf16)
        return parseXML(bytes, error);
    if (i < bytes.size() && bytes[i] == '<') {
        // XML, unless it is old-style hex data such as <0fbd 77aa>.
        ValuePtr xml = parseXML(bytes, error);
        const QByteArray head = bytes.mid(i, 2);
        if (xml || head == "<?" || head == "<!")
            return xml;
    }
    return parseOpenStep(bytes, error);
}
