#include "history/NotchShelfItemCard.h"

#include "history/AppIconView.h"
#include "history/ClipDragSourceView.h"
#include "history/ClipRowView.h"
#include "history/FCPThumbnailView.h"
#include "history/ImageThumbnailView.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <cmath>
#include <utility>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

constexpr int inset = 10;
constexpr int radius = 14;

QFont pixelFont(int px, QFont::Weight weight = QFont::Normal)
{
    QFont font = Theme::labelFont(10, weight);
    font.setPixelSize(px);
    return font;
}

// The preview of an entry without a picture: a faint (or, for Final Cut Pro, orange) rounded
// square with a symbol and, for text, up to five lines of it over the symbol.
class PlaceholderPreview : public QWidget {
public:
    PlaceholderPreview(QString symbol, QColor fill, QColor symbolColor, int symbolSize, QString text, QWidget* parent)
        : QWidget(parent)
        , m_symbol(std::move(symbol))
        , m_fill(std::move(fill))
        , m_symbolColor(std::move(symbolColor))
        , m_symbolSize(symbolSize)
        , m_text(std::move(text))
    {
        setFixedSize(NotchShelfItemCard::thumbnailSize);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        painter.fillPath(path, m_fill);
        const QPixmap symbol = Symbols::pixmap(m_symbol, m_symbolSize, m_symbolColor);
        if (m_text.isEmpty()) {
            painter.drawPixmap(QPointF((width() - m_symbolSize) / 2.0, (height() - m_symbolSize) / 2.0), symbol);
            return;
        }
        // With text the symbol moves to the top right corner, small, so the two never overlap.
        const int small = 14;
        painter.drawPixmap(
            QPointF(width() - inset - small, inset - 2), Symbols::pixmap(m_symbol, small, m_symbolColor));
        painter.setFont(pixelFont(13));
        painter.setPen(Theme::whiteAlpha(qRound(0.75 * 255)));
        drawLines(painter, rect().adjusted(inset, inset, -inset - 18, -inset));
    }

private:
    // Up to five wrapped lines, vertically centred, the last one elided when text remains.
    void drawLines(QPainter& painter, const QRect& area)
    {
        const QFontMetrics metrics(painter.font());
        QString text = m_text;
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        QTextLayout layout(text, painter.font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        QStringList lines;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid() && lines.size() < 5; line = layout.createLine()) {
            line.setLineWidth(area.width());
            lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
            if (lines.size() == 5 && line.textStart() + line.textLength() < text.size())
                lines.last() = metrics.elidedText(
                    text.mid(line.textStart()).simplified(), Qt::ElideRight, area.width());
        }
        layout.endLayout();
        const int lineHeight = metrics.lineSpacing();
        int y = area.top() + (area.height() - lineHeight * int(lines.size())) / 2 + metrics.ascent();
        for (const QString& line : lines) {
            painter.drawText(area.left(), y, line);
            y += lineHeight;
        }
    }

    QString m_symbol;
    QColor m_fill;
    QColor m_symbolColor;
    int m_symbolSize;
    QString m_text;
};

}

NotchShelfItemCard::NotchShelfItemCard(const ClipItemViewModelPtr& viewModel, Actions actions, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_actions(std::move(actions))
{
    setFixedSize(cardSize);
    setAttribute(Qt::WA_Hover);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(inset, inset, inset, inset);
    column->setSpacing(8);
    m_preview = makePreview();
    m_preview->setFixedSize(thumbnailSize);
    column->addWidget(m_preview, 0, Qt::AlignLeft);

    auto* info = new QHBoxLayout();
    info->setSpacing(6);
    auto* icon = new AppIconView(viewModel->appBundleID, viewModel->contentTypeIcon, 20, this);
    icon->setFixedSize(20, 20);
    info->addWidget(icon);
    m_age = new QLabel(ClipRowView::relativeDateString(viewModel->timestamp), this);
    m_age->setFont(pixelFont(12));
    m_age->setStyleSheet(Theme::labelStyle(Theme::whiteAlpha(140)));
    info->addWidget(m_age);
    info->addStretch(1);
    column->addLayout(info);
    column->addStretch(1);

    // Over the whole tile: a click copies at once (no double-click action), a drag carries the
    // entry out.
    m_dragSource = new ClipDragSourceView(this);
    m_dragSource->setClipItem(viewModel->clipItem);
    m_dragSource->setOnTap(m_actions.onTap);
    m_dragSource->setGeometry(rect());
    m_dragSource->raise();
    m_dragSource->installEventFilter(this);
}

QString NotchShelfItemCard::ageText() const
{
    return m_age->text();
}

void NotchShelfItemCard::refreshAge(const QDateTime& now)
{
    const QString text = ClipRowView::relativeDateString(m_viewModel->timestamp, now);
    if (text != m_age->text())
        m_age->setText(text);
}

QWidget* NotchShelfItemCard::makePreview()
{
    const ClipItemViewModel& model = *m_viewModel;
    const QString key = QString::number(model.id);
    if (model.hasFCPContent) {
        if (model.fcpThumbnailData)
            return new FCPThumbnailView(*model.fcpThumbnailData, thumbnailSize, key, this);
        m_placeholderSymbol = model.fcpClipCount > 1 ? QStringLiteral("film.stack") : QStringLiteral("film.fill");
        const QColor orange(255, 159, 10);
        QColor fill = orange;
        fill.setAlphaF(0.15);
        return new PlaceholderPreview(m_placeholderSymbol, fill, orange, 28, QString(), this);
    }
    if (const std::optional<QByteArray>& data = model.thumbnailData ? model.thumbnailData : model.linkImageData)
        return new ImageThumbnailView(*data, thumbnailSize, key, this);
    m_placeholderSymbol = model.contentTypeIcon;
    return new PlaceholderPreview(m_placeholderSymbol, Theme::whiteAlpha(qRound(0.06 * 255)),
        Theme::whiteAlpha(qRound(0.5 * 255)), 24, model.previewText, this);
}

void NotchShelfItemCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), radius, radius);
    painter.fillPath(path, Theme::whiteAlpha(qRound(fillOpacity() * 255)));
}

void NotchShelfItemCard::enterEvent(QEnterEvent*)
{
    m_isHovering = true;
    update();
}

void NotchShelfItemCard::leaveEvent(QEvent*)
{
    m_isHovering = false;
    update();
}

QMenu* NotchShelfItemCard::buildContextMenu()
{
    auto* menu = new QMenu();
    const QColor iconColor = Theme::text();
    auto add = [&](const QString& symbol, const QString& text, const std::function<void()>& action,
                   const QColor& color) {
        QAction* item = menu->addAction(Symbols::icon(symbol, color, {16, 32}), text);
        QObject::connect(item, &QAction::triggered, menu, [this, action] {
            // From a running menu the action waits until the menu and its grab are gone.
            if (m_menuRunning)
                m_chosenAction = action;
            else if (action)
                action();
        });
    };
    add(QStringLiteral("doc.on.clipboard"), QStringLiteral("Paste"), m_actions.onPaste, iconColor);
    add(QStringLiteral("text.alignleft"), QStringLiteral("Paste as Plain Text"), m_actions.onPastePlainText, iconColor);
    add(QStringLiteral("doc.on.doc"), QStringLiteral("Copy to Clipboard"), m_actions.onCopy, iconColor);
    menu->addSeparator();
    const bool pinned = m_viewModel->isPinned;
    add(pinned ? QStringLiteral("pin.slash") : QStringLiteral("pin"),
        pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"), m_actions.onPin, iconColor);
    add(QStringLiteral("eye"), QStringLiteral("Quick Look"), m_actions.onQuickLook, iconColor);
    menu->addSeparator();
    add(QStringLiteral("trash"), QStringLiteral("Delete"), m_actions.onDelete, Theme::destructive());
    return menu;
}

void NotchShelfItemCard::contextMenuEvent(QContextMenuEvent* event)
{
    // The shelf stays open while the menu runs; the chosen action runs after the menu has
    // closed, and the card outlives the menu (rebuilds of the row wait for its end).
    std::unique_ptr<QMenu> menu(buildContextMenu());
    if (m_actions.onInteractionBegan)
        m_actions.onInteractionBegan();
    m_menuRunning = true;
    m_chosenAction = nullptr;
    menu->exec(event->globalPos());
    m_menuRunning = false;
    menu.reset();
    const std::function<void()> chosen = std::exchange(m_chosenAction, nullptr);
    if (chosen)
        chosen();
    if (m_actions.onInteractionEnded)
        m_actions.onInteractionEnded();
}

bool NotchShelfItemCard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_dragSource || m_forwardingDrag)
        return QWidget::eventFilter(watched, event);
    // Only the mouse cases below read it: other events are no mouse events.
    auto* mouse = dynamic_cast<QMouseEvent*>(event);
    switch (mouse ? event->type() : QEvent::None) {
    case QEvent::MouseButtonPress:
        if (mouse->button() == Qt::LeftButton)
            m_pressPosition = mouse->position();
        break;
    case QEvent::MouseButtonRelease:
        m_pressPosition.reset();
        break;
    case QEvent::MouseMove: {
        if (!m_pressPosition)
            break;
        const QPointF delta = mouse->position() - *m_pressPosition;
        if (std::hypot(delta.x(), delta.y()) <= ClipDragSourceView::dragThreshold)
            break;
        // This move starts the drag, which runs until the drop: the shelf stays open meanwhile.
        m_pressPosition.reset();
        if (m_actions.onInteractionBegan)
            m_actions.onInteractionBegan();
        m_forwardingDrag = true;
        QCoreApplication::sendEvent(m_dragSource, event);
        m_forwardingDrag = false;
        if (m_actions.onInteractionEnded)
            m_actions.onInteractionEnded();
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
