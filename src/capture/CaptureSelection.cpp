#include "capture/CaptureSelection.h"

#include <algorithm>
#include <cmath>
#include <utility>

CaptureSelection::CaptureSelection(CaptureClock& clock, Needs needs)
    : m_clock(clock)
    , m_needs(std::move(needs))
{
}

CaptureSelection::~CaptureSelection()
{
    if (m_tickToken)
        m_clock.cancel(*m_tickToken);
}

void CaptureSelection::beginSession(SelectionParadigm paradigm, TerminalAction action, std::optional<bool> toolbarOverride)
{
    stopCountdown();
    m_paradigm = paradigm;
    m_terminalAction = action;
    m_phase = SelectionPhase::selecting;
    m_marquee.reset();
    m_committedWindow.reset();
    m_committedFrame.reset();
    m_hoveredWindow.reset();
    m_hoveredFrame.reset();
    m_drag = {};
    m_dragStart.reset();
    m_timerSeconds.reset();
    m_toolbarOverride = toolbarOverride;
    changed();
}

void CaptureSelection::reset()
{
    stopCountdown();
    m_marquee.reset();
    m_committedWindow.reset();
    m_committedFrame.reset();
    m_hoveredFrame.reset();
    m_hoveredWindow.reset();
    m_drag = {};
    m_dragStart.reset();
    m_cursor.reset();
    m_phase = SelectionPhase::selecting;
    m_timerSeconds.reset();
    changed();
}

void CaptureSelection::setAvailableWindows(std::vector<PickableWindow> windows)
{
    m_availableWindows = std::move(windows);
}

bool CaptureSelection::showToolbar() const
{
    if (m_toolbarOverride)
        return *m_toolbarOverride;
    return m_needs.toolbarPreference && m_needs.toolbarPreference();
}

void CaptureSelection::marqueeMouseDown(CapturePoint p)
{
    if (m_paradigm != SelectionParadigm::marquee)
        return;
    m_cursor = p;
    if (m_phase == SelectionPhase::reviewing && m_marquee) {
        const CaptureRect r = *m_marquee;
        if (const auto handle = hitTestHandle(p, r)) {
            m_drag = {DragKind::resizing, *handle, r, {}, {}, {}};
            changed();
            return;
        }
        if (r.contains(p)) {
            m_drag = {DragKind::moving, ResizeHandle::n, {}, {p.x - r.minX(), p.y - r.minY()}, r.size(), p};
            changed();
            return;
        }
    }
    m_phase = SelectionPhase::selecting;
    m_marquee.reset();
    m_drag = {};
    m_drag.kind = DragKind::creating;
    m_dragStart = p;
    updateToolbar();
    changed();
}

void CaptureSelection::dragChanged(CapturePoint p)
{
    if (m_paradigm != SelectionParadigm::marquee)
        return;
    m_cursor = p;
    switch (m_drag.kind) {
    case DragKind::creating:
        if (m_dragStart)
            m_marquee = CaptureRect::spanning(*m_dragStart, p);
        break;
    case DragKind::resizing: {
        const CaptureRect& o = m_drag.originalRect;
        double left = o.minX(), right = o.maxX(), bottom = o.minY(), top = o.maxY();
        switch (m_drag.handle) {
        case ResizeHandle::n: top = p.y; break;
        case ResizeHandle::ne: right = p.x; top = p.y; break;
        case ResizeHandle::e: right = p.x; break;
        case ResizeHandle::se: right = p.x; bottom = p.y; break;
        case ResizeHandle::s: bottom = p.y; break;
        case ResizeHandle::sw: left = p.x; bottom = p.y; break;
        case ResizeHandle::w: left = p.x; break;
        case ResizeHandle::nw: left = p.x; top = p.y; break;
        }
        m_marquee = CaptureRect::spanning({left, bottom}, {right, top});
        updateToolbar();
        break;
    }
    case DragKind::moving:
        m_marquee = CaptureRect {p.x - m_drag.grabOffset.width, p.y - m_drag.grabOffset.height, m_drag.size.width,
            m_drag.size.height};
        updateToolbar();
        break;
    case DragKind::none:
        break;
    }
    changed();
}

void CaptureSelection::dragEnded()
{
    if (m_paradigm != SelectionParadigm::marquee)
        return;
    const ActiveDrag drag = m_drag;
    m_drag = {};
    switch (drag.kind) {
    case DragKind::creating: {
        // Too small, or wholly off the monitors: nothing to capture, the session ends.
        const bool accepted = m_marquee && m_marquee->width > minimumMarquee && m_marquee->height > minimumMarquee
            && m_screens.overlapsAnyScreen(*m_marquee);
        if (!accepted) {
            dismiss();
            return;
        }
        if (showToolbar())
            commitForReview();
        else if (m_needs.performTerminalAction)
            m_needs.performTerminalAction(false);
        return;
    }
    case DragKind::moving:
        if (m_cursor && m_cursor->distanceTo(drag.startPoint) < clickTravel)
            confirmSelection();
        break;
    case DragKind::resizing:
    case DragKind::none:
        break;
    }
    changed();
}

void CaptureSelection::commitForReview()
{
    m_phase = SelectionPhase::reviewing;
    updateToolbar();
    changed();
}

void CaptureSelection::pointerLeft(const CaptureRect& area)
{
    if (!m_cursor)
        return;
    const CapturePoint p = *m_cursor;
    // Edges included: the top row of a monitor lies at its maxY.
    if (p.x < area.minX() || p.x > area.maxX() || p.y < area.minY() || p.y > area.maxY())
        return;
    m_cursor.reset();
    changed();
}

void CaptureSelection::mouseMoved(CapturePoint p)
{
    if (m_paradigm == SelectionParadigm::marquee) {
        m_cursor = p;
        changed();
        return;
    }
    m_hoveredWindow.reset();
    m_hoveredFrame.reset();
    for (const PickableWindow& window : m_availableWindows) {
        if (window.globalFrame.contains(p)) {
            m_hoveredWindow = window;
            m_hoveredFrame = window.globalFrame;
            break;
        }
    }
    changed();
}

void CaptureSelection::clickForWindowPick()
{
    if (m_paradigm != SelectionParadigm::windowPick || !m_hoveredWindow) {
        dismiss();
        return;
    }
    const PickableWindow window = *m_hoveredWindow;
    if (!showToolbar()) {
        m_committedWindow = window;
        m_committedFrame = m_hoveredFrame;
        if (m_needs.performTerminalAction)
            m_needs.performTerminalAction(false);
        return;
    }
    if (m_phase == SelectionPhase::reviewing && m_committedWindow && m_committedWindow->windowID == window.windowID) {
        confirmSelection();
        return;
    }
    m_committedWindow = window;
    m_committedFrame = m_hoveredFrame;
    commitForReview();
}

void CaptureSelection::confirmSelection()
{
    // One self-timer at a time: a confirmation while it counts restarts nothing.
    if (m_phase != SelectionPhase::reviewing || m_countdownRemaining)
        return;
    if (m_timerSeconds && *m_timerSeconds > 0) {
        startCountdown();
        return;
    }
    if (m_needs.performTerminalAction)
        m_needs.performTerminalAction(false);
}

void CaptureSelection::startCountdown()
{
    stopCountdown();
    m_countdownRemaining = *m_timerSeconds;
    const uint64_t countdown = ++m_countdownNumber;
    m_tickToken = m_clock.schedule(countdownStep, [this, countdown] { tickCountdown(countdown); });
    updateToolbar();
    changed();
}

void CaptureSelection::stopCountdown()
{
    if (m_tickToken)
        m_clock.cancel(*m_tickToken);
    m_tickToken.reset();
    ++m_countdownNumber;
    m_countdownRemaining.reset();
}

void CaptureSelection::tickCountdown(uint64_t countdown)
{
    if (countdown != m_countdownNumber || !m_countdownRemaining)
        return; // a tick of a countdown that was stopped
    m_tickToken.reset();
    const int next = *m_countdownRemaining - 1;
    if (next < 1) {
        m_countdownRemaining.reset();
        changed();
        if (m_needs.performTerminalAction)
            m_needs.performTerminalAction(true);
        return;
    }
    m_countdownRemaining = next;
    m_tickToken = m_clock.schedule(countdownStep, [this, countdown] { tickCountdown(countdown); });
    changed();
}

void CaptureSelection::escapePressed()
{
    if (m_countdownRemaining) {
        stopCountdown();
        updateToolbar();
        changed();
        return;
    }
    dismiss();
}

void CaptureSelection::applyModeSwitch(SelectionParadigm paradigm, TerminalAction action)
{
    const SelectionParadigm old = m_paradigm;
    m_paradigm = paradigm;
    m_terminalAction = action;
    if (old != paradigm) {
        stopCountdown();
        m_phase = SelectionPhase::selecting;
        m_marquee.reset();
        m_committedWindow.reset();
        m_committedFrame.reset();
        m_drag = {};
        updateToolbar();
        if (paradigm == SelectionParadigm::windowPick && m_availableWindows.empty() && m_needs.loadWindows)
            m_needs.loadWindows();
    }
    changed();
}

void CaptureSelection::setTimerSeconds(std::optional<int> seconds)
{
    m_timerSeconds = seconds;
    changed();
}

std::optional<ResizeHandle> CaptureSelection::hitTestHandle(CapturePoint point, const CaptureRect& r)
{
    const std::array<std::pair<ResizeHandle, CapturePoint>, 8> grips {{
        {ResizeHandle::nw, {r.minX(), r.maxY()}},
        {ResizeHandle::n, {r.midX(), r.maxY()}},
        {ResizeHandle::ne, {r.maxX(), r.maxY()}},
        {ResizeHandle::e, {r.maxX(), r.midY()}},
        {ResizeHandle::se, {r.maxX(), r.minY()}},
        {ResizeHandle::s, {r.midX(), r.minY()}},
        {ResizeHandle::sw, {r.minX(), r.minY()}},
        {ResizeHandle::w, {r.minX(), r.midY()}},
    }};
    for (const auto& [handle, centre] : grips)
        if (point.distanceTo(centre) < gripHitRadius)
            return handle;
    return std::nullopt;
}

std::optional<CaptureRect> CaptureSelection::shownRect() const
{
    if (m_paradigm == SelectionParadigm::windowPick)
        return m_phase == SelectionPhase::reviewing ? m_committedFrame : m_hoveredFrame;
    return m_marquee;
}

std::optional<CaptureRect> CaptureSelection::committedRect() const
{
    return m_paradigm == SelectionParadigm::windowPick ? m_committedFrame : m_marquee;
}

std::string CaptureSelection::sizeReadoutText() const
{
    std::optional<CaptureRect> rect = m_marquee;
    if (m_paradigm == SelectionParadigm::windowPick)
        rect = m_committedFrame ? m_committedFrame : m_hoveredFrame;
    if (!rect)
        return {};
    const CaptureScreen* screen = m_screens.firstIntersecting(*rect);
    const double s = screen ? screen->scale : readoutFallbackScale;
    const auto pixels = [s](double points) { return std::to_string(static_cast<long long>(std::trunc(points * s))); };
    return pixels(rect->width) + " \u00d7 " + pixels(rect->height);
}

std::optional<CaptureRect> CaptureSelection::toolbarFrame(CaptureSize size) const
{
    if (m_phase != SelectionPhase::reviewing)
        return std::nullopt;
    const std::optional<CaptureRect> r = committedRect();
    if (!r)
        return std::nullopt;
    const CaptureScreen* screen = m_screens.firstIntersecting(*r);
    if (!screen)
        screen = m_screens.primary();
    if (!screen)
        return std::nullopt;
    const CaptureRect& visible = screen->visibleFrame;
    double x = r->midX() - size.width / 2;
    double y = r->minY() - size.height - toolbarGap;
    if (y < visible.minY())
        y = r->maxY() + toolbarGap;
    // On screen on every side: a selection as tall as the screen puts the bar inside it.
    y = std::min(y, visible.maxY() - size.height);
    y = std::max(y, visible.minY());
    x = std::max(x, visible.minX());
    x = std::min(x, visible.maxX() - size.width);
    return CaptureRect {x, y, size.width, size.height};
}

void CaptureSelection::updateToolbar()
{
    if (m_needs.updateToolbar)
        m_needs.updateToolbar();
}

void CaptureSelection::changed()
{
    if (m_needs.changed)
        m_needs.changed();
}

void CaptureSelection::dismiss()
{
    m_drag = {};
    if (m_needs.dismiss)
        m_needs.dismiss();
    else
        reset();
}
