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

bool SystemDirectoryFor(bool is64, std::string& directory) {
    constexpr bool selfIs64 = sizeof(void*) == 8;
    char buffer[MAX_PATH] = {};
    std::string below;
    UINT length = 0;
    if (is64 == selfIs64) {
        length = ::GetSystemDirectoryA(buffer, MAX_PATH);
    } else if (!is64) {
        length = ::GetSystemWow64DirectoryA(buffer, MAX_PATH);
    } else {
        // A 32-bit process under WoW64 sees SysWOW64 as System32, the real System32 only as Sysnative.
        BOOL wow64 = FALSE;
        if (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64) {
            length = ::GetSystemWindowsDirectoryA(buffer, MAX_PATH);
        }
        below = "Sysnative\\";
    }
    if (length == 0 || length >= MAX_PATH) return false;
    directory = _AddBackslash(std::string(buffer, length)) + below;
    return true;
}

bool LocateInstallation(const Options& options, Installation& installation, std::string& error) {
    installation.moduleIs64 = options.arch == Arch::X64;
    // The 64-bit view needs the 64-bit registry and trace library search, which a 32-bit doctor lacks.
    if ((installation.moduleIs64 && sizeof(void*) == 4) ||
        !SystemDirectoryFor(installation.moduleIs64, installation.systemDir)) {
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
