#include "platform/Preferences.h"

#include <QJsonArray>
#include <QJsonDocument>

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
bool isNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}
}

bool Preferences::boolForKey(const QString& key) const
{
    const QVariant v = object(key);
    if (isNumber(v))
        return v.toDouble() != 0.0;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == "true" || s == "yes" || s == "1";
    }
    return false;
}

qlonglong Preferences::integerForKey(const QString& key) const
{
    const QVariant v = object(key);
    if (v.typeId() == QMetaType::Double)
        return static_cast<qlonglong>(v.toDouble());
    if (isNumber(v))
        return v.toLongLong();
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        return ok ? n : 0;
    }
    return 0;
}

double Preferences::doubleForKey(const QString& key) const
{
    const QVariant v = object(key);
    if (isNumber(v))
        return v.toDouble();
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        return ok ? d : 0.0;
    }
    return 0.0;
}

QString Preferences::stringForKey(const QString& key) const
{
    const QVariant v = object(key);
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    if (isNumber(v) && v.typeId() != QMetaType::Bool)
        return v.toString();
    return {};
}

QByteArray Preferences::dataForKey(const QString& key) const
{
    const QVariant v = object(key);
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return {};
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
    set(key, QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact));
}

void Preferences::set(const QString& key, const QVariant& value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    m_stored.insert(key, value);
    persist(m_stored);
    emit changed(key);
}

void Preferences::remove(const QString& key)
{
    if (m_stored.remove(key) == 0)
        return;
    persist(m_stored);
    emit changed(key);
}
