// The shared frame of both programs, run for real against the stand-in
// OpenAL library with keys on a pipe: the lines of the device phase, the
// endings, and the exact order of the ALC calls.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fakeal_support.hpp"
#include "program_run.hpp"
#include "programs_under_test.hpp"

namespace {

struct FrameCase {
    const char* name;
    std::vector<std::string> scenario;
    std::string keys;
    std::string head;                  // the output begins with this
    bool reaches_job;                  // the job's lines follow the head
    std::string tail;                  // after the head (or the job's lines)
    std::vector<std::string> alc_log;  // the frame's ALC calls, in order
};

// Case names in failure messages rather than bytes.
[[maybe_unused]] void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

const std::string kWait = "\nPress any key to exit";
const std::string kSilent = "";

std::string banner_for(const std::string& program) {
    return is_quorvel(program) ? "Quorvel Test Application\n" : "Ferrowin Application\n";
}

std::string eleven_menu() {
    std::string menu = "\nSelect OpenAL device:\n";
    for (int n = 1; n <= 11; ++n) menu += std::to_string(n) + ". D" + std::to_string(n) + (n == 1 ? " (DEFAULT)\n" : "\n");
    return menu;
}

std::vector<std::string> eleven_devices() {
    std::vector<std::string> lines;
    for (int n = 1; n <= 11; ++n) lines.push_back("device = D" + std::to_string(n));
    return lines;
}

const std::string kEnum = "alcGetString(NULL, 0x1005) -> ";
const std::string kExt = "alcIsExtensionPresent(NULL, \"ALC_ENUMERATION_EXT\") -> ";
const std::string kTeardown[] = {"alcMakeContextCurrent(NULL)", "alcDestroyContext(ctx1)", "alcCloseDevice(dev1)"};
const std::string kLongName = std::string(200, 'n') + std::string(100, 'm');

const std::vector<FrameCase> kCases = {
    {"no_enumeration_extension", {"device = A", "enumeration_ext = no"}, "x",
     "-ERR: Could not initialize OpenAL\n", false, kWait,
     {kEnum + "\"A\\0\\0\"", kExt + "0"}},
    {"enumeration_absent", {"enumeration = absent"}, "x",
     "-ERR: Could not initialize OpenAL\n", false, kWait,
     {kEnum + "NULL", kExt + "1"}},
    {"no_devices", {"devices = none"}, "x",
     "-ERR: Could not initialize OpenAL\n", false, kWait,
     {kEnum + "\"\\0\"", kExt + "1"}},
    {"second_of_two_is_default", {"device = A", "device = B", "default_device = B"}, "2x",
     "\nSelect OpenAL device:\n1. A\n2. B (DEFAULT)\n\nOpened B Device\n", true, kWait,
     {kEnum + "\"A\\0B\\0\\0\"", kExt + "1", "alcGetString(NULL, 0x1004) -> \"B\"",
      "alcOpenDevice(\"B\") -> dev1", "alcCreateContext(dev1, NULL) -> ctx1", "alcMakeContextCurrent(ctx1)",
      kTeardown[0], kTeardown[1], kTeardown[2]}},
    {"no_default_marks_none", {"device = A", "default_device = absent"}, "1x",
     "\nSelect OpenAL device:\n1. A\n\nOpened A Device\n", true, kWait,
     {kEnum + "\"A\\0\\0\"", kExt + "1", "alcGetString(NULL, 0x1004) -> NULL",
      "alcOpenDevice(\"A\") -> dev1", "alcCreateContext(dev1, NULL) -> ctx1", "alcMakeContextCurrent(ctx1)",
      kTeardown[0], kTeardown[1], kTeardown[2]}},
    {"default_differing_in_case_marks_none", {"device = Speakers", "default_device = speakers"}, "0",
     "\nSelect OpenAL device:\n1. Speakers\n", false, kSilent, {}},
    {"duplicates_are_both_marked", {"device = A", "device = B", "device = A", "default_device = A"}, "3x",
     "\nSelect OpenAL device:\n1. A (DEFAULT)\n2. B\n3. A (DEFAULT)\n\nOpened A Device\n", true, kWait, {}},
    {"eleven_devices_ninth_chosen", eleven_devices(), "9x",
     eleven_menu() + "\nOpened D9 Device\n", true, kWait, {}},
    {"key_0_ends_silently", eleven_devices(), "0", eleven_menu(), false, kSilent, {}},
    {"letter_ends_silently", {"device = A", "device = B"}, "b",
     "\nSelect OpenAL device:\n1. A (DEFAULT)\n2. B\n", false, kSilent,
     {kEnum + "\"A\\0B\\0\\0\"", kExt + "1", "alcGetString(NULL, 0x1004) -> \"A\""}},
    {"enter_ends_silently", {"device = A"}, "\r", "\nSelect OpenAL device:\n1. A (DEFAULT)\n", false, kSilent, {}},
    {"choice_above_the_menu_ends_silently", {"device = A", "device = B"}, "3",
     "\nSelect OpenAL device:\n1. A (DEFAULT)\n2. B\n", false, kSilent, {}},
    {"open_fails", {"device = A", "open_device = fail"}, "1x",
     "\nSelect OpenAL device:\n1. A (DEFAULT)\n-ERR: Could not open the specified device\n", false, kWait,
     {kEnum + "\"A\\0\\0\"", kExt + "1", "alcGetString(NULL, 0x1004) -> \"A\"", "alcOpenDevice(\"A\") -> NULL"}},
    {"end_of_keys_at_the_menu_ends_silently", {"device = A"}, "",
     "\nSelect OpenAL device:\n1. A (DEFAULT)\n", false, kSilent, {}},
    {"end_of_keys_ends_the_final_wait", {"device = A", "open_device = fail"}, "1",
     "\nSelect OpenAL device:\n1. A (DEFAULT)\n-ERR: Could not open the specified device\n", false, kWait, {}},
    // Its lines are cut at 250 characters, (DEFAULT) and all; it opens whole.
    {"long_name_is_cut_but_opened_whole", {"device = " + kLongName}, "1x",
     "\nSelect OpenAL device:\n1. " + kLongName.substr(0, 247) + "\n\nOpened " + kLongName.substr(0, 243) + "\n",
     true, kWait,
     {kEnum + "\"" + kLongName + "\\0\\0\"", kExt + "1", "alcGetString(NULL, 0x1004) -> \"" + kLongName + "\"",
      "alcOpenDevice(\"" + kLongName + "\") -> dev1", "alcCreateContext(dev1, NULL) -> ctx1",
      "alcMakeContextCurrent(ctx1)", kTeardown[0], kTeardown[1], kTeardown[2]}},
    {"context_fails_closes_the_device", {"device = A", "create_context = fail"}, "1x",
     "\nSelect OpenAL device:\n1. A (DEFAULT)\n-ERR: Could not create a context\n", false, kWait,
     {kEnum + "\"A\\0\\0\"", kExt + "1", "alcGetString(NULL, 0x1004) -> \"A\"", "alcOpenDevice(\"A\") -> dev1",
      "alcCreateContext(dev1, NULL) -> NULL", "alcCloseDevice(dev1)"}},
};

// The frame's own ALC calls; the jobs' device queries are theirs.
std::vector<std::string> frame_calls(const std::vector<std::string>& log) {
    std::vector<std::string> calls;
    for (const std::string& line : log)
        if (line.rfind("alc", 0) == 0 && line.rfind("alcIsExtensionPresent(dev", 0) != 0 &&
            line.rfind("alcGetIntegerv", 0) != 0)
            calls.push_back(line);
    return calls;
}

class Frame : public ::testing::TestWithParam<std::tuple<std::string, FrameCase>> {};

TEST_P(Frame, PrintsTheDevicePhaseAndEndsAsExpected) {
    const auto& [program, c] = GetParam();
    fakeal::Sandbox sandbox(c.scenario);
    const Environment environment = as_environment(sandbox.environment());
    const ProgramRun run = run_program_with_input(program_command(program, OpenAl::stand_in), environment, c.keys);

    EXPECT_EQ(run.exitCode, 0);
    const std::string head = banner_for(program) + c.head;
    ASSERT_EQ(run.output.substr(0, head.size()), head) << run.output;
    if (c.reaches_job) {
        ASSERT_GE(run.output.size(), head.size() + c.tail.size());
        EXPECT_EQ(run.output.substr(run.output.size() - c.tail.size()), c.tail) << run.output;
    } else {
        EXPECT_EQ(run.output.substr(head.size()), c.tail);
    }

    const std::vector<std::string> calls = frame_calls(sandbox.logLines());
    if (!c.alc_log.empty()) {
        EXPECT_EQ(calls, c.alc_log);
    }
    // No device is opened after an invalid choice.
    if (c.tail == kSilent) {
        EXPECT_FALSE(opened_a_device(calls));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Frame,
    ::testing::Combine(::testing::ValuesIn(programs_under_test()), ::testing::ValuesIn(kCases)),
    [](const auto& info) {
        std::string program = std::get<0>(info.param);
        std::replace(program.begin(), program.end(), '.', '_');
        return program + "_" + std::get<1>(info.param).name;
    });

// Keys that reach the pipe a second after the program has started: an empty
// pipe whose writer is still there is no end of the keys.
TEST(Frame, KeysArrivingLateInAPipeAreWaitedFor) {
    TemporaryFile out("output.txt");
    const std::string command = std::string("(sleep 1; printf 1x) | ALSOFT_DRIVERS=null timeout 20 ") + FERROWIN_PATH + " >" +
                                out.path();
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string output = out.read();
    EXPECT_NE(output.find("\nOpened "), std::string::npos) << output;
    EXPECT_EQ(output.substr(output.size() - std::min<size_t>(output.size(), 21)), "Press any key to exit");
}

// Started with a standard stream closed, the program must not let the next
// file opened take its number: here OpenAL Soft's wave writer's output, which
// would get the console's text or the library's log lines, or give its bytes
// as keys. Without keys the menu choice is 0, and the run ends at the menu.
struct ClosedStreamCase {
    const char* name;
    const char* redirections;
    bool device_opened;
};

void PrintTo(const ClosedStreamCase& c, std::ostream* os) { *os << c.name; }

class ClosedStream : public testing::TestWithParam<ClosedStreamCase> {};

TEST_P(ClosedStream, KeepsOtherFilesClean) {
    TemporaryFile conf("alsoft.conf");
    const std::string wave = conf.directory() + "/out.wav";
    std::ofstream(conf.path()) << "[wave]\nfile=" << wave << "\n";
    const std::string command = "printf 1x | ALSOFT_DRIVERS=wave ALSOFT_LOGLEVEL=3 ALSOFT_CONF=" + conf.path() +
                                " timeout 20 " + FERROWIN_PATH + " " + GetParam().redirections;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ostringstream written;
    written << std::ifstream(wave, std::ios::binary).rdbuf();
    if (!GetParam().device_opened) {
        EXPECT_EQ(written.str(), "") << "no device was opened";
        return;
    }
    EXPECT_EQ(written.str().substr(0, 4), "RIFF");
    EXPECT_EQ(written.str().find("Opened"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rows, ClosedStream,
                         testing::Values(ClosedStreamCase{"output", ">&-", true},
                                         ClosedStreamCase{"error", ">/dev/null 2>&-", true},
                                         ClosedStreamCase{"input", "<&- >/dev/null", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
