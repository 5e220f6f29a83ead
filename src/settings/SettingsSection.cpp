#include "settings/SettingsSection.h"

#include "settings/SettingsStyle.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The card: the primary colour at 4 % behind the rows, corners of 10.
class SectionCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(SettingsStyle::primary(0.04));
        p.drawRoundedRect(QRectF(rect()), 10, 10);
    }
};

}

SettingsSection::SettingsSection(const QString& title, const QString& icon, QWidget* parent)
    : QWidget(parent)
    , m_title(title)
    , m_card(new SectionCard(this))
    , m_rows(new QVBoxLayout(m_card))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    auto* symbol = new QLabel(this);
    symbol->setFixedWidth(14);
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setPixmap(SettingsStyle::symbol(icon, 12, Theme::accent()));
    header->addWidget(symbol);
    auto* heading = textLabel(title, SettingsStyle::font(12, QFont::DemiBold), Theme::text(), this);
    heading->setObjectName(QStringLiteral("sectionTitle"));
    header->addWidget(heading, 1);
    column->addLayout(header);

    m_rows->setContentsMargins(14, 10, 14, 10);
    m_rows->setSpacing(0);
    column->addWidget(m_card);
}

void SettingsSection::addRow(QWidget* row)
{
    row->setParent(m_card);
    m_rows->addWidget(row);
}
