// Section 4: the three places the module looks for the trace-system library. The first is the
// library's own answer, given with the settings its Init would read but without running Init.
#include "contracts/trace_system_contract.h"
#include "dirlib/locbase.h"
#include "dirlib/path_helpers.h"
#include "doctor/pe_image.h"
#include "doctor/sections.h"
#include "trace/trace_system_candidates.h"

#include <algorithm>
#include <string>

namespace doctor {

namespace {

constexpr int kSection = 4;

struct Candidate {
    const char* origin;
    std::string directory;
};

std::vector<std::string> MissingExports(const PeImage& image) {
    std::vector<std::string> missing;
    std::vector<const char*> wanted(std::begin(kTraceEntryPointNames), std::end(kTraceEntryPointNames));
    wanted.push_back(kInitTraceSystemName);
    for (const char* name : wanted) {
        if (std::find(image.exports.begin(), image.exports.end(), name) == image.exports.end()) missing.push_back(name);
    }
    return missing;
}

// Why a library file that the search returns would not be bound, or empty when it would.
std::string Unusable(const std::string& path, bool moduleIs64) {
    const std::optional<PeImage> image = ReadPeImage(path);
    if (!image) return "is no x86 or x64 DLL";
    if (image->is64 != moduleIs64) {
        return std::string("is ") + Bitness(image->is64) + ", the module " + Bitness(moduleIs64) +
               ": it is never loaded";
    }
    const std::vector<std::string> missing = MissingExports(*image);
    if (missing.empty()) return std::string();
    std::string names;
    for (const std::string& name : missing) names += (names.empty() ? "" : ", ") + name;
    return "lacks " + std::to_string(missing.size()) + " of the 23 exports (" + names + ")";
}

}  // namespace

void CheckLibrarySearch(const Installation& installation, Report& report) {
    if (installation.locbaseActive && !installation.serviceAsked) {
        report.Warn(kSection, "search.service",
                    "the module asks the configuration service first for the trace component's program directory; "
                    "the candidate below is the registry's answer",
                    "compare with the service's answer in section 5, or set LocbaseActive to \"aus\" to rule the "
                    "service out");
    }
    const Candidate candidates[] = {
        {"program directory of X0000302", LBS_GetProgDir(kTraceComponent, false)},
        {"beside the host", installation.hostDir},
        {"beside the module", installation.moduleDir},
    };
    std::string chosen;
    for (size_t i = 0; i < 3; ++i) {
        const std::string key = "search.candidate." + std::to_string(i + 1);
        const std::string path = _TraceSystemPathIn(candidates[i].directory);
        const std::string label = std::to_string(i + 1) + " (" + candidates[i].origin + "): ";
        if (path.empty()) {
            report.Ok(kSection, key, label + "\"" + candidates[i].directory + "\" is no full path, skipped");
            continue;
        }
        if (!_PathExists(path)) {
            report.Ok(kSection, key, label + path + " does not exist");
            continue;
        }
        const std::string why = Unusable(path, installation.moduleIs64);
        if (chosen.empty()) chosen = path;
        if (why.empty()) {
            report.Ok(kSection, key, label + path + " exists, " + Bitness(installation.moduleIs64) + ", all 23 exports");
        } else {
            report.Warn(kSection, key, label + path + " " + why,
                        std::string("replace it with the ") + Bitness(installation.moduleIs64) + " KvTraceHub001.dll");
        }
    }
    if (chosen.empty()) {
        report.Problem(kSection, "search.result", "no trace library will be loaded: every trace call is a no-op",
                       "copy KvTraceHub001.dll of the module's architecture beside the module");
        return;
    }
    const std::string why = Unusable(chosen, installation.moduleIs64);
    if (why.empty()) {
        report.Ok(kSection, "search.result", "the module loads " + chosen);
    } else {
        report.Problem(kSection, "search.result",
                       "the search stops at " + chosen + ", which " + why +
                           ": no trace library will be loaded, every trace call is a no-op",
                       "replace it: an earlier candidate that exists is taken even when it cannot be loaded");
    }
}

}  // namespace doctor
