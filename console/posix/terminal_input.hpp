#pragma once
// Asking the Linux terminal where the cursor is: the request, the bytes its
// answer arrives in, and the answer that comes too late. A late answer is no
// key and must not reach the shell either: it is taken out of the input
// wherever it arrives, until its time is up; and it comes before the answer
// to a later request, which must not take it for its own.

#include <chrono>
#include <string>
#include <string_view>

class CursorQuery {
public:
    struct Timing {
        // How long a request waits for its answer before it takes the
        // terminal for one that does not answer.
        int reply_ms = 1000;
        // How long after the request an answer that came too late is still
        // looked for.
        int late_limit_ms = 3000;
    };

    CursorQuery() = default;
    explicit CursorQuery(Timing timing) : timing_(timing) {}

    // Starts over, with no answer on its way. The request goes to request_fd
    // and the answer comes from answer_fd (-1: no terminal answers). keys:
    // the pending keys when answer_fd is the keys' own terminal, whose bytes
    // around the answer are keys typed ahead and stay there; null when it is
    // another terminal, whose other bytes are not the program's keys.
    void reset(int request_fd, int answer_fd, std::string* keys);

    // The cursor's 1-based row and column; false when no answer came in time
    // (or no terminal answers).
    bool ask(int& row, int& column);
    // Takes a late answer out of the input if it has come, waiting up to
    // timeout_ms for it.
    void catch_late_answer(int timeout_ms);
    // Before the terminal is given back: a late answer still on its way is
    // waited for until its time is up.
    void wait_out_late_answer();
    // keys are the first part of a late answer whose rest is still on its way.
    bool answer_arriving(std::string_view keys) const;

private:
    using Clock = std::chrono::steady_clock;

    bool read_report(int timeout_ms, int& row, int& column);
    bool late_answer_due() const;
    std::string& bytes() { return keys_ != nullptr ? *keys_ : own_bytes_; }

    Timing timing_;
    int request_fd_ = -1;
    int answer_fd_ = -1;
    std::string* keys_ = nullptr;
    std::string own_bytes_;
    bool late_answer_expected_ = false;
    Clock::time_point late_deadline_{};
};
