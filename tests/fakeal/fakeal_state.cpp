// A scripted stand-in for the OpenAL library (libopenal.so.1, OpenAL32.dll
// on Windows).
//
// It exports the ALC and AL calls the programs make, with the signatures of
// the real headers, behaves like a plain OpenAL implementation unless the
// scenario file says otherwise, and appends one line per call to a log.
// README.md in this folder describes the scenario keys and the log format.
// This file holds the state every call works on; fakeal_state.hpp says
// where the calls are.

#include "fakeal_state.hpp"

#include <cstdlib>

namespace fakeal {

namespace {

std::mutex& stateMutex()
{
    static std::mutex m;
    return m;
}

// Held through a pointer that is never freed at exit, so that a call made
// while the process ends (a close handler, a static destructor) still
// finds it; reload replaces it.
State* g_state = nullptr;

State* createState()
{
    auto* st = new State;
    g_state = st;
    openLog(std::getenv("FAKEAL_LOG"));
    if (const char* dir = std::getenv("FAKEAL_DATA_DIR"); dir != nullptr) st->dataDir = dir;
    st->sc = loadScenario(std::getenv("FAKEAL_SCENARIO"));

    for (const auto& d : st->sc.devices) {
        st->enumeration += d;
        st->enumeration += '\0';
    }
    return st;
}

State& state()
{
    if (g_state == nullptr) createState();
    return *g_state;
}

}  // namespace

Entered enter() { return {std::lock_guard<std::mutex>(stateMutex()), state()}; }

}  // namespace fakeal

extern "C" {

// Drops every object, device and context and reads the environment and the
// scenario again; for tests that load the library into their own process.
void fakeal_reload(void)
{
    std::lock_guard lock(fakeal::stateMutex());
    delete fakeal::g_state;
    fakeal::g_state = nullptr;
    fakeal::createState();
}

}  // extern "C"
