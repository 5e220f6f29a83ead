#pragma once
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class DispatchQueue;
class DispatchWorkItem;
class HotkeyRegistrar;
class QScreen;
class QWidget;
class ScreenSource;

// The short offer after every stored capture: for 1.6 s the space bar (a temporary system-wide
// hotkey) opens the captured image in the annotation editor, and a small hint near the bottom of
// the captured monitor says so. Main thread only.
class PostCaptureQuickActionController : public QObject {
    Q_OBJECT
public:
    // The hotkey's identifier with the registrar ("QVRQ"), its key (space, no modifiers) and the
    // offer's length.
    static constexpr quint32 hotkeyID = 0x51565251;
    static constexpr quint32 spaceKeyCode = 49;
    static constexpr int offerMs = 1600;

    // What the offer works with; `present` opens the editor with the image on the given screen.
    struct Needs {
        HotkeyRegistrar& registrar;
        ScreenSource& source;
        DispatchQueue& mainQueue;
        std::function<void(const QImage&, QScreen*)> present;
    };
    explicit PostCaptureQuickActionController(Needs needs);
    ~PostCaptureQuickActionController() override;

    void offer(const QImage& image, quint32 displayID);
    // For a new capture: ends the offer and takes the hint off the screen at once (no fade), so
    // that it is never part of the grab. Returns the hint's window (0 when none was shown), which
    // the grab waits to see unmapped.
    quint64 removeHintAtOnce();

    bool isPending() const { return m_pendingImage.has_value(); }
    QWidget* hintWindow() const { return m_hintWindow; }
    int offersMade() const { return m_offers; }

private:
    void cancel();
    void trigger();
    void showHint(quint32 displayID);
    void hideHint();
    QScreen* screenFor(quint32 displayID) const;
    HotkeyRegistrar* registrar() const { return &m_needs.registrar; }

    Needs m_needs;
    std::shared_ptr<DispatchWorkItem> m_dismissWorkItem;
    std::optional<QImage> m_pendingImage;
    std::optional<quint32> m_pendingDisplayID;
    QPointer<QWidget> m_hintWindow;
    bool m_hotkeyRegistered = false;
    int m_offers = 0;
};
