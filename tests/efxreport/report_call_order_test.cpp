// The exact OpenAL calls of ferrowin's job, read from the stand-in
// library's call log: each case is a scenario and the calls the job must
// make between making its context current and releasing it.

#include <gtest/gtest.h>

#include <algorithm>
#include <span>

#include "fakeal_support.hpp"
#include "report_lines.hpp"

namespace {

const char* const kEntryPoints[] = {"alGenEffects",    "alDeleteEffects",
                                    "alGenFilters",    "alDeleteFilters",
                                    "alGenAuxiliaryEffectSlots",
                                    "alDeleteAuxiliaryEffectSlots"};
const char* const kEffectValues[] = {"0x1", "0x8000", "0x2", "0x3", "0x4", "0x5", "0x6",
                                     "0x7", "0x8",    "0x9", "0xA", "0xB", "0xC"};
const char* const kFilterValues[] = {"0x1", "0x2", "0x3"};
const std::string kNoError = "alGetError() -> 0x0";
const std::string kOutOfMemory = "alGetError() -> 0xA005";
const std::string kInvalidValue = "alGetError() -> 0xA003";

std::string lookup(const std::string& name, bool found = true) {
    return "alGetProcAddress(\"" + name + "\") -> " + (found ? name : "NULL");
}

// The six lookups (one of them possibly failing) and the extension test.
Lines support_test(const std::string& missing = "", int extensionPresent = 1) {
    Lines calls;
    for (const char* name : kEntryPoints) calls.push_back(lookup(name, name != missing));
    calls.push_back("alcIsExtensionPresent(dev1, \"ALC_EXT_EFX\") -> " +
                    std::to_string(extensionPresent));
    return calls;
}

// created successful slot creations, then the refused one when refusedLast,
// then the one deletion.
Lines slots(int created, bool refusedLast) {
    Lines calls;
    std::string names;
    for (int n = 1; n <= created; ++n) {
        calls.push_back("alGenAuxiliaryEffectSlots(1) -> [" + std::to_string(n) + "]");
        calls.push_back(kNoError);
        names += (n > 1 ? ", " : "") + std::to_string(n);
    }
    if (refusedLast) {
        calls.push_back("alGenAuxiliaryEffectSlots(1) -> []");
        calls.push_back(kOutOfMemory);
    }
    calls.push_back("alDeleteAuxiliaryEffectSlots(" + std::to_string(created) + ", [" + names + "])");
    return calls;
}

Lines sends(const std::string& stored) { return {"alcGetIntegerv(dev1, 0x20003, 1) -> " + stored}; }

// One section: creation, setter lookup, a probe per value, deletion.
Lines section(const std::string& kind, const std::string& setter,
              std::span<const char* const> values, const std::string& refusedValue = "") {
    Lines calls = {"alGen" + kind + "s(1) -> [1]", kNoError, lookup(setter)};
    for (const char* value : values) {
        calls.push_back(setter + "(1, 0x8001, " + value + ")");
        calls.push_back(value == refusedValue ? kInvalidValue : kNoError);
    }
    calls.push_back("alDelete" + kind + "s(1, [1])");
    return calls;
}

struct CallCase {
    const char* name;
    Lines scenario;
    Lines calls;
};

void PrintTo(const CallCase& c, std::ostream* out) { *out << c.name; }

const Lines kEffects = section("Effect", "alEffecti", kEffectValues);
const Lines kFilters = section("Filter", "alFilteri", kFilterValues);

std::vector<CallCase> call_cases() {
    return {
        {"FourSlotsOneSend", {"max_slots = 4", "max_sends = 1"},
         join({support_test(), slots(4, true), sends("1"), kEffects, kFilters})},
        {"NoSlotStillOneDeletion", {"max_slots = 0"},
         join({support_test(), slots(0, true), sends("2"), kEffects, kFilters})},
        {"At129SlotsNoFurtherAttempt", {},
         join({support_test(), slots(129, false), sends("2"), kEffects, kFilters})},
        {"SendCountNotStored", {"max_slots = 1", "max_sends = unset"},
         join({support_test(), slots(1, true), sends("stored nothing"), kEffects, kFilters})},
        {"RefusedTypesAreProbedOnward", {"max_slots = 1", "refuse_effect = 0x8000", "refuse_filter = 2"},
         join({support_test(), slots(1, true), sends("2"),
               section("Effect", "alEffecti", kEffectValues, "0x8000"),
               section("Filter", "alFilteri", kFilterValues, "0x2")})},
        {"NoEfxExtension", {"efx_extension = no"}, support_test("", 0)},
        {"MissingEntryPointStillTestsTheExtension", {"missing_proc = alDeleteAuxiliaryEffectSlots"},
         support_test("alDeleteAuxiliaryEffectSlots")},
        {"FailedEffectIsNeitherProbedNorDeleted", {"max_slots = 1", "gen_effects = error"},
         join({support_test(), slots(1, true), sends("2"),
               {"alGenEffects(1) -> []", kOutOfMemory}, kFilters})},
        {"MissingSetterStillDeletesTheEffect", {"max_slots = 1", "missing_proc = alEffecti"},
         join({support_test(), slots(1, true), sends("2"),
               {"alGenEffects(1) -> [1]", kNoError, lookup("alEffecti", false),
                "alDeleteEffects(1, [1])"},
               kFilters})},
        {"FailedFilterEndsTheJob", {"max_slots = 1", "gen_filters = error"},
         join({support_test(), slots(1, true), sends("2"), kEffects,
               {"alGenFilters(1) -> []", kOutOfMemory}})},
        {"SlotDeletionErrorIsReadByTheEffectCreation",
         {"max_slots = 1", "error_after = alDeleteAuxiliaryEffectSlots"},
         join({support_test(), slots(1, true), sends("2"),
               {"alGenEffects(1) -> [1]", "alGetError() -> 0xA004"}, kFilters})},
    };
}

// The job's calls: everything after the context is made current and before
// it is released.
class JobCalls : public testing::TestWithParam<CallCase> {};

TEST_P(JobCalls, AreExactlyTheseInThisOrder) {
    const CallCase& c = GetParam();
    fakeal::Sandbox sandbox(c.scenario);
    const ProgramRun run = run_ferrowin(as_environment(sandbox.environment()));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(job_calls(sandbox.logLines()), c.calls);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, JobCalls, testing::ValuesIn(call_cases()),
                         [](const testing::TestParamInfo<CallCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
