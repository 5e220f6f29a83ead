#pragma once
#include <QString>

// The program's notification names, each equal to its own identifier. All are posted on
// NotificationCenter::shared().
namespace NotificationNames {
inline const QString historyWindowDidShow = QStringLiteral("historyWindowDidShow");
inline const QString historyWindowDidHide = QStringLiteral("historyWindowDidHide");
inline const QString historyWindowDidResignKey = QStringLiteral("historyWindowDidResignKey");
inline const QString historyContentHoverChanged = QStringLiteral("historyContentHoverChanged");
inline const QString clipboardItemAdded = QStringLiteral("clipboardItemAdded");
inline const QString screenshotSaved = QStringLiteral("screenshotSaved");
inline const QString recordingSaved = QStringLiteral("recordingSaved");
// A stored screenshot or recording was deleted, or a screenshot reset to its untouched image, from
// one of the views that show them; user info "kind" ("screenshot" or "recording") and "id" (the
// record's persistent identifier). Every other view of the record follows.
inline const QString galleryItemDeleted = QStringLiteral("galleryItemDeleted");
inline const QString screenshotReset = QStringLiteral("screenshotReset");
}
