#include "clipboard/FCPPropertyList.h"

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

namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();

std::shared_ptr<Value> makeValue(Value::Type type)
{
    auto v = std::make_shared<Value>();
    v->type = type;
    return v;
}

ValuePtr fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return nullptr;
}

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
// Binary format: "bplist00", objects, an offset table, and a 32-byte trailer.

class BinaryReader {
public:
    BinaryReader(const QByteArray& bytes, QString* error)
        : m_bytes(reinterpret_cast<const uchar*>(bytes.constData()))
        , m_size(static_cast<quint64>(bytes.size()))
        , m_error(error)
    {
    }

    ValuePtr read()
    {
        if (m_size < 8 + 32 || std::memcmp(m_bytes, "bplist00", 8) != 0)
            return fail(m_error, QStringLiteral("not a binary property list"));
        const uchar* trailer = m_bytes + m_size - 32;
        m_offsetIntSize = trailer[6];
        m_refSize = trailer[7];
        m_numObjects = be(trailer + 8, 8);
        const quint64 top = be(trailer + 16, 8);
        m_offsetTable = be(trailer + 24, 8);
        if (m_offsetIntSize < 1 || m_offsetIntSize > 8 || m_refSize < 1 || m_refSize > 8)
            return fail(m_error, QStringLiteral("bad trailer sizes"));
        const quint64 tableEnd = m_size - 32;
        if (m_numObjects == 0 || top >= m_numObjects || m_offsetTable < 8 || m_offsetTable > tableEnd
            || m_numObjects > (tableEnd - m_offsetTable) / m_offsetIntSize)
            return fail(m_error, QStringLiteral("bad trailer"));
        m_objects.assign(static_cast<size_t>(m_numObjects), nullptr);
        m_state.assign(static_cast<size_t>(m_numObjects), 0);
        ValuePtr root = object(top, 0);
        if (!root && m_error && m_error->isEmpty())
            *m_error = QStringLiteral("unreadable object");
        return root;
    }

private:
    static quint64 be(const uchar* p, int n)
    {
        quint64 v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 8) | p[i];
        return v;
    }

    // True when [pos, pos + n) lies inside the object area.
    bool inObjects(quint64 pos, quint64 n) const
    {
        return pos >= 8 && pos <= m_offsetTable && n <= m_offsetTable - pos;
    }

    // The object that the k-th reference of a collection starting at pos refers to.
    ValuePtr referenced(quint64 pos, quint64 k, int depth)
    {
        return object(be(m_bytes + pos + k * m_refSize, m_refSize), depth + 1);
    }

    // Reads the length that follows a marker whose low nibble is 0xF (an integer object).
    bool readLength(quint64& pos, quint64 nibble, quint64& length)
    {
        if (nibble != 0xF) {
            length = nibble;
            return true;
        }
        if (!inObjects(pos, 1))
            return false;
        const uchar marker = m_bytes[pos++];
        if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3)
            return false;
        const int n = 1 << (marker & 0x0F);
        if (!inObjects(pos, static_cast<quint64>(n)))
            return false;
        length = be(m_bytes + pos, n);
        pos += static_cast<quint64>(n);
        return true;
    }

    ValuePtr object(quint64 index, int depth)
    {
        if (index >= m_numObjects)
            return fail(m_error, QStringLiteral("object reference out of range"));
        if (depth > FCPPropertyList::maxDepth)
            return fail(m_error, QStringLiteral("nesting too deep"));
        const auto i = static_cast<size_t>(index);
        if (m_state[i] == 2)
            return m_objects[i];
        if (m_state[i] == 1)
            return fail(m_error, QStringLiteral("reference cycle"));
        m_state[i] = 1;
        ValuePtr result = parseObject(be(m_bytes + m_offsetTable + index * m_offsetIntSize, m_offsetIntSize), depth);
        if (!result)
            return nullptr;
        m_objects[i] = result;
        m_state[i] = 2;
        return result;
    }

    ValuePtr parseObject(quint64 pos, int depth)
    {
        if (!inObjects(pos, 1))
            return fail(m_error, QStringLiteral("object offset out of range"));
        const uchar marker = m_bytes[pos++];
        const quint64 nibble = marker & 0x0F;
        switch (marker >> 4) {
        case 0x0: {
            if (marker == 0x08 || marker == 0x09) {
                auto v = makeValue(Value::Type::Boolean);
                v->boolean = marker == 0x09;
                return v;
            }
            if (marker == 0x00 || marker == 0x0F)
                return makeValue(Value::Type::Null);
            return fail(m_error, QStringLiteral("unknown marker"));
        }
        case 0x1: {
            if (nibble > 4)
                return fail(m_error, QStringLiteral("bad integer size"));
            const int n = 1 << nibble;
            if (!inObjects(pos, static_cast<quint64>(n)))
                return fail(m_error, QStringLiteral("integer out of range"));
            auto v = makeValue(Value::Type::Integer);
            if (n < 8) {
                v->integer = static_cast<qint64>(be(m_bytes + pos, n)); // unsigned below 8 bytes
            } else if (n == 8) {
                v->integer = static_cast<qint64>(be(m_bytes + pos, 8));
            } else {
                // 128-bit two's complement: keep it when it fits 64 bits, else clamp by its sign.
                const quint64 high = be(m_bytes + pos, 8);
                const quint64 low = be(m_bytes + pos + 8, 8);
                const bool negative = (high >> 63) != 0;
                if (high == 0 && low <= static_cast<quint64>(int64Max))
                    v->integer = static_cast<qint64>(low);
                else if (high == ~quint64(0) && (low >> 63) != 0)
                    v->integer = static_cast<qint64>(low);
                else
                    v->integer = negative ? int64Min : int64Max;
            }
            return v;
        }
        case 0x2: {
            if (nibble != 2 && nibble != 3)
                return fail(m_error, QStringLiteral("bad real size"));
            const int n = 1 << nibble;
            if (!inObjects(pos, static_cast<quint64>(n)))
                return fail(m_error, QStringLiteral("real out of range"));
            auto v = makeValue(Value::Type::Real);
            const quint64 bits = be(m_bytes + pos, n);
            if (n == 4) {
                float f;
                const auto b32 = static_cast<quint32>(bits);
                std::memcpy(&f, &b32, 4);
                v->real = f;
            } else {
                std::memcpy(&v->real, &bits, 8);
            }
            return v;
        }
        case 0x3: {
            if (marker != 0x33 || !inObjects(pos, 8))
                return fail(m_error, QStringLiteral("bad date"));
            auto v = makeValue(Value::Type::Date);
            const quint64 bits = be(m_bytes + pos, 8);
            std::memcpy(&v->real, &bits, 8);
            return v;
        }
        case 0x4: {
            quint64 length = 0;
            if (!readLength(pos, nibble, length) || !inObjects(pos, length))
                return fail(m_error, QStringLiteral("data out of range"));
            auto v = makeValue(Value::Type::Data);
            v->data = QByteArray(reinterpret_cast<const char*>(m_bytes + pos), static_cast<qsizetype>(length));
            return v;
        }
        case 0x5:
        case 0x7: {
            quint64 length = 0;
            if (!readLength(pos, nibble, length) || !inObjects(pos, length))
                return fail(m_error, QStringLiteral("string out of range"));
            auto v = makeValue(Value::Type::String);
            const char* s = reinterpret_cast<const char*>(m_bytes + pos);
            v->string = (marker >> 4) == 0x5 ? QString::fromLatin1(s, static_cast<qsizetype>(length))
                                             : QString::fromUtf8(s, static_cast<qsizetype>(length));
            return v;
        }
        case 0x6: {
            quint64 length = 0;
            if (!readLength(pos, nibble, length) || length > m_size / 2 || !inObjects(pos, length * 2))
                return fail(m_error, QStringLiteral("string out of range"));
            auto v = makeValue(Value::Type::String);
            QString s(static_cast<qsizetype>(length), Qt::Uninitialized);
            for (quint64 k = 0; k < length; ++k)
                s[static_cast<qsizetype>(k)] = QChar(static_cast<char16_t>(be(m_bytes + pos + 2 * k, 2)));
            v->string = std::move(s);
            return v;
        }
        case 0x8: {
            const quint64 n = nibble + 1;
            if (n > 8 || !inObjects(pos, n))
                return fail(m_error, QStringLiteral("bad UID"));
            auto v = makeValue(Value::Type::UID);
            const quint64 uid = be(m_bytes + pos, static_cast<int>(n));
            v->integer = uid > static_cast<quint64>(int64Max) ? int64Max : static_cast<qint64>(uid);
            return v;
        }
        case 0xA:
        case 0xB:
        case 0xC: {
            quint64 count = 0;
            if (!readLength(pos, nibble, count) || count > m_size / m_refSize || !inObjects(pos, count * m_refSize))
                return fail(m_error, QStringLiteral("array out of range"));
            auto v = makeValue(Value::Type::Array);
            v->array.reserve(static_cast<size_t>(count));
            for (quint64 k = 0; k < count; ++k) {
                ValuePtr element = referenced(pos, k, depth);
                if (!element)
                    return nullptr;
                v->array.push_back(std::move(element));
            }
            return v;
        }
        case 0xD: {
            quint64 count = 0;
            if (!readLength(pos, nibble, count) || count > m_size / (2 * m_refSize)
                || !inObjects(pos, count * 2 * m_refSize))
                return fail(m_error, QStringLiteral("dictionary out of range"));
            auto v = makeValue(Value::Type::Dictionary);
            v->dictionary.reserve(static_cast<size_t>(count));
            for (quint64 k = 0; k < count; ++k) {
                ValuePtr key = referenced(pos, k, depth);
                if (!key)
                    return nullptr;
                if (key->type != Value::Type::String)
                    return fail(m_error, QStringLiteral("dictionary key is not a string"));
                ValuePtr value = referenced(pos, count + k, depth);
                if (!value)
                    return nullptr;
                v->dictionary.emplace_back(key->string, std::move(value));
            }
            return v;
        }
        default:
            return fail(m_error, QStringLiteral("unknown marker"));
        }
    }

    const uchar* m_bytes;
    quint64 m_size;
    QString* m_error;
    int m_offsetIntSize = 0;
    quint64 m_refSize = 0;
    quint64 m_numObjects = 0;
    quint64 m_offsetTable = 0;
    std::vector<ValuePtr> m_objects;
    std::vector<char> m_state; // 0 unread, 1 being read (a cycle if met again), 2 read
};

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

// Reads the bytes with one of the readers above; error is cleared first so that it is set only
// for a list that fails.
template <class Reader> ValuePtr readWith(const QByteArray& bytes, QString* error)
{
    if (error)
        error->clear();
    return Reader(bytes, error).read();
}

}

ValuePtr FCPPropertyList::parseBinary(const QByteArray& bytes, QString* error)
{
    return readWith<BinaryReader>(bytes, error);
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
