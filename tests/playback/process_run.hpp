#pragma once
// Runs a program as a child process with a working directory, extra
// environment, bytes on standard input (a pipe, not a terminal) and a time
// limit; collects standard output and the exit status.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace wavetest {

struct ProcessResult {
    std::string out;
    int exitCode = -1;  // -1 when killed or ended by a signal
    bool timedOut = false;
};

inline ProcessResult run_process(const std::string& program, const std::string& workDir,
                                 const std::vector<std::pair<std::string, std::string>>& env,
                                 const std::string& input, std::chrono::seconds limit) {
    ProcessResult r;
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return r;
    signal(SIGPIPE, SIG_IGN);  // a child that ends early must not end the test
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(in[0]), close(in[1]), close(out[0]), close(out[1]);
        if (chdir(workDir.c_str()) != 0) _exit(127);
        for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    // The keys are all written at once; the program reads them when it wants.
    ssize_t ignored = write(in[1], input.data(), input.size());
    (void)ignored;
    close(in[1]);

    auto deadline = std::chrono::steady_clock::now() + limit;
    char buf[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            r.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        r.out.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!r.timedOut && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    return r;
}

}  // namespace wavetest
