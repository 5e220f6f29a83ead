#include "capture/ScrollStepLedger.h"

#include <algorithm>
#include <cmath>

int ScrollStepLedger::clicksFor(int pixels) const
{
    const int clicks = std::max(1, int(std::floor(double(pixels) / m_pixelsPerClick)));
    return m_clicksCap > 0 ? std::min(clicks, m_clicksCap) : clicks;
}

void ScrollStepLedger::sent(int clicks, bool again)
{
    m_clicks = again ? m_clicks + clicks : clicks;
    m_sentAgain = again;
}

std::optional<ScrollStepLedger::Step> ScrollStepLedger::trustedStep(const ScrollMatch& match) const
{
    // The distance the picture tells by itself, or -1.
    const int clear = match.still ? -1 : match.clear().value_or(-1);
    if (m_clickMeasured && m_clicks > 0) {
        const int expected = int(std::lround(m_pixelsPerClick * m_clicks));
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
            std::vector<int> possible = match.offsetsAgreeingAsWellUpTo(*near);
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

bool ScrollStepLedger::accept(const Step& step, bool still, int frameHeight)
{
    if (!still && m_clicks > 0 && !m_sentAgain && step.offset < frameHeight) {
        m_pixelsPerClick = std::max(1.0, double(step.offset) / m_clicks);
        m_clickMeasured = true;
    }
    // A step that moved clearly less than its notches: the distance per notch was smaller than
    // measured, or the page ended within the step. Either way more notches are no use; after a
    // page's end they would only turn the wheel on into its still last screen.
    m_clicksCap = step.cutShort ? m_clicks : 0;
    m_position += step.offset;
    m_lastStepPossible = step.possible;
    m_lastStepClicks = m_clicks;
    // A still picture that moved by what the notches sent: a stretch of identical lines taller
    // than the window.
    m_stillSteps = still ? m_stillSteps + 1 : 0;
    if (step.onNotches) {
        ++m_unconfirmedStrips;
        m_clicksSinceAnchor += m_clicks;
        return false;
    }
    m_anchorPosition = m_position;
    m_clicksSinceAnchor = 0;
    return true;
}

std::optional<ScrollStepLedger::WayBack> ScrollStepLedger::wayBack() const
{
    if (m_lastStepPossible.empty())
        return std::nullopt;
    const int full = m_lastStepPossible.back();
    if (m_lastStepClicks <= 0 || full % m_lastStepClicks != 0)
        return std::nullopt;
    const int notch = full / m_lastStepClicks;
    const int within = std::clamp((m_anchorPosition - 1) / notch, 0, m_lastStepClicks);
    const int back = m_clicksSinceAnchor - m_lastStepClicks + within;
    if (back <= 0)
        return std::nullopt;
    return WayBack {notch, within, back};
}

std::optional<int> ScrollStepLedger::lastStepTold(
    const WayBack& way, const ScrollMatch& above, const ScrollMatch& below) const
{
    if (m_lastStepPossible.empty())
        return std::nullopt;
    const int full = m_lastStepPossible.back();
    const auto lastStepFor = [&way, full](ScrollMatch match, int sign) -> std::optional<int> {
        const int reach = sign < 0 ? way.within * way.notch : full - way.within * way.notch;
        std::erase_if(match.candidates,
            [reach](const ScrollCandidate& candidate) { return candidate.offset > reach || candidate.mismatched > 0; });
        const std::optional<int> clear = match.clear();
        return clear ? std::optional<int>(way.within * way.notch + sign * *clear) : std::nullopt;
    };
    std::vector<int> moved;
    for (const std::optional<int> step : {lastStepFor(above, -1), lastStepFor(below, 1)})
        if (step && std::find(moved.begin(), moved.end(), *step) == moved.end())
            moved.push_back(*step);
    // Nothing joined at a guess: the pictures tell one place, which the last step allows.
    const bool told = moved.size() == 1
        && std::find(m_lastStepPossible.begin(), m_lastStepPossible.end(), moved.front()) != m_lastStepPossible.end();
    return told ? std::optional<int>(moved.front()) : std::nullopt;
}
