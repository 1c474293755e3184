// Randomised request campaign: CoDeviceInstall of the loaded co-installer called with random
// requests, contexts, device trees and injected SetupAPI failures, each call checked against the
// module's promises (result, child identifier record, device sets, removals, heap).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace campaign {

struct RequestCampaignReport {
    uint64_t calls = 0;
    uint64_t nullContextCalls = 0;
    uint64_t preCalls = 0;
    uint64_t postCalls = 0;
    uint64_t pairedPostCalls = 0;
    uint64_t recordsStored = 0;
    uint64_t recordsReleased = 0;
    uint64_t passedOnResults = 0;
    uint64_t filtersRemoved = 0;
    uint64_t callsWithInjectedFailures = 0;
    uint64_t injectedFailuresAnswered = 0;

    uint64_t privateBytesAfterWarmUp = 0;
    uint64_t privateBytesPeak = 0;
    uint64_t privateBytesAtEnd = 0;
    uint32_t handlesAfterWarmUp = 0;
    uint32_t handlesPeak = 0;
    uint32_t handlesAtEnd = 0;
    uint64_t liveBlocksAfterWarmUp = 0;
    uint64_t liveBlocksAtEnd = 0;
    double seconds = 0;

    uint64_t violationCount = 0;
    std::vector<std::string> violations;  // the first few, each with its call number
};

// Runs `calls` calls from `seed` against the co-installer that harness::CoInstallerModule loads,
// with the simulated setupapi.dll and the recording trace library beside the program.
RequestCampaignReport RunRequestCampaign(uint64_t calls, uint64_t seed);

// The report as "name value" lines, for the figures of docs/robustness.md.
std::string FormatReport(const RequestCampaignReport& report, uint64_t seed);

}  // namespace campaign
