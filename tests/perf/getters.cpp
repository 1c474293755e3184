// Each directory getter of the library, called in this process after its initialisation, with
// the configuration service switched off and no vendor keys: the registry and folder fallbacks.
#include "perf_figures.h"

#include "dirlib/locbase.h"

#include <string>

namespace bench {

int GetterBenchmark(uint64_t calls) {
    constexpr int kRepeats = 3;
    volatile size_t sink = 0;
    // Runs the library's initialisation, which is not what is measured.
    sink = sink + LBS_GetThisDllDir().size();

    const struct {
        const char* name;
        std::string (*get)();
    } getters[] = {
        {"LBS_GetProgDir_X0000302", [] { return LBS_GetProgDir("X0000302", false); }},
        {"LBS_GetProgDir_X0000303_default", [] { return LBS_GetProgDir("X0000303", true); }},
        {"LBS_GetKonfigDir_X0000303", [] { return LBS_GetKonfigDir("X0000303"); }},
        {"LBS_GetKonfigDirCurrentUser_X0000303", [] { return LBS_GetKonfigDirCurrentUser("X0000303", false); }},
        {"LBS_GetLogDir_X0000303", [] { return LBS_GetLogDir("X0000303", false); }},
        {"LBS_GetDataDir_X0000303_Archiv", [] { return LBS_GetDataDir("X0000303", false, "Archiv"); }},
        {"LBS_GetTempDir", [] { return LBS_GetTempDir(); }},
    };
    for (const auto& getter : getters) {
        const std::string name = std::string("getter_") + getter.name + "_ns";
        Figure(name.c_str(),
               BestNanosecondsPerCall(calls, kRepeats, [&](uint64_t) { sink = sink + getter.get().size(); }),
               "ns/call");
    }
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
