#include "campaign/request_campaign.h"
#include "campaign_settings.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Allowance for the process's own heap growing into a few more pages over a long run; a leak of a
// single block per call would exceed it many times over.
constexpr uint64_t kPrivateBytesSlack = 4u << 20;

TEST(RequestCampaign, EveryCallKeepsTheModulesPromises) {
    const uint64_t calls = campaign::SettingOr("TESK_CAMPAIGN_CALLS", 20000);
    const uint64_t seed = campaign::SettingOr("TESK_CAMPAIGN_SEED", 20261206);
    const campaign::RequestCampaignReport report = campaign::RunRequestCampaign(calls, seed);
    std::printf("%s", campaign::FormatReport(report, seed).c_str());

    for (const std::string& violation : report.violations) ADD_FAILURE() << violation;
    EXPECT_EQ(0u, report.violationCount);
    EXPECT_GE(report.calls, calls);

    // Every kind of call was made, so the invariants were checked on each path.
    EXPECT_GT(report.nullContextCalls, 0u);
    EXPECT_GT(report.preCalls, 0u);
    EXPECT_GT(report.pairedPostCalls, 0u);
    EXPECT_GT(report.recordsStored, 0u);
    EXPECT_EQ(report.recordsStored, report.recordsReleased);
    EXPECT_GT(report.passedOnResults, 0u);
    EXPECT_GT(report.filtersRemoved, 0u);
    EXPECT_GT(report.injectedFailuresAnswered, 0u);

    EXPECT_LE(report.handlesAtEnd, report.handlesAfterWarmUp);
    EXPECT_LE(report.privateBytesAtEnd, report.privateBytesAfterWarmUp + kPrivateBytesSlack);
    EXPECT_EQ(report.liveBlocksAfterWarmUp, report.liveBlocksAtEnd);
}

}  // namespace
