#include "settings/ScreenshotSettingsView.h"

#include "platform/Preferences.h"
#include "platform/Prefs.h"
#include "settings/SettingsSection.h"
#include "settings/SettingsStyle.h"
#include "settings/SettingsToggle.h"
#include "settings/ShortcutRecorderView.h"

#include <QLabel>
#include <QVBoxLayout>

ScreenshotSettingsView::ScreenshotSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent)
    : QWidget(parent)
{
    Preferences& prefs = *needs.preferences;
    SettingsStyle::setPageMargins(this, 16);
    auto* page = static_cast<QVBoxLayout*>(layout());

    auto* shortcuts = new SettingsSection(QStringLiteral("Shortcuts"), QStringLiteral("keyboard"), this);
    m_recorders = ShortcutRecorderView::addRows(
        shortcuts, AppAction::inGroup(AppAction::Group::screenshot), *needs.shortcuts);
    page->addWidget(shortcuts);

    auto* tool = new SettingsSection(QStringLiteral("Auswahl-Werkzeug"), QStringLiteral("viewfinder"), this);
    const QString toolbarKey = Prefs::captureToolbarEnabled.key;
    tool->addRow(new SettingsToggle(QStringLiteral("All-in-One-Toolbar nach dem Ziehen anzeigen"), prefs, toolbarKey));
    m_explanation = SettingsStyle::footer(toolbarExplanation(prefs.boolForKey(toolbarKey)), this);
    m_explanation->setContentsMargins(0, 0, 0, 2);
    m_explanation->setObjectName(QStringLiteral("toolbarExplanation"));
    tool->addRow(m_explanation);
    connect(&prefs, &Preferences::changed, m_explanation, [this, &prefs, toolbarKey](const QString& key) {
        if (key == toolbarKey)
            m_explanation->setText(toolbarExplanation(prefs.boolForKey(toolbarKey)));
    });
    page->addWidget(tool);

    auto* scrolling = new SettingsSection(QStringLiteral("Scrollende Seite"), QStringLiteral("arrow.down.doc"), this);
    scrolling->addRow(new SettingsToggle(
        QStringLiteral("Automatisch scrollen (aus: manuell)"), prefs, Prefs::scrollingCaptureAutoScroll.key));
    page->addWidget(scrolling);

    page->addStretch(1);
    page->addWidget(SettingsStyle::footer(footerText(), this));
}

QString ScreenshotSettingsView::toolbarExplanation(bool enabled)
{
    return enabled ? QStringLiteral("Nach dem Ziehen bleibt die Auswahl bestehen (anpassbar, verschiebbar) und eine "
                                    "Toolbar erlaubt den Moduswechsel — bestätigt wird per Klick auf die Auswahl.")
                   : QStringLiteral("Ziehen, loslassen, fertig — die Aufnahme wird sofort ausgelöst, ohne Zwischenschritt.");
}

QString ScreenshotSettingsView::footerText()
{
    // The editor opens only on request: the space bar right after a capture.
    return QStringLiteral("Jeder Screenshot landet automatisch in der Zwischenablage; direkt nach der Aufnahme öffnet "
                          "die Leertaste ihn im Annotation-Editor. Zusätzlich erscheinen alle Aufnahmen im Bereich "
                          "\"Screenshots\" im Menü.");
}
