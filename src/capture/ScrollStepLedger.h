#pragma once
#include "capture/ScrollMatch.h"

#include <optional>
#include <vector>

// What an automatic scrolling capture knows of its steps so far: the distance a wheel notch moves
// the content (a cautious guess until a step has measured it), the notches the current step sent,
// where the page stands below the first frame's top, the last frame the picture placed by itself
// (the anchor), and the strips at the end taken on the notches alone, which stand only once a
// later step shows the window moving. A value: the capture keeps the frames themselves.
class ScrollStepLedger {
public:
    // How far a posted scroll moved the content, and on what grounds.
    struct Step {
        int offset = 0;
        // The picture tells a distance clearly shorter than the notches': the page ended within
        // the step, or a notch moves less than measured.
        bool cutShort = false;
        // Taken on the notches while the picture allows a shorter distance too, where the page
        // may have ended instead: the strip stands once a later step shows the window moving.
        bool onNotches = false;
        // For a change taken so: every distance it may have moved, the notches' one last.
        std::vector<int> possible;
    };
    // The wheel turned back after a page that ended within a step the notches decided: `back`
    // notches of `notch` rows each bring the window to `within` notches above the anchor.
    struct WayBack {
        int notch = 0;
        int within = 0;
        int back = 0;
    };

    // The notches for a step of `pixels` rows: as many as the distance per notch measured so far
    // allows (a cautious guess at first), so one scroll never runs past what the aligner can
    // measure; no more than a step cut short sent.
    int clicksFor(int pixels) const;
    // The current step sent `clicks` notches (0 when none could be sent). Sent `again` for the
    // same step (a window that showed nothing yet), they add to it, and the step measures no
    // distance per notch: it cannot tell whether the window took one turn or both.
    void sent(int clicks, bool again = false);
    int clicksSent() const { return m_clicks; }

    // The step the current step's scroll made, if it can be trusted: the distance the picture
    // tells by itself when it is shorter than the notches' (the page ended sooner), else the one
    // the notches sent stand for when the picture allows it (a still one only where it shows
    // nothing but identical lines), else the one the picture tells.
    std::optional<Step> trustedStep(const ScrollMatch& match) const;
    // Records an accepted step between frames `frameHeight` rows high, the picture `still`;
    // true when its frame is the new anchor (the picture placed it by itself).
    bool accept(const Step& step, bool still, int frameHeight);

    // No strip at the end waits for a later step any more: the window moved after them, or they
    // were dropped, or measured.
    void clearUnconfirmedStrips() { m_unconfirmedStrips = 0; }
    int unconfirmedStrips() const { return m_unconfirmedStrips; }
    // Steps in a row that showed the same picture.
    int stillSteps() const { return m_stillSteps; }
    // The page ended, maybe within the last step, which the notches decided: the wheel turned
    // back may tell how far it went.
    bool endMayBeMeasured() const { return m_unconfirmedStrips == 1 && !m_lastStepPossible.empty(); }

    // Every step since the anchor moved its notches' whole distance but maybe the last, which
    // moved one of its possible distances. Turned back by all their notches, the window shows the
    // page above the anchor by what the last step fell short of its notches; the two pictures
    // tell that where the last step's could not, from the anchor's upper lines, which tell it
    // apart from the repeated ones below. The way back stays below the first frame's top, so the
    // page's own top cannot have cut it short: near it, fewer of the last step's notches are
    // turned back, and the window may come to rest below the anchor. None when the notches do not
    // divide the last step evenly or nothing is to be turned back.
    std::optional<WayBack> wayBack() const;
    // The distance of the last step that puts the window where the pictures tell by themselves it
    // stands after `way` (`above`: the landing compared with the anchor; `below`: the anchor with
    // the landing), among the places it can: up to `within` notches above the anchor, or up to
    // the rest of the last step's notches below it. Both show the same page, so the place agrees
    // in every row. None unless they tell one place, which the last step allows.
    std::optional<int> lastStepTold(const WayBack& way, const ScrollMatch& above, const ScrollMatch& below) const;

private:
    double m_pixelsPerClick = 120.0;
    // The distance per notch was measured on an earlier step.
    bool m_clickMeasured = false;
    int m_clicks = 0;
    bool m_sentAgain = false;
    // The most notches the next step sends, or 0 for no limit.
    int m_clicksCap = 0;
    int m_unconfirmedStrips = 0;
    int m_stillSteps = 0;
    // How far below the first frame's top the latest frame and the anchor show the content, and
    // the notches sent since the anchor.
    int m_position = 0;
    int m_anchorPosition = 0;
    int m_clicksSinceAnchor = 0;
    // The distances the latest step may have moved, when it was taken on the notches alone, and
    // the notches it sent.
    std::vector<int> m_lastStepPossible;
    int m_lastStepClicks = 0;
};
