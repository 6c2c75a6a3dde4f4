#include "program_run.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "console/posix/descriptor_io.hpp"

ProgramRun run_program_with_input(const std::string& path, const Environment& environment,
                                  const std::string& input, int timeoutSeconds,
                                  const std::string& workingDirectory,
                                  const std::vector<std::string>& arguments, const OutputWatch& watch) {
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(toChild[0], STDIN_FILENO);
        ::dup2(fromChild[1], STDOUT_FILENO);
        ::close(toChild[0]);
        ::close(toChild[1]);
        ::close(fromChild[0]);
        ::close(fromChild[1]);
        if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) ::_exit(127);
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    ::signal(SIGPIPE, SIG_IGN);
    write_fd(toChild[1], input);  // up to the end of what the child reads
    ::close(toChild[1]);

    ProgramRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    bool killed = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        pollfd readable{fromChild[0], POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[4096];
        const ssize_t n = ::read(fromChild[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        run.output.append(chunk, static_cast<std::size_t>(n));
        if (watch) watch(run.output);
    }
    ::close(fromChild[0]);
    if (!killed) {
        // Output closed; the program ends right after (or holds on to the
        // key wait, which the deadline still covers).
        for (;;) {
            int status = 0;
            const pid_t done = ::waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
                if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
                return run;
            }
            if (std::chrono::steady_clock::now() >= deadline) break;
            ::usleep(10000);
        }
        ::kill(pid, SIGKILL);
    }
    ::waitpid(pid, nullptr, 0);
    return run;
}

Environment as_environment(const std::vector<std::string>& assignments) {
    Environment environment;
    for (const std::string& assignment : assignments) {
        const auto equals = assignment.find('=');
        environment.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
    }
    return environment;
}

std::vector<std::string> split_lines(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(output.substr(start));
            return lines;
        }
        lines.push_back(output.substr(start, end - start));
        start = end + 1;
    }
}
