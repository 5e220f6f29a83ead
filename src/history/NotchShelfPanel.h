#pragma once
#include <QWidget>

// The shelf's window: clear, borderless, above other windows and outside the window manager's
// control, shown without taking the focus. It takes the keyboard only when the user clicks into
// its search field and reports when it loses it again.
class NotchShelfPanel : public QWidget {
    Q_OBJECT
public:
    explicit NotchShelfPanel(QWidget* parent = nullptr);
    ~NotchShelfPanel() override;

signals:
    void resignedKey();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
