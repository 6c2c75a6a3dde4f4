// The baseline of the ferrowin benchmark: opens the device that ferrowin's
// menu entry 1 names (the first of the enumeration), creates a context on it
// and makes it current, then says "ready" and releases both.

#include <AL/al.h>
#include <AL/alc.h>

#include <unistd.h>

int main() {
    const ALCchar* devices = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
    if (devices == nullptr || *devices == '\0') return 1;
    ALCdevice* device = alcOpenDevice(devices);
    if (device == nullptr) return 1;
    ALCcontext* context = alcCreateContext(device, nullptr);
    if (context == nullptr) {
        alcCloseDevice(device);
        return 1;
    }
    alcMakeContextCurrent(context);
    static const char ready[] = "ready\n";
    if (write(STDOUT_FILENO, ready, sizeof ready - 1) < 0) return 1;
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
    return 0;
}
