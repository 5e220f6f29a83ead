// Decoding of the preferences file: any bytes must give a map or an error, never a crash, and
// whatever decodes must encode and decode again to the same values.
#include "platform/linux/JsonFilePreferences.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    QStringList skipped;
    const auto values = JsonFilePreferences::decode(bytes, &error, &skipped);
    if (!values)
        return 0;
    const auto again = JsonFilePreferences::decode(JsonFilePreferences::encode(*values), &error);
    if (!again || again->keys() != values->keys())
        std::abort();
    for (auto it = values->constBegin(); it != values->constEnd(); ++it) {
        const QVariant& other = again->value(it.key());
        if (other.typeId() != it.value().typeId())
            std::abort();
        // NaN never equals itself; everything else must come back unchanged.
        if (other != it.value() && !(other.typeId() == QMetaType::Double && qIsNaN(other.toDouble())))
            std::abort();
    }
    return 0;
}
