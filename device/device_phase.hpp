#pragma once
// The device menu, the single-key choice, opening device and context, the
// program job, and the device teardown.

#include <AL/alc.h>

#include "device/device_list.hpp"

enum class Ending { final_wait, silent_exit };

// The opened device, for the program job (null when no device is open).
extern ALCdevice* deviceHandle;

// Forgets the handles: the start-up's clearing.
void clear_device_state();
// Waits for a key, polling every 50 ms; the digit 0 to 9, or 0 for any other key.
int single_key_choice();
// Everything from the menu to the device teardown; says which ending follows.
Ending device_phase(void (*job)());
