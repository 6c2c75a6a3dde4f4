// A Windows program that checks a console program through the console API
// itself: it sets up a console of its own (buffer, window, contents, cursor,
// attribute), starts the program in it, types input records into it, and
// reports the exit status and every cell (character and attribute) as text.
//
//   console_driver.exe STEP...
//
// Each step is one argument, its fields separated by single spaces; a TEXT
// field runs to the end of the argument:
//   buffer W H                  screen buffer size (give the window after it)
//   window L T R B              visible window, in buffer coordinates (give it
//                               after the cursor, which drags the window along)
//   fill ATTR                   every cell a space in ATTR (hex)
//   text X Y ATTR TEXT          TEXT written at (X, Y) in ATTR
//   cursor X Y                  the cursor
//   attr ATTR                   the attribute in effect for the program
//   run PATH                    starts PATH in this console, in its own folder
//   wait TEXT                   until TEXT shows in the buffer (at most 30 s)
//   key down|up VK SCAN CHAR REPEAT STATE    a key record (all but STATE decimal)
//   mouse | focus | menu | size  one record of that kind
//   sleep MS
//   alive                       reports whether the program still runs
//   close                       the close event, delivered to the program
//   ctrlc                       Ctrl+C to the console's processes
//   exit                        waits for the program's end (at most 30 s)
// The report on standard output: "alive yes|no" for each alive step, "failed
// STEP (error N)" for a step that could not be done (the steps after it are skipped),
// "exit N" or "exit none" (the program was ended after 30 s), then "cursor X
// Y", "window L T R B", and for each buffer row "row Y TEXT" (UTF-8, trailing blanks cut) and
// "attrs Y RUNS" (ATTR*COUNT runs of hex attributes).

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kOwnedConsole[] = "--owned-console";

// Under wine a process started from anything but a terminal has no console,
// and AllocConsole fails; a process started with CREATE_NO_WINDOW gets a
// console of its own without any terminal or window. So the driver starts
// itself again that way, and hands the report and the exit code through.
int relaunch_in_own_console() {
    std::wstring command = GetCommandLineW();
    command += L" ";
    command += std::wstring(kOwnedConsole, kOwnedConsole + sizeof kOwnedConsole - 1);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "cannot start the driver in a console of its own (%lu)\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 2;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

// The driver itself ignores the Ctrl+C it sends to the console.
BOOL WINAPI ignore_control_event(DWORD) { return TRUE; }

std::string utf8(const WCHAR* units, int count) {
    std::string text(static_cast<size_t>(count) * 3, '\0');
    const int size = WideCharToMultiByte(CP_UTF8, 0, units, count, text.data(), static_cast<int>(text.size()),
                                         nullptr, nullptr);
    text.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return text;
}

class Driver {
public:
    Driver() {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        const DWORD access = GENERIC_READ | GENERIC_WRITE;
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        in_ = CreateFileW(L"CONIN$", access, share, &inherit, OPEN_EXISTING, 0, nullptr);
        out_ = CreateFileW(L"CONOUT$", access, share, &inherit, OPEN_EXISTING, 0, nullptr);
    }

    // Runs one step; false when it could not be done.
    bool step(const std::string& line) {
        const size_t space = line.find(' ');
        const std::string op = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        const std::vector<long> n = numbers(rest);
        auto arg = [&](size_t i) { return i < n.size() ? n[i] : 0; };
        auto coord = [&](size_t i) { return COORD{static_cast<SHORT>(arg(i)), static_cast<SHORT>(arg(i + 1))}; };
        if (op == "buffer") {
            // A buffer cannot be smaller than its window: shrink that first.
            const SMALL_RECT corner{0, 0, 0, 0};
            SetConsoleWindowInfo(out_, TRUE, &corner);
            return SetConsoleScreenBufferSize(out_, coord(0));
        }
        if (op == "window") {
            // Placing the cursor outside the window moves the window to it, so
            // this comes after the cursor; the window must then be as given.
            const SMALL_RECT window{static_cast<SHORT>(arg(0)), static_cast<SHORT>(arg(1)),
                                    static_cast<SHORT>(arg(2)), static_cast<SHORT>(arg(3))};
            CONSOLE_SCREEN_BUFFER_INFO info{};
            return SetConsoleWindowInfo(out_, TRUE, &window) && GetConsoleScreenBufferInfo(out_, &info) &&
                   info.srWindow.Left == window.Left && info.srWindow.Top == window.Top &&
                   info.srWindow.Right == window.Right && info.srWindow.Bottom == window.Bottom;
        }
        if (op == "fill") {
            const COORD size = buffer_size();
            const DWORD cells = static_cast<DWORD>(size.X) * static_cast<DWORD>(size.Y);
            DWORD done = 0;
            return FillConsoleOutputCharacterW(out_, L' ', cells, COORD{0, 0}, &done) &&
                   FillConsoleOutputAttribute(out_, static_cast<WORD>(std::strtol(rest.c_str(), nullptr, 16)),
                                              cells, COORD{0, 0}, &done);
        }
        if (op == "text") {
            const std::string text = field_text(rest, 3);
            DWORD done = 0;
            const WORD attribute = static_cast<WORD>(std::strtol(field_text(rest, 2).c_str(), nullptr, 16));
            return FillConsoleOutputAttribute(out_, attribute, static_cast<DWORD>(text.size()), coord(0), &done) &&
                   WriteConsoleOutputCharacterA(out_, text.data(), static_cast<DWORD>(text.size()), coord(0), &done);
        }
        if (op == "cursor") return SetConsoleCursorPosition(out_, coord(0));
        if (op == "attr") return SetConsoleTextAttribute(out_, static_cast<WORD>(std::strtol(rest.c_str(), nullptr, 16)));
        if (op == "run") return run(rest);
        if (op == "wait") return wait_for(rest);
        if (op == "key") {
            INPUT_RECORD record{};
            record.EventType = KEY_EVENT;
            KEY_EVENT_RECORD& key = record.Event.KeyEvent;
            key.bKeyDown = rest.rfind("down", 0) == 0;
            const std::vector<long> k = numbers(rest.substr(rest.find(' ') + 1));
            if (k.size() < 4) return false;
            key.wVirtualKeyCode = static_cast<WORD>(k[0]);
            key.wVirtualScanCode = static_cast<WORD>(k[1]);
            key.uChar.AsciiChar = static_cast<CHAR>(k[2]);
            key.wRepeatCount = static_cast<WORD>(k[3]);
            key.dwControlKeyState = k.size() > 4 ? static_cast<DWORD>(k[4]) : 0;
            return write_input(record);
        }
        if (op == "mouse") {
            INPUT_RECORD record{};
            record.EventType = MOUSE_EVENT;
            record.Event.MouseEvent.dwMousePosition = COORD{5, 12};
            record.Event.MouseEvent.dwButtonState = FROM_LEFT_1ST_BUTTON_PRESSED;
            return write_input(record);
        }
        if (op == "focus") {
            INPUT_RECORD record{};
            record.EventType = FOCUS_EVENT;
            record.Event.FocusEvent.bSetFocus = TRUE;
            return write_input(record);
        }
        if (op == "menu") {
            INPUT_RECORD record{};
            record.EventType = MENU_EVENT;
            record.Event.MenuEvent.dwCommandId = 0x100;
            return write_input(record);
        }
        if (op == "size") {
            INPUT_RECORD record{};
            record.EventType = WINDOW_BUFFER_SIZE_EVENT;
            record.Event.WindowBufferSizeEvent.dwSize = buffer_size();
            return write_input(record);
        }
        if (op == "sleep") return Sleep(static_cast<DWORD>(arg(0))), true;
        if (op == "alive") {
            std::printf("alive %s\n", program_ && WaitForSingleObject(program_, 0) == WAIT_TIMEOUT ? "yes" : "no");
            return true;
        }
        if (op == "close") return close_event();
        if (op == "ctrlc") return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        if (op == "exit") return finish();
        return false;
    }

    // The end of the program (ended now when it still runs), then the
    // console's cells and cursor.
    void report() {
        if (program_ && !exit_reported_) finish();
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!GetConsoleScreenBufferInfo(out_, &info)) return;
        std::printf("cursor %d %d\nwindow %d %d %d %d\n", info.dwCursorPosition.X, info.dwCursorPosition.Y,
                    info.srWindow.Left, info.srWindow.Top, info.srWindow.Right, info.srWindow.Bottom);
        const SHORT width = info.dwSize.X;
        std::vector<CHAR_INFO> cells(static_cast<size_t>(width));
        for (SHORT y = 0; y < info.dwSize.Y; ++y) {
            SMALL_RECT row{0, y, static_cast<SHORT>(width - 1), y};
            if (!ReadConsoleOutputW(out_, cells.data(), COORD{width, 1}, COORD{0, 0}, &row)) return;
            std::wstring units;
            std::string runs;
            for (SHORT x = 0; x < width; ++x) {
                units += cells[static_cast<size_t>(x)].Char.UnicodeChar;
                const WORD attribute = cells[static_cast<size_t>(x)].Attributes;
                SHORT end = x;
                while (end + 1 < width && cells[static_cast<size_t>(end + 1)].Attributes == attribute) {
                    units += cells[static_cast<size_t>(++end)].Char.UnicodeChar;
                }
                char run[32];
                std::snprintf(run, sizeof run, "%s%02x*%d", runs.empty() ? "" : " ", attribute, end - x + 1);
                runs += run;
                x = end;
            }
            std::string text = utf8(units.data(), static_cast<int>(units.size()));
            text.erase(text.find_last_not_of(' ') + 1);
            std::printf("row %d %s\nattrs %d %s\n", y, text.c_str(), y, runs.c_str());
        }
    }

private:
    static std::vector<long> numbers(const std::string& fields) {
        std::vector<long> values;
        const char* p = fields.c_str();
        while (*p) {
            char* end = nullptr;
            const long value = std::strtol(p, &end, 0);
            if (end == p) break;
            values.push_back(value);
            p = end;
        }
        return values;
    }

    // The field at index and everything after it.
    static std::string field_text(const std::string& fields, int index) {
        size_t at = 0;
        for (int i = 0; i < index && at != std::string::npos; ++i) {
            at = fields.find(' ', at);
            if (at != std::string::npos) ++at;
        }
        if (at == std::string::npos) return "";
        return index == 3 ? fields.substr(at) : fields.substr(at, fields.find(' ', at) - at);
    }

    COORD buffer_size() {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(out_, &info);
        return info.dwSize;
    }

    bool write_input(const INPUT_RECORD& record) {
        DWORD written = 0;
        return WriteConsoleInputA(in_, &record, 1, &written) && written == 1;
    }

    bool run(const std::string& path) {
        std::string folder = path.substr(0, path.find_last_of("\\/"));
        std::string command = "\"" + path + "\" --owned-console";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in_;
        startup.hStdOutput = out_;
        startup.hStdError = out_;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                            &process))
            return false;
        CloseHandle(process.hThread);
        program_ = process.hProcess;
        return true;
    }

    bool wait_for(const std::string& text) {
        for (int tries = 0; tries < 1500; ++tries) {
            if (buffer_text().find(text) != std::string::npos) return true;
            Sleep(20);
        }
        return false;
    }

    // All cells' characters, row after row, as the text wraps.
    std::string buffer_text() {
        const COORD size = buffer_size();
        std::wstring units(static_cast<size_t>(size.X) * static_cast<size_t>(size.Y), L' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(out_, units.data(), static_cast<DWORD>(units.size()), COORD{0, 0}, &read);
        return utf8(units.data(), static_cast<int>(read));
    }

    // Stands in for the console window's close button: Windows delivers the
    // close event by starting kernelbase's CtrlRoutine in the program on a
    // thread of its own with the event type as its parameter, and so does
    // this. (Wine ends the processes of a closed console window without any
    // event, and GenerateConsoleCtrlEvent cannot send this one.)
    bool close_event() {
        const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
        if (routine == nullptr || program_ == nullptr) return false;
        HANDLE thread = CreateRemoteThread(program_, nullptr, 0, routine,
                                           reinterpret_cast<void*>(static_cast<ULONG_PTR>(CTRL_CLOSE_EVENT)), 0,
                                           nullptr);
        if (thread == nullptr) return false;
        CloseHandle(thread);
        return true;
    }

    bool finish() {
        if (program_ == nullptr) return false;
        exit_reported_ = true;
        if (WaitForSingleObject(program_, 30000) == WAIT_TIMEOUT) {
            TerminateProcess(program_, 1);
            WaitForSingleObject(program_, 5000);
            std::printf("exit none\n");
            return false;
        }
        DWORD code = 0;
        GetExitCodeProcess(program_, &code);
        std::printf("exit %lu\n", code);
        return true;
    }

    HANDLE in_ = INVALID_HANDLE_VALUE;
    HANDLE out_ = INVALID_HANDLE_VALUE;
    HANDLE program_ = nullptr;
    bool exit_reported_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[argc - 1]) != kOwnedConsole) return relaunch_in_own_console();
    SetConsoleCtrlHandler(ignore_control_event, TRUE);
    _setmode(_fileno(stdout), _O_BINARY);  // lines end in a line feed alone
    Driver driver;
    for (int i = 1; i < argc - 1; ++i) {
        SetLastError(0);  // a step that fails on a check, not a call, reports error 0
        if (!driver.step(argv[i])) {
            std::printf("failed %s (error %lu)\n", argv[i], GetLastError());
            break;
        }
    }
    driver.report();
    std::fflush(stdout);
    return 0;
}
