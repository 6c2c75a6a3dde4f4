#include "playback/playback_job.hpp"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <chrono>
#include <cstdint>
#include <filesystem>

#include "console/console.hpp"
#include "device/device_phase.hpp"
#include "device/working_heap.hpp"
#include "playback/wave_reader.hpp"

const char* waveFileName = nullptr;

namespace {

// The media folder, "Media" in the parent of the working directory, spelled
// with the platform's separator; the file name follows it directly.
constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
constexpr char kMediaDirectory[] = {'.', '.', kSeparator, 'M', 'e', 'd', 'i', 'a', kSeparator, '\0'};

constexpr uint32_t kDotIntervalMs = 100;

ALuint buffer = 0;
ALuint source = 0;
ALint sourceState = 0;

// Milliseconds on the steady clock, which only moves forward: a change of
// the wall-clock time moves no dot.
uint64_t now_ms() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

// Milliseconds until the dot-th dot is due, dot intervals after the play
// started; 0 when it is due already. A late wake-up or a slow state query
// delays one dot, and the next keeps to the clock again, so the dots do not
// fall behind the sound.
uint32_t wait_for_dot(uint64_t playStarted, uint64_t dot) {
    const uint64_t due = playStarted + dot * kDotIntervalMs;
    const uint64_t now = now_ms();
    return due > now ? static_cast<uint32_t>(due - now) : 0;
}

// A device lost while the source plays (its sound server gone, a headset
// unplugged) can leave the source reporting AL_PLAYING for good: OpenAL
// Soft's PipeWire backend does, with the source's offset standing still. A
// healthy source stops within its sound's length plus the device's start-up
// latency (an idle PulseAudio null sink starts up to 1.7 s late), so only a
// play that has outlasted both is watched: then each dot also asks whether
// the device is still connected (ALC_EXT_disconnect) and whether the offset
// has moved within the last kStalledMs. A healthy play never gets that far
// and makes one state query per dot.
constexpr uint64_t kLateDeviceMs = 2500;
constexpr uint64_t kStalledMs = 1000;

struct PlayWatch {
    uint64_t from = 0;            // when the watch begins
    bool started = false;
    bool disconnectExtension = false;
    ALint offset = -1;            // the offset last seen, -1 before
    uint64_t movedAt = 0;         // when it was last seen to change
};

PlayWatch watch_after(uint64_t playStarted, int32_t bytesUploaded) {
    PlayWatch watch;
    uint64_t soundMs = 0;
    if (waveFrameSize > 0 && waveFrequency > 0)
        soundMs = uint64_t(bytesUploaded / waveFrameSize) * 1000 / uint64_t(waveFrequency);
    watch.from = playStarted + soundMs + kLateDeviceMs;
    return watch;
}

bool device_lost(PlayWatch& watch) {
    const uint64_t now = now_ms();
    if (now < watch.from) return false;
    if (!watch.started) {
        watch.started = true;
        watch.movedAt = now;
        watch.disconnectExtension = alcIsExtensionPresent(deviceHandle, "ALC_EXT_disconnect") == ALC_TRUE;
    }
    ALCint connected = ALC_TRUE;
    if (watch.disconnectExtension) alcGetIntegerv(deviceHandle, ALC_CONNECTED, 1, &connected);
    if (connected == ALC_FALSE) return true;
    // An implementation that stores no offset gives no stall verdict.
    ALint offset = -1;
    alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
    if (offset < 0) return false;
    if (offset != watch.offset) {
        watch.offset = offset;
        watch.movedAt = now;
        return false;
    }
    return now - watch.movedAt >= kStalledMs;
}

void print_load_failure() { print_line(heap_join("-ERR: Failed to load ", waveFileName)); }

}  // namespace

void set_playback_constants() { waveFileName = "Footsteps.wav"; }

void playback_job() {
    alGenBuffers(1, &buffer);
    int opened = OpenWaveFile(heap_join(kMediaDirectory, waveFileName));
    if (!opened) {
        alDeleteBuffers(1, &buffer);
        print_load_failure();
        return;
    }
    // A data chunk without samples is no failure: its empty buffer simply
    // stops playing at once. Data that could not be handed over is.
    const int32_t uploaded = ReadWaveIntoBuffer(buffer, 0);
    CloseWaveFile();
    if (waveUploadFailed) {
        alDeleteBuffers(1, &buffer);
        print_load_failure();
        return;
    }

    alGenSources(1, &source);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
    alSourcePlay(source);
    const uint64_t playStarted = now_ms();
    print("Playing Source ");
    PlayWatch watch = watch_after(playStarted, uploaded);
    uint64_t dot = 0;
    do {
        delay(wait_for_dot(playStarted, ++dot));
        print(".");
        alGetSourcei(source, AL_SOURCE_STATE, &sourceState);
    } while (sourceState == AL_PLAYING && !device_lost(watch));
    print_line("");

    alSourceStop(source);
    alDeleteSources(1, &source);
    alDeleteBuffers(1, &buffer);
}

void close_playback_files() { close_open_wave_descriptor(); }
