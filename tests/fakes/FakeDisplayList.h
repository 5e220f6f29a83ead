#pragma once
#include "platform/DisplayList.h"

// Displays set by the test.
class FakeDisplayList : public DisplayList {
public:
    QList<DisplayDescription> list;
    QList<DisplayDescription> displays() override { return list; }
};
