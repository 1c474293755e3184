// The installation under diagnosis: which module, which host, which system directory, and what
// the earlier sections learnt that later ones need.
#pragma once

#include "doctor/arguments.h"

#include <string>

namespace doctor {

inline constexpr char kModuleFileName[] = "TeskCoInstaller.dll";
// The program that runs device installations, whose directory is the second search candidate.
inline constexpr char kDefaultHostFileName[] = "drvinst.exe";

struct Installation {
    bool moduleIs64 = false;
    bool moduleGiven = false;
    // Directories end in a backslash.
    std::string systemDir;
    std::string modulePath;
    std::string moduleDir;
    std::string hostPath;
    std::string hostDir;
    // Filled by the switches section: whether the library will ask the configuration service.
    bool locbaseActive = false;
    // Filled by the service section: whether the doctor asked the service for its answers.
    bool serviceAsked = false;
};

// The path made full against the current directory; as given when it cannot be.
std::string FullPath(const std::string& path);
// The directory part with its trailing separator; empty for a bare name.
std::string DirectoryOf(const std::string& path);

// The system directory that holds the given architecture's binaries as this process reaches it
// (ending in a backslash); false when this Windows has none for that architecture.
bool SystemDirectoryFor(bool is64, std::string& directory);

// False with one line in `error` when this build cannot see the other architecture's files.
bool LocateInstallation(const Options& options, Installation& installation, std::string& error);

}  // namespace doctor
