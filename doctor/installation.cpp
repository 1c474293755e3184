#include "doctor/installation.h"

#include "dirlib/path_helpers.h"

#include <windows.h>

namespace doctor {

std::string FullPath(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length == 0 || length >= MAX_PATH ? path : std::string(full, length);
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

// The system directory that holds the given architecture's binaries as seen from this process:
// System32 for our own, SysWOW64 for 32-bit ones seen from a 64-bit process.
bool SystemDirectoryFor(bool is64, std::string& directory) {
    char buffer[MAX_PATH] = {};
    constexpr bool selfIs64 = sizeof(void*) == 8;
    if (is64 && !selfIs64) return false;
    const UINT length = is64 == selfIs64 ? ::GetSystemDirectoryA(buffer, MAX_PATH)
                                         : ::GetSystemWow64DirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    directory = _AddBackslash(std::string(buffer, length));
    return true;
}

}  // namespace

bool LocateInstallation(const Options& options, Installation& installation, std::string& error) {
    installation.moduleIs64 = options.arch == Arch::X64;
    if (!SystemDirectoryFor(installation.moduleIs64, installation.systemDir)) {
        error = installation.moduleIs64 ? "a 32-bit doctor cannot diagnose the 64-bit view: run the x64 TeskDoctor.exe"
                                        : "this Windows has no 32-bit system directory: there is no x86 view to diagnose";
        return false;
    }
    installation.moduleGiven = !options.module.empty();
    installation.modulePath =
        installation.moduleGiven ? FullPath(options.module) : installation.systemDir + kModuleFileName;
    installation.moduleDir = DirectoryOf(installation.modulePath);
    installation.hostPath =
        options.host.empty() ? installation.systemDir + kDefaultHostFileName : FullPath(options.host);
    installation.hostDir = DirectoryOf(installation.hostPath);
    return true;
}

}  // namespace doctor
