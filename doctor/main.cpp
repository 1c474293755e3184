// TeskDoctor: tells an administrator, without changing anything, why the co-installer's trace
// stays empty or its filter device stays. Exit code 0: works as configured, 1: a problem stops
// tracing or removal, 2: bad usage.
#include "doctor/arguments.h"
#include "doctor/installation.h"
#include "doctor/sections.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    doctor::Options options;
    std::string error;
    doctor::Installation installation;
    if (!doctor::ParseArguments(argc, argv, options, error) ||
        !doctor::LocateInstallation(options, installation, error)) {
        std::fprintf(stderr, "TeskDoctor: %s\n", error.c_str());
        return 2;
    }
    doctor::Report report;
    doctor::CheckModule(installation, report);
    doctor::CheckSwitches(installation, report);
    doctor::CheckTraceConfiguration(report);
    doctor::CheckService(installation, report);
    doctor::PrepareLibrary(installation, report);
    doctor::CheckLibrarySearch(installation, report);
    doctor::CheckDirectories(report);

    const std::string text = options.json ? doctor::RenderJson(report) : doctor::RenderText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return report.ExitCode();
}
