#include "platform/linux/PulseOutputProbe.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct Probe {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    Clock::time_point deadline;
    std::string defaultSink;
    bool answered = false;
    bool sinkFound = false;

    ~Probe()
    {
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop)
            pa_mainloop_free(loop);
    }

    // Runs the loop until `done` holds or the time is up; false when the time ran out.
    template <typename Done> bool runUntil(Done done)
    {
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            if (pa_mainloop_prepare(loop, int(left.count())) < 0 || pa_mainloop_poll(loop) < 0
                || pa_mainloop_dispatch(loop) < 0)
                return false;
        }
        return true;
    }

    bool contextSettled() const
    {
        const pa_context_state_t state = pa_context_get_state(context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    }

    // Waits for an introspection operation; false when it did not end in time.
    bool finish(pa_operation* operation)
    {
        if (!operation)
            return false;
        const bool ended = runUntil([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        if (!ended)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return ended;
    }
};

}

bool PulseOutputProbe::hasOutput(std::chrono::milliseconds timeout)
{
    Probe probe;
    probe.deadline = Clock::now() + timeout;
    probe.loop = pa_mainloop_new();
    if (!probe.loop)
        return false;
    probe.context = pa_context_new(pa_mainloop_get_api(probe.loop), "Quorvel");
    if (!probe.context || pa_context_connect(probe.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;
    if (!probe.runUntil([&] { return probe.contextSettled(); })
        || pa_context_get_state(probe.context) != PA_CONTEXT_READY)
        return false;
    pa_operation* server = pa_context_get_server_info(
        probe.context,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* self = static_cast<Probe*>(data);
            self->answered = true;
            if (info && info->default_sink_name)
                self->defaultSink = info->default_sink_name;
        },
        &probe);
    if (!probe.finish(server) || !probe.answered || probe.defaultSink.empty())
        return false;
    pa_operation* sink = pa_context_get_sink_info_by_name(
        probe.context, probe.defaultSink.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
            if (eol == 0 && info)
                static_cast<Probe*>(data)->sinkFound = true;
        },
        &probe);
    return probe.finish(sink) && probe.sinkFound;
}
