#pragma once
#include <QEasingCurve>
#include <QGraphicsEffect>

class QVariantAnimation;

// How the shelf's card enters and leaves: scaled from 0.85 about its top centre and faded, on a
// spring-like curve (a little overshoot in the scale). The effect draws the card's picture at the
// current progress; it is set on the card for the length of one transition only (each frame costs
// a render of the card to a pixmap).
class ShelfTransitionEffect : public QGraphicsEffect {
    Q_OBJECT
public:
    static constexpr qreal startScale = 0.85;
    static constexpr int expandMs = 320;
    static constexpr int collapseMs = 200;

    explicit ShelfTransitionEffect(QObject* parent = nullptr);

    // 0: gone (scale 0.85, transparent); 1: in place.
    qreal progress() const { return m_progress; }
    void setProgress(qreal progress);
    qreal scale() const;
    qreal opacity() const;

    // Runs the card in (from its current look to 1) or out (to 0); at the end of an entrance the
    // effect is removed from the card, at the end of an exit `done` runs (it deletes the card).
    static void enter(QWidget* card);
    static void leave(QWidget* card, std::function<void()> done);

protected:
    void draw(QPainter* painter) override;

private:
    static ShelfTransitionEffect* on(QWidget* card, qreal start);

    qreal m_progress = 1.0;
    QVariantAnimation* m_animation = nullptr;
};
