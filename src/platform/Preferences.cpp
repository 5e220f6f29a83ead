#include "platform/Preferences.h"

#include "platform/Console.h"
#include "platform/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <limits>

void Preferences::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.constBegin(); it != defaults.constEnd(); ++it)
        m_defaults.insert(it.key(), it.value());
}

QVariant Preferences::object(const QString& key) const
{
    auto it = m_stored.constFind(key);
    if (it != m_stored.constEnd())
        return it.value();
    return m_defaults.value(key);
}

QVariant Preferences::storedObject(const QString& key) const
{
    return m_stored.value(key);
}

namespace {
bool isInteger(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

// An integer value that fits a qlonglong.
bool fitsInteger(const QVariant& v)
{
    if (!isInteger(v))
        return false;
    if (v.typeId() == QMetaType::ULongLong || v.typeId() == QMetaType::ULong)
        return v.toULongLong() <= qulonglong(std::numeric_limits<qlonglong>::max());
    return true;
}

bool isDouble(const QVariant& v)
{
    return v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
}
}

template <typename T, typename Accepts, typename Convert>
T Preferences::typedValue(const QString& key, const QString& expected, Accepts accepts, Convert convert) const
{
    const QVariant v = object(key);
    if (!v.isValid())
        return T {};
    if (accepts(v))
        return convert(v);
    reportIgnored(key, v, expected);
    // The registered default when it has the right type (the stored value hid it), else the zero.
    const QVariant fallback = m_defaults.value(key);
    return fallback.isValid() && accepts(fallback) ? convert(fallback) : T {};
}

void Preferences::reportIgnored(const QString& key, const QVariant& value, const QString& expected) const
{
    {
        std::lock_guard lock(m_reportedLock);
        if (m_reportedKeys.contains(key))
            return;
        m_reportedKeys.insert(key);
    }
    // A number is named by its value (58.08, nan), anything else by its type.
    const QString found = isDouble(value) || isInteger(value) ? value.toString()
                                                              : QString::fromLatin1(value.typeName());
    Console::log(QStringLiteral("Preferences: ignored the value of \"%1\" (%2 where %3 belongs); the default is used")
                     .arg(key, found, expected));
}

bool Preferences::boolForKey(const QString& key) const
{
    return typedValue<bool>(
        key, QStringLiteral("a Boolean"), [](const QVariant& v) { return v.typeId() == QMetaType::Bool; },
        [](const QVariant& v) { return v.toBool(); });
}

qlonglong Preferences::integerForKey(const QString& key) const
{
    return typedValue<qlonglong>(
        key, QStringLiteral("an integer"), &fitsInteger, [](const QVariant& v) { return v.toLongLong(); });
}

double Preferences::doubleForKey(const QString& key) const
{
    // An integer is a number too; a file written by hand may well hold 1 for 1.0.
    return typedValue<double>(
        key, QStringLiteral("a number"), [](const QVariant& v) { return isDouble(v) || fitsInteger(v); },
        [](const QVariant& v) { return v.toDouble(); });
}

std::optional<double> Preferences::doubleForKey(const QString& key, double minimum, double maximum) const
{
    // NaN fails both comparisons.
    const auto inRange = [minimum, maximum](const QVariant& v) {
        if (!isDouble(v) && !fitsInteger(v))
            return false;
        const double d = v.toDouble();
        return d >= minimum && d <= maximum;
    };
    return typedValue<std::optional<double>>(key, QStringLiteral("a number from %1 to %2").arg(minimum).arg(maximum),
        inRange, [](const QVariant& v) { return std::optional<double>(v.toDouble()); });
}

QString Preferences::stringForKey(const QString& key) const
{
    return typedValue<QString>(
        key, QStringLiteral("a string"), [](const QVariant& v) { return v.typeId() == QMetaType::QString; },
        [](const QVariant& v) { return v.toString(); });
}

QByteArray Preferences::dataForKey(const QString& key) const
{
    return typedValue<QByteArray>(
        key, QStringLiteral("data"), [](const QVariant& v) { return v.typeId() == QMetaType::QByteArray; },
        [](const QVariant& v) { return v.toByteArray(); });
}

std::optional<QStringList> Preferences::stringListFromJSONData(const QString& key) const
{
    const QVariant v = object(key);
    QByteArray bytes;
    if (v.typeId() == QMetaType::QByteArray)
        bytes = v.toByteArray();
    else if (v.typeId() == QMetaType::QString)
        bytes = v.toString().toUtf8();
    else
        return std::nullopt;
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QStringList out;
    for (const QJsonValue& item : doc.array()) {
        if (!item.isString())
            return std::nullopt;
        out.append(item.toString());
    }
    return out;
}

void Preferences::setStringListAsJSONData(const QString& key, const QStringList& list)
{
    set(key, JsonText::escapeSolidus(QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact)));
}

void Preferences::set(const QString& key, const QVariant& value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    m_stored.insert(key, value);
    forgetReport(key);
    persist(m_stored);
    emit changed(key);
}

void Preferences::remove(const QString& key)
{
    if (m_stored.remove(key) == 0)
        return;
    forgetReport(key);
    persist(m_stored);
    emit changed(key);
}

void Preferences::forgetReport(const QString& key)
{
    std::lock_guard lock(m_reportedLock);
    m_reportedKeys.remove(key);
}
