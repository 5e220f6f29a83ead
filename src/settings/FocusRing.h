#pragma once
#include <QPointer>
#include <QWidget>

// The mark of the keyboard focus in one window: a rounded outline in the accent colour around
// the control that has the focus, shown once the keyboard moved the focus (Tab, Shift+Tab, a
// shortcut) and put away when a click moves it. It lies over the whole host, takes no clicks,
// follows its control when the control or a parent moves or scrolls, and is clipped to where the
// control shows; a control in a scroll area is scrolled into view when the keyboard reaches it.
class FocusRing : public QWidget {
    Q_OBJECT
public:
    static constexpr int gap = 2;
    static constexpr int width = 2;

    explicit FocusRing(QWidget* host);
    ~FocusRing() override;

    // The control the ring is drawn around now; null while none is marked.
    QWidget* target() const { return isShowing() ? m_target.data() : nullptr; }
    bool isShowing() const { return m_keyboard && m_target && m_target->isVisible() && m_target->hasFocus(); }
    // The ring's outline in the host's coordinates (empty while none is drawn).
    QRect ringRect() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* widget);
    void watchChain(bool watch);
    QRect clipRect() const;

    QWidget* m_host;
    QPointer<QWidget> m_target;
    QList<QPointer<QWidget>> m_watched;
    bool m_keyboard = false;
};
