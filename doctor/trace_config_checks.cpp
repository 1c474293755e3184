// Section 3: the trace system's configuration, read by the trace library's own reader.
#include "contracts/KvTraceHub001.h"
#include "doctor/registry_values.h"
#include "doctor/sections.h"
#include "platform/unique_resource.h"
#include "trace/trace_level.h"
#include "tracehub/registry_settings.h"

#include <windows.h>

#include <string>

namespace doctor {

namespace {

constexpr int kSection = 3;
constexpr char kCategory[] = "TESK.CoInstall";
constexpr char kDumpCategory[] = "TESK.CoInstall.Dump";
constexpr int32_t kParentAndChildLevel = static_cast<int32_t>(TraceLevel::Info);

bool DirectoryExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The library opens its files with OPEN_ALWAYS; the doctor opens only an existing one, so that
// the test creates nothing, and closes it without writing.
void CheckFile(const std::string& category, const std::string& target, Report& report) {
    const std::string path = FullPath(target);
    const std::string key = "trace.file." + category;
    const std::string directory = DirectoryOf(path);
    if (!DirectoryExists(directory)) {
        report.Problem(kSection, key, "file " + path + ": the directory does not exist, the file cannot be opened",
                       "create " + directory + " or point File." + category + " to an existing directory");
        return;
    }
    if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        report.Ok(kSection, key, "file " + path + ": does not exist yet, the trace library will create it");
        return;
    }
    const tesk::UniqueHfile file(::CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        report.Problem(kSection, key,
                       "file " + path + ": cannot be opened for appending (error " + std::to_string(::GetLastError()) + ")",
                       "give the installing account write access to the file or choose another path");
        return;
    }
    report.Ok(kSection, key, "file " + path + ": can be opened for appending");
}

// Without a listener for the co-installer's own category nothing is traced; without one for the
// dumps only the dumps are missing.
void CheckCategory(const kvtrace::TraceSettings& settings, const std::string& category, bool essential,
                   Report& report) {
    const int32_t level = settings.LevelOf(category);
    const kvtrace::CategorySettings* own = settings.Find(category);
    const std::string levelKey = "trace.level." + category;
    if (!own || !own->level) {
        report.Warn(kSection, levelKey,
                    category + ": no level set, the default level " + std::to_string(level) + " applies",
                    "set Level." + category + " (REG_DWORD, 16 for everything)");
    } else if (level < static_cast<int32_t>(TraceLevel::Critical)) {
        report.Problem(kSection, levelKey, category + ": level " + std::to_string(level) + ", nothing will be traced",
                       "set Level." + category + " to 16");
    } else {
        report.Ok(kSection, levelKey, category + ": level " + std::to_string(level));
    }

    const std::vector<const kvtrace::ListenerSettings*> listeners = settings.ListenersOf(category);
    if (listeners.empty()) {
        const std::string text = category + ": no file, console or debugger listener, nothing of it will be traced";
        const std::string advice = "set File." + category + " to a trace file path (REG_SZ or REG_EXPAND_SZ)";
        if (essential) {
            report.Problem(kSection, "trace.listeners." + category, text, advice);
        } else {
            report.Warn(kSection, "trace.listeners." + category, text, advice);
        }
    }
    for (const kvtrace::ListenerSettings* listener : listeners) {
        if (listener->kind == KvTraceListenerTextfile) {
            CheckFile(category, listener->target, report);
        } else {
            report.Ok(kSection, "trace.listeners." + category, category + ": also to the " + listener->name);
        }
    }
}

}  // namespace

void CheckTraceConfiguration(Report& report) {
    LONG status = ERROR_SUCCESS;
    if (!OpenKey32(HKEY_LOCAL_MACHINE, kvtrace::kRegistryKey, status)) {
        report.Problem(kSection, "trace.key",
                       std::string("HKLM\\") + kvtrace::kRegistryKey + " cannot be opened (error " +
                           std::to_string(status) + "): nothing will be traced",
                       KeyAdvice(status, "create the key in the 32-bit view with Level.TESK.CoInstall and File.TESK.CoInstall"));
        return;
    }
    kvtrace::TraceSettings settings;
    kvtrace::ReadRegistrySettings(settings, [&](std::string_view note) {
        report.Warn(kSection, "trace.ignored", std::string(note), "correct the value's type or name (see the guide)");
    });
    if (!settings.enabled) {
        report.Problem(kSection, "trace.enabled", "Enabled is 0: nothing will be traced", "set Enabled to 1");
    }
    CheckCategory(settings, kCategory, true, report);
    if (settings.LevelOf(kCategory) < kParentAndChildLevel) {
        report.Warn(kSection, "trace.remove",
                    "level below 8: the remove request will not log parent and child",
                    std::string("set Level.") + kCategory + " to 8 or more to see them");
    }
    CheckCategory(settings, kDumpCategory, false, report);
}

}  // namespace doctor
