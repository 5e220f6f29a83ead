#pragma once
#include "platform/PointerLocation.h"

// A pointer the test moves.
class FakePointerLocation : public PointerLocation {
public:
    std::optional<QPoint> at;
    std::optional<QPoint> position() override { return at; }
};
