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

// Whether the distances at which the frames agree follow one another from 0 up to `offset` at one
// spacing, as in a picture of nothing but identical lines.
bool matchesEveryLineUpTo(const ScrollMatch& match, int offset)
{
    int spacing = 0;
    int last = 0;
    for (const ScrollCandidate& candidate : match.candidates) {
        if (candidate.offset == 0 || candidate.offset > offset)
            continue;
        if (spacing != 0 && candidate.offset - last != spacing)
            return false;
        spacing = candidate.offset - last;
        last = candidate.offset;
    }
    return spacing > 0 && match.allows(0);
}

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
    m_stillStrips = 0;
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
    return std::max(1, int(std::floor(double(m_step) / m_pixelsPerClick)));
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
    const std::optional<int> offset = trustedOffset(match);
    // The window changed, yet the picture matches at several distances and nothing tells which.
    const bool unclear = !offset && !match.still && !match.candidates.empty();
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
        return finish();
    }
    // A still picture that moved by what the notches sent: a stretch of identical lines taller than
    // the window. Its strips stand only once a later step shows the window moving.
    const bool still = match.still;
    if (!still && m_clicksPosted > 0 && *offset < next.height()) {
        m_pixelsPerClick = std::max(1.0, double(*offset) / m_clicksPosted);
        m_clickMeasured = true;
    }
    const bool room = appendStrip(next, *offset);
    m_stillStrips = still ? m_stillStrips + 1 : 0;
    ++m_frameCount;
    setState({State::Kind::capturing, m_frameCount, {}, {}});
    if (!room || m_finishEarlyRequested || m_stillStrips > maxStillSteps)
        return finish();
    m_previous = next;
    if (m_frameCount >= maxFrames || stopRequested())
        return finish();
    autoScroll();
}

std::optional<int> ScrollingCaptureService::trustedOffset(const ScrollMatch& match) const
{
    const std::optional<int> clear = match.still ? std::nullopt : match.clear();
    if (m_clickMeasured && m_clicksPosted > 0) {
        const int expected = int(std::lround(m_pixelsPerClick * m_clicksPosted));
        // A little slack for programs whose notches are not all alike.
        const int slack = std::max(2, expected / 20);
        // The page ended before the notches' whole distance: the content moved less, as far as
        // the picture tells by itself, even where repeated lines allow the notches' distance too.
        if (clear && *clear < expected - slack)
            return clear;
        // A still picture moved by the notches only through identical lines filling the window,
        // which matches itself at every line; any other is where the page ended.
        if (const std::optional<int> near = match.nearest(expected, slack))
            return !match.still || matchesEveryLineUpTo(match, *near) ? near : 0;
    }
    // Otherwise only what the picture tells by itself: where the content moved further than the
    // notches over repeated lines, nothing, and the picture ends before it.
    return match.still ? 0 : clear;
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

void ScrollingCaptureService::dropStillStrips()
{
    if (m_stillStrips == 0)
        return;
    for (; m_stillStrips > 0 && m_slices.size() > 1; --m_stillStrips) {
        m_stitchedHeight -= m_slices.back().height();
        m_slices.pop_back();
    }
    m_stillStrips = 0;
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
    // Steps that never showed the window moving are not vouched for.
    dropStillStrips();
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
