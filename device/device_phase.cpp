#include "device/device_phase.hpp"

#include <cstdio>
#include <cstring>

#include "console/console.hpp"
#include "device/working_heap.hpp"

ALCdevice* deviceHandle = nullptr;

namespace {

ALCcontext* contextHandle = nullptr;
const char* defaultDeviceName = "";
int menuCount = 0;
int menuChoice = 0;

void print_device_menu() {
    print_line("");
    print_line("Select OpenAL device:");
    for (int n = 1; n <= device_count(); ++n) {
        const char* name = device_name(n - 1);
        const bool is_default = std::strcmp(name, defaultDeviceName) == 0;
        char number[16];
        std::snprintf(number, sizeof number, "%d. ", n);
        print_line(heap_join(number, name, is_default ? " (DEFAULT)" : nullptr));
    }
    menuCount = device_count();
}

}  // namespace

void clear_device_state() {
    deviceHandle = nullptr;
    contextHandle = nullptr;
    defaultDeviceName = "";
    menuCount = 0;
    menuChoice = 0;
    clear_device_list();
}

int single_key_choice() {
    KeyText key = poll_key();
    while (key.empty()) {
        delay(50);
        key = poll_key();
    }
    const int digit = key.first() - '0';
    return digit < 0 || digit > 9 ? 0 : digit;
}

Ending device_phase(void (*job)()) {
    if (device_count() == 0) {
        print_line("-ERR: Could not initialize OpenAL");
        return Ending::final_wait;
    }
    defaultDeviceName = read_default_device_name();
    print_device_menu();

    menuChoice = single_key_choice();
    if (menuChoice == 0 || menuChoice > menuCount) return Ending::silent_exit;
    const char* selected = device_name(menuChoice - 1);

    deviceHandle = alcOpenDevice(selected);
    if (deviceHandle == nullptr) {
        print_line("-ERR: Could not open the specified device");
        return Ending::final_wait;
    }
    contextHandle = alcCreateContext(deviceHandle, nullptr);
    if (contextHandle == nullptr) {
        print_line("-ERR: Could not create a context");
        alcCloseDevice(deviceHandle);
        deviceHandle = nullptr;
        return Ending::final_wait;
    }
    alcMakeContextCurrent(contextHandle);
    print_line("");
    print_line(heap_join("Opened ", selected, " Device"));

    job();

    alcMakeContextCurrent(nullptr);
    alcDestroyContext(contextHandle);
    alcCloseDevice(deviceHandle);
    contextHandle = nullptr;
    deviceHandle = nullptr;
    return Ending::final_wait;
}
