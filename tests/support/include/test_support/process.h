// Child processes of a test: run a program, collect what it prints, wait for its exit.
#pragma once

#include <windows.h>

#include <string>

namespace test_support {

struct ProcessResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // standard output and standard error together
};

// Runs `exe` with `arguments` and returns when it has exited. Inheritable handles of the test
// (an event, a mutex) are inherited.
ProcessResult RunProcess(const std::string& exe, const std::string& arguments);

// Starts `exe` without waiting; the caller owns the returned process handle (null on failure).
HANDLE StartProcess(const std::string& exe, const std::string& arguments);

// A program of the system directory of this process's architecture (regsvr32.exe, reg.exe).
std::string SystemProgram(const std::string& name);

}  // namespace test_support
