// The scenario: what a test asks of the stand-in, read from the file that
// FAKEAL_SCENARIO names (README.md lists the keys), and plain OpenAL where
// the file says nothing.
#pragma once

#include <AL/alc.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fakeal {

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

// Reads the scenario file at path (null or empty: all defaults). An unknown
// key, a bad value or an unreadable file is fatal, with the file and line.
Scenario loadScenario(const char* path);

}  // namespace fakeal
