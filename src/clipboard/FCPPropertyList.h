#pragma once
#include <QByteArray>
#include <QString>
#include <QStringView>
#include <memory>
#include <utility>
#include <vector>

// Reader of property lists in the binary ("bplist00"), XML and old-style (OpenStep) text formats,
// as Final Cut Pro and the file-name list of a file copy put them on the clipboard. The bytes come
// from any X client, so the reader bounds every offset, limits nesting depth, rejects reference
// cycles, shares objects that a binary list references several times instead of copying them, and
// clamps numbers that do not fit. A list it cannot read yields null, never a crash.
class FCPPropertyList {
public:
    struct Value;
    using ValuePtr = std::shared_ptr<const Value>;

    struct Value {
        enum class Type { Null, Boolean, Integer, Real, Date, Data, String, UID, Array, Dictionary };
        Type type = Type::Null;
        bool boolean = false;
        qint64 integer = 0; // Integer (clamped to 64 bits) and UID
        double real = 0;    // Real; Date as seconds since 2001-01-01 00:00:00 UTC
        QByteArray data;
        QString string;
        std::vector<ValuePtr> array;
        std::vector<std::pair<QString, ValuePtr>> dictionary; // in stored order

        bool isDictionary() const { return type == Type::Dictionary; }
        bool isArray() const { return type == Type::Array; }
        bool isString() const { return type == Type::String; }
        bool isInteger() const { return type == Type::Integer; }
        bool isData() const { return type == Type::Data; }
        // The value of the first entry with this key (null when absent or not a dictionary).
        const Value* value(QStringView key) const;
    };

    // Nesting deeper than this is refused.
    static constexpr int maxDepth = 128;

    // The root of the list, or null (with the reason in error) when the bytes are no property list
    // of a known format or break a limit.
    static ValuePtr parse(const QByteArray& bytes, QString* error = nullptr);
    static ValuePtr parseBinary(const QByteArray& bytes, QString* error = nullptr);
    static ValuePtr parseXML(const QByteArray& bytes, QString* error = nullptr);
    static ValuePtr parseOpenStep(const QByteArray& bytes, QString* error = nullptr);
};
