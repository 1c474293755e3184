#include "tracehub/registry_settings.h"

#include "platform/unique_resource.h"

#include <windows.h>

#include <algorithm>

#include <string>
#include <vector>

namespace kvtrace {

namespace {

// A registry string may lack its terminator or carry several; it ends at the first NUL.
std::string RegistryText(const std::vector<BYTE>& data, DWORD size) {
    const char* text = reinterpret_cast<const char*>(data.data());
    return std::string(text, strnlen(text, size));
}

std::string Expanded(const std::string& text) {
    const DWORD needed = ::ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::string result(needed, '\0');
    const DWORD written = ::ExpandEnvironmentStringsA(text.c_str(), &result[0], needed);
    if (written == 0 || written > needed) return text;
    result.resize(written - 1);
    return result;
}

bool ToSettingValue(const std::string& name, DWORD type, const std::vector<BYTE>& data, DWORD size,
                    SettingValue& value, const NoteSink& note) {
    switch (type) {
        case REG_DWORD:
            if (size != sizeof(DWORD)) {
                note("registry value \"" + name + "\" ignored: a REG_DWORD of " + std::to_string(size) + " bytes");
                return false;
            }
            value.number = static_cast<int32_t>(*reinterpret_cast<const DWORD*>(data.data()));
            return true;
        case REG_SZ:
            value.text = RegistryText(data, size);
            return true;
        case REG_EXPAND_SZ:
            value.text = Expanded(RegistryText(data, size));
            return true;
        default:
            note("registry value \"" + name + "\" ignored: unsupported type " + std::to_string(type));
            return false;
    }
}

}  // namespace

bool ReadRegistrySettings(TraceSettings& settings, const NoteSink& note) {
    settings = TraceSettings{};
    tesk::UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_READ | KEY_WOW64_32KEY, key.put()) != ERROR_SUCCESS) {
        return true;
    }
    DWORD maxNameLength = 0;
    DWORD maxDataSize = 0;
    if (::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxNameLength,
                           &maxDataSize, nullptr, nullptr) != ERROR_SUCCESS) {
        note("cannot query the registry key of the configuration");
        return false;
    }
    std::vector<char> nameBuffer(maxNameLength + 1);
    // One spare NUL, so that a string without terminator still ends inside the buffer.
    std::vector<BYTE> data(maxDataSize + 1);
    bool allGood = true;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(nameBuffer.size());
        DWORD size = maxDataSize;
        DWORD type = 0;
        std::fill(data.begin(), data.end(), 0);
        const LONG status =
            ::RegEnumValueA(key.get(), index, nameBuffer.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            note("registry value number " + std::to_string(index) + " unreadable, error " +
                      std::to_string(status));
            allGood = false;
            continue;
        }
        const std::string name(nameBuffer.data(), nameLength);
        SettingValue value;
        std::string problem;
        if (!ToSettingValue(name, type, data, size, value, note)) {
            allGood = false;
        } else if (!ApplySetting(settings, name, value, problem)) {
            note("registry value " + problem);
            allGood = false;
        }
    }
    return allGood;
}

}  // namespace kvtrace
