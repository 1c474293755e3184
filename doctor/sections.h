// The report's sections, each adding its findings in the order the module would act.
#pragma once

#include "doctor/findings.h"
#include "doctor/installation.h"

namespace doctor {

void CheckModule(const Installation& installation, Report& report);
// Also notes in the installation whether the library will ask the configuration service.
void CheckSwitches(Installation& installation, Report& report);
void CheckTraceConfiguration(Report& report);
void CheckLibrarySearch(const Installation& installation, Report& report);
// Also notes in the installation whether it asked the service for its answers.
void CheckService(Installation& installation, Report& report);
// After the service section, before the library's getters are used: gives the library the settings
// its Init would read, without Init's logs, mutexes or dump, and a dry run of the file system.
void PrepareLibrary(const Installation& installation, Report& report);
void CheckDirectories(Report& report);

}  // namespace doctor
