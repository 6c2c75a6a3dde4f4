#include "playback/monotonic_clock.hpp"

#include <chrono>

// std::chrono::steady_clock is CLOCK_MONOTONIC on Linux and
// QueryPerformanceCounter on Windows.
uint64_t monotonic_milliseconds() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}
