// Section 1: the co-installer that SetupAPI would load, the copies in the system directory of each
// architecture, and whether the reader class names it.
#include "doctor/pe_image.h"
#include "doctor/registry_values.h"
#include "doctor/sections.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace doctor {

namespace {

constexpr int kSection = 1;
constexpr char kReaderClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{50DD5230-BA8A-11D1-BF5D-0000F805F530}";
constexpr char kEntryPoint[] = "CoDeviceInstall";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// An entry "TeskCoInstaller.dll,CoDeviceInstall" of a co-installer list, compared as SetupAPI does:
// file name without case, blanks around the parts ignored.
bool NamesModule(const std::string& entry) {
    const std::string lower = Lower(entry);
    const size_t comma = lower.find(',');
    const std::string file = lower.substr(0, comma);
    const size_t first = file.find_first_not_of(' ');
    return first != std::string::npos &&
           file.substr(first, file.find_last_not_of(' ') - first + 1) == Lower(kModuleFileName);
}

// The class key and its device subkeys (the INF adds the list to the device's own key).
std::vector<std::string> KeysNamingModule() {
    std::vector<std::string> found;
    LONG status = ERROR_SUCCESS;
    const tesk::UniqueHkey classKey = OpenKey32(HKEY_LOCAL_MACHINE, kReaderClassKey, status);
    if (!classKey) return found;
    std::vector<std::string> subKeys{""};
    char name[256];
    for (DWORD index = 0; index < 10000; ++index) {
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(classKey.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        subKeys.emplace_back(name, length);
    }
    for (const std::string& subKey : subKeys) {
        const std::string path = subKey.empty() ? kReaderClassKey : std::string(kReaderClassKey) + "\\" + subKey;
        const tesk::UniqueHkey key = OpenKey32(HKEY_LOCAL_MACHINE, path.c_str(), status);
        if (!key) continue;
        const std::vector<std::string> entries = ValueStrings(ReadRawValue(key.get(), "CoInstallers32"));
        if (std::any_of(entries.begin(), entries.end(), NamesModule)) found.push_back("HKLM\\" + path);
    }
    return found;
}

std::string Described(const std::string& path, const PeImage& image) {
    const std::string version = FileVersion(path);
    return path + ", " + Bitness(image.is64) + ", version " + (version.empty() ? "none" : version);
}

// The copy in an architecture's system directory: absent is fine; one of the wrong bitness for its
// directory was copied to the wrong place and is never loaded.
void CheckInstalledCopy(bool is64, const char* key, const std::string& skipPath, Report& report) {
    std::string directory;
    if (!SystemDirectoryFor(is64, directory)) {
        report.Ok(kSection, key, std::string("this Windows has no ") + Bitness(is64) + " system directory");
        return;
    }
    const std::string path = directory + kModuleFileName;
    if (Lower(path) == Lower(skipPath)) return;
    const std::optional<PeImage> image = ReadPeImage(path);
    if (image && image->is64 == is64) {
        report.Ok(kSection, key, Described(path, *image));
    } else if (image) {
        report.Warn(kSection, key, Described(path, *image) + ": the wrong bitness for its directory, never loaded",
                    std::string("replace it with the ") + Bitness(is64) + " TeskCoInstaller.dll");
    } else if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        report.Warn(kSection, key, path + " is no DLL",
                    std::string("replace it with the ") + Bitness(is64) + " TeskCoInstaller.dll");
    } else {
        report.Ok(kSection, key, path + ": not installed");
    }
}

// The module under diagnosis, which must be there, of the view's bitness, with the entry point.
void CheckDiagnosedModule(const Installation& installation, Report& report) {
    const std::string& path = installation.modulePath;
    const char* wanted = Bitness(installation.moduleIs64);
    const std::optional<PeImage> image = ReadPeImage(path);
    if (!image) {
        report.Problem(kSection, "module.file", path + " is missing or no DLL: no request is handled, no filter removed",
                       std::string("copy the ") + wanted + " TeskCoInstaller.dll to " + installation.moduleDir);
        return;
    }
    const std::string described = Described(path, *image);
    if (image->is64 != installation.moduleIs64) {
        report.Problem(kSection, "module.file", described + ": not the " + wanted + " module this view needs",
                       std::string("copy the ") + wanted + " TeskCoInstaller.dll there");
    } else if (std::find(image->exports.begin(), image->exports.end(), kEntryPoint) == image->exports.end()) {
        report.Problem(kSection, "module.file", described + ": does not export CoDeviceInstall",
                       "replace it with the shipped TeskCoInstaller.dll");
    } else {
        report.Ok(kSection, "module.file", described);
    }
}

}  // namespace

void CheckModule(const Installation& installation, Report& report) {
    CheckDiagnosedModule(installation, report);
    if (installation.moduleGiven) {
        CheckInstalledCopy(installation.moduleIs64, "module.installed", installation.modulePath, report);
    }
    CheckInstalledCopy(!installation.moduleIs64, "module.other", std::string(), report);

    const std::vector<std::string> keys = KeysNamingModule();
    if (keys.empty()) {
        report.Warn(kSection, "module.coinstallers",
                    "no CoInstallers32 list of the smart-card reader class names TeskCoInstaller.dll: SetupAPI does "
                    "not call the module",
                    "install the reader with an INF that carries the co-installer section of dist\\TeskCoInstaller.inf");
        return;
    }
    for (const std::string& key : keys) report.Ok(kSection, "module.coinstallers", "CoInstallers32 of " + key + " names it");
}

}  // namespace doctor
