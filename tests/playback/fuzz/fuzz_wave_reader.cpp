// libFuzzer target: the WAV reader's walk and upload over arbitrary bytes.
// OpenAL is replaced by three small functions that check what the reader
// hands over: never more bytes than the input holds, whole sample frames
// only, and every byte of the block readable (AddressSanitizer reports a block that is too small, and
// run_fuzz.sh's malloc limit one that is far larger than the input).

#include <AL/al.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "playback/wave_reader.hpp"

namespace {
size_t inputSize = 0;
bool failNextUpload = false;
volatile uint32_t checksum = 0;
int uploads = 0;
}  // namespace

extern "C" {
AL_API ALenum AL_APIENTRY alGetEnumValue(const ALchar* name) {
    // Pretend one name is unknown to the implementation.
    if (std::strcmp(name, "AL_FORMAT_61CHN16") == 0) return 0;
    return static_cast<ALenum>(0x1100 + std::strlen(name));
}
AL_API void AL_APIENTRY alBufferData(ALuint, ALenum format, const ALvoid* data, ALsizei size, ALsizei) {
    if (format == 0 || size < 0 || static_cast<size_t>(size) > inputSize) std::abort();
    if (waveFrameSize <= 0 || size % waveFrameSize != 0) std::abort();
    auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t sum = 0;
    for (ALsizei i = 0; i < size; ++i) sum += bytes[i];
    checksum = sum;
    ++uploads;
}
AL_API ALenum AL_APIENTRY alGetError(void) {
    bool fail = failNextUpload;
    failNextUpload = false;
    return fail ? AL_INVALID_VALUE : AL_NO_ERROR;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    inputSize = size;
    if (OpenWaveStream(make_memory_wave_stream(data, static_cast<int64_t>(size))) == 1) {
        // The declared size, which may run past the input: what is handed
        // over is still bounded by the input (see alBufferData above).
        if (waveBytesLeft < 0) std::abort();
        // At the data body, which a cut-short header can put just past the end.
        if (waveFile->tell() > static_cast<int64_t>(size) + 8) std::abort();
        // The input's last byte picks the way the upload is asked for.
        uint8_t mode = size ? data[size - 1] : 0;
        const bool refuse = mode & 1;
        failNextUpload = refuse;
        const int uploadsBefore = uploads;
        int32_t before = waveBytesLeft;
        int32_t got = ReadWaveIntoBuffer(1, (mode & 2) ? (mode >> 2) : 0);
        // A partial frame at the end of the file is counted off but not handed over.
        const int32_t dropped = before - got - waveBytesLeft;
        if (got < 0 || got > before || dropped < 0 || dropped >= waveFrameSize) std::abort();
        // A handed-over piece counts as failed exactly when OpenAL refused it.
        if (uploads != uploadsBefore && waveUploadFailed != refuse) std::abort();
        ReadWaveIntoBuffer(1, 0);
        if (waveBytesLeft < 0) std::abort();
    } else if (waveFile) {
        std::abort();  // a failed open keeps no file
    }
    CloseWaveFile();
    return 0;
}
