#include "fakeal_support.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fakeal {

std::string libraryDir() { return FAKEAL_DIR; }

Sandbox::Sandbox(const std::vector<std::string>& scenarioLines)
{
    std::filesystem::create_directory(dataDir());
    std::string scenario;
    for (const auto& line : scenarioLines) scenario += line + '\n';
    folder_.write("scenario.txt", scenario);
}

Sandbox::~Sandbox()
{
    if (unexpectedAllowed_) return;
    for (const std::string& line : logLines())
        if (line.starts_with(kUnexpectedCall))
            ADD_FAILURE() << "the program made a call the stand-in OpenAL does not model: " << line;
}

std::vector<std::string> Sandbox::environment() const
{
    std::string libraryPath = libraryDir();
    if (const char* inherited = std::getenv("LD_LIBRARY_PATH"); inherited != nullptr && *inherited != '\0')
        libraryPath += std::string(":") + inherited;
    return {
        "LD_LIBRARY_PATH=" + libraryPath,
        "FAKEAL_SCENARIO=" + scenarioPath().string(),
        "FAKEAL_LOG=" + logPath().string(),
        "FAKEAL_DATA_DIR=" + dataDir().string(),
    };
}

void Sandbox::exportToProcess() const
{
    ::setenv("FAKEAL_SCENARIO", scenarioPath().c_str(), 1);
    ::setenv("FAKEAL_LOG", logPath().c_str(), 1);
    ::setenv("FAKEAL_DATA_DIR", dataDir().c_str(), 1);
}

std::vector<std::string> Sandbox::logLines() const
{
    std::vector<std::string> lines;
    std::ifstream in(logPath(), std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::optional<std::vector<unsigned char>> Sandbox::bufferData(int n) const
{
    std::ifstream in(dataDir() / ("buffer-data-" + std::to_string(n) + ".bin"), std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fakeal
