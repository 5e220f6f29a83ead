#pragma once
#include <atomic>
#include <chrono>
#include <memory>

class DispatchQueue;

// Suspension of clipboard monitoring while the program writes the clipboard itself. Overlapping
// holders (a paste, a copy, a capture) each hold it for their own time; monitoring resumes when
// the last one lets go.
class ClipboardSuspension {
public:
    void suspend() { ++*m_holders; }
    void resume() { release(*m_holders); }
    bool isSuspended() const { return m_holders->load() > 0; }
    int holders() const { return m_holders->load(); }

    // Suspends now and resumes after the given time on the given queue (the main queue by default).
    // The resume may come after this object is gone: it then lets go of nothing that still exists.
    void suspendFor(std::chrono::milliseconds duration, DispatchQueue* queue = nullptr);

private:
    static void release(std::atomic<int>& holders)
    {
        int current = holders.load();
        while (current > 0 && !holders.compare_exchange_weak(current, current - 1)) { }
    }
    // Shared with the delayed resumes still under way.
    std::shared_ptr<std::atomic<int>> m_holders = std::make_shared<std::atomic<int>>(0);
};
