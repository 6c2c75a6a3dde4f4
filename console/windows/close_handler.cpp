#include "console/windows/close_handler.hpp"

#include <windows.h>

namespace {

// What the control handler reads; set on the main thread before the
// handler is registered.
void (*volatile closeRoutine)() = nullptr;
HANDLE mainThread = nullptr;

// The platform calls this on a thread of its own. On the close event the end
// routine runs; for every event the answer is "not handled", so the default
// handling ends the process (Ctrl+C and Ctrl+Break at once, without the end
// routine).
BOOL WINAPI on_control_event(DWORD event_type) {
    if (event_type == CTRL_CLOSE_EVENT) {
        // The end routine releases what the main thread may be using at
        // this moment: hold the main thread first. It never runs again; the
        // process ends after this.
        if (mainThread != nullptr) SuspendThread(mainThread);
        if (closeRoutine != nullptr) closeRoutine();
    }
    return FALSE;
}

}  // namespace

int install_close_handler(void (*end_routine)()) {
    closeRoutine = end_routine;
    if (mainThread == nullptr)
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread,
                        THREAD_SUSPEND_RESUME, FALSE, 0);
    return SetConsoleCtrlHandler(on_control_event, TRUE) ? 1 : 0;
}
