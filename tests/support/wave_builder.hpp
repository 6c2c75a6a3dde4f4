#pragma once
// Builds RIFF/WAVE byte images for the reader's tests, the fuzz seeds and
// the media of program runs: any chunk order, any declared sizes, true or false.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace wavetest {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
inline void put_id(Bytes& out, const std::string& id) {
    for (size_t i = 0; i < 4; ++i) out.push_back(i < id.size() ? uint8_t(id[i]) : uint8_t(' '));
}

struct Chunk {
    std::string id;
    uint32_t declared;  // the size written in the header
    Bytes body;         // what actually follows it
};

inline Chunk chunk(const std::string& id, Bytes body) {
    auto size = static_cast<uint32_t>(body.size());
    return {id, size, std::move(body)};
}
inline Chunk chunk_declaring(const std::string& id, uint32_t declared, Bytes body) {
    return {id, declared, std::move(body)};
}

// A "fmt " body of 16 bytes, or more (extensible: cbSize, valid bits and
// channel mask from 24, the sub-format GUID of subFormat from 40; 1 is PCM).
inline Bytes fmt_body(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t mask = 0,
                      size_t size = 16, uint8_t subFormat = 1) {
    Bytes b;
    put16(b, tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * channels * bits / 8);
    put16(b, channels * bits / 8);
    put16(b, bits);
    if (size >= 18) put16(b, uint16_t(size - 18));
    if (size >= 24) {
        put16(b, bits);
        put32(b, mask);
    }
    if (size >= 40) {
        const uint8_t guid[16] = {subFormat, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        b.insert(b.end(), guid, guid + 16);
    }
    b.resize(size, 0);
    return b;
}

// Sample bytes with a pattern that shows any shift, drop or repeat.
inline Bytes pattern(size_t count, uint8_t seed = 0) {
    Bytes b(count);
    for (size_t i = 0; i < count; ++i) b[i] = uint8_t(i * 7 + seed + (i >> 8));
    return b;
}

// "RIFF", the RIFF size (the true one unless given), "WAVE", the chunks.
inline Bytes riff(const std::vector<Chunk>& chunks, const uint32_t* riffSize = nullptr) {
    Bytes body;
    for (const Chunk& c : chunks) {
        put_id(body, c.id);
        put32(body, c.declared);
        body.insert(body.end(), c.body.begin(), c.body.end());
    }
    Bytes out;
    put_id(out, "RIFF");
    put32(out, riffSize ? *riffSize : static_cast<uint32_t>(body.size() + 4));
    put_id(out, "WAVE");
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// The plain 44-byte-header file: PCM, 16 bits.
inline Bytes canonical(uint16_t channels, uint32_t rate, const Bytes& samples) {
    return riff({chunk("fmt ", fmt_body(1, channels, rate, 16)), chunk("data", samples)});
}

// A sine tone of the given level, mono and 16-bit.
inline Bytes tone(uint32_t rate, double hz, double seconds, double level = 0.5) {
    Bytes samples;
    auto frames = static_cast<size_t>(rate * seconds);
    for (size_t i = 0; i < frames; ++i)
        put16(samples, uint16_t(int16_t(std::lround(level * 32767 * std::sin(2 * M_PI * hz * i / rate)))));
    return riff({chunk("fmt ", fmt_body(1, 1, rate, 16)), chunk("data", samples)});
}

}  // namespace wavetest
