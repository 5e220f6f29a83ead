#pragma once
#include <QByteArray>
#include <algorithm>

namespace JsonText {

// JSON text with every "/" written as "\/", the form the stored lists use ("com.example\/App").
// A solidus can only stand inside a string in JSON, so escaping every one keeps the text valid
// and its meaning unchanged; readers take either form.
inline QByteArray escapeSolidus(const QByteArray& json)
{
    const auto slashes = std::count(json.begin(), json.end(), '/');
    if (slashes == 0)
        return json;
    QByteArray out;
    out.reserve(json.size() + slashes);
    for (const char c : json) {
        if (c == '/')
            out.append('\\');
        out.append(c);
    }
    return out;
}

}
