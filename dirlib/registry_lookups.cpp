#include "dirlib/registry_lookups.h"

#include "dirlib/path_helpers.h"
#include "dirlib/settings.h"
#include "platform/unique_resource.h"

#include <windows.h>

#include <cstdlib>

namespace {

constexpr char kComponentsKeyPath[] = "SOFTWARE\\KorvanCo\\Components\\";
constexpr char kTraceComponent[] = "X0000302";
constexpr const char* kKnownComponents[] = {"X0000301", "X0000302", "X0000303", "X0000304", "X0000305", "X0000306"};

// Key paths are limited to what a MAX_PATH buffer holds; a longer one is not looked up at all.
constexpr size_t kMaxKeyPathLength = MAX_PATH - 1;

std::string VersionedKey(const std::string& component, const char* subKey) {
    const std::string versionsKey = kComponentsKeyPath + component + "\\Versions";
    return versionsKey + _GetHighestVersionKey(versionsKey) + subKey;
}

}  // namespace

std::string _ReadRegistryString(const std::string& keyPath, const std::string& valueName) {
    if (keyPath.size() > kMaxKeyPathLength) return std::string();
    tesk::UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, kReadAccess32, key.put()) != ERROR_SUCCESS) {
        return std::string();
    }
    // Declared one byte short of the buffer, so the text is terminated whatever type the value has.
    char value[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (::RegQueryValueExA(key.get(), valueName.empty() ? nullptr : valueName.c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
        return std::string();
    }
    return std::string(value);
}

std::string _GetHighestVersionKey(const std::string& versionsKeyPath) {
    std::string result = "\\1.0";
    double best = 1.0;
    if (versionsKeyPath.size() > kMaxKeyPathLength) return result;
    tesk::UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, versionsKeyPath.c_str(), 0, kReadAccess32, key.put()) != ERROR_SUCCESS) {
        return result;
    }
    DWORD subKeys = 0;
    if (::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS) {
        return result;
    }
    for (DWORD index = 0; index < subKeys; ++index) {
        char name[MAX_PATH + 1] = {};
        DWORD nameSize = sizeof name;
        if (::RegEnumKeyExA(key.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            continue;
        }
        // Only the leading number counts; ties keep the first name enumerated.
        const double number = std::atof(name);
        if (number > 0.0 && number > best) {
            result = std::string("\\") + name;
            best = number;
        }
    }
    return result;
}

std::string _GetProgDirFromRegistry(const std::string& component) {
    if (component == kTraceComponent) {
        std::string text = _ReadRegistryString(kSettingsKeyPath, "ProgKey");
        if (_PathExists(text)) text = _AddBackslash(text);
        return text;
    }
    const std::string protectedKey = VersionedKey(component, "\\ProtectedDirectories");
    std::string text = _ReadRegistryString(protectedKey, "FixedProgDir");
    if (!_PathExists(text)) return text;
    text = _AddBackslash(text) + _ReadRegistryString(protectedKey, "ProgDir");
    if (_PathExists(text)) text = _AddBackslash(text);
    return text;
}

std::string _GetKonfigDirFromRegistry(const std::string& component) {
    if (component == kTraceComponent) return std::string();
    return _AddBackslash(_ReadRegistryString(VersionedKey(component, "\\ConfigDir"), ""));
}

std::string _GetLogDirFromRegistry(const std::string& component) {
    if (component == kTraceComponent) return std::string();
    return _AddBackslash(_ReadRegistryString(VersionedKey(component, "\\LogDir"), ""));
}

std::string _GetAvailableDataDirFromRegistry(const std::string& component, const std::string& dataDirName) {
    if (component == kTraceComponent) return std::string();
    const std::string keyPath = kComponentsKeyPath + component + "\\AvailableDataDirectories\\" + dataDirName + "\\Dir1";
    return _AddBackslash(_ReadRegistryString(keyPath, ""));
}

std::string _GetSystemDirFromRegistry() {
    return _AddBackslash(_ReadRegistryString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir"));
}

std::string _BuildDefaultSubPath(const std::string& component, const std::string& kind) {
    std::string name = component;
    if (kind == "Konfig" && component == kTraceComponent) {
        name = "MirelCompact";
    } else if (kind == "Log") {
        for (const char* known : kKnownComponents) {
            if (component == known) name = "Mirel";
        }
    }
    return "Korvan\\" + kind + "\\" + name + "\\";
}
