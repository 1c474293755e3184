#include "test_support/process.h"

#include "platform/unique_resource.h"

#include <gtest/gtest.h>

namespace test_support {

namespace {

bool Create(const std::string& exe, const std::string& arguments, STARTUPINFOA& startup, PROCESS_INFORMATION& process) {
    // Under heavy load Wine now and then fails to start a process with ERROR_INTERNAL_ERROR, a fault
    // of the test platform rather than of the program started; a few tries ride it out.
    for (int attempt = 1;; ++attempt) {
        std::string commandLine = "\"" + exe + "\" " + arguments;
        if (::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                             &process)) {
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 3) {
            ADD_FAILURE() << "CreateProcess " << exe << " failed: " << error;
            return false;
        }
        ::Sleep(500);
    }
}

}  // namespace

ProcessResult RunProcess(const std::string& exe, const std::string& arguments) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (!::CreatePipe(&readRaw, &writeRaw, &inheritable, 0)) {
        ADD_FAILURE() << "CreatePipe failed: " << ::GetLastError();
        return result;
    }
    tesk::UniqueHandle readEnd(readRaw);
    tesk::UniqueHandle writeEnd(writeRaw);
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!Create(exe, arguments, startup, process)) return result;
    tesk::UniqueHandle processHandle(process.hProcess);
    tesk::UniqueHandle threadHandle(process.hThread);
    writeEnd.reset();

    // The end of the pipe cannot tell when the child is done: a process it starts in passing
    // (Wine's desktop, on the first COM or window use) may inherit the write end and keep it open.
    // So the child's exit ends the reading, after what it wrote has been drained.
    char chunk[4096];
    for (;;) {
        const bool exited = ::WaitForSingleObject(processHandle.get(), 20) == WAIT_OBJECT_0;
        DWORD available = 0;
        while (::PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            DWORD got = 0;
            if (!::ReadFile(readEnd.get(), chunk, sizeof chunk, &got, nullptr) || got == 0) break;
            result.output.append(chunk, got);
        }
        if (exited) break;
    }
    ::GetExitCodeProcess(processHandle.get(), &result.exitCode);
    return result;
}

HANDLE StartProcess(const std::string& exe, const std::string& arguments) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!Create(exe, arguments, startup, process)) return nullptr;
    ::CloseHandle(process.hThread);
    return process.hProcess;
}

std::string SystemProgram(const std::string& name) {
    char system[MAX_PATH + 1] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system) + "\\" + name;
}

}  // namespace test_support
