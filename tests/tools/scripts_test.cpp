// The scripts of tools/ run with a user's things around them: a wine prefix
// of the user's named by WINEPREFIX (or given as the folder to use) is left
// byte for byte as it was, and set-up waits while another apt run holds the
// package manager's locks instead of failing on them.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "program_run.hpp"
#include "programs_under_test.hpp"

namespace fs = std::filesystem;

namespace {

enum class Around { users_prefix, held_apt_lock };

struct ScriptCase {
    const char* name;
    const char* script;               // under the source tree
    std::vector<std::string> args;    // "PREFIX" stands for the user's prefix
    Around around;
    bool succeeds;
    std::string said;                 // in its output ("SOURCE" and "ROOT" replaced)
};

void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.name; }

std::string replaced(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// Every file and folder below dir, with each file's bytes.
std::string snapshot(const fs::path& dir) {
    std::string all;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        all += entry.path().string() + (entry.is_regular_file() ? "\n" + read_file(entry.path()) + "\n" : "/\n");
    return all;
}

class Scripts : public testing::TestWithParam<ScriptCase> {};

TEST_P(Scripts, LeaveWhatIsNotTheirsAndWaitForTheUsersApt) {
    const ScriptCase& c = GetParam();
    TemporaryFolder root;
    Environment environment;
    std::vector<std::string> args{"-c", "exec \"$0\" \"$@\" 2>&1", std::string(SOURCE_DIR) + "/" + c.script};
    const fs::path prefix = root.path() / "users-prefix";
    fs::create_directories(prefix / "drive_c/users");
    root.write("users-prefix/drive_c/users/notes.txt", "the user's own\n");
    root.write("users-prefix/system.reg", "WINE REGISTRY Version 2\n");
    const std::string before = snapshot(prefix);
    for (const std::string& arg : c.args) args.push_back(arg == "PREFIX" ? prefix.string() : arg);
    environment.emplace_back("WINEPREFIX", prefix.string());

    int lock = -1;
    std::thread release;
    if (c.around == Around::held_apt_lock) {
        if (::geteuid() != 0) GTEST_SKIP() << "set-up meets apt's locks only where it may install: as root";
        // An apt set-up of its own in the temporary folder, where nothing is
        // installed and no archive is known: set-up goes as far as apt-get
        // update, which waits for the lists lock held here for 2 s.
        for (const char* dir : {"dpkg", "lists/partial", "cache/archives/partial", "etc/sources.list.d"})
            fs::create_directories(root.path() / dir);
        root.write("dpkg/status", "");
        root.write("etc/sources.list", "");
        const std::string config = root.write("apt.conf",
            "Dir::State::status \"" + root.file("dpkg/status") + "\";\nDir::State::Lists \"" + root.file("lists") +
            "\";\nDir::Cache \"" + root.file("cache") + "\";\nDir::Etc::SourceList \"" +
            root.file("etc/sources.list") + "\";\nDir::Etc::SourceParts \"" + root.file("etc/sources.list.d") + "\";\n");
        environment.insert(environment.end(), {{"APT_CONFIG", config}, {"DPKG_ADMINDIR", root.file("dpkg")}});
        lock = ::open(root.write("lists/lock", "").c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_EQ(::flock(lock, LOCK_EX), 0);
        release = std::thread([lock] { std::this_thread::sleep_for(std::chrono::seconds(2)); ::close(lock); });
    }
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun r = run_program_with_input("/bin/sh", environment, "", 110, "", args);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (release.joinable()) release.join();

    EXPECT_EQ(r.exitCode == 0, c.succeeds) << r.output;
    EXPECT_NE(r.output.find(replaced(replaced(c.said, "SOURCE", SOURCE_DIR), "ROOT", root.path().string())),
              std::string::npos) << r.output;
    EXPECT_EQ(snapshot(prefix), before) << "the user's prefix was changed";
    if (c.around == Around::held_apt_lock) {
        EXPECT_GE(seconds, 2.0) << r.output;
        EXPECT_EQ(r.output.find("Could not get lock"), std::string::npos) << r.output;
    }
}

std::vector<ScriptCase> cases() {
    std::vector<ScriptCase> rows = {
        {"wine_prefix_refuses_a_users_folder", "tools/wine_prefix.sh", {"PREFIX"}, Around::users_prefix, false,
         "holds files but is not a wine prefix made by this script: it is left as it is"},
        {"setup_waits_for_a_held_apt_lock", "tools/setup.sh", {"run"}, Around::held_apt_lock, false,
         "setup: waiting for another apt or dpkg run to end (it holds ROOT/lists/lock)\n"
         "setup: apt's locks are free again; going on\n"},
    };
    // These need wine: the wine tree only.
    if (platforms_under_test().size() > 1) {
        rows.push_back({"wine_prefix_ignores_WINEPREFIX_windows", "tools/wine_prefix.sh", {}, Around::users_prefix,
                        true, "SOURCE/build/wineprefix\n"});
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(OnAUsersMachine, Scripts, testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
