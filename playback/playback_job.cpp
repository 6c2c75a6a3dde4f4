#include "playback/playback_job.hpp"

#include <AL/al.h>

#include <string>

#include "console/console.hpp"
#include "playback/monotonic_clock.hpp"
#include "playback/wave_reader.hpp"

const char* waveFileName = nullptr;

namespace {

constexpr uint32_t kDotIntervalMs = 100;

ALuint buffer = 0;
ALuint source = 0;
ALint sourceState = 0;

std::string text_or_empty(const char* text) { return text ? text : ""; }

// Milliseconds until the dot-th dot is due, dot intervals after the play
// started; 0 when it is due already. A late wake-up or a slow state query
// delays one dot, and the next keeps to the clock again, so the dots do not
// fall behind the sound.
uint32_t wait_for_dot(uint64_t playStarted, uint64_t dot) {
    const uint64_t due = playStarted + dot * kDotIntervalMs;
    const uint64_t now = monotonic_milliseconds();
    return due > now ? static_cast<uint32_t>(due - now) : 0;
}

void print_load_failure() { print_line(("-ERR: Failed to load " + text_or_empty(waveFileName)).c_str()); }

}  // namespace

void set_playback_constants() { waveFileName = "Footsteps.wav"; }

void playback_job() {
    alGenBuffers(1, &buffer);
    int opened = OpenWaveFile((kMediaDirectory + text_or_empty(waveFileName)).c_str());
    if (!opened) {
        alDeleteBuffers(1, &buffer);
        print_load_failure();
        return;
    }
    // A data chunk without samples is no failure: its empty buffer simply
    // stops playing at once. Data that could not be handed over is.
    ReadWaveIntoBuffer(buffer, 0);
    CloseWaveFile();
    if (waveUploadFailed) {
        alDeleteBuffers(1, &buffer);
        print_load_failure();
        return;
    }

    alGenSources(1, &source);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
    alSourcePlay(source);
    const uint64_t playStarted = monotonic_milliseconds();
    print("Playing Source ");
    uint64_t dot = 0;
    do {
        delay(wait_for_dot(playStarted, ++dot));
        print(".");
        alGetSourcei(source, AL_SOURCE_STATE, &sourceState);
    } while (sourceState == AL_PLAYING);
    print_line("");

    alSourceStop(source);
    alDeleteSources(1, &source);
    alDeleteBuffers(1, &buffer);
}

void close_playback_files() { close_open_wave_descriptor(); }
