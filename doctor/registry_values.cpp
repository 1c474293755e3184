#include "doctor/registry_values.h"

#include "dirlib/settings.h"

#include <cstring>

namespace doctor {

namespace {

// Longer texts are cut in the report; their length is said instead.
constexpr size_t kShownCharacters = 80;

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        case REG_DWORD: return "REG_DWORD";
        case REG_QWORD: return "REG_QWORD";
        case REG_BINARY: return "REG_BINARY";
        case REG_NONE: return "REG_NONE";
        default: return nullptr;
    }
}

std::string Shown(const std::string& text) {
    std::string shown;
    for (const char c : text.substr(0, kShownCharacters)) {
        shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
    if (text.size() > kShownCharacters) shown += "... (" + std::to_string(text.size()) + " characters)";
    return "\"" + shown + "\"";
}

}  // namespace

RawValue ReadRawValue(HKEY key, const char* name) {
    RawValue value;
    // The value may change between asking its size and reading it: ask again while it grows.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        value.status = ::RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size);
        if (value.status != ERROR_SUCCESS) return value;
        value.data.assign(size + 2, 0);
        value.status = ::RegQueryValueExA(key, name, nullptr, &value.type, value.data.data(), &size);
        if (value.status == ERROR_SUCCESS) {
            value.data.resize(size);
            return value;
        }
        if (value.status != ERROR_MORE_DATA) return value;
    }
    return value;
}

std::string DescribeValue(const RawValue& value) {
    if (value.status == ERROR_FILE_NOT_FOUND) return "missing";
    if (value.status != ERROR_SUCCESS) return "unreadable (error " + std::to_string(value.status) + ")";
    const char* type = TypeName(value.type);
    const std::string typeText = type ? type : "type " + std::to_string(value.type);
    if ((value.type == REG_DWORD) && value.data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, value.data.data(), sizeof number);
        return typeText + " " + std::to_string(number);
    }
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ) {
        const char* text = reinterpret_cast<const char*>(value.data.data());
        return typeText + " " + Shown(std::string(text, strnlen(text, value.data.size())));
    }
    return typeText + " of " + std::to_string(value.data.size()) + " bytes";
}

std::vector<std::string> ValueStrings(const RawValue& value) {
    std::vector<std::string> strings;
    if (value.status != ERROR_SUCCESS || (value.type != REG_MULTI_SZ && value.type != REG_SZ)) return strings;
    const char* data = reinterpret_cast<const char*>(value.data.data());
    size_t offset = 0;
    while (offset < value.data.size()) {
        const size_t length = strnlen(data + offset, value.data.size() - offset);
        if (length == 0) break;
        strings.emplace_back(data + offset, length);
        offset += length + 1;
        if (value.type == REG_SZ) break;
    }
    return strings;
}

tesk::UniqueHkey OpenKey32(HKEY root, const char* path, LONG& status) {
    tesk::UniqueHkey key;
    status = ::RegOpenKeyExA(root, path, 0, kReadAccess32, key.put());
    return key;
}

std::string KeyAdvice(LONG status, const std::string& whenMissing) {
    if (status != ERROR_ACCESS_DENIED) return whenMissing;
    // Device installations run as SYSTEM; the doctor usually as an administrator.
    return "let SYSTEM and Administrators read the key (regedit, Permissions), then run the doctor again";
}

}  // namespace doctor
