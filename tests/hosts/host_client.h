// Running the scenario host from a test and reading what it printed.
#pragma once

#include "test_support/files.h"
#include "test_support/process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace host {

inline std::string Directory() {
    char full[MAX_PATH + 1] = {};
    ::GetFullPathNameA((test_support::ProgramDirectory() + "..\\hosts\\").c_str(), MAX_PATH, full, nullptr);
    return full;
}

// The text after "<tag> " of the first line that starts with it.
inline std::string Tagged(const std::string& output, const std::string& tag) {
    const std::vector<std::string> lines = test_support::LinesStartingWith(output, {tag + " "});
    return lines.empty() ? "<no " + tag + ">" : lines[0].substr(tag.size() + 1);
}

struct Run {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
    std::vector<std::string> messages;  // "I "/"E " lines; for a call only those after Init
    std::string result;                 // a call's result without its angle brackets
};

// `scenario` as the host's arguments. With a Wine version name ("win2003", "win10") the host runs
// as a copy of this process's own, to which Wine reports that version through its AppDefaults.
inline Run Start(const std::string& scenario, const std::string& windowsVersion = "") {
    Run run;
    std::string exe = Directory() + "scenario_host.exe";
    // Named after the test program: the hosts directory is shared by test programs that run at
    // once in prefixes of their own, where process ids repeat.
    char self[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string copy = "scenario_host_" + std::string(std::strrchr(self, '\\') + 1);
    const std::string appDefaults = "Software\\Wine\\AppDefaults\\" + copy;
    if (!windowsVersion.empty()) {
        EXPECT_TRUE(::CopyFileA(exe.c_str(), (Directory() + copy).c_str(), FALSE));
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeyValueA(HKEY_CURRENT_USER, appDefaults.c_str(), "Version", REG_SZ, windowsVersion.c_str(),
                                                   static_cast<DWORD>(windowsVersion.size() + 1)));
        exe = Directory() + copy;
    }
    const test_support::ProcessResult process = test_support::RunProcess(exe, scenario);
    if (!windowsVersion.empty()) ::DeleteFileA(exe.c_str());
    run.exitCode = process.exitCode;
    run.output = process.output;
    const size_t call = run.output.find("--- call\n");
    const std::string own = call == std::string::npos ? run.output : run.output.substr(call);
    run.messages = test_support::LinesStartingWith(own, {"I ", "E "});
    const std::string result = Tagged(own, "RESULT");
    if (result.size() >= 2 && result[0] == '<') run.result = result.substr(1, result.size() - 2);
    EXPECT_EQ(0u, run.exitCode) << scenario << "\n" << run.output.substr(0, 4000);
    return run;
}

}  // namespace host
