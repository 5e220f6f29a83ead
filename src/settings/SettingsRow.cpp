#include "settings/SettingsRow.h"

#include "settings/SettingsStyle.h"

#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>

SettingsRow::SettingsRow(const QString& title, QWidget* control, QWidget* parent, int height)
    : QWidget(parent)
    , m_title(textLabel(title, SettingsStyle::font(13), Theme::text(), this))
    , m_control(control)
{
    setFixedHeight(height);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_title->setMinimumWidth(40);
    layout->addWidget(m_title, 1);
    if (control) {
        control->setParent(this);
        layout->addWidget(control, 0, Qt::AlignVCenter);
    }
}
