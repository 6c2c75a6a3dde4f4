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

extern "C" void fakeal_reload();

namespace wavetest {

// A directory of its own under the system's temporary directory, removed
// with everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "wavetest-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::string p = file(name);
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p;
    }

private:
    std::filesystem::path path_;
};

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Upload {
    unsigned buffer = 0;
    unsigned format = 0;
    long size = -1;
    long frequency = -1;
    std::vector<uint8_t> bytes;  // what the fake received
};

class FakeAlSession {
public:
    explicit FakeAlSession(const std::string& scenario = "") {
        std::ofstream(dir_.file("scenario")) << scenario;
        std::filesystem::create_directory(dir_.file("data"));
        setenv("FAKEAL_SCENARIO", dir_.file("scenario").c_str(), 1);
        setenv("FAKEAL_LOG", dir_.file("calls.log").c_str(), 1);
        setenv("FAKEAL_DATA_DIR", dir_.file("data").c_str(), 1);
        fakeal_reload();
    }
    ~FakeAlSession() {
        unsetenv("FAKEAL_SCENARIO");
        unsetenv("FAKEAL_LOG");
        unsetenv("FAKEAL_DATA_DIR");
        fakeal_reload();
    }
    FakeAlSession(const FakeAlSession&) = delete;
    FakeAlSession& operator=(const FakeAlSession&) = delete;

    std::string log() const { return read_text(dir_.file("calls.log")); }

    // Every alBufferData call so far, in order, with its bytes.
    std::vector<Upload> uploads() const {
        std::vector<Upload> found;
        std::istringstream lines(log());
        std::string line;
        while (std::getline(lines, line)) {
            Upload u;
            if (std::sscanf(line.c_str(), "alBufferData(%u, %x, size=%ld, freq=%ld)", &u.buffer, &u.format,
                            &u.size, &u.frequency) != 4)
                continue;
            std::string dump = dir_.file("data/buffer-data-" + std::to_string(found.size() + 1) + ".bin");
            std::string bytes = read_text(dump);
            u.bytes.assign(bytes.begin(), bytes.end());
            found.push_back(std::move(u));
        }
        return found;
    }

private:
    TempDir dir_;
};

}  // namespace wavetest
