#include "clipboard/ClipboardSuspension.h"

#include "platform/Dispatch.h"

void ClipboardSuspension::suspendFor(std::chrono::milliseconds duration, DispatchQueue* queue)
{
    suspend();
    DispatchQueue& target = queue ? *queue : DispatchQueue::main();
    target.asyncAfter(duration, [holders = m_holders] { release(*holders); });
}
