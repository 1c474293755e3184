// Read-only lookups of the vendor's component records below HKEY_LOCAL_MACHINE (32-bit view) and
// the relative default sub-paths of the directory guesses. An empty result means nothing found.
#pragma once

#include <string>

// The text of a value (empty name: the key's default value), or empty.
std::string _ReadRegistryString(const std::string& keyPath, const std::string& valueName);
// "\" and the version subkey with the highest number above 1.0, or "\1.0".
std::string _GetHighestVersionKey(const std::string& versionsKeyPath);

std::string _GetProgDirFromRegistry(const std::string& component);
std::string _GetKonfigDirFromRegistry(const std::string& component);
std::string _GetLogDirFromRegistry(const std::string& component);
std::string _GetAvailableDataDirFromRegistry(const std::string& component, const std::string& dataDirName);
std::string _GetSystemDirFromRegistry();

// "Korvan\<kind>\<name>\", relative, for appending to a special folder.
std::string _BuildDefaultSubPath(const std::string& component, const std::string& kind);
