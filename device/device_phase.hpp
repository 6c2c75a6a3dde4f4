#pragma once
// Device list, device menu, single-key choice, opening device and context,
// the program job, and the device teardown.

#include <AL/alc.h>

enum class Ending { final_wait, silent_exit };

// The opened device, for the program job (null outside the job).
extern ALCdevice* deviceHandle;

// Reads the device names from OpenAL; called once, before the console opens.
void build_device_list();
// Waits for a key, polling every 50 ms; the digit 0 to 9, or 0 for any other key.
int single_key_choice();
// Everything from the menu to the device teardown; says which ending follows.
Ending device_phase(void (*job)());
