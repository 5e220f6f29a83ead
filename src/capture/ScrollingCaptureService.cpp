#include "capture/ScrollingCaptureService.h"

#include "capture/ScreenshotCaptureService.h"
#include "platform/Background.h"
#include "platform/DesktopNotifier.h"
#include "platform/ScrollActivityMonitor.h"
#include "platform/ScrollEventPoster.h"
#include "platform/Workspace.h"

#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {

const QString alreadyRunning = QStringLiteral("Es läuft bereits eine Erfassung");
const QString firstFrameFailed = QStringLiteral("Erster Schnappschuss fehlgeschlagen");
const QString stitchingFailed = QStringLiteral("Zusammensetzen fehlgeschlagen");
const QString unclearStored = QStringLiteral(
    "Ab einer Stelle ließ sich die Seite nicht sicher anschließen, etwa bei gleichen Zeilen. Das Bild endet davor.");
const QString stepTooLargeStored = QStringLiteral(
    "Ein Schritt war so groß wie das Fenster, danach ließ sich die Seite nicht anschließen. Das Bild endet davor. "
    "Scrolle in kleineren Schritten, etwa mit dem Mausrad statt mit der Leertaste.");

}

const QString ScrollingCaptureService::unclearNotice = QStringLiteral("Anschluss verloren – zurück zur letzten Stelle");
const QString ScrollingCaptureService::unclearSummary = QStringLiteral("Scrollende Aufnahme unvollständig");

ScrollingCaptureService::ScrollingCaptureService(Needs needs, Timing timing, QObject* parent)
    : QObject(parent)
    , m_needs(std::move(needs))
    , m_timing(timing)
{
    m_clock.start();
}

ScrollingCaptureService::Needs ScrollingCaptureService::desktopNeeds(ScreenshotCaptureService& capture,
    ScrollEventPoster& scrollEvents, ScrollActivityMonitor& scrollActivity, Workspace& workspace, ScreenSource& screen,
    DesktopNotifier& notifier)
{
    Needs needs;
    needs.grabWindow = [&capture](const ScreenWindow& window, double scale, QObject* receiver,
                           std::function<void(QImage)> done) {
        capture.grabWindowImage(window, scale, receiver, std::move(done));
    };
    needs.handOff = [&capture](const QImage& image, const QRectF& sourceRect) {
        capture.finish(image, sourceRect, 0, CaptureKind::scrolling);
    };
    needs.postWheelClicks = [&scrollEvents](const QPoint& point, int clicks) {
        return scrollEvents.postWheelClicks(point, clicks);
    };
    needs.startScrollMonitor = [&scrollActivity](std::function<void()> onScroll) {
        return scrollActivity.start(std::move(onScroll));
    };
    needs.stopScrollMonitor = [&scrollActivity] { scrollActivity.stop(); };
    needs.activateWindow = [&workspace](quint64 windowID) { workspace.activateWindow(windowID); };
    needs.notify = [&notifier](const QString& summary, const QString& body) { notifier.notify(summary, body); };
    needs.currentWindowFrame = [&screen](quint64 windowID) -> std::optional<QRect> {
        for (const ScreenWindow& window : screen.windows()) {
            if (window.windowID == windowID)
                return window.frame;
        }
        return std::nullopt;
    };
    return needs;
}

int ScrollingCaptureService::stepForHeight(int height)
{
    return std::max(int(double(height) * stepFraction), 20);
}

QString ScrollingCaptureService::statusText(const State& state)
{
    switch (state.kind) {
    case State::Kind::capturing:
        if (!state.notice.isEmpty())
            return state.notice;
        return QStringLiteral("Erfasse … (%1)").arg(state.frameCount);
    case State::Kind::failed:
        return QStringLiteral("Fehlgeschlagen");
    case State::Kind::stitching:
        return QStringLiteral("Setze zusammen …");
    case State::Kind::idle:
    case State::Kind::cancelling:
        return QStringLiteral("Fertig");
    }
    return {};
}

QImage ScrollingCaptureService::stitch(const std::vector<QImage>& slices)
{
    if (slices.empty() || slices.front().isNull())
        return {};
    const int width = slices.front().width();
    qint64 total = 0;
    for (const QImage& slice : slices)
        total += slice.height();
    if (total < 1 || width < 1 || total > maxStitchedHeight)
        return {};
    QImage image(width, int(total), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    int consumed = 0;
    for (const QImage& slice : slices) {
        // A slice of another width is scaled to the full width.
        painter.drawImage(QRect(0, consumed, width, slice.height()), slice);
        consumed += slice.height();
    }
    return image;
}

void ScrollingCaptureService::beginAutoScrollCapture(const ScreenWindow& window, double scale, Completion done)
{
    begin(Mode::automatic, window, scale, std::move(done));
}

void ScrollingCaptureService::beginManualCapture(const ScreenWindow& window, double scale, Completion done)
{
    begin(Mode::manual, window, scale, std::move(done));
}

void ScrollingCaptureService::finishEarly()
{
    if (m_state.kind == State::Kind::idle)
        return;
    m_finishEarlyRequested = true;
    m_stopRequested = true;
}

void ScrollingCaptureService::cancel()
{
    if (m_state.kind == State::Kind::idle)
        return;
    m_stopRequested = true;
    // The running loop notices at its next check and ends; until then no new capture may start,
    // so the old loop can never be revived by a new one.
    setState({State::Kind::cancelling, 0, {}, {}});
}

void ScrollingCaptureService::begin(Mode mode, const ScreenWindow& window, double scale, Completion done)
{
    if (m_state.kind != State::Kind::idle) {
        if (done)
            done({Outcome::Kind::failed, alreadyRunning});
        return;
    }
    ++m_session;
    m_mode = mode;
    m_stopRequested = false;
    m_finishEarlyRequested = false;
    m_done = std::move(done);
    m_window = window;
    m_scale = scale;
    m_slices.clear();
    m_stitchedHeight = 0;
    m_previous = QImage();
    m_lastKept = QImage();
    m_band.reset();
    m_measuredBand.reset();
    m_frameCount = 0;
    m_clicksPosted = 0;
    m_firstScrollRechecks = 0;
    m_pixelsPerClick = 120.0;
    m_clickMeasured = false;
    m_unconfirmedStrips = 0;
    m_stillSteps = 0;
    m_lastSure = QImage();
    m_anchor = QImage();
    m_position = 0;
    m_anchorPosition = 0;
    m_clicksSinceAnchor = 0;
    m_lastStepPossible.clear();
    m_lastStepClicks = 0;
    m_clicksCap = 0;
    m_unjoined = Unjoined::no;
    // Busy from here on: a second start while the first frame is awaited is refused.
    setState({State::Kind::capturing, 0, {}, {}});
    if (m_needs.activateWindow)
        m_needs.activateWindow(window.windowID);
    after(m_timing.beforeFirstFrame, [this] {
        grabNext([this](const QImage& frame) {
            if (frame.isNull())
                return end({Outcome::Kind::failed, firstFrameFailed});
            afterFirstFrame(frame);
        });
    });
}

void ScrollingCaptureService::afterFirstFrame(const QImage& frame)
{
    if (m_stopRequested && !m_finishEarlyRequested)
        return end({Outcome::Kind::tooShort, {}});
    m_slices.push_back(frame);
    m_stitchedHeight = frame.height();
    m_previous = frame;
    m_lastSure = frame;
    m_anchor = frame;
    m_frameCount = 1;
    setState({State::Kind::capturing, 1, {}, {}});
    emit gatheringStarted();
    if (m_mode == Mode::automatic) {
        m_step = stepForHeight(frame.height());
        if (stopRequested())
            return finish();
        return autoScroll();
    }
    m_lastScroll = m_clock.elapsed();
    m_lastAccepted = m_lastScroll;
    m_monitoring = m_needs.startScrollMonitor && m_needs.startScrollMonitor([this, session = m_session] {
        if (session == m_session)
            m_lastScroll = m_clock.elapsed();
    });
    manualPass();
}

int ScrollingCaptureService::clicksForStep() const
{
    // The wheel scrolls in notches whose distance each program chooses; the step in pixels of
    // the grab is converted with the distance measured so far (a cautious guess at first), so one
    // scroll never runs past what the aligner can measure.
    const int clicks = std::max(1, int(std::floor(double(m_step) / m_pixelsPerClick)));
    return m_clicksCap > 0 ? std::min(clicks, m_clicksCap) : clicks;
}

void ScrollingCaptureService::autoScroll()
{
    m_clicksPosted = clicksForStep();
    if (m_needs.postWheelClicks) {
        const QPoint centre = m_window.frame.center();
        if (!m_needs.postWheelClicks(centre, m_clicksPosted))
            m_clicksPosted = 0;
    }
    grabAfterScroll();
}

void ScrollingCaptureService::grabAfterScroll()
{
    after(m_timing.settleAfterScroll, [this] {
        if (stopRequested())
            return finish();
        grabSettled([this](const QImage& next) {
            if (next.isNull())
                return finish();
            compare(m_previous, next, [this, next](const ScrollMatch& match) { autoCompare(next, match); });
        });
    });
}

void ScrollingCaptureService::autoCompare(const QImage& next, const ScrollMatch& match)
{
    const std::optional<Step> step = trustedOffset(match);
    const std::optional<int> offset = step ? std::optional<int>(step->offset) : std::nullopt;
    // The window changed, yet the picture matches at several distances and nothing tells which.
    const bool unclear = !offset && !match.still && !match.candidates.empty();
    // The window moved after the steps before this one: none of them was cut short by the page's
    // end, so the strips taken on their notches stand.
    if (!match.still && offset && *offset >= minMeaningfulOffset) {
        m_unconfirmedStrips = 0;
        m_lastSure = m_previous;
    }
    if (m_frameCount == 1 && (!offset || *offset < minMeaningfulOffset)) {
        if (unclear) {
            m_unjoined = Unjoined::unclear;
            return finish();
        }
        // A window that ignores the wheel: offered the manual mode instead of ending silently.
        // The program may not have redrawn yet: it gets a few more looks, with no more scrolling.
        if (m_firstScrollRechecks < firstScrollRechecks) {
            ++m_firstScrollRechecks;
            return grabAfterScroll();
        }
        emit gatheringEnded();
        return end({Outcome::Kind::noMovementDetected, {}});
    }
    if (!offset || *offset < minMeaningfulOffset) {
        // A change that cannot be placed ends the picture before it; no change, or a last small
        // one, is the end of the page.
        if (!offset && !match.still)
            m_unjoined = unjoinedBy(match);
        // The page ended, maybe within the last step, which the notches decided.
        if (match.still && m_unconfirmedStrips == 1 && !m_lastStepPossible.empty())
            return measureEnd();
        return finish();
    }
    // A still picture that moved by what the notches sent: a stretch of identical lines taller than
    // the window. Its strips stand only once a later step shows the window moving.
    const bool still = match.still;
    if (!still && m_clicksPosted > 0 && *offset < next.height()) {
        m_pixelsPerClick = std::max(1.0, double(*offset) / m_clicksPosted);
        m_clickMeasured = true;
    }
    // A step that moved clearly less than its notches: the distance per notch was smaller than
    // measured, or the page ended within the step. Either way more notches are no use; after a
    // page's end they would only turn the wheel on into its still last screen.
    m_clicksCap = step->cutShort ? m_clicksPosted : 0;
    const bool room = appendStrip(next, *offset);
    m_position += *offset;
    m_lastStepPossible = step->possible;
    m_lastStepClicks = m_clicksPosted;
    if (step->onNotches) {
        ++m_unconfirmedStrips;
        m_clicksSinceAnchor += m_clicksPosted;
    } else {
        m_lastSure = next;
        m_anchor = next;
        m_anchorPosition = m_position;
        m_clicksSinceAnchor = 0;
    }
    m_stillSteps = still ? m_stillSteps + 1 : 0;
    ++m_frameCount;
    setState({State::Kind::capturing, m_frameCount, {}, {}});
    if (!room || m_finishEarlyRequested || m_stillSteps > maxStillSteps)
        return finish();
    m_previous = next;
    if (m_frameCount >= maxFrames || stopRequested())
        return finish();
    autoScroll();
}

std::optional<ScrollingCaptureService::Step> ScrollingCaptureService::trustedOffset(const ScrollMatch& match) const
{
    // The distance the picture tells by itself, or -1.
    const int clear = match.still ? -1 : match.clear().value_or(-1);
    if (m_clickMeasured && m_clicksPosted > 0) {
        const int expected = int(std::lround(m_pixelsPerClick * m_clicksPosted));
        // A little slack for programs whose notches are not all alike.
        const int slack = std::max(2, expected / 20);
        // The page ended before the notches' whole distance: the content moved less, as far as
        // the picture tells by itself, even where repeated lines allow the notches' distance too.
        if (clear >= 0 && clear < expected - slack)
            return Step {clear, true, false, {}};
        if (const std::optional<int> near = match.nearest(expected, slack)) {
            // A still picture moved by the notches only through identical lines filling the window,
            // which matches itself at every line; any other is where the page ended.
            if (match.still)
                return match.agreesAtEveryLineUpTo(*near) ? Step {*near, false, true, {}} : Step {};
            // Where the picture allows a shorter distance as well as it allows the notches' one, the
            // page may have ended there, short of the notches: only a later step that moves tells
            // it did not. One that leaves rows unmatched is no such place (the header of another
            // number where the notches' distance matches every row).
            std::vector<int> possible = match.asWellUpTo(*near);
            if (clear == *near || possible.size() < 2)
                return Step {*near, false, false, {}};
            return Step {*near, false, true, std::move(possible)};
        }
    }
    // Otherwise only what the picture tells by itself: where the content moved further than the
    // notches over repeated lines, nothing, and the picture ends before it.
    if (match.still)
        return Step {};
    return clear >= 0 ? std::optional<Step>(Step {clear, false, false, {}}) : std::nullopt;
}

void ScrollingCaptureService::measureEnd()
{
    // Every step since the last frame the picture placed by itself (the anchor) moved its notches'
    // whole distance but maybe the last, which moved one of m_lastStepPossible. Turned back by all
    // their notches, the window shows the page above the anchor by what the last step fell short
    // of its notches; the two pictures tell that where the last step's could not, from the
    // anchor's upper lines, which tell it apart from the repeated ones below (its step to the next
    // frame agreed at many distances). The way back stays below the first frame's top, so the
    // page's own top cannot have cut it short: near it, fewer of the last step's notches are
    // turned back, and the window may come to rest below the anchor.
    const int full = m_lastStepPossible.back();
    if (m_lastStepClicks <= 0 || full % m_lastStepClicks != 0)
        return finish();
    const int notch = full / m_lastStepClicks;
    const int within = std::clamp((m_anchorPosition - 1) / notch, 0, m_lastStepClicks);
    const int back = m_clicksSinceAnchor - m_lastStepClicks + within;
    const QPoint centre = m_window.frame.center();
    if (stopRequested() || back <= 0 || !m_needs.postWheelClicks || !m_needs.postWheelClicks(centre, -back))
        return finish();
    const auto done = [this, back, centre](std::optional<int> lastStep) {
        // The window is left at the page's end, as after any capture.
        m_needs.postWheelClicks(centre, back);
        if (lastStep) {
            m_stitchedHeight -= m_slices.back().height();
            m_slices.pop_back();
            appendStrip(m_previous, *lastStep);
            m_unconfirmedStrips = 0;
        }
        finish();
    };
    // The distance of the last step that put the window where the pictures tell by themselves it
    // stands, among the places it can: up to `within` notches above the anchor (below the first
    // frame's top), or up to the rest of the last step's notches below it. Both show the same
    // page, so the place agrees in every row.
    const auto lastStepFor = [notch, within, full](ScrollMatch match, int sign) -> std::optional<int> {
        const int reach = sign < 0 ? within * notch : full - within * notch;
        std::erase_if(match.candidates, [reach](const ScrollCandidate& candidate) {
            return candidate.offset > reach || candidate.mismatched > 0;
        });
        const std::optional<int> clear = match.clear();
        return clear ? std::optional<int>(within * notch + sign * *clear) : std::nullopt;
    };
    after(m_timing.settleAfterScroll, [this, done, lastStepFor] {
        if (stopRequested())
            return done(std::nullopt);
        grabSettled([this, done, lastStepFor](const QImage& landing) {
            // A window that did not move back tells nothing.
            if (landing.isNull() || landing == m_previous)
                return done(std::nullopt);
            compare(landing, m_anchor, [this, done, lastStepFor, landing](const ScrollMatch& above) {
                compare(m_anchor, landing, [this, done, lastStepFor, above](const ScrollMatch& below) {
                    std::vector<int> moved;
                    for (const std::optional<int> step : {lastStepFor(above, -1), lastStepFor(below, 1)})
                        if (step && std::find(moved.begin(), moved.end(), *step) == moved.end())
                            moved.push_back(*step);
                    // Nothing joined at a guess: the pictures tell one place, which the last step allows.
                    const bool told = moved.size() == 1
                        && std::find(m_lastStepPossible.begin(), m_lastStepPossible.end(), moved.front())
                            != m_lastStepPossible.end();
                    done(told ? std::optional<int>(moved.front()) : std::nullopt);
                });
            });
        });
    });
}

void ScrollingCaptureService::manualPass()
{
    if (m_stopRequested || m_finishEarlyRequested)
        return finish();
    after(m_timing.manualPollInterval, [this] {
        const qint64 now = m_clock.elapsed();
        const qint64 quietSince = std::max(m_lastScroll, m_lastAccepted);
        // Not while the strip asks the user to scroll back.
        if (m_slices.size() >= 2 && m_unjoined == Unjoined::no && now - quietSince >= m_timing.manualDoneAfterQuiet)
            return finish();
        if (now - m_lastScroll <= m_timing.manualScrollQuiet)
            return manualPass();
        grabSettled([this](const QImage& next) {
            // A grab that failed because the window closed ends the capture, as in automatic
            // mode: what was joined is kept. One still on the screen is looked at again.
            if (next.isNull())
                return windowOnScreen() ? manualPass() : finish();
            compare(m_previous, next, [this, next](const ScrollMatch& match) { manualCompare(next, match); });
        });
    });
}

void ScrollingCaptureService::manualCompare(const QImage& next, const ScrollMatch& match)
{
    // Nothing moved as far as the picture tells (a cursor that blinked): the last kept frame stays
    // the reference, and a scroll that did happen shows in the frames to come.
    if (match.still || match.allows(0))
        return manualPass();
    const std::optional<int> offset = match.clear();
    if (!offset) {
        // The window changed, but nothing tells where the new picture joins the last kept one (a
        // jump past everything they share, the user's scroll over identical lines): it is not
        // joined at a guess. The last kept frame stays the reference until the user scrolls back
        // to a place that joins it.
        m_unjoined = unjoinedBy(match);
        setNotice(unclearNotice);
        return manualPass();
    }
    // No movement worth a strip: the last kept frame stays the reference.
    if (*offset < minMeaningfulOffset)
        return manualPass();
    const bool room = appendStrip(next, *offset);
    m_previous = next;
    m_unjoined = Unjoined::no;
    ++m_frameCount;
    m_lastAccepted = m_clock.elapsed();
    setState({State::Kind::capturing, m_frameCount, {}, {}});
    if (!room || m_frameCount >= maxFrames)
        return finish();
    manualPass();
}

bool ScrollingCaptureService::windowOnScreen() const
{
    return m_needs.currentWindowFrame && m_needs.currentWindowFrame(m_window.windowID).has_value();
}

void ScrollingCaptureService::setNotice(const QString& notice)
{
    setState({State::Kind::capturing, m_frameCount, {}, notice});
}

void ScrollingCaptureService::dropUnconfirmedStrips()
{
    if (m_unconfirmedStrips == 0)
        return;
    for (; m_unconfirmedStrips > 0 && m_slices.size() > 1; --m_unconfirmedStrips) {
        m_stitchedHeight -= m_slices.back().height();
        m_slices.pop_back();
    }
    m_unconfirmedStrips = 0;
    // The static bottom comes from the frame the picture now ends with.
    m_lastKept = m_lastSure;
    m_unjoined = Unjoined::unclear;
}

ScrollingCaptureService::Unjoined ScrollingCaptureService::unjoinedBy(const ScrollMatch& match)
{
    // No distance at all at which the frames agree: they share nothing, the step was too large.
    return match.candidates.empty() ? Unjoined::stepTooLarge : Unjoined::unclear;
}

bool ScrollingCaptureService::appendStrip(const QImage& next, int offset)
{
    // The static rows found by the first accepted comparison hold for the whole capture: every
    // strip then ends at the same row above the static bottom, so the strips follow each other
    // without a gap or a repeat, and the static bottom is added once at the end.
    if (!m_band) {
        m_band = m_measuredBand.value_or(ScrollBand {});
        m_step = stepForHeight(next.height() - m_band->top - m_band->bottom);
    }
    const int movingEnd = next.height() - m_band->bottom;
    const int revealed = std::clamp(offset, 0, movingEnd);
    const int room = maxStitchedHeight - m_stitchedHeight;
    const bool fits = revealed < room;
    // At the height cap only the rows that follow the stitched ones directly are kept.
    const int rows = std::min(revealed, room);
    if (rows > 0) {
        const QImage strip = next.copy(m_band->left, movingEnd - revealed, keptWidth(next), rows);
        if (!strip.isNull()) {
            m_slices.push_back(strip);
            m_stitchedHeight += rows;
        }
    }
    m_lastKept = next;
    return fits;
}

void ScrollingCaptureService::placeStaticParts()
{
    // The first frame gives the static top and the content down to the static bottom; the bottom
    // itself comes once, from the last frame kept, below the last strip. Side columns that do not
    // move with the content are left out of every slice alike.
    if (!m_band || m_slices.empty() || m_lastKept.isNull() || m_slices.front().height() <= m_band->bottom)
        return;
    const int bottom = m_band->bottom;
    QImage& first = m_slices.front();
    first = first.copy(m_band->left, 0, keptWidth(first), first.height() - bottom);
    if (bottom > 0)
        m_slices.push_back(m_lastKept.copy(m_band->left, m_lastKept.height() - bottom, keptWidth(m_lastKept), bottom));
}

int ScrollingCaptureService::keptWidth(const QImage& frame) const
{
    return m_band ? frame.width() - m_band->left - m_band->right : frame.width();
}

void ScrollingCaptureService::finish()
{
    emit gatheringEnded();
    if (m_monitoring && m_needs.stopScrollMonitor)
        m_needs.stopScrollMonitor();
    m_monitoring = false;
    if (m_stopRequested && !m_finishEarlyRequested)
        return end({Outcome::Kind::tooShort, {}});
    // Steps the page may have ended within, by all the picture tells, are not vouched for.
    dropUnconfirmedStrips();
    // A capture that could not go on from its first frame keeps that frame: the sure part.
    const Unjoined unjoined = m_unjoined;
    if (m_slices.empty() || (m_slices.size() < 2 && unjoined == Unjoined::no))
        return end({Outcome::Kind::tooShort, {}});
    const QString message = unjoined == Unjoined::no ? QString()
        : unjoined == Unjoined::stepTooLarge         ? stepTooLargeStored
                                                     : unclearStored;
    setState({State::Kind::stitching, m_frameCount, {}, {}});
    placeStaticParts();
    std::optional<QRect> frame = m_needs.currentWindowFrame ? m_needs.currentWindowFrame(m_window.windowID)
                                                            : std::nullopt;
    const QRectF sourceRect = frame.value_or(m_window.frame);
    Background::run(
        this, [slices = std::move(m_slices)] { return stitch(slices); },
        [this, session = m_session, sourceRect, message](QImage image) {
            if (session != m_session)
                return;
            if (image.isNull())
                return end({Outcome::Kind::failed, stitchingFailed});
            if (m_needs.handOff)
                m_needs.handOff(image, sourceRect);
            // The picture stops at the last sure place: the user is told, not left to find a gap.
            if (!message.isEmpty() && m_needs.notify)
                m_needs.notify(unclearSummary, message);
            end({Outcome::Kind::success, message});
        });
    m_slices.clear();
}

void ScrollingCaptureService::end(Outcome outcome)
{
    if (m_monitoring && m_needs.stopScrollMonitor)
        m_needs.stopScrollMonitor();
    m_monitoring = false;
    m_slices.clear();
    m_previous = QImage();
    m_lastKept = QImage();
    ++m_session;
    setState({});
    Completion done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(std::move(outcome));
}

void ScrollingCaptureService::setState(State state)
{
    if (m_state == state)
        return;
    m_state = std::move(state);
    emit stateChanged();
}

void ScrollingCaptureService::after(int milliseconds, std::function<void()> step)
{
    QTimer::singleShot(milliseconds, this, [this, session = m_session, step = std::move(step)] {
        if (session == m_session)
            step();
    });
}

void ScrollingCaptureService::grabNext(std::function<void(QImage)> then)
{
    if (!m_needs.grabWindow)
        return then(QImage());
    m_needs.grabWindow(m_window, m_scale, this, [this, session = m_session, then = std::move(then)](QImage image) {
        if (session == m_session)
            then(std::move(image));
    });
}

void ScrollingCaptureService::grabSettled(std::function<void(QImage)> then)
{
    grabNext([this, then = std::move(then)](const QImage& frame) {
        if (frame.isNull())
            return then(frame);
        confirmSettled(frame, 0, then);
    });
}

void ScrollingCaptureService::confirmSettled(const QImage& latest, int checks, std::function<void(QImage)> then)
{
    // A picture equal to the previous frame is nothing being drawn; any other is taken once a
    // second grab shows the same, so a half-drawn window is never measured.
    Background::run(
        this, [previous = m_previous, latest] { return previous == latest; },
        [this, session = m_session, latest, checks, then = std::move(then)](bool unchanged) {
            if (session != m_session)
                return;
            if (unchanged || checks >= maxRedrawChecks)
                return then(latest);
            after(m_timing.redrawCheck, [this, latest, checks, then] {
                grabNext([this, latest, checks, then](const QImage& again) {
                    if (again.isNull())
                        return then(latest);
                    Background::run(
                        this, [latest, again] { return latest == again; },
                        [this, session = m_session, again, checks, then](bool agree) {
                            if (session != m_session)
                                return;
                            if (agree)
                                return then(again);
                            confirmSettled(again, checks + 1, then);
                        });
                });
            });
        });
}

void ScrollingCaptureService::compare(const QImage& previous, const QImage& next, std::function<void(ScrollMatch)> then)
{
    // Until a movement was accepted, each comparison first finds the rows that stayed in place
    // (fixed header and footer, frame lines) and what beside the content does not follow it (a
    // scroll bar); afterwards those of the first accepted one are used.
    Background::run(
        this,
        [aligner = m_aligner, band = m_band, previous, next]() -> ScrollFrameAligner::Measurement {
            if (band)
                return {aligner.match(previous, next, *band), band};
            return aligner.measure(previous, next);
        },
        [this, session = m_session, then = std::move(then)](ScrollFrameAligner::Measurement measured) {
            if (session != m_session)
                return;
            m_measuredBand = measured.band;
            then(measured.match);
        });
}
