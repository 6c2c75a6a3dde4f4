// Load benchmark of the WAV reader with the real OpenAL (OpenAL Soft's null
// backend unless ALSOFT_DRIVERS says otherwise).
//
// For each data size it writes a stereo 16-bit file, then measures
//   load:     OpenWaveFile + ReadWaveIntoBuffer(all) + CloseWaveFile
//   baseline: read the whole file into memory and copy it once (the copy
//             OpenAL has to make), the practical lower limit
// (best of a few runs, the file warm in the page cache), and the peak
// resident memory of a child process that does quorvel's load and nothing
// else, expected near twice the data size: the reader's one block plus
// OpenAL's copy.
//
// Usage: wave_load_benchmark [DIR] [MiB ...]   (default: . 16 256 1024)
// The files go into a folder of its own made in DIR, removed at the end.

#include <AL/al.h>
#include <AL/alc.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "playback/wave_reader.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRepeats = 3;

void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

bool write_wave(const std::string& path, int64_t dataBytes) {
    unsigned char header[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0,
                                4, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    put32(header + 4, static_cast<uint32_t>(36 + dataBytes));
    put32(header + 40, static_cast<uint32_t>(dataBytes));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::vector<unsigned char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<unsigned char>(i * 31 + (i >> 9));
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    for (int64_t left = dataBytes; ok && left > 0; left -= int64_t(chunk.size())) {
        size_t n = static_cast<size_t>(std::min<int64_t>(left, int64_t(chunk.size())));
        ok = std::fwrite(chunk.data(), 1, n, f) == n;
    }
    return std::fclose(f) == 0 && ok;
}

struct AlSetup {
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    ALuint buffer = 0;
    bool open() {
        device = alcOpenDevice(nullptr);
        if (!device) return false;
        context = alcCreateContext(device, nullptr);
        if (!context || !alcMakeContextCurrent(context)) return false;
        alGenBuffers(1, &buffer);
        return alGetError() == AL_NO_ERROR;
    }
    void close() {
        alDeleteBuffers(1, &buffer);
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(context);
        alcCloseDevice(device);
    }
};

int32_t load(const std::string& path, ALuint buffer) {
    int32_t got = 0;
    if (OpenWaveFile(path.c_str())) got = ReadWaveIntoBuffer(buffer, 0);
    CloseWaveFile();
    return got;
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double time_load(const std::string& path, ALuint buffer, int64_t dataBytes) {
    double best = 1e30;
    for (int i = 0; i < kRepeats; ++i) {
        auto start = Clock::now();
        int32_t got = load(path, buffer);
        best = std::min(best, seconds_since(start));
        if (got != dataBytes) {
            std::fprintf(stderr, "load uploaded %d of %lld bytes\n", got, static_cast<long long>(dataBytes));
            std::exit(1);
        }
        // Empty the buffer again, so each run measures the same work.
        alBufferData(buffer, AL_FORMAT_STEREO16, nullptr, 0, 44100);
    }
    return best;
}

double time_baseline(const std::string& path, int64_t fileBytes) {
    double best = 1e30;
    for (int i = 0; i < kRepeats; ++i) {
        auto start = Clock::now();
        int fd = ::open(path.c_str(), O_RDONLY);
        auto* block = static_cast<char*>(std::malloc(size_t(fileBytes)));
        int64_t done = 0;
        while (done < fileBytes) {
            ssize_t n = ::read(fd, block + done, size_t(std::min<int64_t>(fileBytes - done, 1 << 30)));
            if (n <= 0) break;
            done += n;
        }
        ::close(fd);
        auto* copy = static_cast<char*>(std::malloc(size_t(fileBytes)));
        std::memcpy(copy, block, size_t(fileBytes));
        volatile char sink = copy[fileBytes / 2];
        (void)sink;
        std::free(copy);
        std::free(block);
        best = std::min(best, seconds_since(start));
    }
    return best;
}

// Peak resident set of a fresh child that opens the device and loads the
// file as quorvel does; in MiB.
double peak_load_mib(const std::string& path) {
    pid_t pid = fork();
    if (pid == 0) {
        AlSetup al;
        if (!al.open()) _exit(2);
        int32_t got = load(path, al.buffer);
        al.close();
        _exit(got > 0 ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

}  // namespace

// A new folder of its own in parent (nothing there is overwritten), removed
// when this object goes; its files are removed by whoever wrote them.
struct OwnFolder {
    std::string path;
    explicit OwnFolder(const std::string& parent) : path(parent + "/wave-benchmark-XXXXXX") {
        if (mkdtemp(path.data()) == nullptr) {
            std::perror(path.c_str());
            std::exit(1);
        }
    }
    ~OwnFolder() { rmdir(path.c_str()); }
};

int main(int argc, char** argv) {
    const OwnFolder folder(argc > 1 ? argv[1] : ".");
    const std::string& dir = folder.path;
    std::vector<int64_t> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
    if (sizes.empty()) sizes = {16, 256, 1024};
    setenv("ALSOFT_DRIVERS", getenv("ALSOFT_DRIVERS") ? getenv("ALSOFT_DRIVERS") : "null", 1);

    double emptyPeak = -1;
    {
        std::string tiny = dir + "/wave-benchmark-tiny.wav";
        if (write_wave(tiny, 4)) emptyPeak = peak_load_mib(tiny);
        std::remove(tiny.c_str());
    }
    std::printf("| data MiB | load s | read+copy s | ratio | peak RSS MiB | peak - base | (peak-base)/data |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|\n");
    for (int64_t mib : sizes) {
        int64_t dataBytes = mib << 20;
        if (dataBytes <= 0 || dataBytes > INT32_MAX) {
            std::fprintf(stderr, "skipping %lld MiB: beyond a signed 32-bit size\n", static_cast<long long>(mib));
            continue;
        }
        std::string path = dir + "/wave-benchmark-" + std::to_string(mib) + ".wav";
        if (!write_wave(path, dataBytes)) {
            std::perror(path.c_str());
            std::remove(path.c_str());
            return 1;
        }
        double peak = peak_load_mib(path);
        AlSetup al;
        if (!al.open()) {
            std::fprintf(stderr, "no OpenAL device\n");
            std::remove(path.c_str());
            return 1;
        }
        time_baseline(path, dataBytes + 44);  // warm the page cache
        double baseline = time_baseline(path, dataBytes + 44);
        double loaded = time_load(path, al.buffer, dataBytes);
        al.close();
        std::remove(path.c_str());
        std::printf("| %lld | %.3f | %.3f | %.2f | %.0f | %.0f | %.2f |\n", static_cast<long long>(mib), loaded,
                    baseline, loaded / baseline, peak, peak - emptyPeak, (peak - emptyPeak) / double(mib));
        std::fflush(stdout);
    }
    std::printf("\nbase (a 4-byte file) peak RSS: %.0f MiB\n", emptyPeak);
    return 0;
}
