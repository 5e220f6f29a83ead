#include "history/SearchBar.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QToolButton>

namespace {

// "xmark.circle.fill": a filled disc in the secondary colour with the cross cut out of it.
QIcon clearIcon(int size, qreal ratio)
{
    const int side = qRound(size * ratio);
    QPixmap out(side, side);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::secondaryText());
    painter.drawEllipse(QRectF(0, 0, side, side));
    const int cross = qRound(side * 0.62);
    const QPixmap mark = Symbols::pixmap(QStringLiteral("xmark"), cross, Theme::blackAlpha(255));
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.drawPixmap((side - cross) / 2, (side - cross) / 2, mark);
    painter.end();
    out.setDevicePixelRatio(ratio);
    return QIcon(out);
}

}

SearchBar::SearchBar(bool autoFocus, QWidget* parent)
    : QWidget(parent)
    , m_autoFocus(autoFocus)
    , m_glass(new QLabel(this))
    , m_field(new QLineEdit(this))
    , m_clearButton(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(8);

    const qreal ratio = devicePixelRatioF();
    QPixmap glass = Symbols::pixmap(QStringLiteral("magnifyingglass"), qRound(14 * ratio), Theme::secondaryText());
    glass.setDevicePixelRatio(ratio);
    m_glass->setPixmap(glass);
    m_glass->setFixedSize(14, 14);

    m_field->setFrame(false);
    m_field->setPlaceholderText(QStringLiteral("Search clipboard..."));
    QFont font = Theme::labelFont();
    font.setPixelSize(14);
    m_field->setFont(font);
    m_field->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Theme::text());
    palette.setColor(QPalette::PlaceholderText, Theme::secondaryText());
    m_field->setPalette(palette);
    m_field->setStyleSheet(Theme::bareStyle(QStringLiteral("QLineEdit")));

    m_clearButton->setAutoRaise(true);
    m_clearButton->setCursor(Qt::ArrowCursor);
    m_clearButton->setFocusPolicy(Qt::NoFocus);
    m_clearButton->setIcon(clearIcon(12, ratio));
    m_clearButton->setIconSize(QSize(12, 12));
    m_clearButton->setFixedSize(14, 14);
    m_clearButton->setStyleSheet(Theme::bareStyle(QStringLiteral("QToolButton")));

    layout->addWidget(m_glass, 0, Qt::AlignVCenter);
    layout->addWidget(m_field, 1, Qt::AlignVCenter);
    layout->addWidget(m_clearButton, 0, Qt::AlignVCenter);

    connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) {
        updateClearButton();
        emit textChanged(text);
    });
    connect(m_clearButton, &QToolButton::clicked, this, [this] {
        m_field->clear();
        updateClearButton();
        emit textChanged(QString());
    });
    setFocusProxy(m_field);
    // Without auto focus the field must not take the focus when its window is activated (Qt
    // focuses the first tab-focusable widget then); a click still focuses it.
    if (!m_autoFocus)
        m_field->setFocusPolicy(Qt::ClickFocus);
    updateClearButton();
}

QString SearchBar::text() const
{
    return m_field->text();
}

void SearchBar::setText(const QString& text)
{
    if (text != m_field->text())
        m_field->setText(text);
    updateClearButton();
}

void SearchBar::focusField()
{
    m_field->setFocus(Qt::OtherFocusReason);
}

void SearchBar::updateClearButton()
{
    // Hidden, the button keeps its room so the field does not jump.
    QSizePolicy policy = m_clearButton->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_clearButton->setSizePolicy(policy);
    m_clearButton->setVisible(!m_field->text().isEmpty());
}

void SearchBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    QColor fill = Theme::text();
    fill.setAlphaF(0.05);
    painter.fillPath(shape, fill);
}

void SearchBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_autoFocus)
        focusField();
}
