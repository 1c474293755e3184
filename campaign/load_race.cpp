#include "campaign/load_race.h"

#include "platform/sdk_extras.h"
#include "test_support/load_watch.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>

namespace campaign {
namespace {

using CoDeviceInstallFn = DWORD(WINAPI*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);

constexpr wchar_t kModule[] = L"TeskCoInstaller.dll";
constexpr size_t kViolationsKept = 20;

class Race {
public:
    Race(uint32_t threads, uint32_t callsPerThread, LoadRaceReport& report)
        : threads_(threads), callsPerThread_(callsPerThread), report_(report) {}

    void Round(uint64_t round) {
        round_ = round;
        RecReset();
        RecForgetInit();
        RecSetDefaultLevel(16);

        const HMODULE module = ::LoadLibraryW(kModule);
        if (module == nullptr) return Violation("TeskCoInstaller.dll could not be loaded");
        const long loadsBefore = load_watch::LoadLibraryCalls();
        load_watch::Install(module);
        const auto entry = reinterpret_cast<CoDeviceInstallFn>(
            reinterpret_cast<void*>(::GetProcAddress(module, "CoDeviceInstall")));
        if (entry == nullptr) {
            ::FreeLibrary(module);
            return Violation("CoDeviceInstall is not exported");
        }

        const std::vector<ThreadOutcome> outcomes = RunThreads(entry);
        Check(outcomes, load_watch::LoadLibraryCalls() - loadsBefore);

        ::FreeLibrary(module);
        // A module that stayed loaded would make the next round's first call no first call.
        if (::GetModuleHandleW(kModule) != nullptr) Violation("TeskCoInstaller.dll stayed loaded after FreeLibrary");
        ++report_.rounds;
    }

private:
    struct ThreadOutcome {
        uint32_t threadId = 0;
        bool beforeInit = false;
        uint32_t unexpectedResults = 0;
    };

    std::vector<ThreadOutcome> RunThreads(CoDeviceInstallFn entry) {
        std::vector<ThreadOutcome> outcomes(threads_);
        std::atomic<uint32_t> ready{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> workers;
        for (uint32_t t = 0; t < threads_; ++t) {
            workers.emplace_back([&, t] {
                ThreadOutcome& outcome = outcomes[t];
                outcome.threadId = ::GetCurrentThreadId();
                ++ready;
                while (!go.load(std::memory_order_acquire)) {
                }
                outcome.beforeInit = !RecInitialised();
                for (uint32_t i = 0; i < callsPerThread_; ++i) {
                    COINSTALLER_CONTEXT_DATA context{};
                    if (entry(DIF_SELECTDEVICE, nullptr, nullptr, &context) != NO_ERROR) ++outcome.unexpectedResults;
                }
            });
        }
        // Every thread spins at the gate before it opens, so their first calls start together.
        while (ready.load() != threads_) std::this_thread::yield();
        go.store(true, std::memory_order_release);
        for (std::thread& worker : workers) worker.join();
        return outcomes;
    }

    void Check(const std::vector<ThreadOutcome>& outcomes, long loadAttempts) {
        if (RecInitCount() != 1) Violation("InitTraceSystem called " + std::to_string(RecInitCount()) + " times");
        if (RecCallsBeforeInit() != 0) {
            Violation(std::to_string(RecCallsBeforeInit()) + " calls into the library before InitTraceSystem");
        }
        if (loadAttempts != 1) Violation("LoadLibraryA called " + std::to_string(loadAttempts) + " times");

        // Each call writes its request name once; a lost call lacks its line.
        std::map<uint32_t, uint32_t> requestLines;
        for (size_t i = 0; i < RecCallCount(); ++i) {
            RecCall call{};
            if (!RecGetCall(i, &call)) continue;
            if (!call.initialised && std::strcmp(call.function, "InitTraceSystem") != 0) {
                Violation(std::string(call.function) + " called before InitTraceSystem had completed");
            }
            if (std::strcmp(call.function, "Write") == 0 && call.text != nullptr &&
                std::strstr(call.text, "CoDeviceInstall::InstallFunction <") == call.text) {
                ++requestLines[call.threadId];
            }
        }
        uint32_t beforeInit = 0;
        for (const ThreadOutcome& outcome : outcomes) {
            report_.calls += callsPerThread_;
            if (outcome.beforeInit) ++beforeInit;
            if (outcome.unexpectedResults != 0) Violation("a call returned something else than NO_ERROR");
            if (requestLines[outcome.threadId] != callsPerThread_) {
                Violation("thread " + std::to_string(outcome.threadId) + " has " +
                          std::to_string(requestLines[outcome.threadId]) + " request lines for " +
                          std::to_string(callsPerThread_) + " calls");
            }
        }
        report_.threadsBeforeInit += beforeInit;
        if (beforeInit >= 2) ++report_.contendedRounds;
    }

    void Violation(const std::string& what) {
        ++report_.violationCount;
        if (report_.violations.size() < kViolationsKept) {
            report_.violations.push_back("round " + std::to_string(round_) + ": " + what);
        }
    }

    uint32_t threads_;
    uint32_t callsPerThread_;
    LoadRaceReport& report_;
    uint64_t round_ = 0;
};

}  // namespace

LoadRaceReport RunLoadRace(uint64_t rounds, uint32_t threads, uint32_t callsPerThread) {
    LoadRaceReport report;
    report.threadsPerRound = threads;
    report.callsPerThread = callsPerThread;
    const auto start = std::chrono::steady_clock::now();
    Race race(threads, callsPerThread, report);
    for (uint64_t round = 1; round <= rounds; ++round) race.Round(round);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

std::string FormatReport(const LoadRaceReport& r) {
    std::ostringstream out;
    out << "rounds " << r.rounds << "\n"
        << "threads_per_round " << r.threadsPerRound << "\n"
        << "calls_per_thread " << r.callsPerThread << "\n"
        << "calls " << r.calls << "\n"
        << "contended_rounds " << r.contendedRounds << "\n"
        << "threads_before_init " << r.threadsBeforeInit << "\n"
        << "seconds " << r.seconds << "\n"
        << "violations " << r.violationCount << "\n";
    for (const std::string& violation : r.violations) out << "violation " << violation << "\n";
    return out.str();
}

}  // namespace campaign
