// Asks the installed OpenAL library how many auxiliary effect slots a context
// on the first enumerated device (ferrowin's menu entry 1) may hold, and
// prints that number: the largest batch one alGenAuxiliaryEffectSlots call
// creates, tried from kMaxCountedSlots (where ferrowin stops counting) down.
// The tests take their expected slot count from it, found by another route
// than ferrowin's one slot per call. Exits 1 when device, context or the EFX
// entry points are not to be had.

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/efx.h>

#include <cstdio>
#include <vector>

constexpr int kMaxCountedSlots = 129;

int main() {
    const ALCchar* devices = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
    if (devices == nullptr || *devices == '\0') return 1;
    ALCdevice* device = alcOpenDevice(devices);
    if (device == nullptr) return 1;
    ALCcontext* context = alcCreateContext(device, nullptr);
    if (context == nullptr || alcMakeContextCurrent(context) != ALC_TRUE) return 1;
    const auto generate = reinterpret_cast<LPALGENAUXILIARYEFFECTSLOTS>(
        alGetProcAddress("alGenAuxiliaryEffectSlots"));
    const auto remove = reinterpret_cast<LPALDELETEAUXILIARYEFFECTSLOTS>(
        alGetProcAddress("alDeleteAuxiliaryEffectSlots"));
    if (generate == nullptr || remove == nullptr) return 1;

    std::vector<ALuint> slots(kMaxCountedSlots);
    ALsizei limit = static_cast<ALsizei>(slots.size());
    for (; limit > 0; --limit) {
        alGetError();
        generate(limit, slots.data());
        if (alGetError() == AL_NO_ERROR) {
            remove(limit, slots.data());
            break;
        }
    }
    std::printf("%d\n", static_cast<int>(limit));

    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
    return 0;
}
