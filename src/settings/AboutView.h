#pragma once
#include "settings/SettingsWindowManager.h"

#include <QWidget>

class QPushButton;

// The "About" page: icon, name, version and tagline, feedback and update buttons, the two legal
// pages, and the history shortcut.
class AboutView : public QWidget {
    Q_OBJECT
public:
    explicit AboutView(const SettingsWindowManager::Needs& needs, QWidget* parent = nullptr);

    // "Version 0.1.0"; "Version 0" without a version.
    static QString versionLine(const QString& version);
    static QUrl privacyPage(const QString& origin);
    static QUrl termsPage(const QString& origin);

    QPushButton* feedbackButton() const { return m_feedback; }
    QPushButton* updatesButton() const { return m_updates; }

private:
    QPushButton* m_feedback;
    QPushButton* m_updates;
};
