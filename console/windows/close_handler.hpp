#pragma once
// The Windows console's close event: the end routine runs on the handler's
// thread while the main thread is held.

// Arranges for end_routine to run when the console closes, on the calling
// thread's behalf (the thread that is held meanwhile). Returns nonzero when
// the handler is registered.
int install_close_handler(void (*end_routine)());
