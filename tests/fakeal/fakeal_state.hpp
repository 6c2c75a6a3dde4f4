// The stand-in's state, the one lock every call runs under, and what every
// call shares: the handles' labels, the error state, and the ends of a
// logged call. The calls themselves: fakeal_alc.cpp (devices, contexts),
// fakeal_al.cpp (buffers, sources), fakeal_efx.cpp (effects, filters, slots).
#pragma once

#include <AL/al.h>
#include <AL/alc.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "fakeal_log.hpp"
#include "fakeal_scenario.hpp"
#include "fakeal_text.hpp"

namespace fakeal {

struct Device {
    int id = 0;
    std::string name;
    bool live = true;
    ALCenum error = ALC_NO_ERROR;
};

struct Context {
    int id = 0;
    Device* device = nullptr;
    bool live = true;
    ALenum error = AL_NO_ERROR;
};

struct Buffer {
    ALsizei size = 0;
    bool hasData = false;
};

struct Source {
    ALuint buffer = 0;
    ALint state = AL_INITIAL;
    ALint offset = 0;  // moves on at each query while the source plays
    long long playingPollsLeft = 0;
    std::chrono::steady_clock::time_point playingUntil;
};

struct State {
    Scenario sc;
    std::string dataDir;
    int bufferDataFiles = 0;

    std::string enumeration;  // the device names, each with its NUL

    std::deque<Device> devices;  // never shrinks: handles stay unique
    std::deque<Context> contexts;
    Context* current = nullptr;
    ALCenum nullDeviceError = ALC_NO_ERROR;

    std::map<ALuint, Buffer> buffers;
    std::map<ALuint, Source> sources;
    std::map<ALuint, ALint> effects;  // name -> effect type
    std::map<ALuint, ALint> filters;  // name -> filter type
    std::set<ALuint> slots;
    ALuint nextBuffer = 1;
    ALuint nextSource = 1;
    ALuint nextEffect = 1;
    ALuint nextFilter = 1;
    ALuint nextSlot = 1;
};

// Every call runs under the one lock, on the one state:
// `auto [lock, st] = enter();` opens each of them.
struct Entered {
    std::lock_guard<std::mutex> lock;
    State& st;
};

Entered enter();

// "dev1" / "ctx1" for a device or context ever made, "NULL", or "bad:0x..."
// for a pointer the library never gave out.
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
inline std::string deviceLabel(State& st, const ALCdevice* p) { return label("dev", st.devices, p); }
inline std::string contextLabel(State& st, const ALCcontext* p) { return label("ctx", st.contexts, p); }

// The live device or context behind a handle, or nullptr.
template <typename Object, typename Handle>
Object* find(std::deque<Object>& all, const Handle* p)
{
    for (auto& o : all)
        if (reinterpret_cast<const Handle*>(&o) == p && o.live) return &o;
    return nullptr;
}
inline Device* findDevice(State& st, const ALCdevice* p) { return find(st.devices, p); }
inline Context* findContext(State& st, const ALCcontext* p) { return find(st.contexts, p); }

inline void alcError(State& st, ALCdevice* p, ALCenum code)
{
    if (Device* d = findDevice(st, p))
        d->error = code;
    else
        st.nullDeviceError = code;
}

// One pending AL error per context: a new one is kept only when none waits.
inline void alError(State& st, ALenum code)
{
    if (st.current != nullptr && st.current->error == AL_NO_ERROR) st.current->error = code;
}

// Ends every logged call: writes the line, then applies error_after.
inline void finish(State& st, const char* fn, std::string line)
{
    logLine(std::move(line));
    if (st.sc.errorAfter.count(fn) != 0) alError(st, AL_INVALID_OPERATION);
}

// A call, or a form of one, that the programs never make and the library
// does not model: logged with its mark, which fails the test that reads the
// log; the call does nothing else.
inline void unexpected(const std::string& line) { logLine(std::string(kUnexpectedCall) + line); }

// Logs a call made with no current context; the call does nothing.
inline bool noContext(State& st, const char* fn, const std::string& call)
{
    if (st.current != nullptr) return false;
    finish(st, fn, call + " [no context]");
    return true;
}

// The entry of a table of names that is called name, or nullptr.
template <typename Entry, std::size_t N>
const Entry* byName(const Entry (&table)[N], const char* name)
{
    for (const Entry& e : table)
        if (name != nullptr && std::strcmp(e.name, name) == 0) return &e;
    return nullptr;
}

// The common part of the five alGen* functions: checks the arguments,
// refuses with `refuseCode` when asked to, else writes n fresh names taken
// from `next` and hands each to `add`. Logs "fn(n) -> [names]".
template <typename Add>
void genNames(State& st, const char* fn, ALsizei n, ALuint* out, ALuint& next, ALenum refuseCode,
              Add add)
{
    const std::string head = call(fn, {dec(n)});
    if (noContext(st, fn, head)) return;
    std::vector<ALuint> made;
    if (n < 0 || (n > 0 && out == nullptr)) {
        alError(st, AL_INVALID_VALUE);
    } else if (refuseCode != AL_NO_ERROR) {
        alError(st, refuseCode);
    } else {
        for (ALsizei i = 0; i < n; ++i) {
            out[i] = next++;
            made.push_back(out[i]);
            add(out[i]);
        }
    }
    finish(st, fn, head + " -> " + nameList(made.data(), static_cast<ALsizei>(made.size())));
}

// The common part of the alDelete* functions: every name must be known
// (name 0 is skipped where `zeroIsNull`), else nothing is deleted and
// AL_INVALID_NAME is left. `inUse` may veto with AL_INVALID_OPERATION.
template <typename Map, typename InUse>
void deleteNames(State& st, const char* fn, ALsizei n, const ALuint* names, Map& objects,
                 bool zeroIsNull, InUse inUse)
{
    const std::string line = call(fn, {dec(n), nameList(names, n < 0 ? 0 : n)});
    if (noContext(st, fn, line)) return;
    if (n < 0 || (n > 0 && names == nullptr)) {
        alError(st, AL_INVALID_VALUE);
    } else {
        ALenum problem = AL_NO_ERROR;
        for (ALsizei i = 0; i < n && problem == AL_NO_ERROR; ++i) {
            if (names[i] == 0 && zeroIsNull) continue;
            if (objects.count(names[i]) == 0)
                problem = AL_INVALID_NAME;
            else if (inUse(names[i]))
                problem = AL_INVALID_OPERATION;
        }
        if (problem != AL_NO_ERROR) {
            alError(st, problem);
        } else {
            for (ALsizei i = 0; i < n; ++i) objects.erase(names[i]);
        }
    }
    finish(st, fn, line);
}

}  // namespace fakeal
