#pragma once
#include "store/ModelContainerHolder.h"

// The top-of-screen shelf. The shelf panel comes with the history subsystem; until then the
// enabled flag and the expanded state are kept so that the hotkey and start-up are wired.
class NotchShelfWindowManager : public ModelContainerHolder {
public:
    static NotchShelfWindowManager& shared();
    NotchShelfWindowManager() : ModelContainerHolder("NotchShelfWindowManager") { }

    bool isEnabled() const { return m_isEnabled; }
    // Shows the shelf when true, hides it when false (hiding nothing shown does nothing).
    void setEnabled(bool enabled);
    bool isExpanded() const { return m_isExpanded; }
    void toggleExpanded();

private:
    bool m_isEnabled = false;
    bool m_isExpanded = false;
};
