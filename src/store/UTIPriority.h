#pragma once
#include <QSet>
#include <QString>

// Ranking of pasteboard types and the types that mark concealed content.
namespace UTIPriority {
// "org.nspasteboard.ConcealedType", "com.apple.security.keychain-item", "com.agilebits.onepassword"
const QSet<QString>& blockedUTIs();
int priority(const QString& type);
}
