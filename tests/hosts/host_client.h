// Running the scenario host from a test and reading what it printed.
#pragma once

#include "test_support/files.h"
#include "test_support/process.h"

#include <gtest/gtest.h>

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

// `scenario` as the host's arguments; `exe` another name of the host in its directory.
inline Run Start(const std::string& scenario, const std::string& exe = "scenario_host.exe") {
    Run run;
    const test_support::ProcessResult process = test_support::RunProcess(Directory() + exe, scenario);
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
