// Readers of the stand-in OpenAL's call log shared by the program tests.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

// The calls a program made while its context was current: the lines between
// "alcMakeContextCurrent(ctx1)" and "alcMakeContextCurrent(NULL)"; empty
// when the log does not hold both in that order.
inline std::vector<std::string> job_calls(const std::vector<std::string>& log) {
    const auto begin = std::find(log.begin(), log.end(), "alcMakeContextCurrent(ctx1)");
    const auto end = std::find(log.begin(), log.end(), "alcMakeContextCurrent(NULL)");
    if (begin == log.end() || end == log.end() || end < begin) return {};
    return std::vector<std::string>(begin + 1, end);
}

// Whether the log holds an alcOpenDevice call.
inline bool opened_a_device(const std::vector<std::string>& log) {
    return std::any_of(log.begin(), log.end(),
                       [](const std::string& line) { return line.rfind("alcOpenDevice", 0) == 0; });
}
