#pragma once
#include <QMargins>
#include <QWidget>
#include <functional>

// The floating window of the clipboard history: a frameless (or titled) tool window that stays
// above other windows, can be dragged by its background, and reports when it is moved, resized
// or loses the keyboard focus. The feedback form finds the program's history window by this class.
class HistoryPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int minWidth = 320;
    static constexpr int minHeight = 300;
    static constexpr int maxWidth = 800;
    static constexpr int maxHeight = 1200;

    explicit HistoryPanel(bool titleBarHidden, QWidget* parent = nullptr);

    bool titleBarHidden() const { return m_titleBarHidden; }
    // Frameless when hidden; a normal title bar otherwise. Keeps the frame and the visibility;
    // place, when given, sets the frame anew before a shown panel comes back on the screen.
    void setTitleBarHidden(bool hidden, const std::function<void()>& place = {});
    // A fixed-size column (not resizable) or a freely resizable window within the size limits.
    void setResizable(bool resizable);
    bool isResizable() const { return m_resizable; }
    void setMovableByBackground(bool movable) { m_movableByBackground = movable; }
    bool isMovableByBackground() const { return m_movableByBackground; }

    // The frame the window manager draws around the panel (title bar and borders) as far as it is
    // known now; none while the title bar is hidden or before the window manager framed the panel.
    QMargins frameMargins() const;

signals:
    // The window manager framed the panel anew: frameMargins() changed.
    void frameMarginsChanged();
    void moved();
    void resized();
    void resignedKey();

protected:
    bool event(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // Static: the constructor asks for them before the QWidget base exists.
    static Qt::WindowFlags flagsFor(bool titleBarHidden);

    void checkFrameMargins();

    bool m_titleBarHidden;
    QMargins m_frameMargins;
    bool m_resizable = true;
    bool m_movableByBackground = true;
};
