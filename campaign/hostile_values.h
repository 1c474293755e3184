// Random registry values and paths for the hostile-environment campaign: every type, lengths
// from 0 to 1,000 bytes, switch words, paths that exist, do not, cannot, are files, are longer
// than any buffer, or hold characters the ANSI code page cannot.
#pragma once

#include <windows.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace hostile {

struct RegistryValue {
    DWORD type;
    std::vector<BYTE> data;  // exactly the bytes stored, terminated or not
};

class Generator {
public:
    // `scratch` is a directory (with trailing backslash) that exists and holds a file "file".
    Generator(uint64_t seed, std::string scratch) : random_(seed), scratch_(std::move(scratch)) {}

    // A value of any type and length; strings among them are switch words or paths.
    RegistryValue AnyValue();
    // A narrow path of one of the hostile kinds.
    std::string AnyPath();
    // A wide text up to `maxLength` characters, some outside every ANSI code page.
    std::wstring AnyWideText(size_t maxLength);

    uint32_t Below(uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random_); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }

private:
    std::mt19937_64 random_;
    std::string scratch_;
};

// Stores the value under HKEY_LOCAL_MACHINE\keyPath in the 32-bit view, creating the key.
bool StoreValue(const std::string& keyPath, const std::string& name, const RegistryValue& value);
// Stores a wide REG_SZ (or REG_NONE when `none`), creating the key.
bool StoreWideString(const std::string& keyPath, const std::string& name, const std::wstring& text, bool none);
bool StoreDword(const std::string& keyPath, const std::string& name, DWORD value);

}  // namespace hostile
