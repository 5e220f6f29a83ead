#pragma once
#include <atomic>
#include <chrono>

class DispatchQueue;

// Suspension of clipboard monitoring while the program writes the clipboard itself. Overlapping
// holders (a paste, a copy, a capture) each hold it for their own time; monitoring resumes when
// the last one lets go.
class ClipboardSuspension {
public:
    void suspend() { ++m_holders; }
    void resume()
    {
        int current = m_holders.load();
        while (current > 0 && !m_holders.compare_exchange_weak(current, current - 1)) { }
    }
    bool isSuspended() const { return m_holders.load() > 0; }
    int holders() const { return m_holders.load(); }

    // Suspends now and resumes after the given time on the given queue (the main queue by default).
    void suspendFor(std::chrono::milliseconds duration, DispatchQueue* queue = nullptr);

private:
    std::atomic<int> m_holders {0};
};
