#pragma once
// A small binary property-list writer for the clipboard tests, to build Final Cut Pro payloads.
#include "fakes/TestSupport.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

// A property-list value to be written.
struct PNode {
    enum class Kind { Dict, Array, String, Integer, Data, UID, Bool };
    Kind kind = Kind::String;
    QString string;
    qint64 integer = 0;
    QByteArray data;
    std::vector<std::pair<QString, PNode>> dict;
    std::vector<PNode> array;

    static PNode str(const QString& s)
    {
        PNode n;
        n.kind = Kind::String;
        n.string = s;
        return n;
    }
    static PNode num(qint64 v)
    {
        PNode n;
        n.kind = Kind::Integer;
        n.integer = v;
        return n;
    }
    static PNode uid(qint64 v)
    {
        PNode n;
        n.kind = Kind::UID;
        n.integer = v;
        return n;
    }
    static PNode bytes(const QByteArray& d)
    {
        PNode n;
        n.kind = Kind::Data;
        n.data = d;
        return n;
    }
    static PNode boolean(bool b)
    {
        PNode n;
        n.kind = Kind::Bool;
        n.integer = b;
        return n;
    }
    static PNode list(std::vector<PNode> items)
    {
        PNode n;
        n.kind = Kind::Array;
        n.array = std::move(items);
        return n;
    }
    static PNode map(std::vector<std::pair<QString, PNode>> items)
    {
        PNode n;
        n.kind = Kind::Dict;
        n.dict = std::move(items);
        return n;
    }
};

// Writes "bplist00" with 4-byte offsets and 2-byte object references; the root is object 0.
class BinaryPlistWriter {
public:
    static QByteArray write(const PNode& root)
    {
        BinaryPlistWriter w;
        w.add(root);
        QByteArray out("bplist00");
        std::vector<quint32> offsets;
        for (const QByteArray& object : w.m_objects) {
            offsets.push_back(static_cast<quint32>(out.size()));
            out += object;
        }
        const quint64 tableOffset = static_cast<quint64>(out.size());
        for (quint32 offset : offsets)
            out += be(offset, 4);
        out += QByteArray(6, '\0');
        out += char(4); // offset size
        out += char(2); // reference size
        out += be(w.m_objects.size(), 8);
        out += be(0, 8);
        out += be(tableOffset, 8);
        return out;
    }

    static QByteArray be(quint64 v, int n)
    {
        QByteArray b(n, '\0');
        for (int i = n - 1; i >= 0; --i, v >>= 8)
            b[i] = static_cast<char>(v & 0xFF);
        return b;
    }

private:
    static QByteArray header(int type, quint64 count)
    {
        if (count < 15)
            return QByteArray(1, static_cast<char>((type << 4) | static_cast<int>(count)));
        return QByteArray(1, static_cast<char>((type << 4) | 0xF)) + char(0x12) + be(count, 4);
    }

    int add(const PNode& node)
    {
        const int index = static_cast<int>(m_objects.size());
        m_objects.emplace_back();
        QByteArray bytes;
        switch (node.kind) {
        case PNode::Kind::String: {
            bool ascii = true;
            for (QChar c : node.string)
                ascii = ascii && c.unicode() < 128;
            if (ascii) {
                bytes = header(0x5, static_cast<quint64>(node.string.size())) + node.string.toLatin1();
            } else {
                bytes = header(0x6, static_cast<quint64>(node.string.size()));
                for (QChar c : node.string)
                    bytes += be(c.unicode(), 2);
            }
            break;
        }
        case PNode::Kind::Integer:
            bytes = QByteArray(1, char(0x13)) + be(static_cast<quint64>(node.integer), 8);
            break;
        case PNode::Kind::UID:
            bytes = QByteArray(1, char(0x81)) + be(static_cast<quint64>(node.integer), 2);
            break;
        case PNode::Kind::Bool:
            bytes = QByteArray(1, node.integer ? char(0x09) : char(0x08));
            break;
        case PNode::Kind::Data:
            bytes = header(0x4, static_cast<quint64>(node.data.size())) + node.data;
            break;
        case PNode::Kind::Array: {
            std::vector<int> refs;
            for (const PNode& child : node.array)
                refs.push_back(add(child));
            bytes = header(0xA, refs.size());
            for (int r : refs)
                bytes += be(static_cast<quint64>(r), 2);
            break;
        }
        case PNode::Kind::Dict: {
            std::vector<int> keys, values;
            for (const auto& [key, value] : node.dict) {
                keys.push_back(add(PNode::str(key)));
                values.push_back(add(value));
            }
            bytes = header(0xD, keys.size());
            for (int r : keys)
                bytes += be(static_cast<quint64>(r), 2);
            for (int r : values)
                bytes += be(static_cast<quint64>(r), 2);
            break;
        }
        }
        m_objects[static_cast<size_t>(index)] = bytes;
        return index;
    }

    std::vector<QByteArray> m_objects;
};

// The clipboard payload Final Cut Pro writes: a property list with the copied count and a keyed
// archive whose "$objects" are given.
inline QByteArray fcpPasteboardData(std::vector<PNode> objects, std::optional<qint64> count = 1)
{
    const QByteArray archive = BinaryPlistWriter::write(
        PNode::map({{QStringLiteral("$objects"), PNode::list(std::move(objects))}}));
    std::vector<std::pair<QString, PNode>> root;
    if (count)
        root.push_back({QStringLiteral("ffpasteboardcopiedtypes"),
            PNode::map(
                {{QStringLiteral("pb_anchoredObject"), PNode::map({{QStringLiteral("count"), PNode::num(*count)}})}})});
    root.push_back({QStringLiteral("ffpasteboardobject"), PNode::bytes(archive)});
    return BinaryPlistWriter::write(PNode::map(std::move(root)));
}
