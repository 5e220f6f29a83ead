#pragma once
// Process-wide instance slot for a platform service: the application wires the Linux
// implementation once at start-up; tests install their own fakes.
#include <cassert>

template <typename T> class SharedSlot {
public:
    static T& get()
    {
        assert(instance() && "platform service used before it was wired");
        return *instance();
    }
    static bool isSet() { return instance() != nullptr; }
    static void set(T* value) { instance() = value; }

private:
    static T*& instance()
    {
        static T* slot = nullptr;
        return slot;
    }
};
