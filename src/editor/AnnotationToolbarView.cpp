#include "editor/AnnotationToolbarView.h"

#include "annotation/PaintEngine.h"
#include "editor/ColorPopover.h"
#include "editor/EditorButton.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kTooltipDelayMs = 350;
constexpr int kSliderSteps = 1000;
const char* const kTooltipProperty = "quorvelTooltip";

QFrame* verticalDivider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFixedSize(1, 20);
    line->setStyleSheet(Theme::separatorStyle(Theme::whiteAlpha(40)));
    return line;
}

QFont pillFont()
{
    QFont font;
    font.setPixelSize(12);
    font.setWeight(QFont::Medium);
    return font;
}

}

const std::vector<PaintTool>& AnnotationToolbarView::editorToolOrder()
{
    static const std::vector<PaintTool> order = [] {
        std::vector<PaintTool> tools(PaintTool::allCases().begin(), PaintTool::allCases().end());
        std::sort(tools.begin(), tools.end(),
            [](PaintTool a, PaintTool b) { return a.traits().barPosition < b.traits().barPosition; });
        return tools;
    }();
    return order;
}

const std::array<PaintColor, 9>& AnnotationToolbarView::presetColors()
{
    static const std::array<PaintColor, 9> presets = {PaintColor(1.0, 0.23, 0.19, 1.0), PaintColor(1.0, 0.58, 0.0, 1.0),
        PaintColor(1.0, 0.84, 0.0, 1.0), PaintColor(0.2, 0.78, 0.35, 1.0), PaintColor(0.0, 0.85, 1.0, 1.0),
        PaintColor(0.0, 0.48, 1.0, 1.0), PaintColor(0.69, 0.32, 0.87, 1.0), PaintColor(1.0, 1.0, 1.0, 1.0),
        PaintColor(0.0, 0.0, 0.0, 1.0)};
    return presets;
}

AnnotationToolbarView::SliderContext AnnotationToolbarView::sliderContext(const PaintEngine& engine)
{
    PaintTool tool = engine.selectedTool();
    if (const auto id = engine.selectedStrokeID()) {
        for (const PaintStroke& stroke : engine.strokes()) {
            if (stroke.id == *id) {
                tool = stroke.tool;
                break;
            }
        }
    }
    return tool.traits().size;
}

AnnotationToolbarView::SliderSpec AnnotationToolbarView::sliderSpec(SliderContext context)
{
    switch (context) {
    case SliderContext::fontSize:
        return {QStringLiteral("Schriftgröße"), 12, 48};
    case SliderContext::badgeSize:
        return {QStringLiteral("Größe"), 16, 48};
    case SliderContext::effectAmount:
        return {QStringLiteral("Stärke"), 4, 30};
    case SliderContext::lineWidth:
        break;
    }
    return {QStringLiteral("Strichstärke"), 1, 12};
}

QSlider* AnnotationToolbarView::makeSizeSlider()
{
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setFixedWidth(90);
    m_slider->setRange(0, kSliderSteps);
    m_slider->setFocusPolicy(Qt::NoFocus);
    m_slider->setStyleSheet(Theme::sliderStyle());
    addTooltip(m_slider, QString());
    connect(m_slider, &QSlider::valueChanged, this, &AnnotationToolbarView::sliderMoved);
    return m_slider;
}

AnnotationToolbarView::AnnotationToolbarView(PaintEngine& engine, Pasteboard& pasteboard, QWidget* parent)
    : QWidget(parent)
    , m_engine(engine)
{
    setAttribute(Qt::WA_StyledBackground, false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 11, 14, 11);
    row->setSpacing(16);

    auto* tools = new QHBoxLayout;
    tools->setSpacing(4);
    for (PaintTool tool : editorToolOrder()) {
        QAbstractButton* button = makeButton(tool.systemImage(), tool.tooltipDescription(), 17);
        button->setObjectName(QStringLiteral("tool_") + tool.rawValue());
        connect(button, &QAbstractButton::clicked, this, [this, tool] { m_engine.setSelectedTool(tool); });
        tools->addWidget(button);
        m_toolButtons.emplace_back(tool, button);
    }
    row->addLayout(tools);
    row->addWidget(verticalDivider(this));

    m_numberToggle = makeButton(QStringLiteral("number.circle"), QStringLiteral("Nummer im Textlabel anzeigen"), 17);
    connect(m_numberToggle, &QAbstractButton::clicked, this,
        [this] { m_engine.setIncludeNumberInLabel(!m_engine.includeNumberInLabel()); });
    row->addWidget(m_numberToggle);

    auto* swatch = new EditorButton(QString(), QSize(18, 18), 18, this);
    m_swatch = swatch;
    addTooltip(swatch, QStringLiteral("Farbe – färbt auch das ausgewählte Element nachträglich um"));
    connect(swatch, &QAbstractButton::clicked, this, &AnnotationToolbarView::openColorPopover);
    row->addWidget(swatch);

    row->addWidget(makeSizeSlider());
    row->addWidget(verticalDivider(this));

    m_undo = makeButton(QStringLiteral("arrow.uturn.backward"), QStringLiteral("Rückgängig"), 17);
    connect(m_undo, &QAbstractButton::clicked, this, &AnnotationToolbarView::undoRequested);
    row->addWidget(m_undo);
    auto* remove = new EditorButton(QStringLiteral("minus.circle"), QSize(22, 28), 15, this);
    remove->setSymbolColor(Theme::destructive());
    addTooltip(remove, QStringLiteral("Ausgewähltes Element löschen (⌫)"));
    m_delete = remove;
    connect(m_delete, &QAbstractButton::clicked, this, [this] { m_engine.deleteSelectedStroke(); });
    row->addWidget(m_delete);
    m_clear = makeButton(QStringLiteral("trash"), QStringLiteral("Alles löschen"), 17);
    connect(m_clear, &QAbstractButton::clicked, this, &AnnotationToolbarView::clearRequested);
    row->addWidget(m_clear);
    row->addStretch(1);

    m_beautify = makeButton(
        QStringLiteral("sparkles"), QStringLiteral("Beautify – Hintergrund, Abstand, Schatten, Zuschnitt"), 18);
    connect(m_beautify, &QAbstractButton::clicked, this, &AnnotationToolbarView::beautifyToggleRequested);
    row->addWidget(m_beautify);
    m_feedback = makeButton(QStringLiteral("questionmark.bubble"), QStringLiteral("Strukturiertes Feedback geben"), 18);
    connect(m_feedback, &QAbstractButton::clicked, this, &AnnotationToolbarView::feedbackToggleRequested);
    row->addWidget(m_feedback);

    m_popover = new ColorPopover(engine, pasteboard, this);

    m_tooltipTimer = new QTimer(this);
    m_tooltipTimer->setSingleShot(true);
    m_tooltipTimer->setInterval(kTooltipDelayMs);
    connect(m_tooltipTimer, &QTimer::timeout, this, [this] {
        if (m_hovered)
            showTooltipFor(m_hovered);
    });

    connect(&m_engine, &PaintEngine::changed, this, &AnnotationToolbarView::refresh);
    // A size that changes while its slider is shown also restyles the selection.
    connect(
        &m_engine, &PaintEngine::lineWidthChanged, this, [this] { applySizeToSelection(SliderContext::lineWidth); });
    connect(&m_engine, &PaintEngine::fontSizeChanged, this, [this] { applySizeToSelection(SliderContext::fontSize); });
    connect(
        &m_engine, &PaintEngine::badgeSizeChanged, this, [this] { applySizeToSelection(SliderContext::badgeSize); });
    connect(&m_engine, &PaintEngine::effectAmountChanged, this,
        [this] { applySizeToSelection(SliderContext::effectAmount); });
    refresh();
}

AnnotationToolbarView::~AnnotationToolbarView()
{
    if (m_pill)
        delete m_pill.data();
}

QAbstractButton* AnnotationToolbarView::makeButton(const QString& symbol, const QString& tooltip, int iconSize)
{
    auto* button = new EditorButton(symbol, QSize(28, 28), iconSize, this);
    addTooltip(button, tooltip);
    return button;
}

void AnnotationToolbarView::addTooltip(QWidget* control, const QString& text)
{
    control->setProperty(kTooltipProperty, text);
    control->setAccessibleDescription(text);
    control->installEventFilter(this);
}

QString AnnotationToolbarView::tooltipOf(const QWidget* control)
{
    return control ? control->property(kTooltipProperty).toString() : QString();
}

QLabel* AnnotationToolbarView::visibleTooltipPill() const
{
    return m_pill && m_pill->isVisible() ? m_pill.data() : nullptr;
}

QAbstractButton* AnnotationToolbarView::toolButton(PaintTool tool) const
{
    for (const auto& [candidate, button] : m_toolButtons)
        if (candidate.rawValue() == tool.rawValue())
            return button;
    return nullptr;
}

bool AnnotationToolbarView::eventFilter(QObject* watched, QEvent* event)
{
    auto* control = qobject_cast<QWidget*>(watched);
    if (control && event->type() == QEvent::Enter) {
        hideTooltip();
        m_hovered = control;
        m_tooltipTimer->start();
    } else if (control && (event->type() == QEvent::Leave || event->type() == QEvent::Hide)) {
        if (m_hovered == control) {
            m_hovered = nullptr;
            m_tooltipTimer->stop();
            hideTooltip();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void AnnotationToolbarView::showTooltipFor(QWidget* control)
{
    const QString text = tooltipOf(control);
    QWidget* host = window();
    if (text.isEmpty() || !host)
        return;
    if (!m_pill) {
        m_pill = new QLabel(host);
        m_pill->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_pill->setFont(pillFont());
        m_pill->setAlignment(Qt::AlignCenter);
        m_pill->setStyleSheet(QStringLiteral("QLabel { color: white; background: %1; border-radius: 6px; padding: 0; }")
                                  .arg(Theme::chipSurface().name()));
    }
    m_pill->setText(text);
    // The text at its natural width with 8 points either side and 5 above and below; centred
    // under the control, kept 6 points inside the bar's width.
    const QFontMetricsF metrics(pillFont());
    const double w = metrics.horizontalAdvance(text);
    m_pill->setFixedSize(qCeil(w) + 16, qCeil(metrics.height()) + 10);
    const double half = (w + 16) / 2;
    const double lo = half + 6;
    const double hi = std::max(lo, width() - half - 6);
    const QRect anchor(control->mapTo(this, QPoint(0, 0)), control->size());
    const double x = std::clamp<double>(anchor.center().x(), lo, hi);
    const double y = anchor.bottom() + 20;
    m_pill->move(mapTo(host, QPoint(qRound(x - half), qRound(y) - m_pill->height() / 2)));
    m_pill->raise();
    m_pill->show();
}

void AnnotationToolbarView::hideTooltip()
{
    if (m_pill)
        m_pill->hide();
}

void AnnotationToolbarView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    hideTooltip();
}

void AnnotationToolbarView::setFeedbackShown(bool shown)
{
    static_cast<EditorButton*>(m_feedback)->setActive(shown);
}

void AnnotationToolbarView::setBeautifyShown(bool shown)
{
    static_cast<EditorButton*>(m_beautify)->setActive(shown);
}

void AnnotationToolbarView::openColorPopover()
{
    const QRect anchor(m_swatch->mapToGlobal(QPoint(0, 0)), m_swatch->size());
    m_popover->popup(anchor);
}

void AnnotationToolbarView::refresh()
{
    const QString selected = m_engine.selectedTool().rawValue();
    for (const auto& [tool, button] : m_toolButtons)
        static_cast<EditorButton*>(button)->setActive(tool.rawValue() == selected);
    auto* number = static_cast<EditorButton*>(m_numberToggle);
    number->setVisible(m_engine.selectedTool().family() == ToolFamily::label);
    number->setSymbol(
        m_engine.includeNumberInLabel() ? QStringLiteral("number.circle.fill") : QStringLiteral("number.circle"));
    number->setActive(m_engine.includeNumberInLabel());
    QColor ring = Theme::text();
    ring.setAlphaF(0.2);
    static_cast<EditorButton*>(m_swatch)->setSwatch(m_engine.selectedColor().toQColor(), ring, 1);
    const bool hasStrokes = !m_engine.strokes().empty();
    m_undo->setEnabled(hasStrokes);
    m_clear->setEnabled(hasStrokes);
    m_delete->setVisible(m_engine.selectedStrokeID().has_value());
    refreshSlider();
}

void AnnotationToolbarView::refreshSlider()
{
    m_sliderContext = sliderContext(m_engine);
    const SliderSpec spec = sliderSpec(m_sliderContext);
    m_slider->setProperty(kTooltipProperty, spec.label);
    m_slider->setAccessibleDescription(spec.label);
    double value = m_engine.lineWidth();
    switch (m_sliderContext) {
    case SliderContext::fontSize:
        value = m_engine.fontSize();
        break;
    case SliderContext::badgeSize:
        value = m_engine.badgeSize();
        break;
    case SliderContext::effectAmount:
        value = m_engine.effectAmount();
        break;
    case SliderContext::lineWidth:
        break;
    }
    const double fraction = std::clamp((value - spec.minimum) / (spec.maximum - spec.minimum), 0.0, 1.0);
    m_updatingSlider = true;
    m_slider->setValue(int(std::lround(fraction * kSliderSteps)));
    m_updatingSlider = false;
}

double AnnotationToolbarView::sliderValue() const
{
    const SliderSpec spec = sliderSpec(m_sliderContext);
    return spec.minimum + (spec.maximum - spec.minimum) * m_slider->value() / double(kSliderSteps);
}

void AnnotationToolbarView::setSliderValue(double value)
{
    const SliderSpec spec = sliderSpec(m_sliderContext);
    m_slider->setValue(int(std::lround((value - spec.minimum) / (spec.maximum - spec.minimum) * kSliderSteps)));
}

void AnnotationToolbarView::sliderMoved(int)
{
    if (m_updatingSlider)
        return;
    const double value = sliderValue();
    switch (m_sliderContext) {
    case SliderContext::lineWidth:
        m_engine.setLineWidth(value);
        break;
    case SliderContext::fontSize:
        m_engine.setFontSize(value);
        break;
    case SliderContext::badgeSize:
        m_engine.setBadgeSize(value);
        break;
    case SliderContext::effectAmount:
        m_engine.setEffectAmount(value);
        break;
    }
}

void AnnotationToolbarView::applySizeToSelection(SliderContext context)
{
    if (context != sliderContext(m_engine))
        return;
    switch (context) {
    case SliderContext::lineWidth:
        m_engine.applyLineWidthToSelection(m_engine.lineWidth());
        break;
    case SliderContext::fontSize:
        m_engine.applyFontSizeToSelection(m_engine.fontSize());
        break;
    case SliderContext::badgeSize:
        m_engine.applyBadgeSizeToSelection(m_engine.badgeSize());
        break;
    case SliderContext::effectAmount:
        m_engine.applyEffectAmountToSelection(m_engine.effectAmount());
        break;
    }
}
