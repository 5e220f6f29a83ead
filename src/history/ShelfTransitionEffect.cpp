#include "history/ShelfTransitionEffect.h"

#include <QPainter>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

ShelfTransitionEffect::ShelfTransitionEffect(QObject* parent)
    : QGraphicsEffect(parent)
{
}

void ShelfTransitionEffect::setProgress(qreal progress)
{
    m_progress = progress;
    update();
}

qreal ShelfTransitionEffect::scale() const
{
    // An under-damped spring: the card grows a little past its size and settles.
    static const QEasingCurve spring = [] {
        QEasingCurve curve(QEasingCurve::OutBack);
        curve.setOvershoot(0.9);
        return curve;
    }();
    return startScale + (1.0 - startScale) * spring.valueForProgress(m_progress);
}

qreal ShelfTransitionEffect::opacity() const
{
    return QEasingCurve(QEasingCurve::OutCubic).valueForProgress(m_progress);
}

void ShelfTransitionEffect::draw(QPainter* painter)
{
    if (m_progress >= 1.0) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap picture = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    if (picture.isNull())
        return;
    const QSizeF size = QSizeF(picture.size()) / picture.devicePixelRatio();
    const QPointF anchor(offset.x() + size.width() / 2, offset.y()); // the top centre
    painter->save();
    painter->setOpacity(painter->opacity() * opacity());
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->translate(anchor);
    painter->scale(scale(), scale());
    painter->translate(-anchor);
    painter->drawPixmap(offset, picture);
    painter->restore();
}

ShelfTransitionEffect* ShelfTransitionEffect::on(QWidget* card, qreal start)
{
    auto* effect = qobject_cast<ShelfTransitionEffect*>(card->graphicsEffect());
    if (!effect) {
        effect = new ShelfTransitionEffect(card);
        effect->setProgress(start);
        card->setGraphicsEffect(effect);
    }
    if (effect->m_animation)
        effect->m_animation->stop();
    else
        effect->m_animation = new QVariantAnimation(effect);
    effect->m_animation->disconnect(effect);
    connect(effect->m_animation, &QVariantAnimation::valueChanged, effect,
        [effect](const QVariant& value) { effect->setProgress(value.toReal()); });
    return effect;
}

void ShelfTransitionEffect::enter(QWidget* card)
{
    ShelfTransitionEffect* effect = on(card, 0.0);
    QVariantAnimation* animation = effect->m_animation;
    animation->setDuration(expandMs);
    animation->setStartValue(effect->m_progress);
    animation->setEndValue(1.0);
    QPointer<QWidget> target(card);
    connect(animation, &QVariantAnimation::finished, effect, [target] {
        if (target)
            target->setGraphicsEffect(nullptr);
    });
    animation->start();
}

void ShelfTransitionEffect::leave(QWidget* card, std::function<void()> done)
{
    ShelfTransitionEffect* effect = on(card, 1.0);
    QVariantAnimation* animation = effect->m_animation;
    animation->setDuration(collapseMs);
    animation->setStartValue(effect->m_progress);
    animation->setEndValue(0.0);
    connect(animation, &QVariantAnimation::finished, effect, [done = std::move(done)] {
        if (done)
            done();
    });
    animation->start();
}
