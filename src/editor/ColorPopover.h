#pragma once
#include "annotation/PaintColor.h"

#include <QFrame>
#include <optional>
#include <vector>

class PaintEngine;
class Pasteboard;
class QAbstractButton;
class QLabel;
class QLineEdit;

// The colour popover under the tool bar's swatch: nine presets, the colour dialog ("Eigene
// Farbe…"), the screen eyedropper, the hex field and the hex copy button. Every choice sets the
// engine's colour and recolours the selection. Closing applies the hex field only when the user
// edited it, and then keeps the current opacity.
class ColorPopover : public QFrame {
    Q_OBJECT
public:
    // `pasteboard`: where the hex value is copied to.
    ColorPopover(PaintEngine& engine, Pasteboard& pasteboard, QWidget* parent = nullptr);

    // Shows the popover with its top edge centred under `anchor` (global coordinates).
    void popup(const QRect& anchorGlobal);

    QLineEdit* hexField() const { return m_hexField; }
    QAbstractButton* presetButton(int index) const { return m_presets.at(std::size_t(index)); }
    QAbstractButton* customColorButton() const { return m_customColor; }
    QAbstractButton* eyedropperButton() const { return m_eyedropper; }
    QAbstractButton* copyButton() const { return m_copy; }
    bool hexCopied() const { return m_hexCopied; }

    // Return in the hex field: a parsed colour becomes the colour (opacity 1).
    void submitHexField();
    // Applies a colour picked from the screen, the dialog or a preset.
    void choose(const PaintColor& color);
    void copyHexToClipboard();
    // Starts the screen colour sampler (the next click anywhere on the screen picks its pixel).
    void presentColorSampler();

protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // "Eigene Farbe…": the platform's colour dialog, in front of the editor.
    void openColorDialog();
    void refresh();

    PaintEngine& m_engine;
    Pasteboard& m_pasteboard;
    std::vector<QAbstractButton*> m_presets;
    QAbstractButton* m_customColor = nullptr;
    QAbstractButton* m_eyedropper = nullptr;
    QLineEdit* m_hexField = nullptr;
    QAbstractButton* m_copy = nullptr;
    bool m_hexEdited = false;
    bool m_hexCopied = false;
    bool m_settingHex = false;
};
