#pragma once
// The bytes the Linux terminal sends, gathered in one buffer with one owner:
// the keys decoded from them, and the answers to the requests for the
// cursor's place taken out of them. An answer that comes too late is no key
// and must not reach the shell either: it is taken out of the input wherever
// it arrives, until its time is up; and it comes before the answer to a
// later request, which must not take it for its own.

#include <chrono>
#include <string>
#include <string_view>

#include "console/key_text.hpp"

class TerminalInput {
public:
    struct Timing {
        // How long a request waits for its answer before it takes the
        // terminal for one that does not answer.
        int reply_ms = 1000;
        // How long after the request an answer that came too late is still
        // looked for.
        int late_limit_ms = 3000;
    };

    TerminalInput() = default;
    explicit TerminalInput(Timing timing) : timing_(timing) {}

    // Starts over, with nothing read and no answer on its way. Requests go
    // to request_fd; the bytes come from input_fd (-1: no terminal answers).
    // bytes_are_keys: input_fd is the keys' own terminal, whose bytes around
    // an answer are keys typed ahead and stay keys; otherwise it is another
    // terminal, whose other bytes are not the program's keys. utf8: the
    // terminal sends its characters in UTF-8.
    void reset(int request_fd, int input_fd, bool bytes_are_keys, bool utf8);

    // One key if one is waiting, else the empty text (always, where the
    // bytes are no keys). Waits only a moment for the rest of an escape
    // sequence that is arriving.
    KeyText read_key();

    // The cursor's 1-based row and column; false when no answer came in time
    // (or no terminal answers).
    bool ask_cursor(int& row, int& column);
    // Takes a late answer out of the input if it has come, waiting up to
    // timeout_ms for it.
    void catch_late_answer(int timeout_ms);
    // Before the terminal is given back: a late answer still on its way is
    // waited for until its time is up.
    void wait_out_late_answer();

private:
    using Clock = std::chrono::steady_clock;

    // Appends what the terminal holds now, waiting up to timeout_ms for it.
    void fill(int timeout_ms);
    bool read_report(int timeout_ms, int& row, int& column);
    bool late_answer_due() const;
    // The bytes begin with a late answer whose rest is still on its way.
    bool answer_arriving() const;

    Timing timing_;
    int request_fd_ = -1;
    int input_fd_ = -1;
    bool bytes_are_keys_ = false;
    bool utf8_ = false;
    bool ended_ = false;  // the terminal cannot be read any more
    std::string bytes_;   // read and not yet taken
    bool late_answer_expected_ = false;
    Clock::time_point late_deadline_{};
};

// Finds the first complete cursor-position report (ESC [ row ; column R) in
// bytes, removes it, and gives its 1-based row and column. Everything around
// it stays in bytes, in order: those are keys typed ahead.
bool take_cursor_report(std::string& bytes, int& row, int& column);

// True when bytes are the beginning of a cursor-position report but not yet
// all of it (ESC, ESC [, ESC [ 12 ; 4 and so on): the rest may still be on
// its way.
bool is_cursor_report_start(std::string_view bytes);
