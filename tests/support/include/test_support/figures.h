// Figures of the stress and performance programs ("figure <name> <value> <unit>" and "goal <name>
// met|MISSED", which scripts/run_campaign.sh collects), their length and seed from the environment, timing.
#pragma once

#include <cstdint>
#include <string>

namespace test_support {

// The number in the environment variable, or `fallback` when it is unset or empty: one program
// serves the short run of `make test` and the long one of `make campaign`.
uint64_t SettingOr(const char* name, uint64_t fallback);
uint64_t CampaignSeed();

void Figure(const std::string& name, double value, const char* unit = "");
void Goal(const char* name, bool met);
double Seconds();
// The running program's full path, to start it again as a child.
std::string ThisProgram();

}  // namespace test_support
