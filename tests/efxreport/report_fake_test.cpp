// ferrowin's capability report against the stand-in OpenAL library: each
// case is a scenario and the report lines it must give, compared with the
// whole output of a real run.

#include <gtest/gtest.h>

#include "fakeal_support.hpp"
#include "programs_under_test.hpp"
#include "report_lines.hpp"

namespace {

struct ReportCase {
    const char* name;
    Lines scenario;
    Lines report;
};

const Lines kEfxNotSupported = {"-ERR: EFX not supported"};
const std::string kSlots129 = "129 Auxiliary Effect Slots";
const std::string kSends2 = "2 Auxiliary Sends per Source";
const Lines kCounts = {kSlots129, kSends2};

std::vector<ReportCase> report_cases() {
    std::vector<ReportCase> cases = {
        {"NoEfxExtension", {"efx_extension = no"}, kEfxNotSupported},
        {"EverythingAccepted", {}, join({kCounts, kEffectsAllYes, kFiltersAllYes})},

        {"NoSlot", {"max_slots = 0"},
         join({{"0 Auxiliary Effect Slots", kSends2}, kEffectsAllYes, kFiltersAllYes})},
        {"OneSlot", {"max_slots = 1"},
         join({{"1 Auxiliary Effect Slot", kSends2}, kEffectsAllYes, kFiltersAllYes})},
        {"FourSlots", {"max_slots = 4"},
         join({{"4 Auxiliary Effect Slots", kSends2}, kEffectsAllYes, kFiltersAllYes})},
        {"SlotsStopAt129", {"max_slots = 500"}, join({kCounts, kEffectsAllYes, kFiltersAllYes})},

        {"NoSend", {"max_sends = 0"},
         join({{kSlots129, "0 Auxiliary Sends per Source"}, kEffectsAllYes, kFiltersAllYes})},
        {"OneSend", {"max_sends = 1"},
         join({{kSlots129, "1 Auxiliary Send per Source"}, kEffectsAllYes, kFiltersAllYes})},
        // Written as unsigned 32-bit; the plural rule takes it as signed.
        {"NegativeSendCountShownUnsigned", {"max_sends = -1"},
         join({{kSlots129, "4294967295 Auxiliary Send per Source"}, kEffectsAllYes, kFiltersAllYes})},
        {"SendCountNotStored", {"max_sends = unset"},
         join({{kSlots129, "0 Auxiliary Sends per Source"}, kEffectsAllYes, kFiltersAllYes})},

        {"EffectCreationFails", {"gen_effects = error"}, join({kCounts, kFiltersAllYes})},
        {"FilterCreationFails", {"gen_filters = error"}, join({kCounts, kEffectsAllYes})},
        {"BothCreationsFail", {"gen_effects = error", "gen_filters = error"}, kCounts},
        {"NoEffectSetter", {"missing_proc = alEffecti"}, join({kCounts, kFiltersAllYes})},
        {"NoFilterSetter", {"missing_proc = alFilteri"}, join({kCounts, kEffectsAllYes})},

        {"EaxReverbRefused", {"refuse_effect = 0x8000"},
         join({kCounts, refused(kEffectsAllYes, {"EAX Reverb"}), kFiltersAllYes})},
        {"SeveralEffectsRefused",
         {"refuse_effect = 0x0001", "refuse_effect = 0x0007", "refuse_effect = 0x000C"},
         join({kCounts,
               refused(kEffectsAllYes,
                       {"Reverb", "Vocal Morpher", "Equalizer"}),
               kFiltersAllYes})},
        {"BandPassRefused", {"refuse_filter = 3"},
         join({kCounts, kEffectsAllYes, refused(kFiltersAllYes, {"Band Pass"})})},
        {"EveryFilterRefused", {"refuse_filter = 1", "refuse_filter = 2", "refuse_filter = 3"},
         join({kCounts, kEffectsAllYes,
               refused(kFiltersAllYes,
                       {"Low Pass", "High Pass", "Band Pass"})})},

        // Errors that nothing reads right away count against the next read.
        {"SlotDeletionErrorHidesEffects", {"error_after = alDeleteAuxiliaryEffectSlots"},
         join({kCounts, kFiltersAllYes})},
        {"EffectDeletionErrorHidesFilters", {"error_after = alDeleteEffects"},
         join({kCounts, kEffectsAllYes})},
        {"LookupErrorsCountAgainstNextRead", {"error_after = alGetProcAddress"},
         join({{"0 Auxiliary Effect Slots", kSends2},
               refused(kEffectsAllYes, {"Reverb"}),
               refused(kFiltersAllYes, {"Low Pass"})})},
    };
    for (const char* entryPoint :
         {"alGenEffects", "alDeleteEffects", "alGenFilters", "alDeleteFilters",
          "alGenAuxiliaryEffectSlots", "alDeleteAuxiliaryEffectSlots"}) {
        cases.push_back({entryPoint, {std::string("missing_proc = ") + entryPoint},
                         kEfxNotSupported});
    }
    return cases;
}

void PrintTo(const ReportCase& c, std::ostream* out) { *out << c.name; }

class FakeReport : public testing::TestWithParam<std::tuple<std::string, ReportCase>> {};

TEST_P(FakeReport, PrintsExactlyTheExpectedReport) {
    const auto& [platform, c] = GetParam();
    fakeal::Sandbox sandbox(c.scenario);
    const ProgramRun run = run_ferrowin(as_environment(sandbox.environment()), platform);
    EXPECT_EQ(run.output, expected_output("Fake Device", c.report));
    EXPECT_EQ(run.exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FakeReport,
                         testing::Combine(testing::ValuesIn(platforms_under_test()),
                                          testing::ValuesIn(report_cases())),
                         [](const auto& info) {
                             return std::get<0>(info.param) + "_" + std::get<1>(info.param).name;
                         });

}  // namespace
