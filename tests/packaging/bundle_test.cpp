// The release bundles as a user gets them: unpacked into a fresh folder and
// both programs run from its bin/ on a terminal (the zip's under wine),
// device 1 chosen and the final wait ended with a key. quorvel renders the
// footsteps through OpenAL Soft's wave writer into a WAV file, which must
// hold them; ferrowin must print its report.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "temporary_folder.hpp"
#include "terminal_session.hpp"
#include "wave_signal.hpp"

namespace fs = std::filesystem;
using screen::ExitStatus;
using screen::TerminalSession;

namespace {

// Only a wait that fails lasts this long: at a load of 30 on these two
// cores the zip's rows, six starts under wine, took 13 s in all.
constexpr screen::Millis kBusyWine{60000};

struct Bundle {
    std::string platform;
    std::string archive;
};
void PrintTo(const Bundle& b, std::ostream* os) { *os << b.platform; }

std::vector<Bundle> bundles(bool withLinux) {
    std::vector<Bundle> all;
    if (withLinux) all.push_back({"linux", LINUX_BUNDLE});
    if (*WINDOWS_BUNDLE) all.push_back({"windows", WINDOWS_BUNDLE});
    return all;
}

// The archive unpacked into a fresh folder, where it makes one folder named
// as the archive.
struct Unpacked {
    const bool windows;
    TemporaryFolder folder;
    fs::path root;

    explicit Unpacked(const Bundle& b) : windows(b.platform == "windows") {
        std::string name = fs::path(b.archive).filename().string();
        name.resize(name.size() - (windows ? 4 : 7));  // .zip, .tar.gz
        root = folder.path() / name;
        const ProgramRun tar =
            run_program_with_input(CMAKE_PROGRAM, {}, "", 60, folder.path(), {"-E", "tar", "xf", b.archive});
        EXPECT_EQ(tar.exitCode, 0) << b.archive;
    }
    // A path as the programs name it: wine shows the Linux root as drive Z:.
    std::string host(const std::string& path) const { return windows ? "Z:" + path : path; }
    // program of folder (bin, system-openal) on a terminal; the zip's in the tests' wine prefix.
    screen::SessionOptions options(const std::string& folder, const std::string& program,
                                   const std::map<std::string, std::string>& env = {}) const {
        screen::SessionOptions o{.workdir = (root / folder).string(), .rows = 40};
        o.argv = {windows ? "wine" : o.workdir + "/" + program};
        if (windows) o.argv.push_back(program + ".exe");
        if (windows) o.env = {{"WINEPREFIX", WINE_TEST_PREFIX}, {"WINEDEBUG", "-all"}};
        for (const auto& [name, value] : env) o.env[name] = value;
        return o;
    }
};

// Device 1 once the menu reads raw keys, a key at the final wait, and exit
// status 0.
testing::AssertionResult runs_through(TerminalSession& t) {
    if (!t.waitForText("Select OpenAL device:", kBusyWine) || !t.waitForRawKeys(kBusyWine))
        return testing::AssertionFailure() << "no menu reading raw keys\n" << t.dump();
    t.send("1");
    if (!t.waitForSettledText("Press any key to exit", kBusyWine))
        return testing::AssertionFailure() << "no final wait\n" << t.dump();
    t.send("x");
    if (t.waitExit(kBusyWine) != ExitStatus::exitedWith(0))
        return testing::AssertionFailure() << "no exit with status 0\n" << t.dump();
    return testing::AssertionSuccess();
}

class ReleaseBundle : public testing::TestWithParam<Bundle> {};

TEST_P(ReleaseBundle, BothProgramsRunFromItsBin) {
    const Unpacked bundle(GetParam());
    for (const char* file : {"README.txt", "Media/Footsteps.wav"})
        EXPECT_TRUE(fs::is_regular_file(bundle.root / file)) << file << " is not in the bundle";
    if (bundle.windows) {
        // GCC's runtime is linked into each program and the DLL: none needs a
        // DLL of GCC's (lib*.dll), which a Windows machine does not have.
        for (const char* file : {"bin/quorvel.exe", "bin/ferrowin.exe", "bin/OpenAL32.dll", "system-openal/quorvel.exe",
                                 "system-openal/ferrowin.exe"}) {
            const ProgramRun dump = run_program_with_input(MINGW_OBJDUMP, {}, "", 60, "", {"-p", bundle.root / file});
            EXPECT_NE(dump.output.find("DLL Name: KERNEL32.dll"), std::string::npos) << file << ":\n" << dump.output;
            EXPECT_EQ(dump.output.find("DLL Name: lib"), std::string::npos) << file << " needs GCC's runtime DLLs:\n"
                                                                            << dump.output;
        }
    }
    const std::string rendered = bundle.folder.file("rendered.wav");
    const std::string conf = bundle.folder.write("alsoft.conf", "[wave]\nfile=" + bundle.host(rendered) + "\n");
    for (const std::string program : {"quorvel", "ferrowin"}) {
        SCOPED_TRACE(program);
        TerminalSession t(
            bundle.options("bin", program, {{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", bundle.host(conf)}}));
        ASSERT_TRUE(runs_through(t));
        EXPECT_TRUE(t.shows("1. OpenAL Soft (DEFAULT)")) << t.dump();
        if (program == "ferrowin") {
            EXPECT_TRUE(t.shows("Filters Supported: -")) << t.dump();
            continue;
        }
        // The footsteps as the build made them: the writer renders the
        // stereo file sample for sample, in float.
        const Loudness media = loudness(read_signal(FOOTSTEPS_PATH)), sound = loudness(read_signal(rendered));
        EXPECT_NEAR(sound.seconds, media.seconds, 0.01) << "seconds sounding";
        EXPECT_NEAR(sound.rms, media.rms, media.rms * 0.01) << "RMS";
    }
}

INSTANTIATE_TEST_SUITE_P(Bundles, ReleaseBundle, testing::ValuesIn(bundles(true)),
                         [](const auto& info) { return info.param.platform; });

// The zip's system-openal/ programs load the OpenAL of the system. In a wine
// prefix of their own, with no OpenAL32.dll in its system folder they do not
// start and wine says the DLL was not found; with the stand-in OpenAL there
// they show its device, where those in bin/ show OpenAL Soft's.
class ZipSystemOpenAL : public testing::TestWithParam<Bundle> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ZipSystemOpenAL);

TEST_P(ZipSystemOpenAL, ProgramsStartOnlyWithAnOpenALInTheSystemFolder) {
    const Unpacked bundle(GetParam());
    const fs::path installed = fs::path(SYSTEM_OPENAL_PREFIX) / "drive_c/windows/system32/OpenAL32.dll";
    fs::remove(installed);
    for (const std::string program : {"quorvel", "ferrowin"}) {
        SCOPED_TRACE(program);
        TerminalSession t(bundle.options("system-openal", program,
                                         {{"WINEPREFIX", SYSTEM_OPENAL_PREFIX}, {"WINEDEBUG", "err+module"}}));
        const ExitStatus end = t.waitExit(kBusyWine);
        EXPECT_TRUE(end.kind == ExitStatus::Kind::Exited && end.code != 0) << end << "\n" << t.dump();
        EXPECT_NE(t.output().find("Library OpenAL32.dll"), std::string::npos) << t.output();
        EXPECT_NE(t.output().find(") not found"), std::string::npos) << t.output();
    }
    fs::copy_file(WINDOWS_BIN_DIR "/fakeal/OpenAL32.dll", installed);
    for (const std::string program : {"quorvel", "ferrowin"}) {
        SCOPED_TRACE(program);
        TerminalSession t(bundle.options("system-openal", program, {{"WINEPREFIX", SYSTEM_OPENAL_PREFIX}}));
        ASSERT_TRUE(runs_through(t));
        EXPECT_TRUE(t.shows("1. Fake Device (DEFAULT)")) << t.dump();
    }
    fs::remove(installed);
}

INSTANTIATE_TEST_SUITE_P(Bundles, ZipSystemOpenAL, testing::ValuesIn(bundles(false)),
                         [](const auto& info) { return info.param.platform; });

}  // namespace
