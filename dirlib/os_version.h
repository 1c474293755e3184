// Classification of the Windows version into the library's version classes.
#pragma once

#include <windows.h>

#include <string>

// Pure classification of what RtlGetVersion reports; serverR2Metric is GetSystemMetrics(SM_SERVERR2).
int _ClassifyOsVersion(const OSVERSIONINFOEXW& version, int serverR2Metric);

// The text of a version class; classes without a text give "Windows Version UNKNOWN".
std::string _GetOsVersionName(int versionClass);
