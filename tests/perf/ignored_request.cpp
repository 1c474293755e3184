// CoDeviceInstall for a request it ignores, with tracing off and with the co-installer's category
// at level 8 written into a file by the shipped trace library: time and heap allocations per call.
// An ignored request allocates nothing: that goal is untimed and fails the run.
#include "perf_figures.h"

#include "bench/setupapi_sim/setupapi_sim.h"
#include "test_support/files.h"
#include "test_support/heap_watch.h"
#include "test_support/module.h"

namespace bench {
namespace {

constexpr GUID kReaderClass = {0x50dd5230, 0xba8a, 0x11d1, {0xbf, 0x5d, 0x00, 0x00, 0xf8, 0x05, 0xf5, 0x30}};

struct RequestFigures {
    double nanosecondsPerCall;
    double allocationsPerCall;
};

RequestFigures Measure(test_support::CoDeviceInstallFn entry, uint64_t calls, HDEVINFO set, SP_DEVINFO_DATA data) {
    constexpr int kRepeats = 3;
    COINSTALLER_CONTEXT_DATA context{};
    const heap_watch::Counts before = heap_watch::Snapshot();
    const double nanoseconds = BestNanosecondsPerCall(
        calls, kRepeats, [&](uint64_t) { entry(DIF_SELECTBESTCOMPATDRV, set, &data, &context); });
    const heap_watch::Counts after = heap_watch::Snapshot();
    return {nanoseconds, static_cast<double>(after.allocations - before.allocations) / (calls * kRepeats)};
}

}  // namespace

int IgnoredRequestBenchmark(uint64_t calls) {
    const auto module = test_support::LoadModule("TeskCoInstaller.dll");
    const auto entry = test_support::ExportAs<test_support::CoDeviceInstallFn>(module.get(), "CoDeviceInstall");
    if (entry == nullptr || !heap_watch::Install(module.get())) return 1;
    SimReset();
    HDEVINFO set = nullptr;
    SP_DEVINFO_DATA data{};
    SimCreateDeviceInfo(SimAddDevice(L"USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2", 0, &kReaderClass), &set, &data);
    // The first call binds the trace library; it is the subject of the first-call benchmark.
    entry(DIF_SELECTBESTCOMPATDRV, set, nullptr, nullptr);
    const HMODULE hub = ::GetModuleHandleA(kTraceSystemFileName);
    const auto configure = hub ? test_support::ExportAs<KvTrace_ConfigureTrace>(hub, "ConfigureTrace") : nullptr;
    if (configure == nullptr) {
        std::printf("the co-installer did not bind KvTraceHub001.dll\n");
        return 1;
    }
    const std::string file = test_support::UniqueTempPath("perf_trace.log");
    configure("Enabled=1;DefaultLevel=2");
    const RequestFigures off = Measure(entry, calls, set, data);
    configure(("Enabled=1;DefaultLevel=2;Level.TESK.CoInstall=8;File.TESK.CoInstall=" + file).c_str());
    const RequestFigures level8 = Measure(entry, calls / 10, set, data);
    configure("Enabled=1;DefaultLevel=2");
    const double bytes = static_cast<double>(test_support::ReadFileBytes(file).size());
    ::DeleteFileA(file.c_str());

    Figure("ignored_request_tracing_off_ns", off.nanosecondsPerCall, "ns/call");
    Figure("ignored_request_tracing_off_allocations", off.allocationsPerCall, "allocations/call");
    Figure("ignored_request_level8_file_ns", level8.nanosecondsPerCall, "ns/call");
    Figure("ignored_request_level8_file_allocations", level8.allocationsPerCall, "allocations/call");
    Figure("ignored_request_level8_vs_off_ratio", level8.nanosecondsPerCall / off.nanosecondsPerCall, "x");
    Figure("ignored_request_level8_file_bytes_per_call", bytes / (calls / 10 * 3), "bytes/call");
    Goal("ignored_request_tracing_off_allocates_nothing", off.allocationsPerCall == 0);
    return off.allocationsPerCall == 0 && bytes > 0 ? 0 : 1;
}

}  // namespace bench
