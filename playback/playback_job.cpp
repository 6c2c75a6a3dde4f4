#include "playback/playback_job.hpp"

#include <AL/al.h>

#include <string>

#include "console/console.hpp"
#include "playback/wave_reader.hpp"

const char* waveFileName = nullptr;

namespace {

constexpr uint32_t kDotIntervalMs = 100;

ALuint buffer = 0;
ALuint source = 0;
ALint sourceState = 0;

std::string text_or_empty(const char* text) { return text ? text : ""; }

}  // namespace

void set_playback_constants() { waveFileName = "Footsteps.wav"; }

void playback_job() {
    alGenBuffers(1, &buffer);
    int opened = OpenWaveFile((kMediaDirectory + text_or_empty(waveFileName)).c_str());
    if (!opened) {
        print_line(("-ERR: Failed to load " + text_or_empty(waveFileName)).c_str());
        return;
    }
    // Whether data reached the buffer does not change what follows: an
    // empty buffer simply stops playing at once.
    ReadWaveIntoBuffer(buffer, 0);
    CloseWaveFile();

    alGenSources(1, &source);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
    alSourcePlay(source);
    print("Playing Source ");
    do {
        delay(kDotIntervalMs);
        print(".");
        alGetSourcei(source, AL_SOURCE_STATE, &sourceState);
    } while (sourceState == AL_PLAYING);
    print_line("");

    alSourceStop(source);
    alDeleteSources(1, &source);
    alDeleteBuffers(1, &buffer);
}

void close_playback_files() { close_open_wave_descriptor(); }
