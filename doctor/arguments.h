// The doctor's command line.
#pragma once

#include <string>

namespace doctor {

enum class Arch { X86, X64 };

struct Options {
    // Empty: the installed module of the architecture, or the device-installation host.
    std::string module;
    std::string host;
    bool json = false;
    Arch arch = sizeof(void*) == 8 ? Arch::X64 : Arch::X86;
};

// False with one line in `error` on bad usage.
bool ParseArguments(int argc, char** argv, Options& options, std::string& error);

inline constexpr char kUsage[] = "usage: TeskDoctor [--module PATH] [--host PATH] [--json] [--arch x86|x64]";

}  // namespace doctor
