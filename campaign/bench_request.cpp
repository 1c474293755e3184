// CoDeviceInstall for a request it ignores, with tracing off and with the co-installer's category
// at level 8 written into a file by the shipped trace library: time and heap allocations per call.
#include "campaign/bench_modes.h"

#include "campaign/bench_figures.h"
#include "coinstaller/coinstaller_harness.h"
#include "test_support/heap_watch.h"
#include "contracts/KvTraceHub001.h"

#include <string>

namespace bench {
namespace {

struct RequestFigures {
    double nanosecondsPerCall;
    double allocationsPerCall;
};

RequestFigures MeasureIgnoredRequest(uint64_t calls, const harness::ReaderTree& tree) {
    constexpr int kRepeats = 3;
    COINSTALLER_CONTEXT_DATA context{};
    SP_DEVINFO_DATA data = tree.data;
    const heap_watch::Counts before = heap_watch::Snapshot();
    const double nanoseconds = BestNanosecondsPerCall(calls, kRepeats, [&](uint64_t) {
        harness::CallCoDeviceInstall(DIF_SELECTBESTCOMPATDRV, tree.set, &data, &context);
    });
    const heap_watch::Counts after = heap_watch::Snapshot();
    return {nanoseconds, static_cast<double>(after.allocations - before.allocations) / (calls * kRepeats)};
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) return 0;
    return (static_cast<uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
}

}  // namespace

int IgnoredRequestBenchmark(uint64_t calls) {
    if (harness::CoInstallerModule() == nullptr) {
        std::printf("TeskCoInstaller.dll beside the program could not be loaded\n");
        return 1;
    }
    SimReset();
    const harness::ReaderTree tree = harness::AddReader();
    // The first call binds the trace library; it is the subject of the first-call benchmark.
    harness::CallCoDeviceInstall(DIF_SELECTBESTCOMPATDRV, tree.set, nullptr, nullptr);
    const HMODULE hub = ::GetModuleHandleW(L"KvTraceHub001.dll");
    const auto configure =
        hub ? reinterpret_cast<KvTrace_ConfigureTrace>(reinterpret_cast<void*>(::GetProcAddress(hub, "ConfigureTrace")))
            : nullptr;
    if (configure == nullptr) {
        std::printf("the co-installer did not bind KvTraceHub001.dll\n");
        return 1;
    }

    char directory[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, directory);
    const std::string file = std::string(directory) + "tesk_campaign_bench_trace.log";
    ::DeleteFileA(file.c_str());

    configure("Enabled=1;DefaultLevel=2");
    const RequestFigures off = MeasureIgnoredRequest(calls, tree);
    configure(("Enabled=1;DefaultLevel=2;Level.TESK.CoInstall=8;File.TESK.CoInstall=" + file).c_str());
    const RequestFigures level8 = MeasureIgnoredRequest(calls / 10, tree);
    const uint64_t bytes = FileSize(file);
    configure("Enabled=1;DefaultLevel=2");
    ::DeleteFileA(file.c_str());

    Figure("ignored_request_tracing_off_ns", off.nanosecondsPerCall, "ns/call");
    Figure("ignored_request_tracing_off_allocations", off.allocationsPerCall, "allocations/call");
    Figure("ignored_request_level8_file_ns", level8.nanosecondsPerCall, "ns/call");
    Figure("ignored_request_level8_file_allocations", level8.allocationsPerCall, "allocations/call");
    Figure("ignored_request_level8_vs_off_ratio", level8.nanosecondsPerCall / off.nanosecondsPerCall, "x");
    Figure("ignored_request_level8_file_bytes_per_call", static_cast<double>(bytes) / (calls / 10 * 3), "bytes/call");
    return bytes == 0 ? 1 : 0;
}

}  // namespace bench
