#include "gallery/CardGrid.h"

#include "gallery/CardGridView.h"
#include "gallery/GalleryModel.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

CardGrid::CardGrid(QWidget* emptyState, QWidget* parent)
    : QWidget(parent)
    , m_emptyState(emptyState)
    , m_view(new CardGridView(this))
    , m_stack(new QStackedLayout(this))
{
    m_emptyState->setParent(this);
    m_stack->addWidget(m_emptyState);
    m_stack->addWidget(m_view);
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

void CardGrid::setModel(GalleryModel* model)
{
    m_model = model;
    m_view->setModel(model);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &CardGrid::showEmptyStateOrCards);
    connect(model, &QAbstractItemModel::modelReset, this, &CardGrid::showEmptyStateOrCards);
    showEmptyStateOrCards();
}

QAbstractScrollArea* CardGrid::scrollArea() const
{
    return m_view;
}

int CardGrid::columnCount() const
{
    return m_view->columnCount();
}

int CardGrid::columnWidth() const
{
    return m_view->columnWidth();
}

void CardGrid::showEmptyStateOrCards()
{
    const bool empty = !m_model || m_model->rowCount() == 0;
    m_stack->setCurrentWidget(empty ? m_emptyState : static_cast<QWidget*>(m_view));
}
