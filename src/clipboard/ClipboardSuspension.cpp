#include "clipboard/ClipboardSuspension.h"

#include "platform/Dispatch.h"

ClipboardSuspension& ClipboardSuspension::shared()
{
    static ClipboardSuspension instance;
    return instance;
}

void ClipboardSuspension::suspendFor(std::chrono::milliseconds duration, DispatchQueue* queue)
{
    suspend();
    DispatchQueue& target = queue ? *queue : DispatchQueue::main();
    target.asyncAfter(duration, [this] { resume(); });
}
