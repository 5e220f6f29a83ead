#pragma once
#include "platform/PointerLocation.h"

// A pointer the test moves.
class FakePointerLocation : public PointerLocation {
public:
    std::optional<QPoint> at;
    bool buttonDown = false;
    std::optional<QPoint> position() override { return at; }
    bool isButtonDown() override { return buttonDown; }
};
