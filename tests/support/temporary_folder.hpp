#pragma once
// Folders and files of their own under the system's temporary folder, gone
// with everything in them when the object goes; whole-file reads and writes.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The bytes of the file at path; empty when there is none.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
        path_ = pattern;
    }
    // A test may have taken the folder's permissions away: they come back
    // first, so that nothing is left behind.
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of name in the folder.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes bytes as name in the folder (its folders must exist) and gives
    // the file's path.
    std::string write(const std::string& name, std::string_view bytes) const {
        const std::string at = file(name);
        std::ofstream out(at, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + at);
        return at;
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

private:
    std::filesystem::path path_;
};

// A file in a temporary folder of its own, removed with this object.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& name, const std::string& contents = "")
        : directory_(folder_.path().string()), path_(folder_.write(name, contents)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }
    const std::string& directory() const { return directory_; }
    std::string read() const { return read_file(path_); }

private:
    TemporaryFolder folder_;
    std::string directory_;
    std::string path_;
};
