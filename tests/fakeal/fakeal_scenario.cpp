// Reading the scenario file: see fakeal_scenario.hpp and README.md.

#include "fakeal_scenario.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "fakeal_log.hpp"
#include "fakeal_text.hpp"

namespace fakeal {

namespace {

std::string trim(std::string_view s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

// Where the first c at or after `from` stands that no backslash escapes;
// t.size() or beyond where there is none.
std::size_t unescaped(const std::string& t, std::size_t from, char c)
{
    std::size_t i = from;
    for (; i < t.size() && t[i] != c; ++i)
        if (t[i] == '\\') ++i;
    return i;
}

// Splits the raw value off a line: either a double-quoted text (escapes
// kept for unescapeBytes) or everything up to an unescaped '#'.
std::optional<std::string> rawValue(std::string_view rest)
{
    const std::string t = trim(rest);
    if (!t.empty() && t[0] == '"') {
        const std::size_t i = unescaped(t, 1, '"');
        if (i >= t.size()) return std::nullopt;
        const std::string after = trim(std::string_view(t).substr(i + 1));
        if (!after.empty() && after[0] != '#') return std::nullopt;
        return t.substr(1, i - 1);
    }
    return trim(std::string_view(t).substr(0, std::min(unescaped(t, 0, '#'), t.size())));
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

}  // namespace

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

}  // namespace fakeal
