// What a DLL file is, read from its bytes without loading it: no DllMain runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace doctor {

struct PeImage {
    bool is64 = false;
    std::vector<std::string> exports;
};

// Nothing when the file cannot be read or is no PE image of x86 or x64.
std::optional<PeImage> ReadPeImage(const std::string& path);

// "1.2.3.4" from the version resource, or empty when the file has none.
std::string FileVersion(const std::string& path);

inline const char* Bitness(bool is64) { return is64 ? "64-bit" : "32-bit"; }

}  // namespace doctor
