// Section 6: the directories the library would hand out for X0000303, the component whose
// directories it dumps and for which it keeps the alternative log directory. The library's own
// getters run against a dry run of the file system, with the settings its Init would read.
#include "dirlib/locbase.h"
#include "dirlib/settings.h"
#include "doctor/directory_dry_run.h"
#include "doctor/registry_values.h"
#include "doctor/sections.h"

#include <cstring>
#include <string>

namespace doctor {

namespace {

constexpr int kSection = 6;

// The library keeps using it until the process ends.
DirectoryDryRun g_dryRun;

struct Getter {
    const char* name;
    std::string (*ask)();
};

// In the order an administrator reads them; each later getter sees what the earlier would create.
constexpr Getter kGetters[] = {
    {"program", [] { return LBS_GetProgDir(kDumpComponent, false); }},
    {"configuration", [] { return LBS_GetKonfigDir(kDumpComponent); }},
    {"log", [] { return LBS_GetLogDir(kDumpComponent, true); }},
    {"data", [] { return LBS_GetDataDir(kDumpComponent, true, "Data"); }},
    {"temp", [] { return LBS_GetTempDir(); }},
};

// Init's reading of the switches, with the library's own logs kept off: a diagnosis writes nothing.
LibrarySettings SettingsAsRead(const Installation& installation) {
    LibrarySettings settings = {};
    LONG status = ERROR_SUCCESS;
    const tesk::UniqueHkey key = OpenKey32(HKEY_LOCAL_MACHINE, kSettingsKeyPath, status);
    char dumpFile[MAX_PATH] = {};
    if (key) _ReadSettingsFromKey(key.get(), settings, dumpFile);
    settings.internTraceOn = false;
    settings.libDirsActive = false;
    if (installation.moduleDir.size() < sizeof settings.moduleDir) {
        std::memcpy(settings.moduleDir, installation.moduleDir.c_str(), installation.moduleDir.size() + 1);
    }
    return settings;
}

}  // namespace

void PrepareLibrary(const Installation& installation, Report& report) {
    LibrarySettings settings = SettingsAsRead(installation);
    if (settings.locbaseActive && !installation.serviceAsked) {
        settings.locbaseActive = false;
        report.Warn(kSection, "directories.service",
                    "the service's answers could not be asked here: these directories come from the registry and "
                    "the guesses, the module may be given others",
                    "see the configuration service above");
    }
    _AdoptSettings(settings);
    _UseDirectorySystem(g_dryRun);
}

void CheckDirectories(Report& report) {
    for (const Getter& getter : kGetters) {
        const std::string path = getter.ask();
        const std::string key = std::string("directories.") + getter.name;
        const std::string named = std::string(getter.name) + " directory ";
        if (DirectoryDryRun::ExistsNow(path)) {
            report.Ok(kSection, key, named + path + " exists");
        } else if (g_dryRun.WouldCreate(path)) {
            report.Ok(kSection, key, named + path + " does not exist yet, the library would create it");
        } else if (path.empty()) {
            report.Warn(kSection, key, std::string("the library finds no ") + named + "for " + kDumpComponent,
                        std::string("give ") + kDumpComponent + " its directories in HKLM\\SOFTWARE\\KorvanCo");
        } else {
            report.Warn(kSection, key, named + path + " does not exist and cannot be created",
                        "create it, or correct the record of " + std::string(kDumpComponent) +
                            " in HKLM\\SOFTWARE\\KorvanCo that names it");
        }
    }
}

}  // namespace doctor
