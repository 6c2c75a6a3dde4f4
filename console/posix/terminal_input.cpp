#include "console/posix/terminal_input.hpp"

#include <algorithm>

#include "console/posix/key_decoder.hpp"
#include "console/posix/descriptor_io.hpp"

namespace {

int ms_until(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

void CursorQuery::reset(int request_fd, int answer_fd, std::string* keys) {
    request_fd_ = request_fd;
    answer_fd_ = answer_fd;
    keys_ = keys;
    own_bytes_.clear();
    late_answer_expected_ = false;
}

bool CursorQuery::ask(int& row, int& column) {
    if (answer_fd_ < 0) return false;
    // An answer to an earlier request that is still on its way comes
    // before the answer to this one.
    bool earlier_answer_due = late_answer_due();
    late_answer_expected_ = false;
    write_fd(request_fd_, "\x1b[6n");
    const Clock::time_point asked = Clock::now();
    const Clock::time_point deadline = asked + std::chrono::milliseconds(timing_.reply_ms);
    bool found = false;
    while (!found && read_report(ms_until(deadline), row, column)) {
        found = !earlier_answer_due;
        earlier_answer_due = false;
    }
    if (!found) {
        late_answer_expected_ = true;
        late_deadline_ = asked + std::chrono::milliseconds(timing_.late_limit_ms);
    }
    return found && row > 0 && column > 0;
}

// Reads the terminal one byte at a time, so that nothing after the answer is
// taken, until a report is complete (true) or nothing more came within
// timeout_ms.
bool CursorQuery::read_report(int timeout_ms, int& row, int& column) {
    std::string& collected = bytes();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (take_cursor_report(collected, row, column)) return true;
        // Another terminal's bytes before a report's start are nobody's.
        if (keys_ == nullptr) collected.erase(0, std::min(collected.rfind('\x1b'), collected.size()));
        char byte = 0;
        if (read_ready(answer_fd_, &byte, 1, ms_until(deadline)) <= 0) return false;
        collected += byte;
    }
}

void CursorQuery::catch_late_answer(int timeout_ms) {
    int row = 0;
    int column = 0;
    if (late_answer_expected_ && read_report(timeout_ms, row, column)) late_answer_expected_ = false;
}

void CursorQuery::wait_out_late_answer() {
    if (late_answer_due()) catch_late_answer(ms_until(late_deadline_));
}

bool CursorQuery::late_answer_due() const { return late_answer_expected_ && Clock::now() < late_deadline_; }

bool CursorQuery::answer_arriving(std::string_view keys) const {
    return late_answer_due() && is_cursor_report_start(keys);
}
