#include "settings/ApplicationChooser.h"

#include "clipboard/AppIconCache.h"
#include "platform/Background.h"
#include "settings/SettingsStyle.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

ApplicationChooser::ApplicationChooser(ApplicationCatalog& catalog, QWidget* parent)
    : QDialog(parent)
    , m_search(new QLineEdit(this))
    , m_list(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("Choose Application"));
    resize(420, 460);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->addWidget(textLabel(QStringLiteral("Select an application to block"), SettingsStyle::font(13, QFont::DemiBold),
        Theme::text(), this));
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);
    layout->addWidget(m_search);
    m_list->setIconSize(QSize(18, 18));
    m_list->setUniformItemSizes(true);
    layout->addWidget(m_list, 1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Cancel);
    m_confirm = buttons->addButton(QStringLiteral("Block"), QDialogButtonBox::AcceptRole);
    m_confirm->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::currentItemChanged, this,
        [this](QListWidgetItem* item) { m_confirm->setEnabled(item && !item->isHidden()); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(m_search, &QLineEdit::textChanged, this, &ApplicationChooser::filter);

    // Reading every desktop entry takes a while on a full system.
    ApplicationCatalog* source = &catalog;
    Background::run(
        this, [source] { return source->applications(); },
        [this](QList<InstalledApplication> applications) { fill(applications); });
}

void ApplicationChooser::fill(const QList<InstalledApplication>& applications)
{
    for (const InstalledApplication& app : applications) {
        auto* item = new QListWidgetItem(AppIconCache::resolveIcon(app.iconName), app.name, m_list);
        item->setData(Qt::UserRole, app.bundleIdentifier);
        item->setToolTip(app.bundleIdentifier);
    }
    filter(m_search->text());
    m_loaded = true;
    emit loaded();
}

void ApplicationChooser::filter(const QString& text)
{
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem* item = m_list->item(i);
        item->setHidden(!text.isEmpty() && !item->text().contains(text, Qt::CaseInsensitive)
            && !item->data(Qt::UserRole).toString().contains(text, Qt::CaseInsensitive));
    }
}

QString ApplicationChooser::chosenBundleID() const
{
    const QListWidgetItem* item = m_list->currentItem();
    return item && !item->isHidden() ? item->data(Qt::UserRole).toString() : QString();
}
