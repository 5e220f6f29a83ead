#include "history/AppIconView.h"

#include "clipboard/AppIconCache.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QThreadPool>

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
    if (m_bundleID.isEmpty())
        return;
    if (auto cached = AppIconCache::shared().cachedIcon(m_bundleID)) {
        m_appIcon = cached;
        update();
        return;
    }
    QPointer<AppIconView> self(this);
    const QString bundleID = m_bundleID;
    QThreadPool::globalInstance()->start([self, bundleID] {
        const auto entry = AppIconCache::desktopIcon(bundleID, AppIconCache::defaultApplicationDirectories());
        if (!entry)
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, bundleID, iconName = entry->iconName] {
                // Icon themes make their pixmaps on the main thread.
                const QIcon icon = AppIconCache::resolveIcon(iconName);
                if (icon.isNull())
                    return;
                AppIconCache::shared().setIcon(icon, bundleID);
                if (self && self->m_bundleID == bundleID) {
                    self->m_appIcon = icon;
                    self->update();
                }
            },
            Qt::QueuedConnection);
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
