#include "history/NotchShelfContentView.h"

#include "clipboard/PasteService.h"
#include "history/ClipHistoryController.h"
#include "history/ClipListModel.h"
#include "history/ClipPictures.h"
#include "history/NotchShelfCardDelegate.h"
#include "history/NotchShelfItemCard.h"
#include "history/NotchShelfWindowManager.h"
#include "history/SearchBar.h"
#include "history/SmartFilterBar.h"
#include "platform/ForeignWindowTracker.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

NotchShelfContentView::NotchShelfContentView(
    ModelContext& context, NotchShelfWindowManager& manager, Needs needs, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_needs(std::move(needs))
    , m_controller(std::make_unique<ClipHistoryController>(
          m_needs.preferences, m_needs.queue ? *m_needs.queue : DispatchQueue::main()))
    , m_pictures(new ClipPictures({m_needs.images, m_needs.icons}, this))
    , m_model(new ClipListModel(this))
    , m_delegate(new NotchShelfCardDelegate(*m_model, *m_pictures, this))
{
    setAttribute(Qt::WA_StyledBackground, false);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Theme::blackAlpha(255));
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

    buildCardList();
    column->addWidget(m_cards);

    m_empty = new QLabel(this);
    m_empty->setAlignment(Qt::AlignCenter);
    QFont caption = Theme::labelFont(10);
    caption.setPixelSize(12);
    m_empty->setFont(caption);
    m_empty->setStyleSheet(Theme::labelStyle(Theme::whiteAlpha(102)));
    m_empty->setFixedHeight(NotchShelfCardDelegate::cardSize.height());
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
    m_controller->observeClipboardChanges(m_needs.notifications);
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
    return 2 * padding + search + spacing + SmartFilterBar::barHeight + spacing + NotchShelfCardDelegate::cardSize.height();
}

// One row of cards, painted by the delegate; scrolled sideways by the wheel.
void NotchShelfContentView::buildCardList()
{
    m_cards = new QListView(this);
    m_cards->setModel(m_model);
    m_cards->setItemDelegate(m_delegate);
    m_cards->setFlow(QListView::LeftToRight);
    m_cards->setWrapping(false);
    m_cards->setUniformItemSizes(true);
    m_cards->setSpacing(0);
    m_cards->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_cards->setSelectionMode(QAbstractItemView::NoSelection);
    m_cards->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_cards->setFrameShape(QFrame::NoFrame);
    m_cards->setFocusPolicy(Qt::NoFocus);
    m_cards->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_cards->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_cards->setFixedHeight(NotchShelfCardDelegate::cardSize.height());
    // The list paints its viewport by default: the card's black shows through.
    m_cards->setAutoFillBackground(false);
    m_cards->viewport()->setAutoFillBackground(false);
    m_cards->viewport()->setMouseTracking(true);
    m_cards->viewport()->installEventFilter(this);
    connect(m_pictures, &ClipPictures::changed, m_cards->viewport(), qOverload<>(&QWidget::update));
    connect(m_cards->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { placeHoverCard(); });
}

const std::vector<ClipItemViewModelPtr>& NotchShelfContentView::cardModels() const
{
    return m_model->viewModels();
}

QRect NotchShelfContentView::cardRect(int index) const
{
    const QRect item = m_cards->visualRect(m_model->index(index));
    if (item.isEmpty())
        return {};
    return QRect(m_cards->viewport()->mapTo(this, item.topLeft()), NotchShelfCardDelegate::cardSize);
}

bool NotchShelfContentView::isCardShown(int index) const
{
    const QRect card = cardRect(index);
    return !m_cards->isHidden() && !card.isEmpty()
        && QRect(m_cards->viewport()->mapTo(this, QPoint(0, 0)), m_cards->viewport()->size()).contains(card);
}

NotchShelfItemCard* NotchShelfContentView::hoverCardAt(int index)
{
    const ClipItemViewModelPtr model = m_model->at(index);
    if (!model)
        return nullptr;
    if (!m_hoverCard || m_hoverCard->viewModel() != model) {
        dropHoverCard();
        m_hoverCard = new NotchShelfItemCard(
            model, cardActions(model->clipItem, model->id), m_needs.pasteboard, m_cards->viewport());
    }
    placeHoverCard();
    return m_hoverCard;
}

void NotchShelfContentView::placeHoverCard()
{
    if (!m_hoverCard)
        return;
    const int row = m_model->rowOf(m_hoverCard->viewModel()->id);
    if (row < 0) {
        dropHoverCard();
        return;
    }
    if (m_model->at(row) != m_hoverCard->viewModel()) {
        // The entry changed (a pin): a new widget for it, hovered as the old one was.
        const bool hovering = m_hoverCard->isHovering();
        dropHoverCard();
        if (m_hoverCard)
            return;
        if (NotchShelfItemCard* card = hoverCardAt(row); card && hovering)
            card->setHovering(true);
        return;
    }
    m_hoverCard->move(m_cards->visualRect(m_model->index(row)).topLeft());
    m_hoverCard->show();
}

void NotchShelfContentView::dropHoverCard()
{
    if (!m_hoverCard || m_hoverCard->isInteracting())
        return; // a card whose menu or drag runs stays until it ends (rebuilds wait for that too)
    NotchShelfItemCard* card = m_hoverCard;
    m_hoverCard = nullptr;
    card->setHovering(false);
    m_delegate->setHoveredId(std::nullopt);
    card->hide();
    card->deleteLater();
}

QString NotchShelfContentView::emptyText() const
{
    return m_cards->isHidden() ? m_empty->text() : QString();
}

QString NotchShelfContentView::ageText(int index) const
{
    const ClipItemViewModelPtr model = m_model->at(index);
    return model ? m_delegate->ageText(*model) : QString();
}

void NotchShelfContentView::refreshAges(const QDateTime& now)
{
    m_delegate->setNow(now);
    m_cards->viewport()->update();
}

NotchShelfItemCard::Actions NotchShelfContentView::cardActions(const ClipItemPtr& item, qint64 id)
{
    NotchShelfItemCard::Actions actions;
    actions.onTap = [this, item] { m_needs.paste.copyToClipboard(item); };
    actions.onCopy = actions.onTap;
    actions.onPaste = [this, item] { paste(item, false); };
    actions.onPastePlainText = [this, item] { paste(item, true); };
    actions.onPin = [this, item] { m_controller->togglePin(item); };
    actions.onDelete = [this, item] { m_controller->deleteItem(item); };
    actions.onQuickLook = [this, item] {
        if (m_needs.showQuickLook)
            m_needs.showQuickLook(item);
    };
    actions.onInteractionBegan = [this] { interactionBegan(); };
    actions.onInteractionEnded = [this] { interactionEnded(); };
    actions.onHoverChange = [this, id](bool hovering) {
        if (hovering)
            m_delegate->setHoveredId(id);
        else if (m_delegate->hoveredId() == id)
            m_delegate->setHoveredId(std::nullopt);
        m_cards->viewport()->update();
    };
    return actions;
}

void NotchShelfContentView::rebuildCards()
{
    if (m_interactions > 0) {
        m_rebuildPending = true;
        return;
    }
    m_rebuildPending = false;
    const std::vector<ClipItemViewModelPtr>& models = m_controller->filteredViewModels();
    m_delegate->setNow(QDateTime::currentDateTimeUtc());
    m_model->setViewModels(models);
    placeHoverCard();
    if (models.empty()) {
        m_empty->setText(
            m_controller->searchText().isEmpty() ? QStringLiteral("No clips yet") : QStringLiteral("No results found"));
        m_empty->show();
        m_cards->hide();
        return;
    }
    m_empty->hide();
    m_empty->setText(QString());
    m_cards->show();
    m_cards->doItemsLayout();
    m_cards->horizontalScrollBar()->setValue(0);
    m_cards->viewport()->update();
}

void NotchShelfContentView::paste(const ClipItemPtr& item, bool asPlainText)
{
    // The target is the application the user worked in last, whatever holds the focus now.
    m_needs.paste.captureTargetApp(m_needs.foreignWindows ? m_needs.foreignWindows->lastForeignApplication()
                                                                : std::optional<RunningApplication>());
    m_needs.paste.paste(item, asPlainText);
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
    painter.fillPath(path, Theme::blackAlpha(255));
}

bool NotchShelfContentView::eventFilter(QObject* watched, QEvent* event)
{
    // A vertical wheel scrolls the row sideways.
    if (watched != m_cards->viewport())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint delta = wheel->angleDelta();
        const int step = std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y();
        QScrollBar* bar = m_cards->horizontalScrollBar();
        bar->setValue(bar->value() - step);
        return true;
    }
    // The pointer on a card (also when the shelf opens under it) lays the card's widget over it.
    const bool moved
        = event->type() == QEvent::MouseMove && static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton;
    if (moved || event->type() == QEvent::Enter) {
        const QPoint at = static_cast<QSinglePointEvent*>(event)->position().toPoint();
        const QModelIndex index = m_cards->indexAt(at);
        const QRect card = index.isValid()
            ? QRect(m_cards->visualRect(index).topLeft(), NotchShelfCardDelegate::cardSize)
            : QRect();
        if (card.contains(at))
            if (NotchShelfItemCard* overlay = hoverCardAt(index.row()))
                overlay->setHovering(true);
    }
    return QWidget::eventFilter(watched, event);
}
