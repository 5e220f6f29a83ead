#pragma once
#include "platform/Shared.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <mutex>
#include <optional>

// Typed key-value defaults: stored values over a registered-defaults layer.
// Values are bool, integer (qlonglong), double, QString or QByteArray ("data"); an invalid
// QVariant means absent. Lists are stored as JSON inside data values.
class Preferences : public QObject {
    Q_OBJECT
public:
    ~Preferences() override = default;

    static Preferences& shared() { return SharedSlot<Preferences>::get(); }
    static bool isShared() { return SharedSlot<Preferences>::isSet(); }
    static void setShared(Preferences* p) { SharedSlot<Preferences>::set(p); }

    // Registers values under the stored ones; a stored value always wins.
    void registerDefaults(const QVariantMap& defaults);
    QVariant registeredDefault(const QString& key) const { return m_defaults.value(key); }

    // The stored value if any, else the registered default, else invalid (absent).
    QVariant object(const QString& key) const;
    // Only what the user stored, without the defaults layer.
    QVariant storedObject(const QString& key) const;

    // Typed reads; nothing is converted. A stored value of another type (true or "1" or 1.9
    // where an integer belongs, an integer beyond the 64-bit range) is ignored with one console
    // line naming the key, and the registered default is read instead. Absent reads as the
    // type's zero. doubleForKey also takes an integer.
    bool boolForKey(const QString& key) const;
    qlonglong integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    // A number from minimum to maximum: a stored one outside that range (NaN and the infinities
    // included) is ignored like a wrongly typed value. Absent when neither the stored value nor
    // the registered default is such a number.
    std::optional<double> doubleForKey(const QString& key, double minimum, double maximum) const;
    QString stringForKey(const QString& key) const;
    QByteArray dataForKey(const QString& key) const;
    // The data value parsed as a JSON array of strings; absent when unset or malformed.
    std::optional<QStringList> stringListFromJSONData(const QString& key) const;
    // Written as compact JSON with each "/" as \/ (["com.example\/App"]).
    void setStringListAsJSONData(const QString& key, const QStringList& list);

    void set(const QString& key, const QVariant& value);
    void remove(const QString& key);

signals:
    void changed(const QString& key);

protected:
    Preferences() = default;
    // Backing storage of the stored layer. load() is called by subclasses' constructors.
    void adoptStored(QVariantMap values) { m_stored = std::move(values); }
    const QVariantMap& storedValues() const { return m_stored; }
    virtual void persist(const QVariantMap& values) = 0;

private:
    template <typename T, typename Accepts, typename Convert>
    T typedValue(const QString& key, const QString& expected, Accepts accepts, Convert convert) const;
    void reportIgnored(const QString& key, const QVariant& value, const QString& expected) const;
    void forgetReport(const QString& key);

    QVariantMap m_stored;
    QVariantMap m_defaults;
    // Keys whose ignored value was reported already; a new value is reported again.
    mutable std::mutex m_reportedLock;
    mutable QSet<QString> m_reportedKeys;
};
