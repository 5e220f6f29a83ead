#pragma once
#include <QWidget>

// The translucent background behind the history view and the quick look: a dark tinted surface
// that lets the desktop show through where a compositor blends windows, and is drawn opaque
// where none does (or the window is not translucent).
class VisualEffectView : public QWidget {
    Q_OBJECT
public:
    enum class Material { hudWindow, popover, menu, sidebar, windowBackground };
    enum class BlendingMode { behindWindow, withinWindow };

    VisualEffectView(Material material, BlendingMode blendingMode, QWidget* parent = nullptr);

    Material material() const { return m_material; }
    BlendingMode blendingMode() const { return m_blendingMode; }
    void setMaterial(Material material);
    void setBlendingMode(BlendingMode mode);

    // The colour the surface is filled with now (alpha below 255 only while translucency shows).
    QColor surfaceColor() const;
    // What a translucent surface of `material` shows over `behind` (opaque).
    static QColor surfaceOver(Material material, const QColor& behind);
    bool isTranslucent() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Material m_material;
    BlendingMode m_blendingMode;
};
