#include "platform/Compositing.h"

namespace {
std::function<bool()>& probeSlot()
{
    static std::function<bool()> probe;
    return probe;
}
}

bool Compositing::isActive()
{
    const std::function<bool()>& probe = probeSlot();
    return probe ? probe() : false;
}

void Compositing::setProbe(std::function<bool()> probe)
{
    probeSlot() = std::move(probe);
}
