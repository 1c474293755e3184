// Each directory getter of the library, called in this process after its initialisation.
#include "campaign/bench_modes.h"

#include "campaign/bench_figures.h"
#include "dirlib/locbase.h"

#include <string>

namespace bench {

int GetterBenchmark(uint64_t calls) {
    constexpr int kRepeats = 3;
    volatile size_t sink = 0;
    // Runs the library's initialisation, which is not what is measured.
    sink = sink + LBS_GetThisDllDir().size();

    Figure("getter_LBS_GetThisDllDir_ns",
           BestNanosecondsPerCall(calls, kRepeats, [&](uint64_t) { sink = sink + LBS_GetThisDllDir().size(); }),
           "ns/call");
    Figure("getter_LBS_GetOsVersion_ns",
           BestNanosecondsPerCall(calls, kRepeats, [&](uint64_t) { sink = sink + LBS_GetOsVersion(); }), "ns/call");
    const struct {
        LocbaseDirType type;
        const char* name;
    } folders[] = {
        {LocbaseDirLocalAppDataLow, "LocalAppDataLow"}, {LocbaseDirLocalAppData, "LocalAppData"},
        {LocbaseDirRoamingAppData, "RoamingAppData"},   {LocbaseDirProgramData, "ProgramData"},
        {LocbaseDirProgramFilesForKonfig, "ProgramFilesForKonfig"},
    };
    for (const auto& folder : folders) {
        const std::string name = std::string("getter_LBS_GetSpecialFolderPath_") + folder.name + "_ns";
        Figure(name.c_str(), BestNanosecondsPerCall(calls, kRepeats, [&](uint64_t) {
                   sink = sink + LBS_GetSpecialFolderPath(folder.type).size();
               }),
               "ns/call");
    }
    return 0;
}

}  // namespace bench
