// One writer process of the cross-process campaign: two threads append numbered records to the
// library's internal log (switched on in the registry by the test that starts the writers) and
// to a trace file (through KvTraceHub001.dll beside the program), all at once.
//
//   campaign_log_writer <trace file> <process number> <records per thread> [gate]
//
// With "gate" the writer initialises first, reports that on the semaphore kReadySemaphore and
// waits for the event kGoEvent, so that every process appends with the log mutex in place.
#include "campaign/log_record.h"
#include "dirlib/settings.h"
#include "dirlib/tracer.h"
#include "platform/unique_resource.h"
#include "contracts/KvTraceHub001.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: campaign_log_writer <trace file> <process> <records> [gate]\n");
        return 2;
    }
    const bool gated = argc == 5 && std::strcmp(argv[4], "gate") == 0;
    const std::string traceFile = argv[1];
    const int process = std::atoi(argv[2]);
    const int records = std::atoi(argv[3]);

    // Reads the switches and creates the named log mutex.
    Init();
    if (!g_librarySettings.internTraceOn) {
        std::fprintf(stderr, "the library's internal log is not switched on\n");
        return 1;
    }
    const HMODULE hub = ::LoadLibraryW(L"KvTraceHub001.dll");
    const auto init = hub ? reinterpret_cast<KvTrace_InitTraceSystem>(
                                reinterpret_cast<void*>(::GetProcAddress(hub, "InitTraceSystem")))
                          : nullptr;
    const auto configure = hub ? reinterpret_cast<KvTrace_ConfigureTrace>(
                                     reinterpret_cast<void*>(::GetProcAddress(hub, "ConfigureTrace")))
                               : nullptr;
    const auto write =
        hub ? reinterpret_cast<KvTrace_Write>(reinterpret_cast<void*>(::GetProcAddress(hub, "Write"))) : nullptr;
    if (init == nullptr || configure == nullptr || write == nullptr) {
        std::fprintf(stderr, "KvTraceHub001.dll beside the program is missing or incomplete\n");
        return 1;
    }
    init();
    if (!configure(("Enabled=1;DefaultLevel=16;File.Campaign=" + traceFile).c_str())) {
        std::fprintf(stderr, "the trace file could not be configured\n");
        return 1;
    }

    if (gated) {
        const tesk::UniqueHandle ready(::OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, log_record::kReadySemaphore));
        const tesk::UniqueHandle go(::OpenEventA(SYNCHRONIZE, FALSE, log_record::kGoEvent));
        if (!ready || !go) {
            std::fprintf(stderr, "the gate of the test is missing\n");
            return 1;
        }
        ::ReleaseSemaphore(ready.get(), 1, nullptr);
        ::WaitForSingleObject(go.get(), INFINITE);
    }

    std::vector<std::thread> threads;
    for (int thread = 0; thread < 2; ++thread) {
        threads.emplace_back([&, thread] {
            for (int n = 0; n < records; ++n) {
                const std::string record = log_record::Make(process, thread, n);
                _TracerWrite(kTraceInfo, "%s", record.c_str());
                write(8, "Campaign", record.c_str());
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    return 0;
}
