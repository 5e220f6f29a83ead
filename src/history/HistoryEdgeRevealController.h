#pragma once

// The tab at the right screen edge that reveals the history. The tab itself comes with the
// history subsystem; until then the enabled flag is kept.
class HistoryEdgeRevealController {
public:
    static HistoryEdgeRevealController& shared();
    bool isEnabled() const { return m_isEnabled; }
    // Shows the edge tabs when true, hides them when false.
    void setEnabled(bool enabled) { m_isEnabled = enabled; }

private:
    bool m_isEnabled = false;
};
