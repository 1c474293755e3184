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
// Runs the library's getters against a dry run: call last, the library keeps that state.
void CheckDirectories(const Installation& installation, Report& report);

}  // namespace doctor
