#include "settings/AppListRow.h"

#include "settings/SettingsStyle.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

AppListRow::AppListRow(const QString& text, const std::optional<QIcon>& icon, const QString& fallbackSymbol,
    int pointSize, std::function<void()> onRemove, QWidget* parent)
    : QWidget(parent)
    , m_remove(new QToolButton(this))
{
    setFixedHeight(28);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    if (icon || !fallbackSymbol.isEmpty()) {
        auto* image = new QLabel(this);
        image->setFixedSize(18, 18);
        image->setPixmap(icon ? icon->pixmap(18, 18) : SettingsStyle::symbol(fallbackSymbol, 18, SettingsStyle::secondary()));
        layout->addWidget(image);
    }
    QLabel* label = textLabel(text, SettingsStyle::font(pointSize), Theme::text(), this);
    label->setObjectName(QStringLiteral("appText"));
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(label, 1);
    m_remove->setIcon(QIcon(SettingsStyle::symbol(QStringLiteral("xmark.circle.fill"), 14, SettingsStyle::secondary())));
    m_remove->setAutoRaise(true);
    m_remove->setStyleSheet(Theme::flatButtonStyle());
    m_remove->setToolTip(QStringLiteral("Remove"));
    connect(m_remove, &QToolButton::clicked, this, [onRemove = std::move(onRemove)] { onRemove(); });
    layout->addWidget(m_remove);
}
