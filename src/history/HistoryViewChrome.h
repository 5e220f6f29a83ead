#pragma once
// The pieces the history view is drawn with: fonts and tints of its texts, its dividers and
// symbols, the glass tint behind it, the rounded bands of the tab switcher and banner, the
// footer's band, and the Screenshots tab's empty state.
#include "ui/Theme.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>
#include <functional>
#include <optional>

class Preferences;
class QFrame;
class QLabel;
class QVBoxLayout;

namespace HistoryViewChrome {

QFont pixelFont(int px, QFont::Weight weight = QFont::Normal);
QColor withAlpha(QColor color, qreal alpha);
QLabel* symbolLabel(const QString& symbol, int size, const QColor& color, QWidget* parent);
QFrame* divider(QWidget* parent);
// The contrast ratio of two opaque colours by their relative luminance (1 to 21).
qreal contrastRatio(const QColor& a, const QColor& b);
// The colour itself when it reaches the ratio against the opaque background, else the least
// mix of it with white that does.
QColor legibleOn(const QColor& color, const QColor& background, qreal ratio);
// Color painted over an opaque background.
QColor over(const QColor& color, const QColor& background);
// "No screenshots yet" under a camera symbol, centred in the layout.
void addNoScreenshotsState(QVBoxLayout* layout, QWidget* page);
// The orange band that says paste lacks its permission, with "Open Settings" (which tells what is
// missing) and a recheck button that calls onRecheck.
QWidget* makeAccessibilityBanner(QWidget* parent, std::function<void()> onRecheck);

// Black at the glass darkness over the translucent surface, with the hairline outline on top.
class TintView : public QWidget {
public:
    TintView(Preferences& preferences, QWidget* parent)
        : QWidget(parent)
        , m_preferences(preferences)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Preferences& m_preferences;
};

// A rounded band filled with one colour: behind the tab buttons and under the permission banner.
// With a base, the band first covers what lies behind it with that opaque colour, so that its
// content reads the same over any desktop and glass darkness.
class RoundedBand : public QWidget {
public:
    RoundedBand(qreal radius, QColor fill, QWidget* parent, std::optional<QColor> base = std::nullopt)
        : QWidget(parent)
        , m_radius(radius)
        , m_fill(fill)
        , m_base(base)
    {
    }

    // What the band shows: the fill over the base (opaque only with a base).
    QColor surface() const { return m_base ? over(m_fill, *m_base) : m_fill; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), m_radius, m_radius);
        if (m_base)
            painter.fillPath(path, *m_base);
        painter.fillPath(path, m_fill);
    }

private:
    qreal m_radius;
    QColor m_fill;
    std::optional<QColor> m_base;
};

// The footer's band on the thin material.
class FooterBand : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Theme::whiteAlpha(8));
        painter.fillRect(QRect(0, 0, width(), 1), Theme::whiteAlpha(18));
    }
};

}
