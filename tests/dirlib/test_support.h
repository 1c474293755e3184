// Helpers shared by the directory-library tests: scratch directories, the vendor's registry keys
// in the 32-bit view, the scenario host and reading the library's log files.
#pragma once

#include <windows.h>

#include "platform/unique_resource.h"

#include <string>
#include <vector>

namespace dirlib_test {

inline constexpr char kSettingsKey[] = "SOFTWARE\\Korvan Mirel Compact";
inline constexpr char kVendorKey[] = "SOFTWARE\\KorvanCo";

// A fresh directory below the temporary folder, removed with its content at the end.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory with a trailing backslash.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void RemoveTree(const std::string& path);
bool IsDirectory(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
std::string ReadFileBytes(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text);

// Owns the vendor's keys for the duration of a test: both trees are removed before and after.
class VendorRegistry {
public:
    VendorRegistry();
    ~VendorRegistry();
    VendorRegistry(const VendorRegistry&) = delete;
    VendorRegistry& operator=(const VendorRegistry&) = delete;

    void CreateKey(const std::string& keyPath);
    void SetValue(const std::string& keyPath, const std::string& name, DWORD type, const void* data, DWORD size);
    // A REG_SZ with its terminator.
    void SetString(const std::string& keyPath, const std::string& name, const std::string& text);
    void SetSetting(const std::string& name, const std::string& text) { SetString(kSettingsKey, name, text); }

private:
    static void RemoveAll();
};

struct HostResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs the scenario host (or a copy of it under another name in the same directory) with the
// arguments and collects its standard output.
HostResult RunHost(const std::string& arguments, const std::string& exeName = "dirlib_host.exe");
// Runs any program with the arguments and collects its standard output and error.
HostResult RunProcess(const std::string& exe, const std::string& arguments);

// Where the host and its probe DLL lie.
std::string HostDirectory();

}  // namespace dirlib_test
