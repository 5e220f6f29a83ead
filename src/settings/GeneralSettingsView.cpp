#include "settings/GeneralSettingsView.h"

#include "platform/Console.h"
#include "platform/LoginItem.h"
#include "platform/Preferences.h"
#include "platform/Prefs.h"
#include "settings/SettingsRow.h"
#include "settings/SettingsSection.h"
#include "settings/SettingsSlider.h"
#include "settings/SettingsStyle.h"
#include "settings/SettingsToggle.h"
#include "settings/ShortcutRecorderView.h"
#include "ui/Theme.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kLimit = Prefs::maxHistoryItems.key;
const QString kThumbnails = Prefs::imageThumbnailSize.key;
const QString kRightPanel = Prefs::showAsRightPanel.key;
const QString kLogin = Prefs::autoLaunchAtLogin.key;
}

const QList<QPair<QString, int>>& GeneralSettingsView::limitChoices()
{
    static const QList<QPair<QString, int>> choices = [] {
        QList<QPair<QString, int>> list;
        for (const int limit : Prefs::maxHistoryItems.choices)
            list.append({limit == 0 ? QStringLiteral("Unlimited") : QString::number(limit), limit});
        return list;
    }();
    return choices;
}

GeneralSettingsView::GeneralSettingsView(const SettingsWindowManager::Needs& needs, QWidget* parent)
    : QWidget(parent)
    , m_needs(needs)
{
    SettingsStyle::setPageMargins(this, 14);
    auto* page = static_cast<QVBoxLayout*>(layout());
    // The three sections are a little taller than the fixed window leaves below its tab bar: a
    // few pixels less around and between them show the whole page without scrolling.
    page->setContentsMargins(20, 12, 20, 14);
    page->setSpacing(10);
    page->addWidget(clipboardSection());
    page->addWidget(windowSection());
    page->addWidget(systemSection());
    m_loginMessage = SettingsStyle::footer(QString(), this);
    m_loginMessage->setObjectName(QStringLiteral("loginItemMessage"));
    m_loginMessage->setStyleSheet(Theme::labelStyle(Theme::errorText()));
    m_loginMessage->hide();
    page->addWidget(m_loginMessage);
    page->addStretch(1);
}

SettingsToggle* GeneralSettingsView::addToggle(
    SettingsSection* section, const QString& title, const QString& key, std::function<void(bool)> onChange)
{
    auto* toggle = new SettingsToggle(title, *m_needs.preferences, key, section, std::move(onChange));
    toggle->setObjectName(key);
    section->addRow(toggle);
    m_toggles << toggle;
    return toggle;
}

SettingsToggle* GeneralSettingsView::toggle(const QString& key) const
{
    for (SettingsToggle* t : m_toggles)
        if (t->objectName() == key)
            return t;
    return nullptr;
}

QWidget* GeneralSettingsView::clipboardSection()
{
    Preferences& prefs = *m_needs.preferences;
    auto* section = new SettingsSection(QStringLiteral("Clipboard"), QStringLiteral("clock"), this);

    m_limit = new QComboBox;
    m_limit->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const auto& [label, value] : limitChoices())
        m_limit->addItem(label, value);
    // A stored value that is no choice selects nothing and stays stored until the user picks one.
    m_limit->setCurrentIndex(m_limit->findData(int(prefs.integerForKey(kLimit))));
    connect(m_limit, &QComboBox::activated, this,
        [this, &prefs](int index) { prefs.set(kLimit, qlonglong(m_limit->itemData(index).toInt())); });
    section->addRow(new SettingsRow(QStringLiteral("Clipboard Limit"), m_limit));

    auto* segments = new QWidget;
    segments->setFixedWidth(120);
    auto* segmentRow = new QHBoxLayout(segments);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(0);
    m_sizes = new QButtonGroup(segments);
    const QStringList labels {QStringLiteral("S"), QStringLiteral("M"), QStringLiteral("L"), QStringLiteral("XL")};
    Q_ASSERT(qsizetype(Prefs::imageThumbnailSize.choices.size()) == labels.size());
    for (int i = 0; i < labels.size(); ++i) {
        auto* segment = new QPushButton(labels[i], segments);
        segment->setCheckable(true);
        segment->setFixedHeight(22);
        segment->setStyleSheet(Theme::segmentStyle());
        m_sizes->addButton(segment, Prefs::imageThumbnailSize.choices[size_t(i)]);
        segmentRow->addWidget(segment);
    }
    if (QAbstractButton* current = m_sizes->button(int(prefs.integerForKey(kThumbnails))))
        current->setChecked(true);
    connect(m_sizes, &QButtonGroup::idClicked, this, [&prefs](int id) { prefs.set(kThumbnails, qlonglong(id)); });
    section->addRow(new SettingsRow(QStringLiteral("Image Size"), segments));

    addToggle(section, QStringLiteral("Reject duplicates"), Prefs::rejectDuplicates.key);
    addToggle(section, QStringLiteral("Download link previews"), Prefs::downloadLinkPreviews.key);
    addToggle(section, QStringLiteral("Show full text (selectable)"), Prefs::showFullText.key);
    return section;
}

QWidget* GeneralSettingsView::windowSection()
{
    auto* section = new SettingsSection(QStringLiteral("Window"), QStringLiteral("macwindow"), this);
    addToggle(section, QStringLiteral("Double-click to paste"), Prefs::doubleClickToPaste.key);
    addToggle(section, QStringLiteral("Close after pasting"), Prefs::autoCloseAfterPaste.key);
    addToggle(section, QStringLiteral("Close when clicking outside"), Prefs::closeOnFocusLoss.key);
    addToggle(section, QStringLiteral("Hide title bar"), Prefs::hideTitleBar.key, [this](bool hidden) {
        if (m_needs.updateTitleBar)
            m_needs.updateTitleBar(hidden);
    });
    addToggle(section, QStringLiteral("Show as right-side panel"), kRightPanel, [this](bool rightSide) {
        if (m_needs.updatePanelMode)
            m_needs.updatePanelMode(rightSide);
    });
    addToggle(section, QStringLiteral("Auto-reveal on right edge hover"), Prefs::historyEdgeRevealEnabled.key,
        [this](bool enabled) { onEdgeRevealChanged(enabled); });
    section->addRow(new SettingsSlider(QStringLiteral("Glass Darkness"), *m_needs.preferences, Prefs::glassDarkness));
    return section;
}

QWidget* GeneralSettingsView::systemSection()
{
    auto* section = new SettingsSection(QStringLiteral("System"), QStringLiteral("gearshape"), this);
    SettingsToggle* login = addToggle(
        section, QStringLiteral("Launch at Login"), kLogin, [this](bool enabled) { onLoginItemChanged(enabled); });
    // The switch shows whether the autostart entry is in force, whatever the preference says.
    if (m_needs.loginItem)
        login->switchButton()->setChecked(m_needs.loginItem->status() == LoginItem::Status::Enabled);
    addToggle(section, QStringLiteral("Play Sounds"), Prefs::playSounds.key);
    m_recorder = new ShortcutRecorderView(
        *m_needs.shortcuts, GlobalShortcuts::showHistory, QStringLiteral("Keyboard Shortcut"), section);
    section->addRow(m_recorder);
    return section;
}

void GeneralSettingsView::onEdgeRevealChanged(bool enabled)
{
    if (m_needs.setEdgeRevealEnabled)
        m_needs.setEdgeRevealEnabled(enabled);
    if (!enabled || m_needs.preferences->boolForKey(kRightPanel))
        return;
    // The edge tab opens the panel at the right edge: the panel mode follows.
    m_needs.preferences->set(kRightPanel, true);
    if (m_needs.updatePanelMode)
        m_needs.updatePanelMode(true);
}

void GeneralSettingsView::onLoginItemChanged(bool enabled)
{
    m_loginMessage->hide();
    if (!m_needs.loginItem)
        return;
    QString error;
    const bool done = enabled ? m_needs.loginItem->registerItem(&error) : m_needs.loginItem->unregisterItem(&error);
    const bool inForce = m_needs.loginItem->status() == LoginItem::Status::Enabled;
    if (done && inForce == enabled)
        return;
    if (done)
        error = QStringLiteral("the desktop's autostart settings keep Quorvel switched off");
    Console::log(QStringLiteral("Failed to update login item: ") + error);
    // The switch goes back to what is in force, and says why.
    m_needs.preferences->set(kLogin, inForce);
    toggle(kLogin)->switchButton()->setChecked(inForce);
    m_loginMessage->setText(QStringLiteral("Launch at Login could not be changed: %1").arg(error));
    m_loginMessage->show();
}

QString GeneralSettingsView::loginItemMessage() const
{
    return m_loginMessage->isHidden() ? QString() : m_loginMessage->text();
}
