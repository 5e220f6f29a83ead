#include "capture/ScrollingCaptureService.h"

#include "capture/ScreenshotCaptureService.h"
#include "platform/Background.h"
#include "platform/DesktopNotifier.h"
#include "platform/ScrollActivityMonitor.h"
#include "platform/ScrollEventPoster.h"
#include "platform/Workspace.h"

#include <QTimer>
#include <algorithm>

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
    m_previous = QImage();
    m_band.reset();
    m_measuredBand.reset();
    m_frameCount = 0;
    m_ledger = {};
    m_lastSure = QImage();
    m_anchor = QImage();
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
    m_slices.start(frame);
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
    m_lastScroll = now();
    m_lastAccepted = m_lastScroll;
    m_monitoring = m_needs.startScrollMonitor && m_needs.startScrollMonitor([this, session = m_session] {
        if (session == m_session)
            m_lastScroll = now();
    });
    manualPass();
}

void ScrollingCaptureService::autoScroll()
{
    m_notchesResent = false;
    postNotches(m_ledger.clicksFor(m_step), false);
    grabAfterScroll();
}

void ScrollingCaptureService::postNotches(int clicks, bool again)
{
    const bool failed = m_needs.postWheelClicks && !m_needs.postWheelClicks(m_window.frame.center(), clicks);
    m_ledger.sent(failed ? 0 : clicks, again);
    m_notchesSentAt = now();
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
    const std::optional<ScrollStepLedger::Step> step = m_ledger.trustedStep(match);
    const bool moved = step && step->offset >= minMeaningfulOffset;
    // The window changed, yet the picture matches at several distances and nothing tells which.
    const bool unclear = !step && !match.still && !match.candidates.empty();
    // The window moved after the steps before this one: none of them was cut short by the page's
    // end, so the strips taken on their notches stand.
    if (!match.still && moved) {
        m_ledger.clearUnconfirmedStrips();
        m_lastSure = m_previous;
    }
    if (m_frameCount == 1 && !moved) {
        if (unclear) {
            m_unjoined = Unjoined::unclear;
            return finish();
        }
        // A window that ignores the wheel: offered the manual mode instead of ending silently,
        // once it has had its time, and the notches once more.
        if (awaitScroll(true))
            return;
        emit gatheringEnded();
        return end({Outcome::Kind::noMovementDetected, {}});
    }
    if (!moved) {
        // No change, or a last small one, is the end of the page once the window has had its time.
        if ((step || match.still) && awaitScroll(false))
            return;
        // A change that cannot be placed ends the picture before it.
        if (!step && !match.still)
            m_unjoined = unjoinedBy(match);
        // The page ended, maybe within the last step, which the notches decided.
        if (match.still && m_ledger.endMayBeMeasured())
            return measureEnd();
        return finish();
    }
    const bool room = appendStrip(next, step->offset);
    if (m_ledger.accept(*step, match.still, next.height())) {
        m_lastSure = next;
        m_anchor = next;
    }
    ++m_frameCount;
    setState({State::Kind::capturing, m_frameCount, {}, {}});
    if (!room || m_finishEarlyRequested || m_ledger.stillSteps() > maxStillSteps)
        return finish();
    m_previous = next;
    if (m_frameCount >= maxFrames || stopRequested())
        return finish();
    autoScroll();
}

bool ScrollingCaptureService::awaitScroll(bool mayResend)
{
    if (now() - m_notchesSentAt < m_timing.scrollPatience) {
        grabAfterScroll();
        return true;
    }
    // The notches may have come before the program listened: they go once more.
    if (mayResend && !m_notchesResent && m_ledger.clicksSent() > 0) {
        m_notchesResent = true;
        postNotches(m_ledger.clicksSent(), true);
        grabAfterScroll();
        return true;
    }
    return false;
}

void ScrollingCaptureService::measureEnd()
{
    const std::optional<ScrollStepLedger::WayBack> way = m_ledger.wayBack();
    const QPoint centre = m_window.frame.center();
    if (!way || stopRequested() || !m_needs.postWheelClicks || !m_needs.postWheelClicks(centre, -way->back))
        return finish();
    const auto done = [this, back = way->back, centre](std::optional<int> lastStep) {
        // The window is left at the page's end, as after any capture.
        m_needs.postWheelClicks(centre, back);
        if (lastStep) {
            m_slices.dropLast(1, m_previous);
            appendStrip(m_previous, *lastStep);
            m_ledger.clearUnconfirmedStrips();
        }
        finish();
    };
    after(m_timing.settleAfterScroll, [this, done, way = *way] {
        if (stopRequested())
            return done(std::nullopt);
        grabSettled([this, done, way](const QImage& landing) {
            // A window that did not move back tells nothing.
            if (landing.isNull() || landing == m_previous)
                return done(std::nullopt);
            compare(landing, m_anchor, [this, done, way, landing](const ScrollMatch& above) {
                compare(m_anchor, landing, [this, done, way, above](const ScrollMatch& below) {
                    done(m_ledger.lastStepTold(way, above, below));
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
        const qint64 at = now();
        const qint64 quietSince = std::max(m_lastScroll, m_lastAccepted);
        // Not while the strip asks the user to scroll back.
        if (m_slices.size() >= 2 && m_unjoined == Unjoined::no && at - quietSince >= m_timing.manualDoneAfterQuiet)
            return finish();
        if (at - m_lastScroll <= m_timing.manualScrollQuiet)
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
    m_lastAccepted = now();
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
    if (m_ledger.unconfirmedStrips() == 0)
        return;
    // The static bottom comes from the frame the picture now ends with.
    m_slices.dropLast(m_ledger.unconfirmedStrips(), m_lastSure);
    m_ledger.clearUnconfirmedStrips();
    m_unjoined = Unjoined::unclear;
}

ScrollingCaptureService::Unjoined ScrollingCaptureService::unjoinedBy(const ScrollMatch& match)
{
    // No distance at all at which the frames agree: they share nothing, the step was too large.
    return match.candidates.empty() ? Unjoined::stepTooLarge : Unjoined::unclear;
}

bool ScrollingCaptureService::appendStrip(const QImage& next, int offset)
{
    // The static rows found by the first accepted comparison hold for the whole capture.
    if (!m_band) {
        m_band = m_measuredBand.value_or(ScrollBand {});
        m_step = stepForHeight(next.height() - m_band->top - m_band->bottom);
    }
    return m_slices.append(next, offset, *m_band);
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
    if (m_slices.size() == 0 || (m_slices.size() < 2 && unjoined == Unjoined::no))
        return end({Outcome::Kind::tooShort, {}});
    const QString message = unjoined == Unjoined::no ? QString()
        : unjoined == Unjoined::stepTooLarge         ? stepTooLargeStored
                                                     : unclearStored;
    setState({State::Kind::stitching, m_frameCount, {}, {}});
    if (m_band)
        m_slices.placeStaticParts(*m_band);
    std::optional<QRect> frame = m_needs.currentWindowFrame ? m_needs.currentWindowFrame(m_window.windowID)
                                                            : std::nullopt;
    const QRectF sourceRect = frame.value_or(m_window.frame);
    Background::run(
        this, [slices = m_slices.take()] { return ScrollSliceStack::stitch(slices); },
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
}

void ScrollingCaptureService::end(Outcome outcome)
{
    if (m_monitoring && m_needs.stopScrollMonitor)
        m_needs.stopScrollMonitor();
    m_monitoring = false;
    m_slices.clear();
    m_previous = QImage();
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
