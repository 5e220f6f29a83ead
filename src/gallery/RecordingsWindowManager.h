#pragma once
#include "store/ModelContainerHolder.h"

// The recordings list's window manager (the list itself comes with screen recording).
class RecordingsWindowManager : public ModelContainerHolder {
public:
    static RecordingsWindowManager& shared();
    RecordingsWindowManager()
        : ModelContainerHolder("RecordingsWindowManager")
    {
    }
};
