// Section 2: the directory library's switches, read and judged by the library's own rules.
#include "dirlib/path_helpers.h"
#include "dirlib/setting_rules.h"
#include "dirlib/settings.h"
#include "doctor/registry_values.h"
#include "doctor/sections.h"

#include <string>

namespace doctor {

namespace {

constexpr int kSection = 2;

// A switch that needs a directory for its file.
struct DirectorySwitch {
    const char* name;
    const char* directoryValue;
    std::string fileName;
    const char* meaning;
};

std::string Key(const char* value) { return std::string("switches.") + value; }

std::string Trimmed(const char* text) {
    std::string value = text;
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

// Values that would change the library's answer once their blanks are gone: a typing slip.
bool SlipsOn(const char* value) { return !_SwitchIsOn(value) && _SwitchIsOn(Trimmed(value).c_str()); }
bool SlipsOff(const char* value) { return _LocbaseAllowed(value) && !_LocbaseAllowed(Trimmed(value).c_str()); }

std::string Shown(HKEY key, const char* name) { return std::string(name) + " = " + DescribeValue(ReadRawValue(key, name)); }

// A directory the library takes only when it exists and leaves room for the file name behind it.
bool CheckDirectory(HKEY key, const char* directoryValue, const std::string& fileName, const std::string& effect,
                    Report& report) {
    SettingValueBuffer directory;
    const LONG rc = _ReadSettingValue(key, directoryValue, directory);
    const std::string shown = Shown(key, directoryValue);
    if (rc != ERROR_SUCCESS) {
        report.Warn(kSection, Key(directoryValue), shown + ": unreadable (error " + std::to_string(rc) + "), " + effect,
                    std::string("set ") + directoryValue + " to an existing directory of at most 259 characters");
        return false;
    }
    if (!_PathExists(directory)) {
        report.Warn(kSection, Key(directoryValue), shown + ": the directory does not exist, " + effect,
                    "create the directory or point the value to an existing one");
        return false;
    }
    const std::string path = _SettingFilePath(directory, fileName.c_str());
    if (!_FitsSettingBuffer(path)) {
        report.Warn(kSection, Key(directoryValue),
                    shown + ": too long for its file name (" + std::to_string(path.size()) + " characters), " + effect,
                    "choose a directory of at most " + std::to_string(MAX_PATH - 2 - fileName.size()) + " characters");
        return false;
    }
    report.Ok(kSection, Key(directoryValue), shown + ": exists" + (fileName.empty() ? "" : ", file " + path));
    return true;
}

void CheckDirectorySwitch(HKEY key, const DirectorySwitch& entry, Report& report) {
    SettingValueBuffer value;
    const LONG rc = _ReadSettingValue(key, entry.name, value);
    const std::string shown = Shown(key, entry.name);
    if (rc == ERROR_SUCCESS && SlipsOn(value)) {
        report.Warn(kSection, Key(entry.name), shown + ": not exactly \"ein\", the " + entry.meaning + " stays off",
                    "remove the blanks to switch it on");
    } else if (rc != ERROR_SUCCESS || !_SwitchIsOn(value)) {
        report.Ok(kSection, Key(entry.name), shown + ": the " + std::string(entry.meaning) + " is off");
    } else {
        report.Ok(kSection, Key(entry.name), shown + ": the " + std::string(entry.meaning) + " is on");
        CheckDirectory(key, entry.directoryValue, entry.fileName,
                       "the " + std::string(entry.meaning) + " switches itself off", report);
    }
}

bool CheckLocbaseActive(HKEY key, Report& report) {
    SettingValueBuffer value;
    const LONG rc = _ReadSettingValue(key, kLocbaseActiveValue, value);
    const std::string shown = Shown(key, kLocbaseActiveValue);
    const std::string findingKey = Key(kLocbaseActiveValue);
    if (rc == ERROR_FILE_NOT_FOUND) {
        report.Warn(kSection, findingKey, shown + ": missing means off, the configuration service is never asked",
                    "set LocbaseActive to \"ein\" when the configuration service should name the directories");
        return false;
    }
    if (rc != ERROR_SUCCESS) {
        report.Warn(kSection, findingKey, shown + ": unreadable (error " + std::to_string(rc) + "), the service is not asked",
                    "write LocbaseActive as a short REG_SZ, \"ein\" or \"aus\"");
        return false;
    }
    const bool allowed = _LocbaseAllowed(value);
    if (SlipsOff(value)) {
        report.Warn(kSection, findingKey, shown + ": not exactly \"aus\", so the configuration service is asked",
                    "remove the blanks to switch the service off");
    } else {
        report.Ok(kSection, findingKey, shown + (allowed ? ": the configuration service is asked first" : ": the service is off"));
    }
    return allowed;
}

}  // namespace

void CheckSwitches(Installation& installation, Report& report) {
    LONG status = ERROR_SUCCESS;
    const tesk::UniqueHkey key = OpenKey32(HKEY_LOCAL_MACHINE, kSettingsKeyPath, status);
    installation.locbaseActive = false;
    if (!key) {
        report.Warn(kSection, "switches.key",
                    std::string("HKLM\\") + kSettingsKeyPath + " cannot be opened (error " + std::to_string(status) +
                        "): every switch is off, the configuration service is never asked",
                    KeyAdvice(status, "create the key in the 32-bit view (reg add ... /reg:32) when a switch is wanted"));
        return;
    }
    const DirectorySwitch internTrace{kInternTraceValue, kInternTraceDirectoryValue, kInternTraceFileName, "internal log"};
    const DirectorySwitch pathDump{kTracingDirsValue, kTracingDirsDirectoryValue,
                                   std::string(kDumpComponent) + "_TracingDirs.log", "one-time path dump"};
    const DirectorySwitch libDirs{kLibDirsValue, kLibDirsDirectoryValue, kLibDirsFileName, "component-path log"};
    CheckDirectorySwitch(key.get(), internTrace, report);
    installation.locbaseActive = CheckLocbaseActive(key.get(), report);
    CheckDirectorySwitch(key.get(), pathDump, report);
    CheckDirectorySwitch(key.get(), libDirs, report);

    SettingValueBuffer ignored;
    if (_ReadSettingValue(key.get(), kAltLogDirValue, ignored) == ERROR_FILE_NOT_FOUND) {
        report.Ok(kSection, Key(kAltLogDirValue), std::string(kAltLogDirValue) + " = missing: no alternative log directory");
    } else {
        CheckDirectory(key.get(), kAltLogDirValue, "", "no alternative log directory", report);
    }
}

}  // namespace doctor
