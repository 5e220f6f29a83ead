#include "menubar/ClearHistoryDialog.h"

#include "menubar/HistoryEraser.h"
#include "platform/Background.h"
#include "platform/Console.h"
#include "store/ModelContainer.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ClearHistoryDialog::ClearHistoryDialog(
    std::weak_ptr<ModelContainer> container, std::function<void()> afterClear, QWidget* parent)
    : QDialog(parent)
    , m_container(std::move(container))
    , m_afterClear(std::move(afterClear))
{
    setWindowTitle(QStringLiteral("Clipboard komplett löschen?"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(true);
    setFixedWidth(420);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(16);
    auto* icon = new QLabel(this);
    icon->setPixmap(Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), 40, Theme::caution()));
    layout->addWidget(icon, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    column->addWidget(textLabel(QStringLiteral("Clipboard komplett löschen?"), Theme::labelFont(13, QFont::DemiBold),
        Theme::text(), this));
    QLabel* info = textLabel(QStringLiteral("Damit wird das gesamte Clipboard endgültig gelöscht. Angepinnte Elemente "
                                            "werden ebenfalls entfernt. Das kann nicht rückgängig gemacht werden."),
        Theme::labelFont(11), Theme::secondaryText(), this);
    info->setWordWrap(true);
    column->addWidget(info);
    m_failure = textLabel(QString(), Theme::labelFont(11), Theme::errorText(), this);
    m_failure->setObjectName(QStringLiteral("failure"));
    m_failure->setWordWrap(true);
    m_failure->hide();
    column->addWidget(m_failure);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    m_delete = new QPushButton(QStringLiteral("Alles löschen"), this);
    m_delete->setDefault(true);
    m_delete->setStyleSheet(Theme::destructiveButtonStyle());
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_delete);
    column->addSpacing(6);
    column->addLayout(buttons);
    layout->addLayout(column, 1);

    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_delete, &QPushButton::clicked, this, &ClearHistoryDialog::eraseAll);
}

QString ClearHistoryDialog::failure() const
{
    return m_failure->isHidden() ? QString() : m_failure->text();
}

void ClearHistoryDialog::eraseAll()
{
    if (m_erasing)
        return;
    const std::shared_ptr<ModelContainer> container = m_container.lock();
    if (!container) {
        done(false, QStringLiteral("the store is not open"));
        return;
    }
    m_erasing = true;
    m_failure->hide();
    m_delete->setEnabled(false);
    m_cancel->setEnabled(false);
    struct Outcome {
        bool ok = false;
        QString error;
    };
    Background::run(
        this,
        [container] {
            Outcome outcome;
            outcome.ok = HistoryEraser::eraseAll(*container, &outcome.error);
            return outcome;
        },
        [this](Outcome outcome) { done(outcome.ok, outcome.error); });
}

void ClearHistoryDialog::done(bool ok, const QString& error)
{
    m_erasing = false;
    m_delete->setEnabled(true);
    m_cancel->setEnabled(true);
    if (!ok) {
        Console::log(QStringLiteral("Failed to clear history: ") + error);
        m_failure->setText(QStringLiteral("Das Clipboard konnte nicht gelöscht werden: %1").arg(error));
        m_failure->show();
        emit eraseFinished(false);
        return;
    }
    if (m_afterClear)
        m_afterClear();
    emit eraseFinished(true);
    accept();
}
