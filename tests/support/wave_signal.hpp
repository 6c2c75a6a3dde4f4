#pragma once
// A WAV file read back as a signal, and measured: what OpenAL Soft's
// wave-file writer rendered, what a sound server's monitor recorded, and the
// media itself.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "temporary_folder.hpp"

struct Signal {
    std::vector<double> left;  // first channel only, from -1 to 1
    uint32_t rate = 0;
};

// Reads PCM 16-bit or float 32-bit, plain or extensible.
inline Signal read_signal(const std::string& path) {
    std::string s = read_file(path);
    Signal r;
    auto u16 = [&](size_t at) { return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; };
    uint16_t tag = 0, channels = 0, bits = 0;
    for (size_t at = 12; at + 8 <= s.size();) {
        std::string id = s.substr(at, 4);
        uint32_t size = u32(at + 4);
        size_t body = at + 8;
        if (id == "fmt ") {
            tag = u16(body), channels = u16(body + 2), r.rate = u32(body + 4), bits = u16(body + 14);
            if (tag == 0xFFFE) tag = u16(body + 24);  // the sub-format's first bytes
        } else if (id == "data") {
            size_t frame = size_t(channels) * bits / 8;
            size_t end = std::min<size_t>(s.size(), body + size_t(size));
            for (size_t f = body; frame && f + frame <= end; f += frame) {
                if (tag == 3 && bits == 32) {
                    uint32_t raw = u32(f);
                    float v;
                    std::memcpy(&v, &raw, 4);
                    r.left.push_back(v);
                } else if (tag == 1 && bits == 16) {
                    r.left.push_back(int16_t(u16(f)) / 32768.0);
                }
            }
            break;
        }
        at = body + size;
    }
    return r;
}

// How long the sound of a WAV file lasts.
inline double wave_seconds(const std::string& path) {
    const Signal s = read_signal(path);
    return s.rate == 0 ? 0 : double(s.left.size()) / s.rate;
}

// From the first to the last sample above level; empty when none is.
inline std::vector<double> sounding(const std::vector<double>& x, double level) {
    auto loud = [level](double v) { return std::fabs(v) > level; };
    auto first = std::find_if(x.begin(), x.end(), loud);
    auto last = std::find_if(x.rbegin(), x.rend(), loud);
    if (first == x.end()) return {};
    return std::vector<double>(first, last.base());
}

// The frequency of a tone, from its zero crossings.
inline double crossing_frequency(const std::vector<double>& x, uint32_t rate) {
    int crossings = 0;
    for (size_t i = 1; i < x.size(); ++i) crossings += (x[i - 1] < 0) != (x[i] < 0);
    return crossings / 2.0 / (double(x.size()) / rate);
}

// Power of one frequency in a signal (Goertzel).
inline double power_at(const std::vector<double>& x, uint32_t rate, double hz) {
    double w = 2 * M_PI * hz / rate, c = 2 * std::cos(w), s1 = 0, s2 = 0;
    for (double v : x) {
        double s0 = v + c * s1 - s2;
        s2 = s1, s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// The peak level of each sound in a signal, from the softest to the loudest:
// sounds are parted by 0.1 s without a sample above level.
inline std::vector<double> sound_peaks(const Signal& r, double level = 0.01) {
    std::vector<double> peaks;
    size_t quiet = r.rate;  // samples since the last one above level
    for (double v : r.left) {
        if (std::fabs(v) <= level) {
            ++quiet;
            continue;
        }
        if (quiet > r.rate / 10) peaks.push_back(0);
        peaks.back() = std::max(peaks.back(), std::fabs(v));
        quiet = 0;
    }
    std::sort(peaks.begin(), peaks.end());
    return peaks;
}

// Where a sound sounds: from its first to its last sample above a level,
// and its RMS over that span.
struct Loudness {
    double seconds = 0;
    double rms = 0;
};

inline Loudness loudness(const Signal& r) {
    const std::vector<double> sound = sounding(r.left, 0.01);
    if (sound.empty() || r.rate == 0) return {};
    double sum = 0;
    for (double v : sound) sum += v * v;
    return {double(sound.size()) / r.rate, std::sqrt(sum / double(sound.size()))};
}
