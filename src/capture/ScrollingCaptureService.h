#pragma once
#include "capture/ScrollFrameAligner.h"
#include "capture/ScrollSliceStack.h"
#include "capture/ScrollStepLedger.h"
#include "platform/ScreenSource.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <functional>
#include <optional>
#include <vector>

class ScreenshotCaptureService;
class ScrollActivityMonitor;
class ScrollEventPoster;
class Workspace;
class DesktopNotifier;

// Captures a window whose content is taller than the window as one tall image: a first frame,
// then again and again a scroll (posted by us, or the user's own), a new frame once the window has
// finished drawing, the measured distance, and the newly revealed rows from the bottom of the new
// frame's moving part (above a fixed footer or frame line); at the end the frames are stacked, the
// window's static top once at the top and its static bottom once at the bottom, and handed to the
// capture service as a "scrolling" capture.
//
// Where the picture matches at several distances (a block of identical lines), the wheel notches
// we posted, at the distance per notch measured on earlier steps, tell the true one, as long as the
// page goes on: a page may end within a step and move less than its notches, so a step the notches
// decided while the picture allows a shorter distance stands only once a later step shows the
// window moving. Where nothing can tell it (the user's own scrolling over such a block, a jump past
// everything the frames share, a page that ended within such a step), no frame is joined at a
// guess: manual mode says so on the strip until the user scrolls back to a place that joins, and a
// capture that ends there stops at the last sure place and tells the user; a page that ended
// within such a step is first measured from the last frame the picture placed, by turning the
// wheel back. A window that shows no change after the notches is looked at again until the
// patience since them is over before it counts as ignoring the wheel (the first step, which sends
// its notches once more first) or its page as ended: a busy machine's programs scroll late.
// Either mode ends when the window closes, with what was joined until then. Runs on the main
// thread; the waits are timers measured by the service's clock, and the grabs, comparisons and
// stacking run on workers.
class ScrollingCaptureService : public QObject {
    Q_OBJECT
public:
    struct State {
        enum class Kind { idle, capturing, stitching, cancelling, failed };
        Kind kind = Kind::idle;
        int frameCount = 0;
        QString reason;
        // What the user must know while frames are gathered (shown on the strip), or empty.
        QString notice;
        bool operator==(const State&) const = default;
    };
    struct Outcome {
        enum class Kind { failed, success, noMovementDetected, tooShort };
        Kind kind = Kind::tooShort;
        QString message;
    };
    using Completion = std::function<void(Outcome)>;

    // Everything the capture needs of the rest of the program, so tests can stand in for it.
    struct Needs {
        std::function<void(const ScreenWindow&, double scale, QObject* receiver, std::function<void(QImage)>)>
            grabWindow;
        std::function<void(const QImage&, const QRectF& sourceRect)> handOff;
        std::function<bool(const QPoint& rootPoint, int clicks)> postWheelClicks;
        std::function<bool(std::function<void()> onScroll)> startScrollMonitor;
        std::function<void()> stopScrollMonitor;
        std::function<void(quint64 windowID)> activateWindow;
        std::function<std::optional<QRect>(quint64 windowID)> currentWindowFrame;
        // A message in the desktop's notification area.
        std::function<void(const QString& summary, const QString& body)> notify;
        // Milliseconds on a steady clock, which the waits are measured by; the service's own
        // when unset.
        std::function<qint64()> clock;
    };
    // Waits in milliseconds; tests shorten them.
    struct Timing {
        int beforeFirstFrame = 300;
        int settleAfterScroll = 250;
        // Between two grabs of a window that changed: it has finished drawing when they agree.
        int redrawCheck = 50;
        int manualPollInterval = 200;
        int manualScrollQuiet = 500;
        // Manual mode ends by itself after this long without scrolling once two slices exist.
        int manualDoneAfterQuiet = 3000;
        // How long after its notches a window that shows no scroll yet is looked at again before
        // it counts as ignoring the wheel, or its page as ended: a program busy redrawing, or one
        // that waits for the processor on a busy machine, shows its scroll late.
        int scrollPatience = 2000;
    };

    static constexpr int maxFrames = 60;
    static constexpr int minMeaningfulOffset = ScrollFrameAligner::minMeaningfulOffset;
    // How many steps in a row may show the same picture (a block of identical lines taller than
    // the window) and still count as moved by what the notches sent; one more, and the page is
    // taken to have ended there, unsure.
    static constexpr int maxStillSteps = 8;
    // Grabs of a window that keeps changing before its latest picture is taken as it stands.
    static constexpr int maxRedrawChecks = 10;
    static constexpr double stepFraction = 0.65;
    static constexpr int maxStitchedHeight = ScrollSliceStack::maxHeight;

    ScrollingCaptureService(Needs needs, Timing timing, QObject* parent = nullptr);
    // The needs on the desktop: grabs and the hand-off through the capture service, wheel clicks
    // posted and watched by the platform, the window raised and looked up on the screen.
    static Needs desktopNeeds(ScreenshotCaptureService& capture, ScrollEventPoster& scrollEvents,
        ScrollActivityMonitor& scrollActivity, Workspace& workspace, ScreenSource& screen, DesktopNotifier& notifier);

    void beginAutoScrollCapture(const ScreenWindow& window, double scale, Completion done);
    void beginManualCapture(const ScreenWindow& window, double scale, Completion done);
    // Stops at the next check and stacks what was gathered.
    void finishEarly();
    // Stops at the next check; nothing is handed off.
    void cancel();

    const State& state() const { return m_state; }
    // The automatic scroll step in pixel rows for a first frame of this height.
    static int stepForHeight(int height);
    // The strip's status text for a state.
    static QString statusText(const State& state);
    // The strip's notice while the user's scroll cannot be joined.
    static const QString unclearNotice;
    // The notification after a capture that stopped at the last sure place.
    static const QString unclearSummary;

signals:
    void stateChanged();
    // The first frame is in and frames are being gathered (the strip shows from here).
    void gatheringStarted();
    // No more frames are gathered; may come without a gatheringStarted() before it.
    void gatheringEnded();

private:
    enum class Mode { automatic, manual };
    // Why a change of the window could not be joined: the picture matches at several distances
    // and nothing tells which, or at none (a step as large as the window).
    enum class Unjoined { no, unclear, stepTooLarge };
    static Unjoined unjoinedBy(const ScrollMatch& match);
    void begin(Mode mode, const ScreenWindow& window, double scale, Completion done);
    void afterFirstFrame(const QImage& frame);
    void autoScroll();
    // Grabs once the scroll has settled and compares with the previous frame.
    void grabAfterScroll();
    void autoCompare(const QImage& next, const ScrollMatch& match);
    // Nothing the picture tells has moved since the notches: a window slow to take the wheel or to
    // redraw (a busy machine) is looked at again until the patience since the notches is over,
    // and, where `mayResend`, then gets the notches once more. False once that is all done.
    bool awaitScroll(bool mayResend);
    // Posts the notches for the current step, or `again` the ones it sent.
    void postNotches(int clicks, bool again);
    // The page ended after a step the notches decided where the picture allowed shorter ones:
    // turns the wheel back to near the last frame the picture placed by itself, lets the two
    // pictures tell how far the last step went, joins it so when they tell one distance that step
    // allows (else it goes, and the user is told), and finishes.
    void measureEnd();
    void manualPass();
    void manualCompare(const QImage& next, const ScrollMatch& match);
    // Whether the captured window is still on the screen; false when that cannot be looked up.
    bool windowOnScreen() const;
    void setNotice(const QString& notice);
    // Drops the strips of the latest steps that no later step showed the window moving after:
    // the page may have ended within them.
    void dropUnconfirmedStrips();
    // Appends the newly revealed rows (those just above the static bottom); false when the
    // height cap was reached.
    bool appendStrip(const QImage& next, int offset);
    void finish();
    void end(Outcome outcome);
    void setState(State state);
    void after(int milliseconds, std::function<void()> step);
    void grabNext(std::function<void(QImage)> then);
    // Grabs until the window has finished drawing: the picture equals the previous frame, or two
    // grabs in a row agree.
    void grabSettled(std::function<void(QImage)> then);
    void confirmSettled(const QImage& latest, int checks, std::function<void(QImage)> then);
    void compare(const QImage& previous, const QImage& next, std::function<void(ScrollMatch)> then);
    bool stopRequested() const { return m_stopRequested; }
    // Milliseconds on the service's clock.
    qint64 now() const { return m_needs.clock ? m_needs.clock() : m_clock.elapsed(); }

    Needs m_needs;
    Timing m_timing;
    ScrollFrameAligner m_aligner {12.0, 4};
    State m_state;
    Mode m_mode = Mode::automatic;
    bool m_stopRequested = false;
    bool m_finishEarlyRequested = false;
    bool m_monitoring = false;
    quint64 m_session = 0;
    Completion m_done;
    ScreenWindow m_window;
    double m_scale = 1.0;
    ScrollSliceStack m_slices;
    QImage m_previous;
    // The rows that stay in place, fixed by the first accepted comparison.
    std::optional<ScrollBand> m_band;
    // The static rows the latest comparison found (before m_band is fixed).
    std::optional<ScrollBand> m_measuredBand;
    int m_frameCount = 0;
    int m_step = 0;
    ScrollStepLedger m_ledger;
    // When the current step's notches went, on the service's clock, and whether they went again.
    qint64 m_notchesSentAt = 0;
    bool m_notchesResent = false;
    // The frame of the last strip that stands: the source of the static bottom when later strips go.
    QImage m_lastSure;
    // The last frame the picture placed by itself.
    QImage m_anchor;
    // A change of the window could not be joined; the picture ends before it.
    Unjoined m_unjoined = Unjoined::no;
    QElapsedTimer m_clock;
    qint64 m_lastScroll = 0;
    qint64 m_lastAccepted = 0;
};
