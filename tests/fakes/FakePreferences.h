#pragma once
#include "platform/Preferences.h"

// In-memory preferences: the stored layer lives in this object only. Counts how often the
// stored values were written, and keeps the last written map.
class FakePreferences : public Preferences {
public:
    explicit FakePreferences(const QVariantMap& stored = {}) { adoptStored(stored); }

    int persistCount() const { return m_persistCount; }
    const QVariantMap& lastPersisted() const { return m_lastPersisted; }

protected:
    void persist(const QVariantMap& values) override
    {
        ++m_persistCount;
        m_lastPersisted = values;
    }

private:
    int m_persistCount = 0;
    QVariantMap m_lastPersisted;
};
