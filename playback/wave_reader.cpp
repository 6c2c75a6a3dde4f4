#include "playback/wave_reader.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

std::unique_ptr<WaveStream> waveFile;
ALenum waveFormat = 0;
int32_t waveFrameSize = 0;
int32_t waveFrequency = 0;
int32_t waveBytesLeft = 0;
bool waveUploadFailed = false;

namespace {

constexpr uint32_t fourcc(const char (&id)[5]) {
    return uint32_t(uint8_t(id[0])) | uint32_t(uint8_t(id[1])) << 8 | uint32_t(uint8_t(id[2])) << 16 |
           uint32_t(uint8_t(id[3])) << 24;
}

constexpr uint32_t kRiffId = fourcc("RIFF");
constexpr uint32_t kWaveId = fourcc("WAVE");
constexpr uint32_t kFmtId = fourcc("fmt ");
constexpr uint32_t kDataId = fourcc("data");

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagExtensible = 0xFFFE;
constexpr int64_t kChunkHeaderSize = 8;
constexpr int kFmtBaseSize = 16;
// An extensible "fmt " body holds its sub-format GUID at offsets 24 to 39.
constexpr int64_t kSubFormatOffset = 24;
constexpr int64_t kExtensibleFmtSize = 40;
// KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00AA00389B71, as stored.
constexpr uint8_t kPcmSubFormat[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
// Positions and sizes handed on stay valid signed 32-bit values; a walk that
// would go beyond this comes only from a damaged file and ends there.
constexpr int64_t kMaxPosition = INT32_MAX;

struct FormatRow {
    uint16_t tag;
    uint16_t channels;
    uint32_t mask;  // compared for tag 0xFFFE only
    uint16_t bits;  // 8 or 16; samples of any other width have no row
    const char* name;
    int32_t frameSize;
};

constexpr FormatRow kFormatTable[] = {
    {kTagPcm, 1, 0, 16, "AL_FORMAT_MONO16", 2},
    {kTagPcm, 1, 0, 8, "AL_FORMAT_MONO8", 1},
    {kTagPcm, 2, 0, 16, "AL_FORMAT_STEREO16", 4},
    {kTagPcm, 2, 0, 8, "AL_FORMAT_STEREO8", 2},
    {kTagPcm, 4, 0, 16, "AL_FORMAT_QUAD16", 8},
    {kTagExtensible, 1, 0x4, 16, "AL_FORMAT_MONO16", 2},
    {kTagExtensible, 1, 0x4, 8, "AL_FORMAT_MONO8", 1},
    {kTagExtensible, 2, 0x3, 16, "AL_FORMAT_STEREO16", 4},
    {kTagExtensible, 2, 0x3, 8, "AL_FORMAT_STEREO8", 2},
    {kTagExtensible, 2, 0x30, 16, "AL_FORMAT_REAR16", 4},
    {kTagExtensible, 4, 0x33, 16, "AL_FORMAT_QUAD16", 8},
    {kTagExtensible, 6, 0x3F, 16, "AL_FORMAT_51CHN16", 12},
    {kTagExtensible, 7, 0x13F, 16, "AL_FORMAT_61CHN16", 14},
    {kTagExtensible, 8, 0x63F, 16, "AL_FORMAT_71CHN16", 16},
};

const FormatRow* find_format(uint16_t tag, uint16_t channels, uint32_t mask, uint16_t bits) {
    for (const FormatRow& row : kFormatTable) {
        if (row.tag != tag || row.channels != channels) continue;
        if (tag == kTagExtensible && row.mask != mask) continue;
        if (row.bits != bits) continue;
        return &row;
    }
    return nullptr;
}

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Reads up to size bytes; bytes the stream no longer holds read as 0.
void read_padded(WaveStream& stream, uint8_t* into, int64_t size) {
    std::memset(into, 0, static_cast<size_t>(size));
    stream.read(into, size);
}

uint32_t read_u32(WaveStream& stream) {
    uint8_t bytes[4];
    read_padded(stream, bytes, 4);
    return le32(bytes);
}

// Whether the extensible "fmt " body at body (declared bytes long) carries
// PCM samples. Another sub-format (mu-law, A-law, float) read as PCM plays
// as noise, and a body too short to hold the GUID does not say.
bool extensible_holds_pcm(WaveStream& stream, int64_t body, uint32_t declared) {
    if (declared < kExtensibleFmtSize) return false;
    uint8_t guid[sizeof kPcmSubFormat];
    stream.seek(body + kSubFormatOffset);
    read_padded(stream, guid, sizeof guid);
    return std::memcmp(guid, kPcmSubFormat, sizeof guid) == 0;
}

// Reads the "fmt " body at body (declared bytes long) and sets the format
// fields; false when the fields have no row or OpenAL does not know the
// row's name.
bool accept_format(WaveStream& stream, int64_t body, uint32_t declared) {
    uint8_t fields[kFmtBaseSize];
    read_padded(stream, fields, kFmtBaseSize);
    uint16_t tag = le16(fields);
    uint16_t channels = le16(fields + 2);
    waveFrequency = static_cast<int32_t>(le32(fields + 4));
    uint16_t bits = le16(fields + 14);
    uint32_t mask = 0;
    if (tag == kTagExtensible) {
        read_u32(stream);  // extension size and valid bits: not used
        mask = read_u32(stream);
        if (!extensible_holds_pcm(stream, body, declared)) return false;
    }
    if (const FormatRow* row = find_format(tag, channels, mask, bits)) {
        waveFormat = alGetEnumValue(row->name);
        waveFrameSize = row->frameSize;
    }
    return waveFormat != 0;
}

// The declared size of a "data" chunk, read as unsigned and kept a valid
// signed 32-bit value. Streaming tools write 0xFFFFFFFF when they did not
// know the length; read as a signed number that would upload nothing,
// although the samples are all there.
int32_t declared_data_size(uint32_t declared) {
    return static_cast<int32_t>(std::min(int64_t{declared}, kMaxPosition));
}

// RIFF pads a chunk of odd size with one 0 byte, which its size leaves out.
// Some writers omit the pad; a chunk id never starts with a 0 byte, so the
// byte after the body is stepped over only when it is 0.
int64_t after_pad(WaveStream& stream, uint32_t declared, int64_t next) {
    if (declared % 2 == 0 || next > kMaxPosition) return next;
    uint8_t pad = 0xFF;
    stream.seek(next);
    return stream.read(&pad, 1) == 1 && pad == 0 ? next + 1 : next;
}

int walk_chunks(WaveStream& stream) {
    if (read_u32(stream) != kRiffId) return 0;
    read_u32(stream);  // RIFF size: the walk runs to the physical end instead
    if (read_u32(stream) != kWaveId) return 0;

    int64_t dataOffset = 0;
    bool formatSeen = false;
    int64_t header = stream.tell();
    // Each pass starts at `header` and ends at a `next` that lies at least
    // 8 bytes further on and at most kMaxPosition, so the walk ends.
    for (;;) {
        if (stream.eof()) return 0;
        uint32_t id = read_u32(stream);
        uint32_t declared = read_u32(stream);
        int64_t body = header + kChunkHeaderSize;
        int64_t next = body + int64_t{declared};
        stream.seek(body);

        if (id == kFmtId) {
            if (!accept_format(stream, body, declared)) return 0;
            formatSeen = true;
        } else if (id == kDataId) {
            dataOffset = body;
            waveBytesLeft = declared_data_size(declared);
        }

        if (formatSeen && dataOffset != 0) {
            stream.seek(dataOffset);
            return 1;
        }
        next = after_pad(stream, declared, next);
        if (next > kMaxPosition) return 0;
        stream.seek(next);
        header = next;
    }
}

}  // namespace

int OpenWaveStream(std::unique_ptr<WaveStream> stream) {
    waveBytesLeft = 0;
    // A format left from an earlier file must not stand in for this one's.
    waveFormat = 0;
    CloseWaveFile();
    if (!stream) return 0;
    waveFile = std::move(stream);
    // A file that cannot be played is not kept open.
    int opened = walk_chunks(*waveFile);
    if (!opened) CloseWaveFile();
    return opened;
}

int OpenWaveFile(const char* path) { return OpenWaveStream(open_wave_file_stream(path)); }

int32_t ReadWaveIntoBuffer(ALuint buffer, int32_t frameCount) {
    waveUploadFailed = false;
    if (!waveFile || waveBytesLeft == 0) return 0;
    int64_t requested = int64_t{frameCount} * int64_t{waveFrameSize};
    if (requested == 0) requested = waveBytesLeft;
    // A request beyond what is left is cut down to it: the block never
    // outgrows what the file can supply.
    requested = std::min<int64_t>(requested, waveBytesLeft);
    if (requested <= 0) {
        waveUploadFailed = true;
        return 0;
    }
    // Nor does it outgrow what the file still holds from here: a size that
    // runs past the end of the file costs no memory. The upload goes ahead
    // with the bytes actually read, none at all included.
    const int64_t held = std::max<int64_t>(0, waveFile->size() - waveFile->tell());
    const int64_t blockSize = std::max<int64_t>(1, std::min(requested, held));
    auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(blockSize)));
    if (block == nullptr) {
        waveUploadFailed = true;
        return 0;
    }

    const int64_t got = waveFile->read(block, std::min(requested, held));
    // OpenAL takes whole sample frames only. A read that ends inside a frame
    // (a file cut short, a data size capped below 2 GiB) hands over the
    // frames before it. The partial frame is counted off waveBytesLeft with
    // them and dropped, so no later piece starts inside a frame.
    const int64_t partial = waveFrameSize > 0 ? got % waveFrameSize : 0;
    const auto whole = static_cast<int32_t>(got - partial);
    alBufferData(buffer, waveFormat, block, whole, waveFrequency);
    int32_t result = 0;
    if (alGetError() == AL_NO_ERROR) {
        waveBytesLeft -= static_cast<int32_t>(got);
        result = whole;
    } else {
        waveUploadFailed = true;
    }
    std::free(block);
    return result;
}

void CloseWaveFile() { waveFile.reset(); }
