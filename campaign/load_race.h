// Concurrency campaign: threads that call CoDeviceInstall of a freshly loaded co-installer at
// the same moment, so that they race into its one load attempt of the trace library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace campaign {

struct LoadRaceReport {
    uint64_t rounds = 0;
    uint64_t threadsPerRound = 0;
    uint64_t callsPerThread = 0;
    uint64_t calls = 0;
    // Rounds in which at least two threads began their first call before InitTraceSystem had
    // completed, and all such threads over the run: evidence that the threads really raced.
    uint64_t contendedRounds = 0;
    uint64_t threadsBeforeInit = 0;
    double seconds = 0;

    uint64_t violationCount = 0;
    std::vector<std::string> violations;
};

// Each round loads TeskCoInstaller.dll from beside the program (the recording trace library
// beside it too), starts the threads together, checks the round and unloads the module again,
// so every round is a first call of the module in the process.
LoadRaceReport RunLoadRace(uint64_t rounds, uint32_t threads, uint32_t callsPerThread);

std::string FormatReport(const LoadRaceReport& report);

}  // namespace campaign
