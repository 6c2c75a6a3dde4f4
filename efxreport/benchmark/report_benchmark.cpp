// Times ferrowin from its start to the complete report against a program
// that only opens the same device and context.
//
// ferrowin gets "1" for the menu and a key for the final wait on its input
// before it starts; its time is taken when the last line of the report (the
// band-pass line) has arrived on its output. The baseline's time is taken
// when it reports its context current. Both run on OpenAL Soft's null
// backend unless ALSOFT_DRIVERS says otherwise; the medians of many runs and
// their ratio are printed.
//
//   report_benchmark <ferrowin> <open_device_only> [runs]

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/posix/descriptor_io.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// Starts program with input on its standard input and returns the time
// until marker has appeared on its standard output; negative on failure.
double microseconds_until(const char* program, const std::string& input, const std::string& marker) {
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return -1;
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        close(toChild[0]);
        close(toChild[1]);
        close(fromChild[0]);
        close(fromChild[1]);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    write_fd(toChild[1], input);
    close(toChild[1]);

    std::string output;
    double elapsed = -1;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fromChild[0], chunk, sizeof chunk)) > 0) {
        output.append(chunk, static_cast<std::size_t>(n));
        if (output.find(marker) != std::string::npos) {
            elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
            break;
        }
    }
    // Let the program finish its teardown outside the measured time.
    while (read(fromChild[0], chunk, sizeof chunk) > 0) {
    }
    close(fromChild[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return elapsed;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <ferrowin> <open_device_only> [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 200;
    setenv("ALSOFT_DRIVERS", "null", 0);
    signal(SIGPIPE, SIG_IGN);

    std::vector<double> report;
    std::vector<double> baseline;
    // Alternate the two, after one warm-up run each, so that both see the
    // same state of the machine.
    for (int i = -1; i < runs; ++i) {
        const double r = microseconds_until(argv[1], "1x", " Band Pass         ");
        const double b = microseconds_until(argv[2], "", "ready\n");
        if (r < 0 || b < 0) {
            std::fprintf(stderr, "a run did not reach its marker\n");
            return 1;
        }
        if (i < 0) continue;
        report.push_back(r);
        baseline.push_back(b);
    }
    const double r = median(report);
    const double b = median(baseline);
    std::printf("runs per program:                    %d\n", runs);
    std::printf("ferrowin, start to complete report:  %.0f us (median)\n", r);
    std::printf("open device and context only:        %.0f us (median)\n", b);
    std::printf("ratio:                               %.2f\n", r / b);
    return 0;
}
