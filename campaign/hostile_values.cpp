#include "campaign/hostile_values.h"

#include "platform/unique_resource.h"

namespace hostile {
namespace {

constexpr REGSAM kWrite32 = KEY_ALL_ACCESS | KEY_WOW64_32KEY;
constexpr size_t kMaxValueBytes = 1000;

RegistryValue Text(DWORD type, const std::string& text, bool terminated) {
    RegistryValue value{type, std::vector<BYTE>(text.begin(), text.end())};
    if (terminated) value.data.push_back(0);
    return value;
}

}  // namespace

std::string Generator::AnyPath() {
    switch (Below(9)) {
        case 0: return scratch_;                                       // exists
        case 1: return scratch_ + "missing\\deeper\\";                // can be created
        case 2: return scratch_ + "file\\";                           // a file where a directory should be
        case 3: return scratch_ + "file\\below\\";                    // below a file: cannot be created
        case 4: return "Q:\\no such drive\\";                         // cannot be created
        case 5: return scratch_ + std::string(200 + Below(800), 'd') + "\\";  // beyond MAX_PATH
        case 6: return scratch_ + "Gr\xfc\xdf" "e\xe4\xf6\\";         // ANSI characters beyond ASCII
        case 7: return std::string(Below(3), '\\');                   // empty or only separators
        default: return scratch_ + "a\x01\x7f|<>*?\\";                // characters no path may hold
    }
}

RegistryValue Generator::AnyValue() {
    constexpr DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE};
    const DWORD type = kTypes[Below(std::size(kTypes))];
    const uint32_t kind = Below(4);
    if (kind == 0) {
        constexpr const char* kWords[] = {"ein", "EIN", "aus", "Ein ", "", "1", "on"};
        return Text(type, kWords[Below(std::size(kWords))], Chance(80));
    }
    if (kind == 1) return Text(type, AnyPath(), Chance(80));
    RegistryValue value{type, std::vector<BYTE>(Below(kMaxValueBytes + 1))};
    for (BYTE& b : value.data) b = static_cast<BYTE>(kind == 2 ? 0x20 + Below(0xE0) : Below(256));
    return value;
}

std::wstring Generator::AnyWideText(size_t maxLength) {
    const size_t length = Chance(20) ? maxLength - Below(10) : Below(300);
    std::wstring text;
    text.reserve(length);
    const bool foreign = Chance(30);
    for (size_t i = 0; i < length; ++i) {
        if (foreign && Chance(5)) {
            constexpr wchar_t kForeign[] = {0x20AC, 0x4E2D, 0x0416, 0xD83D, 0xDE00, 0x00FC};
            text.push_back(kForeign[Below(std::size(kForeign))]);
        } else {
            text.push_back(static_cast<wchar_t>(i % 40 == 39 ? L'\\' : L'a' + Below(26)));
        }
    }
    return text;
}

bool StoreValue(const std::string& keyPath, const std::string& name, const RegistryValue& value) {
    tesk::UniqueHkey key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, kWrite32, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    return ::RegSetValueExA(key.get(), name.c_str(), 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                            static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
}

bool StoreWideString(const std::string& keyPath, const std::string& name, const std::wstring& text, bool none) {
    tesk::UniqueHkey key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, kWrite32, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const std::wstring wideName(name.begin(), name.end());
    return ::RegSetValueExW(key.get(), wideName.c_str(), 0, none ? REG_NONE : REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool StoreDword(const std::string& keyPath, const std::string& name, DWORD value) {
    return StoreValue(keyPath, name, RegistryValue{REG_DWORD, std::vector<BYTE>(reinterpret_cast<BYTE*>(&value),
                                                                                reinterpret_cast<BYTE*>(&value) + 4)});
}

}  // namespace hostile
