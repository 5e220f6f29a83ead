#pragma once
#include "ui/SymbolButton.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class CaptureOverlayWindowManager;
class CaptureSelection;
class QLabel;

// One button of the capture tool bar: a symbol over a short title, the accent colour when active,
// a light fill when active or hovered.
class CaptureModeButton : public SymbolButton {
    Q_OBJECT
public:
    CaptureModeButton(const QString& symbol, const QString& title, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The bar under a selection under review: area, full screen, window, scrolling, timer, text and
// recording modes and the selection's pixel size. It reads and switches the selection directly and
// asks the manager only for the full-screen capture; only hover and the timer list are its own.
class CaptureToolbarView : public QWidget {
    Q_OBJECT
public:
    // The timer choices in list order: none, then seconds.
    static const QList<std::optional<int>>& timerChoices();
    static QString timerChoiceTitle(std::optional<int> seconds);

    // The selection belongs to the manager; the bar uses it only while the manager exists.
    CaptureToolbarView(CaptureOverlayWindowManager* manager, CaptureSelection& selection, QWidget* parent = nullptr);

    // Reads the manager's state again (called on every change it announces).
    void refresh();
    CaptureModeButton* button(const QString& title) const;
    // The open timer list, if any (tests).
    QWidget* timerList() const { return m_timerList; }
    void showTimerList();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CaptureModeButton* addMode(const QString& symbol, const QString& title, std::function<void()> action);

    QPointer<CaptureOverlayWindowManager> m_manager;
    CaptureSelection& m_selection;
    QList<CaptureModeButton*> m_buttons;
    QLabel* m_readout;
    QPointer<QWidget> m_timerList;
};
