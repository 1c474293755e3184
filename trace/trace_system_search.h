#pragma once

#include <string>

// Full path of the trace-system library, or empty when no candidate directory holds it.
std::string _ResolveTraceSystemPath();
