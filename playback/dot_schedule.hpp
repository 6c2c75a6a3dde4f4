#pragma once
// When the dots of quorvel's playing loop are due: the n-th at n intervals
// after the play started. A late wake-up or a slow state query then delays
// one dot, and the next keeps to the clock again, so the dots do not fall
// behind the sound.
//
// A dot more than kDotResyncMs overdue means the whole process was held up
// (stopped with Ctrl+Z, say), and the sound with it: the count goes on from
// that moment instead of printing the missed dots all at once.

#include <cstdint>

inline constexpr uint64_t kDotResyncMs = 1000;

class DotSchedule {
public:
    DotSchedule(uint64_t startedMs, uint32_t intervalMs) : start_(startedMs), interval_(intervalMs) {}

    // Milliseconds from nowMs until the next dot is due, 0 when it is due
    // already. Each call moves on by one dot.
    uint32_t wait_for_next(uint64_t nowMs) {
        ++dots_;
        uint64_t due = start_ + dots_ * interval_;
        if (nowMs > due + kDotResyncMs) {
            start_ = nowMs - dots_ * interval_;
            due = nowMs;
        }
        return due > nowMs ? static_cast<uint32_t>(due - nowMs) : 0;
    }

private:
    uint64_t start_;
    uint64_t interval_;
    uint64_t dots_ = 0;
};
