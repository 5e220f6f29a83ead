#include "settings/NotchShelfSettingsView.h"

#include "platform/Preferences.h"
#include "settings/GlobalShortcuts.h"
#include "settings/SettingsRow.h"
#include "settings/SettingsSection.h"
#include "settings/SettingsStyle.h"
#include "settings/SettingsToggle.h"

#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

NotchShelfSettingsView::NotchShelfSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent)
    : QWidget(parent)
    , m_needs(needs)
{
    Preferences& prefs = *m_needs.preferences;
    SettingsStyle::setPageMargins(this, 16);
    auto* page = static_cast<QVBoxLayout*>(layout());

    auto* shelf = new SettingsSection(QStringLiteral("Notch Shelf"), QStringLiteral("sparkles"), this);
    m_enable = new SettingsToggle(QStringLiteral("Enable Notch Shelf"), prefs, enabledKey, shelf, [this](bool enabled) {
        if (m_needs.setShelfEnabled)
            m_needs.setShelfEnabled(enabled);
    });
    shelf->addRow(m_enable);
    page->addWidget(shelf);

    auto* display = new SettingsSection(QStringLiteral("Display"), QStringLiteral("display"), this);
    m_display = new QComboBox;
    m_display->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const QList<SettingsWindowManager::Needs::DisplayChoice> choices = m_needs.displayOptions
        ? m_needs.displayOptions()
        : QList<SettingsWindowManager::Needs::DisplayChoice>();
    for (const SettingsWindowManager::Needs::DisplayChoice& choice : choices)
        m_display->addItem(choice.label, choice.id);
    // A stored display that is not connected has no entry; nothing is selected then.
    m_display->setCurrentIndex(m_display->findData(prefs.stringForKey(displayKey)));
    connect(m_display, &QComboBox::activated, this, [this, &prefs](int index) {
        prefs.set(displayKey, m_display->itemData(index).toString());
        if (m_needs.isShelfEnabled && m_needs.isShelfEnabled() && m_needs.rebuildShelf)
            m_needs.rebuildShelf();
    });
    display->addRow(new SettingsRow(QStringLiteral("Show on Display"), m_display));
    page->addWidget(display);

    page->addStretch(1);
    const QString shortcut = m_needs.shortcuts ? m_needs.shortcuts->shortcutDisplay(GlobalShortcuts::showHistory)
                                               : GlobalShortcuts::unassigned;
    page->addWidget(SettingsStyle::footer(footerText(shortcut), this));
}

QString NotchShelfSettingsView::footerText(const QString& historyShortcut)
{
    const QString panel = historyShortcut == GlobalShortcuts::unassigned
        ? QStringLiteral("the Clipboard panel")
        : QStringLiteral("the %1 Clipboard panel").arg(historyShortcut);
    return QStringLiteral("Enabling this replaces %1 with the shelf — hover the notch (or top-center on displays "
                          "without one) to open it. It has the same search and filters as Clipboard. Click a clip "
                          "to copy it, or drag it directly into another app.")
        .arg(panel);
}
