#pragma once
#include <chrono>

// Whether a sound server (PulseAudio, or PipeWire's pulse server) answers and has a default
// output to play to. Connects with its own short-lived main loop, never starts a server, and gives
// up after `timeout`. Blocks for up to that long: call it off the main thread.
namespace PulseOutputProbe {

bool hasOutput(std::chrono::milliseconds timeout = std::chrono::milliseconds(1500));

}
