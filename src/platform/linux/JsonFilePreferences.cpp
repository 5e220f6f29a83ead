#include "platform/linux/JsonFilePreferences.h"

#include "platform/Console.h"
#include "platform/DesktopNotifier.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

constexpr const char* dataMarker = "$data";
constexpr const char* doubleMarker = "$double";

struct TooDeep { };

std::string utf8(const QString& s)
{
    const QByteArray bytes = s.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString fromUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The JSON form of one value; null when the type cannot be stored.
json toJson(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::LongLong:
        return static_cast<std::int64_t>(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULongLong: {
        const qulonglong n = value.toULongLong();
        if (n <= static_cast<qulonglong>(std::numeric_limits<qlonglong>::max()))
            return static_cast<std::int64_t>(n);
        return static_cast<std::uint64_t>(n);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (std::isnan(d))
            return json {{doubleMarker, "nan"}};
        if (std::isinf(d))
            return json {{doubleMarker, d > 0 ? "inf" : "-inf"}};
        // Written with a fraction or an exponent, so it reads back as a double.
        return d;
    }
    case QMetaType::QString:
        return utf8(value.toString());
    case QMetaType::QByteArray: {
        const QByteArray base64 = value.toByteArray().toBase64();
        return json {{dataMarker, std::string(base64.constData(), static_cast<size_t>(base64.size()))}};
    }
    default:
        return nullptr;
    }
}

// The value of one JSON entry; invalid when it is not one this file writes.
QVariant fromJson(const json& j)
{
    switch (j.type()) {
    case json::value_t::boolean:
        return j.get<bool>();
    case json::value_t::number_integer:
        return QVariant::fromValue<qlonglong>(j.get<std::int64_t>());
    case json::value_t::number_unsigned: {
        const std::uint64_t n = j.get<std::uint64_t>();
        if (n <= static_cast<std::uint64_t>(std::numeric_limits<qlonglong>::max()))
            return QVariant::fromValue<qlonglong>(static_cast<qlonglong>(n));
        return QVariant::fromValue<qulonglong>(n);
    }
    case json::value_t::number_float:
        return j.get<double>();
    case json::value_t::string:
        return fromUtf8(j.get_ref<const std::string&>());
    case json::value_t::object: {
        if (j.size() != 1)
            return {};
        const auto it = j.begin();
        if (it.key() == dataMarker && it.value().is_string()) {
            const std::string& text = it.value().get_ref<const std::string&>();
            auto decoded = QByteArray::fromBase64Encoding(
                QByteArray(text.data(), static_cast<qsizetype>(text.size())), QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                return {};
            return *decoded;
        }
        if (it.key() == doubleMarker) {
            if (it.value().is_number())
                return it.value().get<double>();
            if (it.value().is_string()) {
                const std::string& text = it.value().get_ref<const std::string&>();
                if (text == "nan")
                    return std::numeric_limits<double>::quiet_NaN();
                if (text == "inf")
                    return std::numeric_limits<double>::infinity();
                if (text == "-inf")
                    return -std::numeric_limits<double>::infinity();
            }
        }
        return {};
    }
    default:
        return {};
    }
}

}

JsonFilePreferences::JsonFilePreferences(const QString& path)
    : m_path(path.isEmpty() ? defaultPath() : path)
{
    load();
}

QString JsonFilePreferences::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quorvel/preferences.json");
}

QByteArray JsonFilePreferences::encode(
    const QVariantMap& values, QStringList* unsupportedKeys, const QMap<QString, QByteArray>& kept)
{
    json root = json::object();
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        json value = toJson(it.value());
        if (value.is_null()) {
            if (unsupportedKeys)
                unsupportedKeys->append(it.key());
            continue;
        }
        root[utf8(it.key())] = std::move(value);
    }
    for (auto it = kept.constBegin(); it != kept.constEnd(); ++it) {
        if (values.contains(it.key()))
            continue;
        json value = json::parse(it.value().constBegin(), it.value().constEnd(), nullptr, false);
        if (!value.is_discarded())
            root[utf8(it.key())] = std::move(value);
    }
    const std::string text = root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<QVariantMap> JsonFilePreferences::decode(
    const QByteArray& bytes, QString* error, QStringList* skippedKeys, QMap<QString, QByteArray>* skippedValues)
{
    // Values nested deeper than the bound are damage: printing or copying one (a value kept as
    // it stands is printed again) recurses once per level, and a file nested some ten thousand
    // levels deep would exhaust the stack at every start.
    const json::parser_callback_t boundDepth = [](int depth, json::parse_event_t event, json&) {
        if (depth >= maximumDepth
            && (event == json::parse_event_t::object_start || event == json::parse_event_t::array_start))
            throw TooDeep();
        return true;
    };
    json root;
    try {
        root = json::parse(bytes.constBegin(), bytes.constEnd(), boundDepth);
    } catch (const json::exception& e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return std::nullopt;
    } catch (const TooDeep&) {
        if (error)
            *error = QStringLiteral("values are nested more than %1 levels deep").arg(maximumDepth);
        return std::nullopt;
    }
    if (!root.is_object()) {
        if (error)
            *error = QStringLiteral("the file does not hold a JSON object");
        return std::nullopt;
    }
    QVariantMap values;
    for (auto it = root.begin(); it != root.end(); ++it) {
        const QString key = fromUtf8(it.key());
        QVariant value = fromJson(it.value());
        if (!value.isValid()) {
            if (skippedKeys)
                skippedKeys->append(key);
            if (skippedValues) {
                const std::string text = it.value().dump(-1, ' ', false, json::error_handler_t::replace);
                skippedValues->insert(key, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
            }
            continue;
        }
        values.insert(key, std::move(value));
    }
    return values;
}

void JsonFilePreferences::load()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!QFileInfo(m_path).isFile()) {
        setAside(QStringLiteral("not a regular file"));
        return;
    }
    if (file.size() > maximumFileSize) {
        setAside(QStringLiteral("the file is larger than %1 bytes").arg(maximumFileSize));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        setAside(file.errorString());
        return;
    }
    // Read one byte past the limit, so that a file growing under us is still caught.
    const QByteArray bytes = file.read(maximumFileSize + 1);
    if (bytes.size() > maximumFileSize) {
        setAside(QStringLiteral("the file is larger than %1 bytes").arg(maximumFileSize));
        return;
    }
    file.close();
    QString error;
    QStringList skipped;
    std::optional<QVariantMap> values = decode(bytes, &error, &skipped, &m_unreadable);
    if (!values) {
        m_unreadable.clear();
        setAside(error);
        return;
    }
    // They stay in the file: the user (or a later version of the program) may still want them.
    if (!skipped.isEmpty())
        Console::log(QStringLiteral("Preferences: ignored unreadable values in %1: %2")
                         .arg(m_path, skipped.join(QStringLiteral(", "))));
    adoptStored(std::move(*values));
}

void JsonFilePreferences::setAside(const QString& reason)
{
    Console::log(QStringLiteral("Preferences: could not read %1: %2").arg(m_path, reason));
    // Each damaged file keeps a name of its own, so a second one never replaces the first.
    const QString stem = m_path + QStringLiteral(".damaged-")
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = stem;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = stem + QStringLiteral("-%1").arg(n);
    if (!QFile::rename(m_path, aside)) {
        Console::log(QStringLiteral("Preferences: could not move %1 aside to %2").arg(m_path, aside));
        return;
    }
    m_damagedCopy = aside;
}

void JsonFilePreferences::reportReset(DesktopNotifier& notifier)
{
    if (m_damagedCopy.isEmpty())
        return;
    notifier.notify(QStringLiteral("Quorvel settings were reset"),
        QStringLiteral("The preferences file could not be read, so every setting is back to its default. "
                       "The damaged file was kept as %1")
            .arg(m_damagedCopy));
    m_damagedCopy.clear();
}

void JsonFilePreferences::persist(const QVariantMap& values)
{
    QStringList unsupported;
    // A key the program has set now holds its own value; the ones it never set keep what the file had.
    for (auto it = m_unreadable.begin(); it != m_unreadable.end();) {
        if (values.contains(it.key()))
            it = m_unreadable.erase(it);
        else
            ++it;
    }
    const QByteArray bytes = encode(values, &unsupported, m_unreadable);
    for (const QString& key : std::as_const(unsupported)) {
        if (m_reportedUnsupported.contains(key))
            continue;
        m_reportedUnsupported.append(key);
        Console::log(QStringLiteral("Preferences: value of key %1 has a type that cannot be stored (%2)")
                         .arg(key, QString::fromLatin1(values.value(key).typeName())));
    }

    const QFileInfo info(m_path);
    const QString dirPath = info.absolutePath();
    if (!QFileInfo::exists(dirPath)) {
        if (!QDir().mkpath(dirPath)) {
            Console::log(QStringLiteral("Failed to save preferences: cannot create %1").arg(dirPath));
            return;
        }
        QFile::setPermissions(dirPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        Console::log(QStringLiteral("Failed to save preferences: ") + file.errorString());
        return;
    }
    // The temporary file gets its final mode before any byte is written.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size() || !file.commit())
        Console::log(QStringLiteral("Failed to save preferences: ") + file.errorString());
}
