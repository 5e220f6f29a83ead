#pragma once
#include "annotation/PaintColor.h"
#include "annotation/PaintTool.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <vector>

class ColorPopover;
class PaintEngine;
class Pasteboard;
class QAbstractButton;
class QLabel;
class QSlider;
class QTimer;

// The row of controls above the annotation canvas: the seventeen tools, the colour swatch with
// its popover, one size slider whose meaning follows the tool in use, undo, delete, clear, and
// the Beautify and feedback toggles. Edits the engine directly; undo, clear and the two toggles
// go to the editor through signals. Every control explains itself in a pill 0.35 s after the
// pointer enters it; the pill hangs below the bar over the editor content.
class AnnotationToolbarView : public QWidget {
    Q_OBJECT
public:
    // The slider edits the size value of the tool (or of the selected stroke's tool).
    using SliderContext = ToolSize;
    struct SliderSpec {
        QString label;
        double minimum;
        double maximum;
    };

    // The tool buttons in the order the editor shows them.
    static const std::vector<PaintTool>& editorToolOrder();
    // The nine preset colours of the popover; the first is the engine's default colour.
    static const std::array<PaintColor, 9>& presetColors();
    // What the slider edits: the selected stroke's tool when a stroke is selected, else the tool.
    static SliderContext sliderContext(const PaintEngine& engine);
    static SliderSpec sliderSpec(SliderContext context);

    // `pasteboard`: where the colour popover copies hex values to.
    AnnotationToolbarView(PaintEngine& engine, Pasteboard& pasteboard, QWidget* parent = nullptr);
    ~AnnotationToolbarView() override;

    void setFeedbackShown(bool shown);
    void setBeautifyShown(bool shown);

    // The controls, for the editor and for tests.
    QAbstractButton* toolButton(PaintTool tool) const;
    QAbstractButton* numberToggle() const { return m_numberToggle; }
    QAbstractButton* colorSwatch() const { return m_swatch; }
    QSlider* sizeSlider() const { return m_slider; }
    QAbstractButton* undoButton() const { return m_undo; }
    QAbstractButton* deleteButton() const { return m_delete; }
    QAbstractButton* clearButton() const { return m_clear; }
    QAbstractButton* beautifyButton() const { return m_beautify; }
    QAbstractButton* feedbackButton() const { return m_feedback; }
    ColorPopover* colorPopover() const { return m_popover; }
    // The tooltip text a control shows (also its accessible description).
    static QString tooltipOf(const QWidget* control);
    // The pill shown at the moment, or null.
    QLabel* visibleTooltipPill() const;

    // The slider's current value in the engine's units.
    double sliderValue() const;
    // Moves the slider as the user would.
    void setSliderValue(double value);

    void openColorPopover();

signals:
    void undoRequested();
    void clearRequested();
    void feedbackToggleRequested();
    void beautifyToggleRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QAbstractButton* makeButton(const QString& symbol, const QString& tooltip, int iconSize);
    void addTooltip(QWidget* control, const QString& text);
    void showTooltipFor(QWidget* control);
    // The one size slider; its meaning follows the tool (see sliderContext).
    QSlider* makeSizeSlider();
    void hideTooltip();
    void refresh();
    void refreshSlider();
    void sliderMoved(int position);
    void applySizeToSelection(SliderContext context);

    PaintEngine& m_engine;
    std::vector<std::pair<PaintTool, QAbstractButton*>> m_toolButtons;
    QAbstractButton* m_numberToggle = nullptr;
    QAbstractButton* m_swatch = nullptr;
    QSlider* m_slider = nullptr;
    QAbstractButton* m_undo = nullptr;
    QAbstractButton* m_delete = nullptr;
    QAbstractButton* m_clear = nullptr;
    QAbstractButton* m_beautify = nullptr;
    QAbstractButton* m_feedback = nullptr;
    ColorPopover* m_popover = nullptr;
    SliderContext m_sliderContext = SliderContext::lineWidth;
    bool m_updatingSlider = false;

    QTimer* m_tooltipTimer = nullptr;
    QPointer<QWidget> m_hovered;
    QPointer<QLabel> m_pill;
};
