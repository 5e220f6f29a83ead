#pragma once
// Private to the property-list reader: what its binary, XML and old-style readers share.
#include "clipboard/FCPPropertyList.h"

#include <limits>

namespace FCPPropertyListDetail {

inline constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
inline constexpr qint64 int64Min = std::numeric_limits<qint64>::min();

inline std::shared_ptr<FCPPropertyList::Value> makeValue(FCPPropertyList::Value::Type type)
{
    auto v = std::make_shared<FCPPropertyList::Value>();
    v->type = type;
    return v;
}

inline FCPPropertyList::ValuePtr fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return nullptr;
}

// Reads the bytes with one of the readers; error is cleared first so that it is set only for a
// list that fails.
template <class Reader> FCPPropertyList::ValuePtr readWith(const QByteArray& bytes, QString* error)
{
    if (error)
        error->clear();
    return Reader(bytes, error).read();
}

}
