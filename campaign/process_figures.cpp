#include "campaign/process_figures.h"

#include <windows.h>
#include <psapi.h>

namespace process_figures {

// Wine reports no PrivateUsage; its PagefileUsage counts the same committed private memory.
uint64_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                   sizeof(counters))) {
        return 0;
    }
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

// Wine answers GetProcessHandleCount with 0; then the handle table is probed value by value.
// Wine hands out the lowest free slot, so a long run of unused values ends the table.
uint32_t HandleCount() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return count;
    constexpr uint32_t kUnusedRunAtEnd = 1024;
    uint32_t unusedRun = 0;
    for (ULONG_PTR value = 4; unusedRun < kUnusedRunAtEnd; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            unusedRun = 0;
        } else {
            ++unusedRun;
        }
    }
    return count;
}

}  // namespace process_figures
