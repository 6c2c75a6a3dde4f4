// Writes Footsteps.wav: a few seconds of synthesised footsteps, stereo,
// 16-bit PCM, 44100 Hz. Each step is a heel strike followed by a softer toe
// contact: short bursts of low-pass filtered noise over a low thud, with a
// little gravel scuff on top, in a steady walking rhythm that drifts
// slightly from left to right foot.
//
// Usage: make_footsteps OUTPUT.wav [seconds]

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr double kPi = 3.14159265358979323846;
constexpr double kStepInterval = 0.52;  // seconds between footfalls
constexpr double kHeelToToe = 0.075;    // seconds from heel to toe

// A small fixed generator, so the file is the same on every build.
struct Noise {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    double next() {  // uniform in [-1, 1)
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<double>(state >> 11) / 4503599627370496.0 - 1.0;
    }
};

struct OnePole {
    double a = 0, y = 0;
    explicit OnePole(double cutoff) : a(1.0 - std::exp(-2.0 * kPi * cutoff / kRate)) {}
    double low(double x) { return y += a * (x - y); }
};

// Adds one contact (heel or toe) to the mono track from sample `start`.
void add_contact(std::vector<double>& track, size_t start, double level, double cutoff, double thudHz,
                 double decay, Noise& noise) {
    OnePole lp1(cutoff), lp2(cutoff);
    OnePole scuffLow(2500.0);
    const size_t length = static_cast<size_t>(decay * 8 * kRate);
    double phase = 0;
    for (size_t i = 0; i < length && start + i < track.size(); ++i) {
        double t = static_cast<double>(i) / kRate;
        double attack = std::min(1.0, t / 0.002);
        double env = attack * std::exp(-t / decay);
        double n = noise.next();
        double body = lp2.low(lp1.low(n)) * 6.0;           // dull filtered-noise thump
        double thud = std::sin(phase) * std::exp(-t / (decay * 1.4));
        phase += 2 * kPi * thudHz * (1.0 - 0.4 * std::min(1.0, t / 0.05)) / kRate;  // falling pitch
        double scuff = (n - scuffLow.low(n)) * 0.12 * std::exp(-t / (decay * 0.5));  // gravel grit
        track[start + i] += level * (env * (0.7 * body + 0.5 * thud) + scuff * attack);
    }
}

void put16(std::FILE* f, uint16_t v) { std::fputc(v & 0xFF, f), std::fputc(v >> 8, f); }
void put32(std::FILE* f, uint32_t v) { put16(f, v & 0xFFFF), put16(f, v >> 16); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav [seconds]\n", argv[0]);
        return 2;
    }
    double seconds = argc > 2 ? std::atof(argv[2]) : 4.0;
    if (!(seconds > 0.2 && seconds < 600)) seconds = 4.0;
    const size_t frames = static_cast<size_t>(seconds * kRate);

    std::vector<double> left(frames, 0.0), right(frames, 0.0);
    Noise noise;
    int step = 0;
    for (double t = 0.15; t + 0.3 < seconds; t += kStepInterval + 0.015 * noise.next(), ++step) {
        // Left and right feet alternate; a walker's feet sit a little apart.
        bool leftFoot = step % 2 == 0;
        double gain = 0.85 + 0.1 * noise.next();
        std::vector<double>& near = leftFoot ? left : right;
        std::vector<double>& far = leftFoot ? right : left;
        std::vector<double> mono(frames, 0.0);
        size_t heel = static_cast<size_t>(t * kRate);
        size_t toe = heel + static_cast<size_t>((kHeelToToe + 0.01 * noise.next()) * kRate);
        add_contact(mono, heel, gain, 420.0, 75.0, 0.028, noise);
        add_contact(mono, toe, gain * 0.55, 900.0, 110.0, 0.018, noise);
        for (size_t i = heel; i < frames && i < heel + kRate / 2; ++i) {
            near[i] += mono[i] * 0.62;
            far[i] += mono[i] * 0.38;
        }
    }

    double peak = 1e-9;
    for (size_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    const double scale = 0.7 * 32767.0 / peak;

    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const uint32_t dataBytes = static_cast<uint32_t>(frames * kChannels * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);  // PCM
    put16(f, kChannels);
    put32(f, kRate);
    put32(f, kRate * kChannels * 2);
    put16(f, kChannels * 2);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, dataBytes);
    for (size_t i = 0; i < frames; ++i) {
        put16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(left[i] * scale))));
        put16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(right[i] * scale))));
    }
    if (std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
