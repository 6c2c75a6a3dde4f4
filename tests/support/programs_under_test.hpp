#pragma once
// The programs the tests run: "quorvel" and "ferrowin" of this build and,
// when the build was given a Windows build (WINDOWS_BIN_DIR), "quorvel.exe"
// and "ferrowin.exe" under wine. A Windows row is the same row as the Linux
// one, run through a launcher script that starts the .exe under wine.

#include <string>
#include <vector>

enum class OpenAl { installed, stand_in };

// "linux", and "windows" when the Windows programs are tested too.
std::vector<std::string> platforms_under_test();
// "quorvel", "ferrowin", then "quorvel.exe", "ferrowin.exe" when tested.
std::vector<std::string> programs_under_test();
// program ("quorvel" or "ferrowin") as built for platform.
std::string program_on(const std::string& platform, const std::string& program);
bool is_windows_program(const std::string& program);
bool is_quorvel(const std::string& program);

// The command that runs program with library. A Linux program is the same
// file either way (a test selects the stand-in through LD_LIBRARY_PATH); a
// Windows one with the stand-in is its copy beside the stand-in OpenAL32.dll.
// openal-info is OpenAL Soft's own report tool.
std::string program_command(const std::string& program, OpenAl library);
