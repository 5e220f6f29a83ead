#pragma once

// What the units of PaintEngine share: the batch that coalesces change notifications and the
// tolerances of the handles.

#include "annotation/PaintEngine.h"

namespace PaintEngineTolerance {

// Tolerances of the handles, in canvas points.
constexpr double kHandleThreshold = 10; // endpoints, corners, the arrow bend
constexpr double kBodyThreshold = 8;    // the body of a stroke
constexpr double kTextBoxHandleRadius = 15;

} // namespace PaintEngineTolerance

class PaintEngine::ChangeBatch {
public:
    explicit ChangeBatch(PaintEngine& engine)
        : m_engine(engine)
    {
        ++m_engine.m_batchDepth;
    }
    ~ChangeBatch()
    {
        if (--m_engine.m_batchDepth == 0)
            m_engine.flushChanges();
    }
    ChangeBatch(const ChangeBatch&) = delete;
    ChangeBatch& operator=(const ChangeBatch&) = delete;

private:
    PaintEngine& m_engine;
};
