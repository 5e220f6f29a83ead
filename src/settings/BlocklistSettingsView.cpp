#include "settings/BlocklistSettingsView.h"

#include "platform/ApplicationCatalog.h"
#include "platform/Preferences.h"
#include "settings/AppListRow.h"
#include "settings/ApplicationChooser.h"
#include "settings/SettingsSection.h"
#include "settings/SettingsStyle.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

BlocklistSettingsView::BlocklistSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent)
    : QWidget(parent)
    , m_needs(needs)
{
    SettingsStyle::setPageMargins(this, 16);
    auto* page = static_cast<QVBoxLayout*>(layout());

    m_listSection = new SettingsSection(
        QStringLiteral("Blocked Applications"), QStringLiteral("hand.raised.slash"), this);
    page->addWidget(m_listSection);

    auto* add = new SettingsSection(QStringLiteral("Add Application"), QStringLiteral("plus.circle"), this);
    auto* chooseRow = new QWidget;
    chooseRow->setFixedHeight(32);
    auto* chooseLayout = new QHBoxLayout(chooseRow);
    chooseLayout->setContentsMargins(0, 0, 0, 0);
    chooseLayout->setSpacing(10);
    m_choose = new QPushButton(
        QIcon(SettingsStyle::symbol(QStringLiteral("folder"), 14, Theme::text())), QStringLiteral("Choose Application..."));
    m_choose->setStyleSheet(Theme::filledButtonStyle(Theme::accent(), QStringLiteral("3px 10px")));
    connect(m_choose, &QPushButton::clicked, this, &BlocklistSettingsView::chooseApplication);
    chooseLayout->addWidget(m_choose);
    chooseLayout->addStretch(1);
    add->addRow(chooseRow);

    auto* entryRow = new QWidget;
    entryRow->setFixedHeight(32);
    auto* entryLayout = new QHBoxLayout(entryRow);
    entryLayout->setContentsMargins(0, 0, 0, 0);
    entryLayout->setSpacing(10);
    m_field = new QLineEdit;
    m_field->setPlaceholderText(QStringLiteral("Or enter Bundle ID (e.g., org.mozilla.firefox)"));
    m_field->setFont(SettingsStyle::font(12));
    m_field->setStyleSheet(Theme::pillStyle(QStringLiteral("QLineEdit"), 0.05, QStringLiteral("4px 10px")));
    entryLayout->addWidget(m_field, 1);
    m_add = new QPushButton(QStringLiteral("Add"));
    m_add->setEnabled(false);
    connect(m_field, &QLineEdit::textChanged, this,
        [this](const QString& text) { m_add->setEnabled(!text.trimmed().isEmpty()); });
    connect(m_add, &QPushButton::clicked, this, &BlocklistSettingsView::addApp);
    entryLayout->addWidget(m_add);
    add->addRow(entryRow);
    page->addWidget(add);

    page->addStretch(1);
    page->addWidget(SettingsStyle::footer(QStringLiteral("Clipboard content from blocked apps will be ignored."), this));

    m_blockedApps = storedList();
    showList();
}

QStringList BlocklistSettingsView::storedList() const
{
    return m_needs.preferences->stringListFromJSONData(preferenceKey).value_or(QStringList());
}

bool BlocklistSettingsView::addApp()
{
    if (!append(m_field->text().trimmed()))
        return false;
    m_field->clear();
    return true;
}

bool BlocklistSettingsView::addChosenApp(const QString& bundleID)
{
    return append(bundleID.trimmed());
}

bool BlocklistSettingsView::append(const QString& bundleID)
{
    if (bundleID.isEmpty())
        return false;
    // Re-read: the list may have changed since this page was built.
    QStringList list = storedList();
    if (list.contains(bundleID)) {
        m_blockedApps = list;
        showList();
        return false;
    }
    list.append(bundleID);
    save(list);
    return true;
}

void BlocklistSettingsView::removeApp(const QString& bundleID)
{
    QStringList list = storedList();
    list.removeAll(bundleID);
    save(list);
}

void BlocklistSettingsView::save(const QStringList& list)
{
    m_needs.preferences->setStringListAsJSONData(preferenceKey, list);
    m_blockedApps = list;
    showList();
}

void BlocklistSettingsView::chooseApplication()
{
    if (!m_needs.applications)
        return;
    if (m_chooser) {
        m_chooser->raise();
        m_chooser->activateWindow();
        return;
    }
    // No nested event loop: open() shows the chooser window-modal and returns, and the answer
    // comes back through accepted(). Waiting in exec() for the window manager could hold the
    // whole program.
    auto* chooser = new ApplicationChooser(*m_needs.applications, this);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    m_chooser = chooser;
    connect(chooser, &QDialog::accepted, this, [this, chooser] {
        const QString bundleID = chooser->chosenBundleID();
        if (!bundleID.isEmpty())
            addChosenApp(bundleID);
    });
    chooser->open();
}

void BlocklistSettingsView::showList()
{
    // The old rows go later: a row's own remove button may be what called this.
    if (m_rows) {
        m_rows->hide();
        m_rows->deleteLater();
    }
    m_rows = new QWidget;
    auto* rows = new QVBoxLayout(m_rows);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    if (m_blockedApps.isEmpty()) {
        auto* placeholder = new QWidget(m_rows);
        auto* column = new QVBoxLayout(placeholder);
        column->setContentsMargins(0, 16, 0, 16);
        column->setSpacing(6);
        auto* symbol = new QLabel(placeholder);
        symbol->setAlignment(Qt::AlignCenter);
        symbol->setPixmap(SettingsStyle::symbol(QStringLiteral("checkmark.shield"), 20, SettingsStyle::secondary(0.5)));
        column->addWidget(symbol);
        QLabel* text = textLabel(QStringLiteral("No blocked apps"), SettingsStyle::font(12), SettingsStyle::secondary(),
            placeholder);
        text->setAlignment(Qt::AlignCenter);
        text->setObjectName(QStringLiteral("placeholder"));
        column->addWidget(text);
        rows->addWidget(placeholder);
    }
    for (const QString& bundleID : m_blockedApps) {
        const std::optional<QIcon> icon = m_needs.appIcon ? m_needs.appIcon(bundleID) : std::nullopt;
        rows->addWidget(new AppListRow(bundleID, icon, QStringLiteral("app"), 12, [this, bundleID] { removeApp(bundleID); },
            m_rows));
    }
    m_listSection->addRow(m_rows);
}
