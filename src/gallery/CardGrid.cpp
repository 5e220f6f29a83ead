#include "gallery/CardGrid.h"

#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <algorithm>
#include <unordered_set>

CardGrid::CardGrid(QWidget* emptyState, QWidget* parent)
    : QWidget(parent)
    , m_emptyState(emptyState)
    , m_scrollArea(new QScrollArea(this))
    , m_content(new QWidget)
    , m_stack(new QStackedLayout(this))
{
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scrollArea->verticalScrollBar()->setStyleSheet(Theme::listScrollBarStyle());
    m_scrollArea->setWidgetResizable(false);
    m_scrollArea->setAutoFillBackground(false);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    m_scrollArea->setWidget(m_content);
    m_content->setAutoFillBackground(false); // the scroll area turned it on
    m_scrollArea->viewport()->installEventFilter(this);
    m_emptyState->setParent(this);
    m_stack->addWidget(m_emptyState);
    m_stack->addWidget(m_scrollArea);
    m_stack->setCurrentWidget(m_emptyState);
}

QWidget* CardGrid::makeEmptyState(const QString& symbolName, const QString& text)
{
    auto* state = new QWidget;
    auto* layout = new QVBoxLayout(state);
    layout->setSpacing(8);
    layout->addStretch();
    QColor faint = Theme::secondaryText();
    faint.setAlphaF(faint.alphaF() * 0.4);
    auto* symbol = new QLabel(state);
    symbol->setObjectName(QStringLiteral("emptySymbol"));
    symbol->setPixmap(Symbols::pixmap(symbolName, 32, faint));
    layout->addWidget(symbol, 0, Qt::AlignHCenter);
    QLabel* caption = textLabel(text, Theme::labelFont(13), Theme::secondaryText(), state);
    caption->setObjectName(QStringLiteral("emptyCaption"));
    layout->addWidget(caption, 0, Qt::AlignHCenter);
    layout->addStretch();
    return state;
}

void CardGrid::setSingleColumn()
{
    m_singleColumn = true;
    relayout();
}

void CardGrid::setAdaptiveColumns(int minimumWidth, int maximumWidth)
{
    m_singleColumn = false;
    m_minimumWidth = std::max(1, minimumWidth);
    m_maximumWidth = std::max(m_minimumWidth, maximumWidth);
    relayout();
}

void CardGrid::setCards(std::vector<QWidget*> cards)
{
    const std::unordered_set<QWidget*> kept(cards.begin(), cards.end());
    for (QWidget* old : m_cards) {
        if (!kept.count(old)) {
            old->hide();
            old->deleteLater();
        }
    }
    m_cards = std::move(cards);
    for (QWidget* card : m_cards) {
        if (card->parentWidget() != m_content)
            card->setParent(m_content);
        card->show();
    }
    relayout();
}

void CardGrid::removeCard(QWidget* card)
{
    const auto found = std::find(m_cards.begin(), m_cards.end(), card);
    if (found == m_cards.end())
        return;
    m_cards.erase(found);
    // Later: the card's own menu action may be what is running now.
    card->hide();
    card->deleteLater();
    relayout();
}

int CardGrid::columnCount() const
{
    if (m_singleColumn)
        return 1;
    const int available = m_scrollArea->viewport()->width() - 2 * padding;
    return std::max(1, (available + spacing) / (m_minimumWidth + spacing));
}

int CardGrid::columnWidth() const
{
    const int available = std::max(1, m_scrollArea->viewport()->width() - 2 * padding);
    if (m_singleColumn)
        return available;
    const int columns = columnCount();
    const int width = (available - spacing * (columns - 1)) / columns;
    return std::clamp(width, 1, m_maximumWidth);
}

bool CardGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scrollArea->viewport() && event->type() == QEvent::Resize)
        relayout();
    return QWidget::eventFilter(watched, event);
}

void CardGrid::relayout()
{
    m_stack->setCurrentWidget(m_cards.empty() ? m_emptyState : static_cast<QWidget*>(m_scrollArea));
    const int viewportWidth = m_scrollArea->viewport()->width();
    const int columns = columnCount();
    const int width = columnWidth();
    const int rowWidth = columns * width + (columns - 1) * spacing;
    const int left = padding + std::max(0, (viewportWidth - 2 * padding - rowWidth) / 2);
    int y = padding;
    for (size_t start = 0; start < m_cards.size(); start += size_t(columns)) {
        int rowHeight = 0;
        const size_t end = std::min(m_cards.size(), start + size_t(columns));
        for (size_t i = start; i < end; ++i)
            rowHeight = std::max(rowHeight, m_cards[i]->heightForWidth(width));
        for (size_t i = start; i < end; ++i)
            m_cards[i]->setGeometry(left + int(i - start) * (width + spacing), y, width, rowHeight);
        y += rowHeight + spacing;
    }
    const int height = m_cards.empty() ? 0 : y - spacing + padding;
    m_content->resize(viewportWidth, height);
}
