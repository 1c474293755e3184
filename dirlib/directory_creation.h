// Creation of a directory with its missing parents (LBS_CreateDirectory is in locbase.h).
#pragma once

#include <string>

// The wide form of a narrow path in the current locale, or empty when it cannot be converted.
std::wstring _ConvertToUnicode(const std::string& path);

// Creates path and its missing parents; on failure the thread's last error says why.
bool _CreateDirectory(std::wstring path);
