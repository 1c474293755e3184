#include "campaign/load_race.h"
#include "campaign_settings.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(LoadRace, EightThreadsShareOneLoadAttempt) {
    const uint64_t rounds = campaign::SettingOr("TESK_CAMPAIGN_RACE_ROUNDS", 20);
    const campaign::LoadRaceReport report = campaign::RunLoadRace(rounds, 8, 4);
    std::printf("%s", campaign::FormatReport(report).c_str());

    for (const std::string& violation : report.violations) ADD_FAILURE() << violation;
    EXPECT_EQ(0u, report.violationCount);
    EXPECT_EQ(rounds, report.rounds);
    EXPECT_EQ(rounds * 8 * 4, report.calls);
    // Without threads waiting on the attempt of another the race proves nothing.
    EXPECT_GT(report.contendedRounds, 0u);
}

}  // namespace
