#pragma once
// The time source of quorvel's dot loop: milliseconds from a fixed but
// unspecified point, on a clock that only moves forward (changes of the
// wall-clock time do not move it). One function so that a platform whose
// C++ library lacks a steady clock can supply its own (GetTickCount64,
// clock_gettime(CLOCK_MONOTONIC)).

#include <cstdint>

uint64_t monotonic_milliseconds();
