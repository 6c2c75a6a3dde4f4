// Text forms shared by the stand-in OpenAL library and its test support:
// the escapes used in scenario values and in the call log, and hex numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fakeal {

// Starts the log line of a call the library does not model; the test
// support fails the test that reads such a line.
inline constexpr std::string_view kUnexpectedCall = "unexpected call: ";

// Printable ASCII stays as it is; backslash, double quote and every other
// byte become an escape (\\ \" \e \n \t \r \0 or \xNN, hex in upper case).
std::string escapeBytes(std::string_view bytes);

// escapeBytes wrapped in double quotes: the form strings take in the log.
std::string quoteBytes(std::string_view bytes);

// Undoes escapeBytes. Gives nullopt for a malformed escape.
std::optional<std::string> unescapeBytes(std::string_view text);

// "0x" and upper-case hex digits; negative values get a leading '-'.
std::string hexNumber(long long value);

}  // namespace fakeal
