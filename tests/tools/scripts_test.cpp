// The scripts of tools/ among a user's things: a wine prefix of the user's,
// named by WINEPREFIX or given as the folder to use, stays byte for byte as
// it was; set-up waits while another apt run holds apt's locks.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "program_run.hpp"
#include "programs_under_test.hpp"

namespace fs = std::filesystem;

namespace {

struct ScriptCase {
    const char* name;
    std::vector<std::string> command;  // under the source tree; "PREFIX" is the user's prefix
    bool holdsAptLock;                 // the lists lock of a private apt set-up, for 2 s
    bool succeeds;
    std::string said;
};

// Every file and folder below dir, with each file's bytes.
std::string snapshot(const fs::path& dir) {
    std::string all;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        all += entry.path().string() + "\n" + (entry.is_regular_file() ? read_file(entry.path()) : "/") + "\n";
    return all;
}

void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.name; }

class Scripts : public testing::TestWithParam<ScriptCase> {};

TEST_P(Scripts, LeaveWhatIsNotTheirsAndWaitForTheUsersApt) {
    const ScriptCase& c = GetParam();
    TemporaryFolder root;
    const std::string prefix = root.file("prefix");
    fs::create_directories(prefix + "/drive_c");
    root.write("prefix/drive_c/notes.txt", "the user's own\n");
    const std::string before = snapshot(prefix);
    std::vector<std::string> args{"-c", "exec \"$0\" \"$@\" 2>&1", std::string(SOURCE_DIR) + "/" + c.command[0]};
    for (size_t i = 1; i < c.command.size(); ++i) args.push_back(c.command[i] == "PREFIX" ? prefix : c.command[i]);
    Environment environment{{"WINEPREFIX", prefix}};
    std::thread release;
    if (c.holdsAptLock) {
        if (::geteuid() != 0) GTEST_SKIP() << "set-up meets apt's locks only where it may install: as root";
        // apt and dpkg with nothing installed and no archive: set-up goes as
        // far as apt-get update, which would fail at once on the held lock.
        for (const char* dir : {"dpkg", "lists/partial", "cache/archives/partial", "parts"})
            fs::create_directories(root.path() / dir);
        std::string config;
        for (const auto& [key, file] : {std::pair{"State::status", "dpkg/status"}, {"State::Lists", "lists"},
                                        {"Cache", "cache"}, {"Etc::SourceList", "sources"}, {"Etc::SourceParts", "parts"}})
            config += std::string("Dir::") + key + " \"" + root.file(file) + "\";\n";
        for (const char* file : {"dpkg/status", "sources"}) root.write(file, "");
        environment.emplace_back("APT_CONFIG", root.write("apt.conf", config));
        // Held as apt holds it: a POSIX record lock on the whole file.
        const int lock = ::open(root.write("lists/lock", "").c_str(), O_RDWR | O_CLOEXEC);
        struct flock whole{};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        ASSERT_EQ(::fcntl(lock, F_SETLK, &whole), 0);
        release = std::thread([lock] { std::this_thread::sleep_for(std::chrono::seconds(2)); ::close(lock); });
    }
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun r = run_program_with_input("/bin/sh", environment, "", 110, "", args);
    const auto took = std::chrono::steady_clock::now() - start;
    if (release.joinable()) release.join();

    EXPECT_EQ(r.exitCode == 0, c.succeeds) << r.output;
    EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
    EXPECT_EQ(snapshot(prefix), before) << "the user's prefix was changed";
    if (c.holdsAptLock) {
        EXPECT_GE(took, std::chrono::seconds(2)) << r.output;
    }
}

std::vector<ScriptCase> cases() {
    std::vector<ScriptCase> rows = {
        {"wine_prefix_refuses_a_users_folder", {"tools/wine_prefix.sh", "PREFIX"}, false, false,
         "holds files but is not a wine prefix made by this script: it is left as it is"},
        {"setup_waits_for_a_held_apt_lock", {"tools/setup.sh", "run"}, true, false,
         "/lists/lock. It is held by process " + std::to_string(::getpid()) + " (scripts_test))\n"
         "setup: the other apt run has ended; the package lists are updated\n"},
    };
    if (platforms_under_test().size() > 1)  // with wine: the wine tree
        rows.push_back({"wine_prefix_ignores_WINEPREFIX_windows", {"tools/wine_prefix.sh"}, false, true,
                        std::string(SOURCE_DIR) + "/build/wineprefix\n"});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(OnAUsersMachine, Scripts, testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
