#pragma once
#include "app/ModelContainerHolder.h"

// The feedback window's manager (the feedback form comes with the feedback subsystem).
class FeedbackWindowManager : public ModelContainerHolder {
public:
    static FeedbackWindowManager& shared();
    FeedbackWindowManager() : ModelContainerHolder("FeedbackWindowManager") { }
};
