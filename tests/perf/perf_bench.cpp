// perf_bench <mode> [count or label]: one benchmark per process, as the trace binding and the directory
// library keep state for the process's life. Exit 1 only when an untimed goal failed.
#include "coinstaller_harness.h"
#include "contracts/KvTraceHub001.h"
#include "test_support/figures.h"
#include "test_support/files.h"
#include "test_support/heap_watch.h"
#include "test_support/load_watch.h"
#include "test_support/module.h"
#include "test_support/trace_library.h"
#include "trace/trace_calls.h"

#include <algorithm>
#include <cstring>

namespace {

using test_support::Figure;
using test_support::Goal;
using test_support::Seconds;

// Nanoseconds per call over `calls` calls, the best of `repeats` runs: the least disturbed run.
template <typename Body>
double BestNanoseconds(uint64_t calls, int repeats, Body body) {
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        const double start = Seconds();
        for (uint64_t i = 0; i < calls; ++i) body(i);
        best = std::min(best, (Seconds() - start) * 1e9 / static_cast<double>(calls));
    }
    return best;
}

// Out of line and reached through a volatile pointer, so the compiler cannot fold the call away.
__attribute__((noinline)) bool KVTRACE_CALL EmptyQuestion(int32_t level) { return level < 0; }

// A trace call whose level is off against the indirect call it cannot avoid.
int TraceCall(uint64_t calls) {
    TraceGetLevel(L"TESK.CoInstall");  // binds the trace library beside the program
    const test_support::TraceLibrary* hub = test_support::TraceLibraryBesideProgram();
    // Errors only, no listener: level 8 is off everywhere.
    if (!hub || !hub->entry.ConfigureTrace("Enabled=1;DefaultLevel=2") || hub->entry.ShouldTrace(8)) return 1;
    KvTrace_ShouldTrace volatile empty = &EmptyQuestion;
    volatile int sink = 0;
    double traceCall = 1e300, plain = 1e300;
    // Measured in turn within each repeat, so a disturbance hits both alike.
    for (int r = 0; r < 9; ++r) {
        traceCall = std::min(traceCall, BestNanoseconds(calls, 1, [&](uint64_t i) {
            TraceWriteFormat(TraceLevel::Info, L"TESK.CoInstall", L"%s::DeviceId <%s> %d", L"CoDeviceInstall",
                             L"USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2", static_cast<int>(i));
        }));
        plain = std::min(plain, BestNanoseconds(calls, 1, [&](uint64_t i) { sink = sink + empty(static_cast<int32_t>(i)); }));
    }
    Figure("trace_call_level_off_ns", traceCall, "ns/call");
    Figure("indirect_call_empty_ns", plain, "ns/call");
    Figure("trace_call_vs_indirect_empty_ratio", traceCall / plain, "x");
    Goal("trace_call_at_most_2x_indirect_empty", traceCall <= 2 * plain);
    return 0;
}

// CoDeviceInstall for a request it ignores, with tracing off: time and heap allocations per call.
int IgnoredRequest(uint64_t calls) {
    harness::ReaderTree tree = harness::AddReader();
    // The first call binds the trace library; it is the subject of the first-call benchmark.
    harness::CallCoDeviceInstall(DIF_SELECTBESTCOMPATDRV, tree.set, nullptr, nullptr);
    const test_support::TraceLibrary* hub = test_support::TraceLibraryBesideProgram();
    if (!hub || !hub->entry.ConfigureTrace("Enabled=1;DefaultLevel=2")) return 1;
    COINSTALLER_CONTEXT_DATA context{};
    const int64_t before = heap_watch::Snapshot().allocations;
    Figure("ignored_request_tracing_off_ns", BestNanoseconds(calls, 3, [&](uint64_t) {
               harness::CallCoDeviceInstall(DIF_SELECTBESTCOMPATDRV, tree.set, &tree.data, &context);
           }), "ns/call");
    const int64_t allocations = heap_watch::Snapshot().allocations - before;
    Figure("ignored_request_tracing_off_allocations", static_cast<double>(allocations) / (calls * 3), "allocations/call");
    Goal("ignored_request_tracing_off_allocates_nothing", allocations == 0);
    return allocations == 0 ? 0 : 1;
}

// The first CoDeviceInstall of a process makes the whole load attempt of the trace library; `label`
// names the layout scripts/run_campaign.sh started the process in.
int FirstCall(const std::string& label) {
    const HMODULE module = ::LoadLibraryA("TeskCoInstaller.dll");
    const auto entry = test_support::ExportAs<test_support::CoDeviceInstallFn>(module, "CoDeviceInstall");
    if (entry == nullptr || !load_watch::Install(module)) return 1;
    COINSTALLER_CONTEXT_DATA context{};
    const double start = Seconds();
    entry(DIF_SELECTBESTCOMPATDRV, nullptr, nullptr, &context);
    const std::string prefix = "first_call_" + label + "_";
    Figure(prefix + "us", (Seconds() - start) * 1e6, "us");
    Figure(prefix + "library_loads", load_watch::LoadLibraryCalls(), "calls");
    Figure(prefix + "trace_library_bound", ::GetModuleHandleA(kTraceSystemFileName) != nullptr, "yes=1");
    return 0;
}

const std::string kText = "CoDeviceInstall::DIF_PROPERTYCHANGE DeviceId <USB\\VID_0BDA&PID_0165\\20060413092100000>";

// A simple writer formats its own time-stamped line, appends through a handle kept open: bare, or as the
// yardstick between an uncontended LockFileEx and UnlockFileEx of one byte, as the hub locks its files.
double PeerSeconds(const std::string& path, uint64_t lines, bool locked) {
    HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    char line[512];
    OVERLAPPED byte{};
    const double start = Seconds();
    for (uint64_t i = 0; i < lines; ++i) {
        SYSTEMTIME t;
        ::GetLocalTime(&t);
        DWORD written = static_cast<DWORD>(
            snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u.%03u\t%lu\t%lu\tINFO\tBench\t%s\r\n", t.wYear, t.wMonth,
                     t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, ::GetCurrentProcessId(), ::GetCurrentThreadId(), kText.c_str()));
        if (locked) ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &byte);
        ::WriteFile(file, line, written, &written, nullptr);
        if (locked) ::UnlockFileEx(file, 0, 1, 0, &byte);
    }
    const double seconds = Seconds() - start;
    return ::CloseHandle(file), ::DeleteFileA(path.c_str()), seconds;
}

// The trace library's file writes against the yardstick; every line must arrive whole.
int HubWrite(uint64_t lines) {
    const test_support::TraceLibrary* library = test_support::TraceLibraryBesideProgram();
    if (!library) return 1;
    const TraceEntryPoints& hub = (library->InitTraceSystem(), library->entry);
    const std::string peer = test_support::UniqueTempPath("perf_peer.log"), file = test_support::UniqueTempPath("perf_hub.log");
    hub.ConfigureTrace(("Level.Bench=8;File.Bench=" + file).c_str());
    double bare = 1e300, locked = 1e300, one = 1e300;
    int failures = 0;
    for (int round = 0; round < 3; ++round) {
        bare = std::min(bare, PeerSeconds(peer, lines, false));
        locked = std::min(locked, PeerSeconds(peer, lines, true));
        const double start = Seconds();
        for (uint64_t i = 0; i < lines; ++i) failures += !hub.ShouldTrace(8) || !hub.Write(8, "Bench", kText.c_str());
        one = std::min(one, Seconds() - start);
    }
    hub.DoneTraceSystem();
    const auto written = test_support::ReadTraceLines(file);
    const bool complete = failures == 0 && written.size() == 3 * lines && std::all_of(written.begin(), written.end(), [](const auto& line) {
        return line.size() == 6 && line[0].size() == 23 && line[5] == kText;
    });
    ::DeleteFileA(file.c_str());
    Figure("hub_bare_write_file_us", bare * 1e6 / lines, "us/line");
    Figure("hub_locked_write_file_us", locked * 1e6 / lines, "us/line");
    Figure("hub_write_us", one * 1e6 / lines, "us/line");
    Goal("hub_write_at_most_1_5x_locked_write_file", one <= 1.5 * locked);
    Goal("hub_no_line_lost_or_torn", complete);
    return complete ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "", argument = argc > 2 ? argv[2] : "";
    const uint64_t count = argument.empty() ? 100000 : std::strtoull(argument.c_str(), nullptr, 0);
    if (mode == "trace-call") return TraceCall(count);
    if (mode == "request") return IgnoredRequest(count);
    if (mode == "first-call") return FirstCall(argument.empty() ? "default" : argument);
    if (mode == "hub-write") return HubWrite(count);
    std::printf("usage: perf_bench trace-call|request|first-call|hub-write [count or label]\n");
    return 2;
}
