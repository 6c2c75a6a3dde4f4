#include "console/posix/terminal_input.hpp"

#include <algorithm>

#include "console/posix/descriptor_io.hpp"
#include "console/posix/key_decoder.hpp"

namespace {

// How long a lone Esc byte waits for the rest of an escape sequence.
constexpr int kEscapeWaitMs = 25;
// More digits than any screen has rows or columns: no report.
constexpr std::size_t kMaxReportDigits = 6;

int ms_until(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

enum class Report { none, partial, complete };

// Reads a cursor-position report (ESC [ row ; column R) at bytes[start]:
// complete (with its end, row and column), partial (the bytes end inside
// one), or none.
Report parse_report(std::string_view bytes, std::size_t start, std::size_t& end, long (&values)[2]) {
    std::size_t i = start;
    if (i >= bytes.size() || bytes[i] != kEsc) return Report::none;
    if (++i == bytes.size()) return Report::partial;
    if (bytes[i++] != '[') return Report::none;
    for (int field = 0; field < 2; ++field) {
        const std::size_t digits_start = i;
        values[field] = 0;
        while (i < bytes.size() && is_digit(bytes[i]) && i - digits_start < kMaxReportDigits) {
            values[field] = values[field] * 10 + (bytes[i] - '0');
            ++i;
        }
        if (i == bytes.size()) return Report::partial;
        if (i == digits_start || bytes[i] != (field == 0 ? ';' : 'R')) return Report::none;
        ++i;
    }
    end = i;
    return Report::complete;
}

}  // namespace

bool take_cursor_report(std::string& bytes, int& row, int& column) {
    for (std::size_t start = bytes.find(kEsc); start != std::string::npos;
         start = bytes.find(kEsc, start + 1)) {
        std::size_t end = 0;
        long values[2] = {0, 0};
        if (parse_report(bytes, start, end, values) != Report::complete) continue;
        row = static_cast<int>(values[0]);
        column = static_cast<int>(values[1]);
        bytes.erase(start, end - start);
        return true;
    }
    return false;
}

bool is_cursor_report_start(std::string_view bytes) {
    std::size_t end = 0;
    long values[2] = {0, 0};
    return parse_report(bytes, 0, end, values) == Report::partial;
}

void TerminalInput::reset(int request_fd, int input_fd, bool bytes_are_keys, bool utf8) {
    request_fd_ = request_fd;
    input_fd_ = input_fd;
    bytes_are_keys_ = bytes_are_keys;
    utf8_ = utf8;
    ended_ = false;
    bytes_.clear();
    late_answer_expected_ = false;
}

void TerminalInput::fill(int timeout_ms) {
    if (ended_) return;
    char buffer[256];
    const long got = read_ready(input_fd_, buffer, sizeof buffer, timeout_ms);
    // A raw terminal's read gives 0 bytes when there is nothing: no end.
    if (got > 0)
        bytes_.append(buffer, static_cast<std::size_t>(got));
    else if (got == kReadFailed)
        ended_ = true;
}

KeyText TerminalInput::read_key() {
    KeyText key;
    if (!bytes_are_keys_) return key;
    if (bytes_.empty()) fill(0);
    catch_late_answer(0);
    if (bytes_.empty() || answer_arriving()) return key;
    std::size_t taken = decode_terminal_key(bytes_, utf8_, !ended_, key);
    if (taken == 0) {
        // A sequence that is still arriving: give it a moment.
        fill(kEscapeWaitMs);
        catch_late_answer(0);
        if (bytes_.empty() || answer_arriving()) return KeyText{};
        taken = decode_terminal_key(bytes_, utf8_, false, key);
    }
    bytes_.erase(0, taken);
    return key;
}

bool TerminalInput::ask_cursor(int& row, int& column) {
    if (input_fd_ < 0) return false;
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
bool TerminalInput::read_report(int timeout_ms, int& row, int& column) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (take_cursor_report(bytes_, row, column)) return true;
        // Another terminal's bytes before a report's start are nobody's.
        if (!bytes_are_keys_) bytes_.erase(0, std::min(bytes_.rfind(kEsc), bytes_.size()));
        char byte = 0;
        if (read_ready(input_fd_, &byte, 1, ms_until(deadline)) <= 0) return false;
        bytes_ += byte;
    }
}

void TerminalInput::catch_late_answer(int timeout_ms) {
    int row = 0;
    int column = 0;
    if (late_answer_expected_ && read_report(timeout_ms, row, column)) late_answer_expected_ = false;
}

void TerminalInput::wait_out_late_answer() {
    if (late_answer_due()) catch_late_answer(ms_until(late_deadline_));
}

bool TerminalInput::late_answer_due() const { return late_answer_expected_ && Clock::now() < late_deadline_; }

bool TerminalInput::answer_arriving() const { return late_answer_due() && is_cursor_report_start(bytes_); }
