#include "fakes/FakePreferences.h"

FakePreferences::FakePreferences(const QVariantMap& stored)
{
    adoptStored(stored);
}

void FakePreferences::persist(const QVariantMap& values)
{
    ++m_persistCount;
    m_lastPersisted = values;
}
