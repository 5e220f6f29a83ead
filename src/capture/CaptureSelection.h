#pragma once
// The selection of one capture session, free of any toolkit: drawing, moving and resizing a marquee,
// hovering and picking a window, the review phase with the tool bar, the self-timer and the mode
// switches. Events arrive in global points (y upwards). Time comes from an injected clock, the
// outside world (tool bar, terminal action, end of session) is reached through the callbacks of Needs.
#include "capture/CaptureGeometry.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class SelectionParadigm { marquee, windowPick };
enum class TerminalAction { screenshot, ocr, record, scrollingCapture };
enum class SelectionPhase { selecting, reviewing };
enum class ResizeHandle { n, ne, e, se, s, sw, w, nw };

// Delayed calls on the thread that owns the selection; a cancelled call never runs.
class CaptureClock {
public:
    virtual ~CaptureClock() = default;
    virtual uint64_t schedule(double seconds, std::function<void()> work) = 0;
    virtual void cancel(uint64_t token) = 0;
};

// A window that can be picked: its identity and its frame in global points.
struct PickableWindow {
    uint64_t windowID = 0;
    CaptureRect globalFrame;
    bool operator==(const PickableWindow&) const = default;
};

class CaptureSelection {
public:
    struct Needs {
        // Whether a committed selection is reviewed with the tool bar (read at that moment).
        std::function<bool()> toolbarPreference;
        // The tool bar is to be shown, moved or hidden after the state changed.
        std::function<void()> updateToolbar;
        // The confirmed selection goes to the terminal action; true after a self-timer.
        std::function<void(bool forceLiveGrab)> performTerminalAction;
        // The session ends (the owner hides its windows, then calls reset()).
        std::function<void()> dismiss;
        // The window list is needed (a switch to window picking without one).
        std::function<void()> loadWindows;
        // Any published field changed.
        std::function<void()> changed;
    };

    enum class DragKind { none, creating, moving, resizing };
    struct ActiveDrag {
        DragKind kind = DragKind::none;
        ResizeHandle handle = ResizeHandle::n; // resizing
        CaptureRect originalRect;              // resizing
        CaptureSize grabOffset;                // moving: pointer minus the rectangle's origin
        CaptureSize size;                      // moving
        CapturePoint startPoint;               // moving
    };

    static constexpr double gripHitRadius = 12;
    static constexpr double minimumMarquee = 4;
    static constexpr double clickTravel = 2;
    static constexpr double toolbarGap = 12;
    static constexpr double countdownStep = 1.0;
    static constexpr double readoutFallbackScale = 2.0;

    CaptureSelection(CaptureClock& clock, Needs needs);
    ~CaptureSelection();
    CaptureSelection(const CaptureSelection&) = delete;
    CaptureSelection& operator=(const CaptureSelection&) = delete;

    // A begin request: advances the session number and returns it. Work a request started
    // (waits, grabs, listings) checks it is still current before it acts.
    uint64_t openSession() { return ++m_sessionNumber; }
    bool isCurrentSession(uint64_t number) const { return number == m_sessionNumber; }
    // The session starts: mode set, everything per session cleared (the pointer stays).
    void beginSession(SelectionParadigm paradigm, TerminalAction action, std::optional<bool> toolbarOverride);
    // The fields reset at the end of a session (the owner's dismissal calls it).
    void reset();
    void setScreens(CaptureScreens screens) { m_screens = std::move(screens); }
    void setAvailableWindows(std::vector<PickableWindow> windows);

    // Events, in global points.
    void marqueeMouseDown(CapturePoint p);
    void dragChanged(CapturePoint p);
    void dragEnded();
    void mouseMoved(CapturePoint p);
    // The pointer left the overlay over `area` (onto the tool bar, its menu, another window): no
    // crosshair, read-out or loupe until it moves over an overlay again. A pointer already seen on
    // another monitor stays.
    void pointerLeft(const CaptureRect& area);
    void clickForWindowPick();
    void confirmSelection();
    void escapePressed();
    // Tool bar.
    void applyModeSwitch(SelectionParadigm paradigm, TerminalAction action);
    void setTimerSeconds(std::optional<int> seconds);

    // The grip of `rect` within reach of `point`, earlier grips first.
    static std::optional<ResizeHandle> hitTestHandle(CapturePoint point, const CaptureRect& rect);
    // The pixel size of the selection ("401 × 200"), empty without one.
    std::string sizeReadoutText() const;
    // Where a tool bar of `size` goes for the committed selection: centred below it, above it when
    // there is no room below, kept inside the visible frame on every side. None when nothing is
    // committed or there is no screen.
    std::optional<CaptureRect> toolbarFrame(CaptureSize size) const;
    // The rectangle shown: the committed or hovered window, or the marquee.
    std::optional<CaptureRect> shownRect() const;
    // The committed selection in global points (window frame or marquee).
    std::optional<CaptureRect> committedRect() const;

    uint64_t sessionNumber() const { return m_sessionNumber; }
    const CaptureScreens& screens() const { return m_screens; }
    SelectionParadigm paradigm() const { return m_paradigm; }
    TerminalAction terminalAction() const { return m_terminalAction; }
    SelectionPhase phase() const { return m_phase; }
    std::optional<bool> toolbarOverride() const { return m_toolbarOverride; }
    const std::optional<CaptureRect>& globalMarqueeRect() const { return m_marquee; }
    const std::optional<CaptureRect>& hoveredWindowGlobalFrame() const { return m_hoveredFrame; }
    const std::optional<CaptureRect>& committedWindowGlobalFrame() const { return m_committedFrame; }
    const std::optional<CapturePoint>& cursorGlobalPosition() const { return m_cursor; }
    const std::optional<int>& timerSeconds() const { return m_timerSeconds; }
    const std::optional<int>& countdownRemaining() const { return m_countdownRemaining; }
    const std::optional<PickableWindow>& hoveredWindow() const { return m_hoveredWindow; }
    const std::optional<PickableWindow>& committedWindow() const { return m_committedWindow; }
    const std::vector<PickableWindow>& availableWindows() const { return m_availableWindows; }
    const ActiveDrag& activeDrag() const { return m_drag; }

private:
    bool showToolbar() const;
    void commitForReview();
    void startCountdown();
    void stopCountdown();
    void tickCountdown(uint64_t countdown);
    void updateToolbar();
    void changed();
    void dismiss();

    CaptureClock& m_clock;
    Needs m_needs;
    CaptureScreens m_screens;
    uint64_t m_sessionNumber = 0;
    SelectionParadigm m_paradigm = SelectionParadigm::marquee;
    TerminalAction m_terminalAction = TerminalAction::screenshot;
    SelectionPhase m_phase = SelectionPhase::selecting;
    std::optional<bool> m_toolbarOverride;
    std::optional<CaptureRect> m_marquee;
    std::optional<CaptureRect> m_hoveredFrame;
    std::optional<CaptureRect> m_committedFrame;
    std::optional<CapturePoint> m_cursor;
    std::optional<int> m_timerSeconds;
    std::optional<int> m_countdownRemaining;
    std::optional<PickableWindow> m_hoveredWindow;
    std::optional<PickableWindow> m_committedWindow;
    std::vector<PickableWindow> m_availableWindows;
    ActiveDrag m_drag;
    std::optional<CapturePoint> m_dragStart;
    // The one running self-timer: its pending tick and a number that tells its ticks apart.
    std::optional<uint64_t> m_tickToken;
    uint64_t m_countdownNumber = 0;
};
