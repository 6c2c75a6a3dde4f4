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

#include <cstdio>
#include <cstdlib>

#include "fakeal_text.hpp"

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

template <typename Handle, typename Object>
std::string label(const char* prefix, const std::deque<Object>& all, const Handle* p)
{
    if (p == nullptr) return "NULL";
    for (const auto& o : all)
        if (reinterpret_cast<const Handle*>(&o) == p) return prefix + dec(o.id);
    char buf[40];
    std::snprintf(buf, sizeof buf, "bad:%p", static_cast<const void*>(p));
    return buf;
}

template <typename Object, typename Handle>
Object* find(std::deque<Object>& all, const Handle* p)
{
    for (auto& o : all)
        if (reinterpret_cast<const Handle*>(&o) == p && o.live) return &o;
    return nullptr;
}

}  // namespace

Entered enter() { return {std::lock_guard<std::mutex>(stateMutex()), state()}; }

std::string deviceLabel(State& st, const ALCdevice* p) { return label("dev", st.devices, p); }
std::string contextLabel(State& st, const ALCcontext* p) { return label("ctx", st.contexts, p); }

Device* findDevice(State& st, const ALCdevice* p) { return find(st.devices, p); }
Context* findContext(State& st, const ALCcontext* p) { return find(st.contexts, p); }

void alcError(State& st, ALCdevice* p, ALCenum code)
{
    if (Device* d = findDevice(st, p))
        d->error = code;
    else
        st.nullDeviceError = code;
}

void alError(State& st, ALenum code)
{
    if (st.current != nullptr && st.current->error == AL_NO_ERROR) st.current->error = code;
}

void finish(State& st, const char* fn, std::string line)
{
    logLine(std::move(line));
    if (st.sc.errorAfter.count(fn) != 0) alError(st, AL_INVALID_OPERATION);
}

void unexpected(const std::string& line) { logLine(std::string(kUnexpectedCall) + line); }

bool noContext(State& st, const char* fn, const std::string& call)
{
    if (st.current != nullptr) return false;
    finish(st, fn, call + " [no context]");
    return true;
}

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
