// When quorvel's dots are due: a whole interval after the one before on the
// play's clock, whatever each pass of the loop cost.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "playback/dot_schedule.hpp"

namespace {

struct ScheduleCase {
    const char* name;
    std::vector<std::pair<uint64_t, uint32_t>> steps;  // now, then the wait expected; start at 1000
};

[[maybe_unused]] void PrintTo(const ScheduleCase& c, std::ostream* os) { *os << c.name; }

class DotScheduleWaits : public testing::TestWithParam<ScheduleCase> {};

TEST_P(DotScheduleWaits, ForWhatRemainsOfTheInterval) {
    DotSchedule schedule(1000, 100);
    for (const auto& [now, wait] : GetParam().steps) EXPECT_EQ(schedule.wait_for_next(now), wait) << "at " << now;
}

INSTANTIATE_TEST_SUITE_P(
    Loops, DotScheduleWaits,
    testing::Values(ScheduleCase{"on_time", {{1000, 100}, {1100, 100}, {1200, 100}}},
                    ScheduleCase{"late_wake_up_is_made_up", {{1000, 100}, {1130, 70}, {1200, 100}}},
                    ScheduleCase{"slow_queries", {{1000, 100}, {1160, 40}, {1260, 40}}},
                    ScheduleCase{"overdue_dots_come_at_once", {{1000, 100}, {1350, 0}, {1360, 0}, {1370, 30}}},
                    ScheduleCase{"a_stopped_process_counts_on_from_now", {{1000, 100}, {6100, 0}, {6110, 90}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
