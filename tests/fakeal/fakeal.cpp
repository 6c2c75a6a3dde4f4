// A scripted stand-in for the OpenAL library (libopenal.so.1).
//
// It exports the ALC and AL calls the programs make, with the signatures of
// the real headers, behaves like a plain OpenAL implementation unless the
// scenario file says otherwise, and appends one line per call to a log.
// README.md in this folder describes the scenario keys and the log format.

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fakeal_text.hpp"

namespace {

using fakeal::hexNumber;
using fakeal::quoteBytes;

// ---------------------------------------------------------------- scenario

struct Scenario {
    std::vector<std::string> devices{"Fake Device"};
    bool devicesGiven = false;
    bool devicesNone = false;
    bool enumerationPresent = true;
    bool enumerationExt = true;
    enum class Default { First, Named, Absent } defaultKind = Default::First;
    std::string defaultName;
    bool openOk = true;
    bool contextOk = true;
    bool efxExtension = true;
    std::set<std::string> missingProc;
    std::optional<long long> maxSlots;  // nullopt: no limit
    std::optional<ALCint> maxSends = 2; // nullopt: the query stores nothing
    std::set<long long> refuseEffect;
    std::set<long long> refuseFilter;
    bool genEffectsOk = true;
    bool genFiltersOk = true;
    std::set<std::string> errorAfter;
    std::set<std::string> unknownEnum;
    bool bufferDataOk = true;
    long long playingPolls = 3;
    std::optional<long long> playingMs;  // set: play by the clock, not by polls
    long long stateDelayMs = 0;
    bool deviceConnected = true;  // what ALC_CONNECTED reports of an open device
    bool offsetMoves = true;      // false: a playing source's AL_SAMPLE_OFFSET stands still
};

[[noreturn]] void fatal(const std::string& message);

std::string trim(std::string_view s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

// Splits the raw value off a line: either a double-quoted text (escapes
// kept for unescapeBytes) or everything up to an unescaped '#'.
std::optional<std::string> rawValue(std::string_view rest)
{
    const std::string t = trim(rest);
    if (!t.empty() && t[0] == '"') {
        std::size_t i = 1;
        for (; i < t.size(); ++i) {
            if (t[i] == '\\') {
                ++i;
            } else if (t[i] == '"') {
                break;
            }
        }
        if (i >= t.size()) return std::nullopt;
        const std::string after = trim(std::string_view(t).substr(i + 1));
        if (!after.empty() && after[0] != '#') return std::nullopt;
        return t.substr(1, i - 1);
    }
    std::size_t i = 0;
    for (; i < t.size(); ++i) {
        if (t[i] == '\\') {
            ++i;
        } else if (t[i] == '#') {
            break;
        }
    }
    return trim(std::string_view(t).substr(0, std::min(i, t.size())));
}

std::optional<long long> parseNumber(const std::string& s)
{
    if (s.empty()) return std::nullopt;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == s.c_str() || *end != '\0') return std::nullopt;
    return v;
}

// One scenario value as read from its line, with the checks every key uses;
// a value that fails one ends the run with the file and line.
struct Value {
    std::string where;
    std::string key;
    std::string v;

    bool flag(const char* yes, const char* no) const
    {
        if (v == yes) return true;
        if (v == no) return false;
        fatal(where + key + " takes " + yes + " or " + no);
    }
    long long number(long long min = 0) const
    {
        const auto n = parseNumber(v);
        if (!n || *n < min) fatal(where + key + " takes a number");
        return *n;
    }
    long long type() const { return number(-2147483647LL); }
    std::string name() const
    {
        if (v.find('\0') != std::string::npos) fatal(where + "a name cannot hold a NUL byte");
        return v;
    }
};

struct Key {
    const char* name;
    void (*apply)(Scenario&, const Value&);
};

const Key kKeys[] = {
    {"device",
     [](Scenario& sc, const Value& v) {
         if (!sc.devicesGiven) sc.devices.clear();
         sc.devicesGiven = true;
         sc.devices.push_back(v.name());
     }},
    {"devices",
     [](Scenario& sc, const Value& v) {
         if (v.v != "none") fatal(v.where + "devices takes none");
         sc.devicesNone = true;
     }},
    {"enumeration", [](Scenario& sc, const Value& v) { sc.enumerationPresent = v.flag("present", "absent"); }},
    {"enumeration_ext", [](Scenario& sc, const Value& v) { sc.enumerationExt = v.flag("yes", "no"); }},
    {"default_device",
     [](Scenario& sc, const Value& v) {
         sc.defaultKind = v.v == "absent" ? Scenario::Default::Absent : Scenario::Default::Named;
         if (v.v != "absent") sc.defaultName = v.name();
     }},
    {"open_device", [](Scenario& sc, const Value& v) { sc.openOk = v.flag("ok", "fail"); }},
    {"create_context", [](Scenario& sc, const Value& v) { sc.contextOk = v.flag("ok", "fail"); }},
    {"efx_extension", [](Scenario& sc, const Value& v) { sc.efxExtension = v.flag("yes", "no"); }},
    {"missing_proc", [](Scenario& sc, const Value& v) { sc.missingProc.insert(v.name()); }},
    {"max_slots",
     [](Scenario& sc, const Value& v) {
         sc.maxSlots = v.v == "unlimited" ? std::nullopt : std::optional(v.number());
     }},
    {"max_sends",
     [](Scenario& sc, const Value& v) {
         sc.maxSends = v.v == "unset" ? std::nullopt : std::optional(static_cast<ALCint>(v.type()));
     }},
    {"refuse_effect", [](Scenario& sc, const Value& v) { sc.refuseEffect.insert(v.type()); }},
    {"refuse_filter", [](Scenario& sc, const Value& v) { sc.refuseFilter.insert(v.type()); }},
    {"gen_effects", [](Scenario& sc, const Value& v) { sc.genEffectsOk = v.flag("ok", "error"); }},
    {"gen_filters", [](Scenario& sc, const Value& v) { sc.genFiltersOk = v.flag("ok", "error"); }},
    {"error_after", [](Scenario& sc, const Value& v) { sc.errorAfter.insert(v.name()); }},
    {"unknown_enum", [](Scenario& sc, const Value& v) { sc.unknownEnum.insert(v.name()); }},
    {"buffer_data", [](Scenario& sc, const Value& v) { sc.bufferDataOk = v.flag("ok", "error"); }},
    {"playing_polls", [](Scenario& sc, const Value& v) { sc.playingPolls = v.number(); }},
    {"playing_ms", [](Scenario& sc, const Value& v) { sc.playingMs = v.number(); }},
    {"state_delay_ms", [](Scenario& sc, const Value& v) { sc.stateDelayMs = v.number(); }},
    {"device_connected", [](Scenario& sc, const Value& v) { sc.deviceConnected = v.flag("yes", "no"); }},
    {"sample_offset", [](Scenario& sc, const Value& v) { sc.offsetMoves = v.flag("moves", "frozen"); }},
};

Scenario loadScenario(const char* path)
{
    Scenario sc;
    if (path == nullptr || *path == '\0') return sc;
    std::ifstream in(path, std::ios::binary);
    if (!in) fatal(std::string("cannot read scenario file ") + path);

    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string where = std::string(path) + ":" + std::to_string(lineNo) + ": ";
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        const std::size_t eq = t.find('=');
        if (eq == std::string::npos) fatal(where + "expected key = value");
        const std::string key = trim(std::string_view(t).substr(0, eq));
        const auto raw = rawValue(std::string_view(t).substr(eq + 1));
        if (!raw) fatal(where + "unterminated quoted value");
        const auto value = fakeal::unescapeBytes(*raw);
        if (!value) fatal(where + "bad escape in value");
        const Key* found = nullptr;
        for (const Key& k : kKeys)
            if (key == k.name) found = &k;
        if (found == nullptr) fatal(where + "unknown key " + key);
        found->apply(sc, Value{where, key, *value});
    }
    if (sc.devicesNone) sc.devices.clear();
    return sc;
}

// ------------------------------------------------------------------ state

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
    int logFd = -1;
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

std::mutex& stateMutex()
{
    static std::mutex m;
    return m;
}

// Held through a pointer that is never freed at exit, so that a call made
// while the process ends (a close handler, a static destructor) still
// finds it; reload replaces it.
State* g_state = nullptr;

void writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

[[noreturn]] void fatal(const std::string& message)
{
    const std::string line = "fakeal: " + message + "\n";
    writeAll(2, line);
    if (g_state != nullptr && g_state->logFd >= 0) writeAll(g_state->logFd, line);
    std::abort();
}

State* createState()
{
    auto* st = new State;
    g_state = st;  // lets fatal() reach the log while the scenario loads
    if (const char* log = std::getenv("FAKEAL_LOG"); log != nullptr && *log != '\0') {
        st->logFd = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (st->logFd < 0) fatal(std::string("cannot open log ") + log);
    }
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

// Every call runs under the one lock, on the one state:
// `auto [lock, st] = enter();` opens each of them.
struct Entered {
    std::lock_guard<std::mutex> lock;
    State& st;
};

Entered enter() { return {std::lock_guard<std::mutex>(stateMutex()), state()}; }

// ---------------------------------------------------------------- logging

void logLine(State& st, std::string line)
{
    if (st.logFd < 0) return;
    line += '\n';
    writeAll(st.logFd, line);
}

std::string dec(long long v) { return std::to_string(v); }

std::string quoted(const char* s) { return s == nullptr ? "NULL" : quoteBytes(s); }

// "dev1" / "ctx1" for a device or context ever made (prefix and number),
// "NULL", or "bad:0x..." for a pointer the library never gave out.
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

std::string deviceLabel(State& st, const ALCdevice* p) { return label("dev", st.devices, p); }
std::string contextLabel(State& st, const ALCcontext* p) { return label("ctx", st.contexts, p); }

std::string nameList(const ALuint* names, ALsizei n)
{
    if (names == nullptr && n > 0) return "NULL";
    std::string out = "[";
    for (ALsizei i = 0; i < n; ++i) {
        if (i > 0) out += ", ";
        out += dec(names[i]);
    }
    return out + "]";
}

// ------------------------------------------------------------ error state

// The live device or context behind a handle, or nullptr.
template <typename Object, typename Handle>
Object* find(std::deque<Object>& all, const Handle* p)
{
    for (auto& o : all)
        if (reinterpret_cast<const Handle*>(&o) == p && o.live) return &o;
    return nullptr;
}

Device* findDevice(State& st, const ALCdevice* p) { return find(st.devices, p); }
Context* findContext(State& st, const ALCcontext* p) { return find(st.contexts, p); }

void alcError(State& st, ALCdevice* p, ALCenum code)
{
    if (Device* d = findDevice(st, p))
        d->error = code;
    else
        st.nullDeviceError = code;
}

// One pending AL error per context: a new one is kept only when none waits.
void alError(State& st, ALenum code)
{
    if (st.current != nullptr && st.current->error == AL_NO_ERROR) st.current->error = code;
}

// Ends every logged call: writes the line, then applies error_after.
void finish(State& st, const char* fn, std::string line)
{
    logLine(st, std::move(line));
    if (st.sc.errorAfter.count(fn) != 0) alError(st, AL_INVALID_OPERATION);
}

// A call, or a form of one, that the programs never make and the library
// does not model: logged with its mark, which fails the test that reads the
// log; the call does nothing else.
void unexpected(State& st, const std::string& line) { logLine(st, std::string(fakeal::kUnexpectedCall) + line); }

// Logs a call made with no current context; the call does nothing.
bool noContext(State& st, const char* fn, const std::string& call)
{
    if (st.current != nullptr) return false;
    finish(st, fn, call + " [no context]");
    return true;
}

std::string call(const char* fn, std::initializer_list<std::string> args)
{
    std::string out = fn;
    out += '(';
    bool first = true;
    for (const auto& a : args) {
        if (!first) out += ", ";
        out += a;
        first = false;
    }
    return out + ')';
}

// ------------------------------------------------------------------ tables

// The buffer formats the programs ask alGetEnumValue for, with the bytes
// of one sample frame that alBufferData takes.
struct Format {
    const char* name;
    ALenum value;
    int frameBytes;
};

#define FAKEAL_FORMAT(x, bytes) {#x, x, bytes}
const Format kFormats[] = {
    FAKEAL_FORMAT(AL_FORMAT_MONO8, 1),   FAKEAL_FORMAT(AL_FORMAT_MONO16, 2),
    FAKEAL_FORMAT(AL_FORMAT_STEREO8, 2), FAKEAL_FORMAT(AL_FORMAT_STEREO16, 4),
    FAKEAL_FORMAT(AL_FORMAT_QUAD16, 8),  FAKEAL_FORMAT(AL_FORMAT_REAR16, 4),
    FAKEAL_FORMAT(AL_FORMAT_51CHN16, 12), FAKEAL_FORMAT(AL_FORMAT_61CHN16, 14),
    FAKEAL_FORMAT(AL_FORMAT_71CHN16, 16),
};
#undef FAKEAL_FORMAT

bool knownEffectType(ALint v)
{
    return (v >= AL_EFFECT_NULL && v <= AL_EFFECT_EQUALIZER) || v == AL_EFFECT_EAXREVERB;
}

bool knownFilterType(ALint v) { return v >= AL_FILTER_NULL && v <= AL_FILTER_BANDPASS; }

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

}  // namespace

// The EFX functions are not exported: like the real library's users, the
// programs must reach them through alGetProcAddress.
namespace {
void fakeGenEffects(ALsizei n, ALuint* effects) noexcept;
void fakeDeleteEffects(ALsizei n, const ALuint* effects) noexcept;
void fakeGenFilters(ALsizei n, ALuint* filters) noexcept;
void fakeDeleteFilters(ALsizei n, const ALuint* filters) noexcept;
void fakeGenAuxiliaryEffectSlots(ALsizei n, ALuint* slots) noexcept;
void fakeDeleteAuxiliaryEffectSlots(ALsizei n, const ALuint* slots) noexcept;
void fakeEffecti(ALuint effect, ALenum param, ALint value) noexcept;
void fakeFilteri(ALuint filter, ALenum param, ALint value) noexcept;

// The assignments check each stand-in against the EFX type the installed
// efx.h publishes. Newer OpenAL Soft headers declare those pointer types
// noexcept and older ones do not; a noexcept function converts to either.
const LPALGENEFFECTS kGenEffects = fakeGenEffects;
const LPALDELETEEFFECTS kDeleteEffects = fakeDeleteEffects;
const LPALGENFILTERS kGenFilters = fakeGenFilters;
const LPALDELETEFILTERS kDeleteFilters = fakeDeleteFilters;
const LPALGENAUXILIARYEFFECTSLOTS kGenSlots = fakeGenAuxiliaryEffectSlots;
const LPALDELETEAUXILIARYEFFECTSLOTS kDeleteSlots = fakeDeleteAuxiliaryEffectSlots;
const LPALEFFECTI kEffecti = fakeEffecti;
const LPALFILTERI kFilteri = fakeFilteri;
}  // namespace

// ---------------------------------------------------------------- ALC calls

extern "C" {

// Only the enumeration and the default device, both asked of no device.
const ALCchar* alcGetString(ALCdevice* device, ALCenum param)
{
    auto [lock, st] = enter();
    const std::string head = call("alcGetString", {deviceLabel(st, device), hexNumber(param)});
    const char* result = nullptr;
    std::string shown;  // the result as logged
    if (device != nullptr) {
        unexpected(st, head);
        return nullptr;
    }
    if (param == ALC_DEVICE_SPECIFIER) {
        if (st.sc.enumerationPresent) {
            result = st.enumeration.c_str();
            // The list ends with its closing empty string: one NUL more.
            shown = quoteBytes(std::string_view(result, st.enumeration.size() + 1));
        }
    } else if (param == ALC_DEFAULT_DEVICE_SPECIFIER) {
        if (st.sc.defaultKind == Scenario::Default::Named)
            result = st.sc.defaultName.c_str();
        else if (st.sc.defaultKind == Scenario::Default::First && !st.sc.devices.empty())
            result = st.sc.devices.front().c_str();
    } else {
        unexpected(st, head);
        return nullptr;
    }
    if (shown.empty()) shown = quoted(result);
    finish(st, "alcGetString", head + " -> " + shown);
    return result;
}

// ALC_ENUMERATION_EXT (asked of no device) and ALC_EXT_EFX (a device
// extension), compared without regard to case as the real library does.
ALCboolean alcIsExtensionPresent(ALCdevice* device, const ALCchar* extname)
{
    auto [lock, st] = enter();
    const std::string head = call("alcIsExtensionPresent", {deviceLabel(st, device), quoted(extname)});
    Device* dev = findDevice(st, device);
    ALCboolean result = ALC_FALSE;
    if ((device != nullptr && dev == nullptr) || extname == nullptr) {
        unexpected(st, head);
        return ALC_FALSE;
    }
    if (strcasecmp(extname, "ALC_ENUMERATION_EXT") == 0) {
        result = st.sc.enumerationExt ? ALC_TRUE : ALC_FALSE;
    } else if (strcasecmp(extname, "ALC_EXT_EFX") == 0) {
        result = dev != nullptr && st.sc.efxExtension ? ALC_TRUE : ALC_FALSE;
    } else if (strcasecmp(extname, "ALC_EXT_disconnect") == 0 && dev != nullptr) {
        result = ALC_TRUE;
    } else {
        unexpected(st, head);
        return ALC_FALSE;
    }
    finish(st, "alcIsExtensionPresent", head + " -> " + dec(result));
    return result;
}

ALCdevice* alcOpenDevice(const ALCchar* devicename)
{
    auto [lock, st] = enter();
    const std::string head = call("alcOpenDevice", {quoted(devicename)});
    ALCdevice* result = nullptr;
    if (!st.sc.openOk) {
        st.nullDeviceError = ALC_INVALID_VALUE;
    } else {
        Device& d = st.devices.emplace_back();
        d.id = static_cast<int>(st.devices.size());
        if (devicename != nullptr)
            d.name = devicename;
        else if (!st.sc.devices.empty())
            d.name = st.sc.devices.front();
        result = reinterpret_cast<ALCdevice*>(&d);
    }
    finish(st, "alcOpenDevice", head + " -> " + deviceLabel(st, result));
    return result;
}

ALCcontext* alcCreateContext(ALCdevice* device, const ALCint* attrlist)
{
    auto [lock, st] = enter();
    const std::string head = call("alcCreateContext", {deviceLabel(st, device), attrlist ? "[...]" : "NULL"});
    if (attrlist != nullptr) {
        unexpected(st, head);
        return nullptr;
    }
    ALCcontext* result = nullptr;
    Device* dev = findDevice(st, device);
    if (dev == nullptr) {
        alcError(st, device, ALC_INVALID_DEVICE);
    } else if (!st.sc.contextOk) {
        alcError(st, device, ALC_INVALID_VALUE);
    } else {
        Context& c = st.contexts.emplace_back();
        c.id = static_cast<int>(st.contexts.size());
        c.device = dev;
        result = reinterpret_cast<ALCcontext*>(&c);
    }
    finish(st, "alcCreateContext", head + " -> " + contextLabel(st, result));
    return result;
}

ALCboolean alcMakeContextCurrent(ALCcontext* context)
{
    auto [lock, st] = enter();
    const std::string line = call("alcMakeContextCurrent", {contextLabel(st, context)});
    ALCboolean result = ALC_TRUE;
    if (context == nullptr) {
        st.current = nullptr;
    } else if (Context* c = findContext(st, context)) {
        st.current = c;
    } else {
        st.nullDeviceError = ALC_INVALID_CONTEXT;
        result = ALC_FALSE;
    }
    finish(st, "alcMakeContextCurrent", line);
    return result;
}

void alcDestroyContext(ALCcontext* context)
{
    auto [lock, st] = enter();
    const std::string line = call("alcDestroyContext", {contextLabel(st, context)});
    if (Context* c = findContext(st, context)) {
        c->live = false;
        if (st.current == c) st.current = nullptr;
    } else {
        st.nullDeviceError = ALC_INVALID_CONTEXT;
    }
    finish(st, "alcDestroyContext", line);
}

ALCboolean alcCloseDevice(ALCdevice* device)
{
    auto [lock, st] = enter();
    const std::string line = call("alcCloseDevice", {deviceLabel(st, device)});
    ALCboolean result = ALC_FALSE;
    if (Device* d = findDevice(st, device)) {
        // Contexts still on the device go with it, as in OpenAL Soft.
        for (auto& c : st.contexts) {
            if (c.device == d && c.live) {
                c.live = false;
                if (st.current == &c) st.current = nullptr;
            }
        }
        d->live = false;
        result = ALC_TRUE;
    } else {
        st.nullDeviceError = ALC_INVALID_DEVICE;
    }
    finish(st, "alcCloseDevice", line);
    return result;
}

// Only ALC_MAX_AUXILIARY_SENDS, one value, of an open device.
void alcGetIntegerv(ALCdevice* device, ALCenum param, ALCsizei size, ALCint* values)
{
    auto [lock, st] = enter();
    const std::string head =
        call("alcGetIntegerv", {deviceLabel(st, device), hexNumber(param), dec(size)});
    if (param == ALC_CONNECTED && size == 1 && values != nullptr && findDevice(st, device) != nullptr) {
        values[0] = st.sc.deviceConnected ? ALC_TRUE : ALC_FALSE;
        finish(st, "alcGetIntegerv", head + " -> " + dec(values[0]));
        return;
    }
    if (param != ALC_MAX_AUXILIARY_SENDS || size != 1 || values == nullptr || findDevice(st, device) == nullptr) {
        unexpected(st, head);
        return;
    }
    const std::optional<ALCint> stored = st.sc.maxSends;
    if (stored) values[0] = *stored;
    finish(st, "alcGetIntegerv", head + " -> " + (stored ? dec(*stored) : std::string("stored nothing")));
}

// ----------------------------------------------------------------- AL calls

ALenum alGetError(void)
{
    auto [lock, st] = enter();
    if (st.current == nullptr) {
        finish(st, "alGetError", "alGetError() -> " + hexNumber(AL_INVALID_OPERATION) + " [no context]");
        return AL_INVALID_OPERATION;
    }
    const ALenum result = st.current->error;
    st.current->error = AL_NO_ERROR;
    finish(st, "alGetError", "alGetError() -> " + hexNumber(result));
    return result;
}

// The buffer formats only (unless the scenario hides one).
ALenum alGetEnumValue(const ALchar* ename)
{
    auto [lock, st] = enter();
    const std::string head = call("alGetEnumValue", {quoted(ename)});
    const Format* format = nullptr;
    for (const Format& f : kFormats)
        if (ename != nullptr && std::strcmp(f.name, ename) == 0) format = &f;
    if (format == nullptr) {
        unexpected(st, head);
        return 0;
    }
    const ALenum result = st.sc.unknownEnum.count(ename) == 0 ? format->value : 0;
    finish(st, "alGetEnumValue", head + " -> " + hexNumber(result));
    return result;
}

void alGenBuffers(ALsizei n, ALuint* buffers)
{
    auto [lock, st] = enter();
    genNames(st, "alGenBuffers", n, buffers, st.nextBuffer, AL_NO_ERROR,
             [&](ALuint name) { st.buffers[name] = Buffer{}; });
}

void alBufferData(ALuint buffer, ALenum format, const ALvoid* data, ALsizei size, ALsizei freq)
{
    auto [lock, st] = enter();
    std::string line = call("alBufferData", {dec(buffer), hexNumber(format), "size=" + dec(size),
                                             "freq=" + dec(freq)});
    if (data == nullptr) line.insert(line.size() - 1, ", data=NULL");
    if (noContext(st, "alBufferData", line)) return;

    // The bytes are kept whatever the outcome, so a test sees what was sent.
    if (!st.dataDir.empty() && data != nullptr && size >= 0) {
        const std::string path = st.dataDir + "/buffer-data-" + dec(++st.bufferDataFiles) + ".bin";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) fatal("cannot write " + path);
        writeAll(fd, std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size)));
        ::close(fd);
    }

    const auto it = st.buffers.find(buffer);
    int frame = 0;
    for (const Format& f : kFormats)
        if (f.value == format) frame = f.frameBytes;
    bool inUse = false;
    for (const auto& [name, src] : st.sources)
        if (src.buffer == buffer) inUse = true;
    if (it == st.buffers.end()) {
        alError(st, AL_INVALID_NAME);
    } else if (frame == 0) {
        alError(st, AL_INVALID_ENUM);
    } else if (size < 0 || freq < 1 || size % frame != 0) {
        alError(st, AL_INVALID_VALUE);
    } else if (inUse) {
        alError(st, AL_INVALID_OPERATION);
    } else if (!st.sc.bufferDataOk) {
        alError(st, AL_INVALID_VALUE);
    } else {
        it->second.size = size;
        it->second.hasData = size > 0;
    }
    finish(st, "alBufferData", line);
}

void alDeleteBuffers(ALsizei n, const ALuint* buffers)
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteBuffers", n, buffers, st.buffers, true, [&](ALuint name) {
        for (const auto& [id, src] : st.sources)
            if (src.buffer == name) return true;
        return false;
    });
}

void alGenSources(ALsizei n, ALuint* sources)
{
    auto [lock, st] = enter();
    genNames(st, "alGenSources", n, sources, st.nextSource, AL_NO_ERROR,
             [&](ALuint name) { st.sources[name] = Source{}; });
}

void alSourcei(ALuint source, ALenum param, ALint value)
{
    auto [lock, st] = enter();
    const std::string line = call("alSourcei", {dec(source), hexNumber(param), dec(value)});
    if (param != AL_BUFFER) return unexpected(st, line);  // AL_BUFFER only
    if (noContext(st, "alSourcei", line)) return;
    const auto it = st.sources.find(source);
    if (it == st.sources.end()) {
        alError(st, AL_INVALID_NAME);
    } else {
        Source& src = it->second;
        if (src.state == AL_PLAYING || src.state == AL_PAUSED)
            alError(st, AL_INVALID_OPERATION);
        else if (value != 0 && st.buffers.count(static_cast<ALuint>(value)) == 0)
            alError(st, AL_INVALID_VALUE);
        else
            src.buffer = static_cast<ALuint>(value);
    }
    finish(st, "alSourcei", line);
}

void alSourcePlay(ALuint source)
{
    auto [lock, st] = enter();
    const std::string line = call("alSourcePlay", {dec(source)});
    if (noContext(st, "alSourcePlay", line)) return;
    const auto it = st.sources.find(source);
    if (it == st.sources.end()) {
        alError(st, AL_INVALID_NAME);
    } else {
        Source& src = it->second;
        const auto buf = st.buffers.find(src.buffer);
        // A source with nothing to play stops at once, as in a real mixer.
        if (buf == st.buffers.end() || !buf->second.hasData) {
            src.state = AL_STOPPED;
        } else {
            src.state = AL_PLAYING;
            src.playingPollsLeft = st.sc.playingPolls;
            src.playingUntil =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(st.sc.playingMs.value_or(0));
        }
    }
    finish(st, "alSourcePlay", line);
}

void alGetSourcei(ALuint source, ALenum param, ALint* value)
{
    auto [lock, st] = enter();
    const std::string head = call("alGetSourcei", {dec(source), hexNumber(param)});
    if (param != AL_SOURCE_STATE && param != AL_SAMPLE_OFFSET) return unexpected(st, head);
    if (noContext(st, "alGetSourcei", head)) return;
    if (param == AL_SAMPLE_OFFSET) {
        const auto it = st.sources.find(source);
        if (it == st.sources.end() || value == nullptr) return unexpected(st, head);
        if (it->second.state == AL_PLAYING && st.sc.offsetMoves) ++it->second.offset;
        *value = it->second.offset;
        return finish(st, "alGetSourcei", head + " -> " + dec(*value));
    }
    std::string shown = "stored nothing";
    const auto it = st.sources.find(source);
    if (it == st.sources.end()) {
        alError(st, AL_INVALID_NAME);
    } else if (value == nullptr) {
        alError(st, AL_INVALID_VALUE);
    } else {
        // A slow implementation: the answer is found only after the wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(st.sc.stateDelayMs));
        Source& src = it->second;
        if (src.state == AL_PLAYING) {
            if (st.sc.playingMs) {
                if (std::chrono::steady_clock::now() >= src.playingUntil) src.state = AL_STOPPED;
            } else if (src.playingPollsLeft > 0) {
                --src.playingPollsLeft;
            } else {
                src.state = AL_STOPPED;
            }
        }
        *value = src.state;
        shown = hexNumber(*value);
    }
    finish(st, "alGetSourcei", head + " -> " + shown);
}

void alSourceStop(ALuint source)
{
    auto [lock, st] = enter();
    const std::string line = call("alSourceStop", {dec(source)});
    if (noContext(st, "alSourceStop", line)) return;
    const auto it = st.sources.find(source);
    if (it == st.sources.end())
        alError(st, AL_INVALID_NAME);
    else
        it->second.state = AL_STOPPED;
    finish(st, "alSourceStop", line);
}

void alDeleteSources(ALsizei n, const ALuint* sources)
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteSources", n, sources, st.sources, false, [](ALuint) { return false; });
}

// The eight EFX functions only.
void* alGetProcAddress(const ALchar* fname)
{
    struct Proc {
        const char* name;
        void* address;
    };
    static const Proc kProcs[] = {
        {"alGenEffects", reinterpret_cast<void*>(kGenEffects)},
        {"alDeleteEffects", reinterpret_cast<void*>(kDeleteEffects)},
        {"alGenFilters", reinterpret_cast<void*>(kGenFilters)},
        {"alDeleteFilters", reinterpret_cast<void*>(kDeleteFilters)},
        {"alGenAuxiliaryEffectSlots", reinterpret_cast<void*>(kGenSlots)},
        {"alDeleteAuxiliaryEffectSlots", reinterpret_cast<void*>(kDeleteSlots)},
        {"alEffecti", reinterpret_cast<void*>(kEffecti)},
        {"alFilteri", reinterpret_cast<void*>(kFilteri)},
    };
    auto [lock, st] = enter();
    const std::string head = call("alGetProcAddress", {quoted(fname)});
    const Proc* found = nullptr;
    for (const auto& p : kProcs)
        if (fname != nullptr && std::strcmp(p.name, fname) == 0) found = &p;
    if (found == nullptr) {
        unexpected(st, head);
        return nullptr;
    }
    const bool missing = st.sc.missingProc.count(fname) != 0;
    finish(st, "alGetProcAddress", head + " -> " + (missing ? "NULL" : found->name));
    return missing ? nullptr : found->address;
}

// Drops every object, device and context and reads the environment and the
// scenario again; for tests that load the library into their own process.
void fakeal_reload(void)
{
    std::lock_guard lock(stateMutex());
    State* old = g_state;
    g_state = nullptr;
    if (old != nullptr) {
        if (old->logFd >= 0) ::close(old->logFd);
        delete old;
    }
    createState();
}

}  // extern "C"

// ------------------------------------------------------------ EFX calls

namespace {

void fakeGenEffects(ALsizei n, ALuint* effects) noexcept
{
    auto [lock, st] = enter();
    genNames(st, "alGenEffects", n, effects, st.nextEffect,
             st.sc.genEffectsOk ? AL_NO_ERROR : AL_OUT_OF_MEMORY,
             [&](ALuint name) { st.effects[name] = AL_EFFECT_NULL; });
}

void fakeDeleteEffects(ALsizei n, const ALuint* effects) noexcept
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteEffects", n, effects, st.effects, true, [](ALuint) { return false; });
}

void fakeGenFilters(ALsizei n, ALuint* filters) noexcept
{
    auto [lock, st] = enter();
    genNames(st, "alGenFilters", n, filters, st.nextFilter,
             st.sc.genFiltersOk ? AL_NO_ERROR : AL_OUT_OF_MEMORY,
             [&](ALuint name) { st.filters[name] = AL_FILTER_NULL; });
}

void fakeDeleteFilters(ALsizei n, const ALuint* filters) noexcept
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteFilters", n, filters, st.filters, true, [](ALuint) { return false; });
}

void fakeGenAuxiliaryEffectSlots(ALsizei n, ALuint* slots) noexcept
{
    auto [lock, st] = enter();
    const bool overLimit =
        st.sc.maxSlots && static_cast<long long>(st.slots.size()) + n > *st.sc.maxSlots;
    genNames(st, "alGenAuxiliaryEffectSlots", n, slots, st.nextSlot,
             overLimit && n > 0 ? AL_OUT_OF_MEMORY : AL_NO_ERROR,
             [&](ALuint name) { st.slots.insert(name); });
}

void fakeDeleteAuxiliaryEffectSlots(ALsizei n, const ALuint* slots) noexcept
{
    auto [lock, st] = enter();
    deleteNames(st, "alDeleteAuxiliaryEffectSlots", n, slots, st.slots, false,
                [](ALuint) { return false; });
}

// alEffecti and alFilteri: only the type parameter is modelled.
void setType(const char* fn, std::map<ALuint, ALint>& objects, const std::set<long long>& refused,
             bool (*known)(ALint), ALuint object, ALenum param, ALint value)
{
    State& st = state();
    const std::string line = call(fn, {dec(object), hexNumber(param), hexNumber(value)});
    if (noContext(st, fn, line)) return;
    const auto it = objects.find(object);
    if (it == objects.end())
        alError(st, AL_INVALID_NAME);
    else if (param != AL_EFFECT_TYPE)  // AL_FILTER_TYPE has the same value
        alError(st, AL_INVALID_ENUM);
    else if (!known(value) || refused.count(value) != 0)
        alError(st, AL_INVALID_VALUE);
    else
        it->second = value;
    finish(st, fn, line);
}

void fakeEffecti(ALuint effect, ALenum param, ALint value) noexcept
{
    auto [lock, st] = enter();
    setType("alEffecti", st.effects, st.sc.refuseEffect, knownEffectType, effect, param, value);
}

void fakeFilteri(ALuint filter, ALenum param, ALint value) noexcept
{
    auto [lock, st] = enter();
    setType("alFilteri", st.filters, st.sc.refuseFilter, knownFilterType, filter, param, value);
}

}  // namespace
