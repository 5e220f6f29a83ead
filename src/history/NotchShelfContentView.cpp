#include "history/NotchShelfContentView.h"

#include "clipboard/PasteService.h"
#include "history/ClipHistoryController.h"
#include "history/NotchShelfItemCard.h"
#include "history/NotchShelfWindowManager.h"
#include "history/SearchBar.h"
#include "history/SmartFilterBar.h"
#include "platform/ForeignWindowTracker.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

NotchShelfContentView::NotchShelfContentView(
    ModelContext& context, NotchShelfWindowManager& manager, Services services, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_services(std::move(services))
    , m_controller(std::make_unique<ClipHistoryController>(
          m_services.preferences, m_services.queue ? *m_services.queue : DispatchQueue::main()))
{
    setAttribute(Qt::WA_StyledBackground, false);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Theme::text());
    dark.setColor(QPalette::Text, Theme::text());
    dark.setColor(QPalette::Base, Theme::sidebarSurface());
    setPalette(dark);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);

    m_searchBar = new SearchBar(false, this);
    column->addWidget(m_searchBar);
    m_filterBar = new SmartFilterBar(*m_controller, this);
    column->addWidget(m_filterBar);

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(false);
    m_scroll->setFixedHeight(NotchShelfItemCard::cardSize.height());
    m_scroll->viewport()->installEventFilter(this);
    m_row = new QWidget();
    m_row->setAutoFillBackground(false);
    m_rowLayout = new QHBoxLayout(m_row);
    m_rowLayout->setContentsMargins(0, 0, 0, 0);
    m_rowLayout->setSpacing(cardSpacing);
    m_scroll->setWidget(m_row);
    // The scroll area paints its viewport and row by default: the card's black shows through.
    m_row->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setAutoFillBackground(false);
    column->addWidget(m_scroll);

    m_empty = new QLabel(this);
    m_empty->setAlignment(Qt::AlignCenter);
    QFont caption = Theme::labelFont(10);
    caption.setPixelSize(12);
    m_empty->setFont(caption);
    m_empty->setStyleSheet(Theme::labelStyle(Theme::whiteAlpha(102)));
    m_empty->setFixedHeight(NotchShelfItemCard::cardSize.height());
    column->addWidget(m_empty);
    column->addStretch(1);

    connect(m_searchBar, &SearchBar::textChanged, m_controller.get(), &ClipHistoryController::setSearchText);
    connect(m_controller.get(), &ClipHistoryController::searchTextChanged, m_searchBar, [this](const QString& text) {
        if (m_searchBar->text() != text)
            m_searchBar->setText(text);
    });
    connect(m_controller.get(), &ClipHistoryController::filteredViewModelsChanged, this,
        &NotchShelfContentView::rebuildCards);
    connect(m_controller.get(), &ClipHistoryController::itemChanged, this, &NotchShelfContentView::rebuildCards);

    auto* ages = new QTimer(this);
    ages->setInterval(ageRefreshMs);
    connect(ages, &QTimer::timeout, this, [this] { refreshAges(); });
    ages->start();

    // Each new card starts fresh: empty search, "All", the newest entries; new copies refresh it.
    m_controller->setModelContext(&context);
    m_controller->reset();
    m_controller->observeClipboardChanges(m_services.notifications);
    rebuildCards();
}

NotchShelfContentView::~NotchShelfContentView()
{
    // A menu or drag still counted when the card goes away no longer holds the shelf open.
    while (m_interactions > 0) {
        --m_interactions;
        m_manager.endInteraction();
    }
}

int NotchShelfContentView::requiredHeight()
{
    const int search = SearchBar(false).sizeHint().height();
    return 2 * padding + search + spacing + SmartFilterBar::barHeight + spacing + NotchShelfItemCard::cardSize.height();
}

QList<NotchShelfItemCard*> NotchShelfContentView::cards() const
{
    QList<NotchShelfItemCard*> result;
    for (int i = 0; i < m_rowLayout->count(); ++i)
        if (auto* card = qobject_cast<NotchShelfItemCard*>(m_rowLayout->itemAt(i)->widget()))
            result.append(card);
    return result;
}

QString NotchShelfContentView::emptyText() const
{
    return m_scroll->isHidden() ? m_empty->text() : QString();
}

void NotchShelfContentView::refreshAges(const QDateTime& now)
{
    for (NotchShelfItemCard* card : cards())
        card->refreshAge(now);
}

void NotchShelfContentView::rebuildCards()
{
    if (m_interactions > 0) {
        m_rebuildPending = true;
        return;
    }
    m_rebuildPending = false;
    while (QLayoutItem* item = m_rowLayout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    const std::vector<ClipItemViewModelPtr>& models = m_controller->filteredViewModels();
    if (models.empty()) {
        m_empty->setText(
            m_controller->searchText().isEmpty() ? QStringLiteral("No clips yet") : QStringLiteral("No results found"));
        m_empty->show();
        m_scroll->hide();
        return;
    }
    m_empty->hide();
    m_empty->setText(QString());
    m_scroll->show();
    for (const ClipItemViewModelPtr& model : models) {
        const ClipItemPtr item = model->clipItem;
        NotchShelfItemCard::Actions actions;
        actions.onTap = [this, item] { m_services.paste.copyToClipboard(item); };
        actions.onCopy = actions.onTap;
        actions.onPaste = [this, item] { paste(item, false); };
        actions.onPastePlainText = [this, item] { paste(item, true); };
        actions.onPin = [this, item] { m_controller->togglePin(item); };
        actions.onDelete = [this, item] { m_controller->deleteItem(item); };
        actions.onQuickLook = [this, item] {
            if (m_services.showQuickLook)
                m_services.showQuickLook(item);
        };
        actions.onInteractionBegan = [this] { interactionBegan(); };
        actions.onInteractionEnded = [this] { interactionEnded(); };
        auto* card = new NotchShelfItemCard(model, std::move(actions), m_row);
        m_rowLayout->addWidget(card);
        // Shown now: a card added to a row already on screen would only show later, and the row's
        // size, taken below from its visible cards, would stay empty.
        card->show();
    }
    m_row->adjustSize();
    m_scroll->horizontalScrollBar()->setValue(0);
}

void NotchShelfContentView::paste(const ClipItemPtr& item, bool asPlainText)
{
    // The target is the application the user worked in last, whatever holds the focus now.
    m_services.paste.captureTargetApp(m_services.foreignWindows ? m_services.foreignWindows->lastForeignApplication()
                                                                : std::optional<RunningApplication>());
    m_services.paste.paste(item, asPlainText);
}

void NotchShelfContentView::interactionBegan()
{
    ++m_interactions;
    m_manager.beginInteraction();
}

void NotchShelfContentView::interactionEnded()
{
    if (m_interactions == 0)
        return;
    --m_interactions;
    m_manager.endInteraction();
    if (m_interactions == 0 && m_rebuildPending)
        QMetaObject::invokeMethod(this, &NotchShelfContentView::rebuildCards, Qt::QueuedConnection);
}

void NotchShelfContentView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(path, Qt::black);
}

bool NotchShelfContentView::eventFilter(QObject* watched, QEvent* event)
{
    // A vertical wheel scrolls the row sideways.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint delta = wheel->angleDelta();
        const int step = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
        QScrollBar* bar = m_scroll->horizontalScrollBar();
        bar->setValue(bar->value() - step);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
