#pragma once
// Runs reader code in-process against the stand-in OpenAL library: each
// session gives the fake a fresh scenario, call log and data directory, and
// afterwards reads back what reached alBufferData.

#include <AL/al.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <AL/alc.h>

#include "fakeal_support.hpp"
#include "temporary_folder.hpp"

namespace wavetest {

struct Upload {
    unsigned buffer = 0;
    unsigned format = 0;
    long size = -1;
    long frequency = -1;
    std::vector<uint8_t> bytes;  // what the fake received
};

// The stand-in linked into this process, with a fresh scenario, a device and
// a current context on it, and one buffer for the reader to fill.
class FakeAlSession {
public:
    explicit FakeAlSession(const std::vector<std::string>& scenario = {}) : box_(scenario) {
        box_.exportToProcess();
        fakeal_reload();
        device_ = alcOpenDevice(nullptr);
        context_ = alcCreateContext(device_, nullptr);
        alcMakeContextCurrent(context_);
        alGenBuffers(1, &buffer_);
    }
    ~FakeAlSession() {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(context_);
        alcCloseDevice(device_);
        unsetenv("FAKEAL_SCENARIO");
        unsetenv("FAKEAL_LOG");
        unsetenv("FAKEAL_DATA_DIR");
        fakeal_reload();
    }
    FakeAlSession(const FakeAlSession&) = delete;
    FakeAlSession& operator=(const FakeAlSession&) = delete;

    ALuint buffer() const { return buffer_; }
    std::vector<std::string> logLines() const { return box_.logLines(); }

    // Every alBufferData call so far, in order, with its bytes.
    std::vector<Upload> uploads() const {
        std::vector<Upload> found;
        for (const std::string& line : box_.logLines()) {
            Upload u;
            if (std::sscanf(line.c_str(), "alBufferData(%u, %x, size=%ld, freq=%ld)", &u.buffer, &u.format,
                            &u.size, &u.frequency) != 4)
                continue;
            if (auto bytes = box_.bufferData(static_cast<int>(found.size() + 1))) u.bytes.assign(bytes->begin(), bytes->end());
            found.push_back(std::move(u));
        }
        return found;
    }

private:
    fakeal::Sandbox box_;
    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
    ALuint buffer_ = 0;
};

}  // namespace wavetest
