#pragma once
#include "platform/Preferences.h"

// In-memory preferences: the stored layer lives in this object only. Counts how often the
// stored values were written, and keeps the last written map.
class FakePreferences : public Preferences {
public:
    explicit FakePreferences(const QVariantMap& stored = {});

    int persistCount() const { return m_persistCount; }
    const QVariantMap& lastPersisted() const { return m_lastPersisted; }
    // Replaces the stored layer without a write and without signals (as if loaded from disk).
    void resetStored(const QVariantMap& stored) { adoptStored(stored); }

protected:
    void persist(const QVariantMap& values) override;

private:
    int m_persistCount = 0;
    QVariantMap m_lastPersisted;
};
