// Small path functions shared by every part of the directory library. Paths are narrow strings
// in the ANSI code page; a directory result ends in a backslash.
#pragma once

#include <windows.h>

#include <string>

bool _PathExists(const std::string& path);
std::string _AddBackslash(std::string path);
std::string _GetModuleDir(HMODULE module);
