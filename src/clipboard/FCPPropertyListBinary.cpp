#include "clipboard/FCPPropertyListDetail.h"

#include <cstring>

// Binary format: "bplist00", objects, an offset table, and a 32-byte trailer.

using namespace FCPPropertyListDetail;
using Value = FCPPropertyList::Value;
using ValuePtr = FCPPropertyList::ValuePtr;

namespace {

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
        case 0x0:
            return singleton(marker);
        case 0x1:
            return integer(pos, nibble);
        case 0x2:
            return real(pos, nibble);
        case 0x3:
            return date(marker, pos);
        case 0x4:
            return data(pos, nibble);
        case 0x5:
        case 0x7:
            return string(marker, pos, nibble);
        case 0x6:
            return utf16String(pos, nibble);
        case 0x8:
            return uid(pos, nibble);
        case 0xA:
        case 0xB:
        case 0xC:
            return array(pos, nibble, depth);
        case 0xD:
            return dictionary(pos, nibble, depth);
        default:
            return fail(m_error, QStringLiteral("unknown marker"));
        }
    }

    // Booleans and null.
    ValuePtr singleton(uchar marker)
    {
        if (marker == 0x08 || marker == 0x09) {
            auto v = makeValue(Value::Type::Boolean);
            v->boolean = marker == 0x09;
            return v;
        }
        if (marker == 0x00 || marker == 0x0F)
            return makeValue(Value::Type::Null);
        return fail(m_error, QStringLiteral("unknown marker"));
    }

    ValuePtr integer(quint64 pos, quint64 nibble)
    {
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

    ValuePtr real(quint64 pos, quint64 nibble)
    {
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

    ValuePtr date(uchar marker, quint64 pos)
    {
        if (marker != 0x33 || !inObjects(pos, 8))
            return fail(m_error, QStringLiteral("bad date"));
        auto v = makeValue(Value::Type::Date);
        const quint64 bits = be(m_bytes + pos, 8);
        std::memcpy(&v->real, &bits, 8);
        return v;
    }

    ValuePtr data(quint64 pos, quint64 nibble)
    {
        quint64 length = 0;
        if (!readLength(pos, nibble, length) || !inObjects(pos, length))
            return fail(m_error, QStringLiteral("data out of range"));
        auto v = makeValue(Value::Type::Data);
        v->data = QByteArray(reinterpret_cast<const char*>(m_bytes + pos), static_cast<qsizetype>(length));
        return v;
    }

    // ASCII (marker 0x5x, read as Latin-1) or UTF-8 (0x7x) text.
    ValuePtr string(uchar marker, quint64 pos, quint64 nibble)
    {
        quint64 length = 0;
        if (!readLength(pos, nibble, length) || !inObjects(pos, length))
            return fail(m_error, QStringLiteral("string out of range"));
        auto v = makeValue(Value::Type::String);
        const char* s = reinterpret_cast<const char*>(m_bytes + pos);
        v->string = (marker >> 4) == 0x5 ? QString::fromLatin1(s, static_cast<qsizetype>(length))
                                         : QString::fromUtf8(s, static_cast<qsizetype>(length));
        return v;
    }

    // Big-endian UTF-16 text; length counts code units.
    ValuePtr utf16String(quint64 pos, quint64 nibble)
    {
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

    ValuePtr uid(quint64 pos, quint64 nibble)
    {
        const quint64 n = nibble + 1;
        if (n > 8 || !inObjects(pos, n))
            return fail(m_error, QStringLiteral("bad UID"));
        auto v = makeValue(Value::Type::UID);
        const quint64 uid = be(m_bytes + pos, static_cast<int>(n));
        v->integer = uid > static_cast<quint64>(int64Max) ? int64Max : static_cast<qint64>(uid);
        return v;
    }

    // Arrays and sets (both read as arrays).
    ValuePtr array(quint64 pos, quint64 nibble, int depth)
    {
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

    // count key references, then count value references.
    ValuePtr dictionary(quint64 pos, quint64 nibble, int depth)
    {
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

}

FCPPropertyList::ValuePtr FCPPropertyList::parseBinary(const QByteArray& bytes, QString* error)
{
    return readWith<BinaryReader>(bytes, error);
}
