#include "history/AppIconView.h"

#include "clipboard/AppIconCache.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>

AppIconView::AppIconView(const QString& bundleID, const QString& contentTypeIcon, int side, QWidget* parent)
    : QWidget(parent)
    , m_bundleID(bundleID)
    , m_contentTypeIcon(contentTypeIcon)
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void AppIconView::setEntry(const QString& bundleID, const QString& contentTypeIcon)
{
    if (bundleID == m_bundleID && contentTypeIcon == m_contentTypeIcon)
        return;
    m_bundleID = bundleID;
    m_contentTypeIcon = contentTypeIcon;
    m_appIcon.reset();
    if (isVisible())
        loadIcon();
    update();
}

void AppIconView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    loadIcon();
}

void AppIconView::loadIcon()
{
    if (m_bundleID.isEmpty() || m_appIcon)
        return;
    // One lookup per program, shared by every row that shows it.
    if (auto icon = AppIconCache::shared().icon(m_bundleID)) {
        m_appIcon = icon;
        update();
        return;
    }
    awaitLookup();
}

void AppIconView::awaitLookup()
{
    // The cache announces nothing: the view looks again while the lookup is under way, and never
    // starts another itself (a program without an icon is not looked up over and over).
    AppIconCache& cache = AppIconCache::shared();
    if (auto icon = cache.cachedIcon(m_bundleID)) {
        m_appIcon = icon;
        update();
        return;
    }
    if (!cache.isLookingUp(m_bundleID))
        return;
    QTimer::singleShot(lookupPollMs, this, [this, bundleID = m_bundleID] {
        if (bundleID == m_bundleID && !m_appIcon)
            awaitLookup();
    });
}

void AppIconView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect bounds = rect();
    if (m_appIcon) {
        m_appIcon->paint(&painter, bounds);
        return;
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(bounds), 6, 6);
    QColor faint = Theme::text();
    faint.setAlphaF(0.05);
    painter.fillPath(path, faint);
    const int symbol = qMax(10, qRound(bounds.width() * 16.0 / 28.0));
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap = Symbols::pixmap(m_contentTypeIcon, qRound(symbol * ratio), Theme::secondaryText());
    pixmap.setDevicePixelRatio(ratio);
    painter.drawPixmap(QPoint((bounds.width() - symbol) / 2, (bounds.height() - symbol) / 2), pixmap);
}
