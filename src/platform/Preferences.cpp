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

template <typename T>
T Preferences::typedValue(const QString& key, const char* typeName, bool (*accepts)(const QVariant&),
    T (*convert)(const QVariant&)) const
{
    const QVariant v = object(key);
    if (!v.isValid())
        return T {};
    if (accepts(v))
        return convert(v);
    reportIgnored(key, v, typeName);
    // The registered default when it has the right type (the stored value hid it), else the zero.
    const QVariant fallback = m_defaults.value(key);
    return fallback.isValid() && accepts(fallback) ? convert(fallback) : T {};
}

void Preferences::reportIgnored(const QString& key, const QVariant& value, const char* typeName) const
{
    {
        std::lock_guard lock(m_reportedLock);
        if (m_reportedKeys.contains(key))
            return;
        m_reportedKeys.insert(key);
    }
    Console::log(QStringLiteral("Preferences: ignored the value of \"%1\" (%2 where %3 belongs); the default is used")
                     .arg(key, QString::fromLatin1(value.typeName()), QString::fromLatin1(typeName)));
}

bool Preferences::boolForKey(const QString& key) const
{
    return typedValue<bool>(
        key, "a Boolean", [](const QVariant& v) { return v.typeId() == QMetaType::Bool; },
        [](const QVariant& v) { return v.toBool(); });
}

qlonglong Preferences::integerForKey(const QString& key) const
{
    return typedValue<qlonglong>(key, "an integer", &fitsInteger, [](const QVariant& v) { return v.toLongLong(); });
}

double Preferences::doubleForKey(const QString& key) const
{
    // An integer is a number too; a file written by hand may well hold 1 for 1.0.
    return typedValue<double>(
        key, "a number", [](const QVariant& v) { return isDouble(v) || fitsInteger(v); },
        [](const QVariant& v) { return v.toDouble(); });
}

QString Preferences::stringForKey(const QString& key) const
{
    return typedValue<QString>(
        key, "a string", [](const QVariant& v) { return v.typeId() == QMetaType::QString; },
        [](const QVariant& v) { return v.toString(); });
}

QByteArray Preferences::dataForKey(const QString& key) const
{
    return typedValue<QByteArray>(
        key, "data", [](const QVariant& v) { return v.typeId() == QMetaType::QByteArray; },
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
