#include "settings/RecordingSettingsView.h"

#include "platform/Workspace.h"
#include "platform/Prefs.h"
#include "settings/SettingsRow.h"
#include "settings/SettingsSection.h"
#include "settings/SettingsStyle.h"
#include "settings/SettingsToggle.h"
#include "settings/ShortcutRecorderView.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

RecordingSettingsView::RecordingSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent)
    : QWidget(parent)
    , m_openFolder(new QPushButton(QStringLiteral("Ordner öffnen")))
{
    SettingsStyle::setPageMargins(this, 16);
    auto* page = static_cast<QVBoxLayout*>(layout());

    auto* shortcuts = new SettingsSection(QStringLiteral("Shortcuts"), QStringLiteral("keyboard"), this);
    m_recorders = ShortcutRecorderView::addRows(
        shortcuts, AppAction::inGroup(AppAction::Group::recording), *needs.shortcuts);
    page->addWidget(shortcuts);

    auto* audio = new SettingsSection(QStringLiteral("Audio"), QStringLiteral("speaker.wave.2"), this);
    audio->addRow(
        new SettingsToggle(QStringLiteral("System-Audio aufnehmen"), *needs.preferences, Prefs::recordSystemAudio.key));
    page->addWidget(audio);

    auto* storage = new SettingsSection(QStringLiteral("Ablage"), QStringLiteral("folder"), this);
    connect(m_openFolder, &QPushButton::clicked, this, [needs] {
        if (needs.ensureRecordingsDirectory)
            needs.ensureRecordingsDirectory();
        if (needs.workspace && needs.recordingsDirectory)
            needs.workspace->openURL(QUrl::fromLocalFile(needs.recordingsDirectory()));
    });
    storage->addRow(new SettingsRow(QStringLiteral("Speicherort"), m_openFolder));
    page->addWidget(storage);

    page->addStretch(1);
    page->addWidget(
        SettingsStyle::footer(footerText(needs.recordingsDirectory ? needs.recordingsDirectory() : QString()), this));
}

QString RecordingSettingsView::footerText(const QString& recordingsDirectory)
{
    QString folder = QDir::cleanPath(recordingsDirectory);
    const QString home = QDir::cleanPath(QDir::homePath());
    if (folder == home || folder.startsWith(home + QLatin1Char('/')))
        folder = QLatin1Char('~') + folder.mid(home.size());
    return QStringLiteral("Aufnahmen landen in %1 und erscheinen im Bereich \"Aufnahmen\" im Menü. Mikrofon und Kamera "
                          "werden bewusst nicht aufgenommen — nur der Bildschirm, optional mit System-Ton.")
        .arg(folder);
}
