// The guesses behind the directory getters, used when neither the configuration service nor the
// registry names an existing directory, and the Korvan environment test that steers them.
#pragma once

#include <string>

// Whether the vendor's system directory exists and, for a non-empty component, the component's
// program directory carries its identifier.
bool _IsKorvanEnvironment(const std::string& component);

// Never creates anything; empty when no candidate exists.
std::string _GuessLocalKonfigDir(const std::string& component);

// These create their candidates when `create` is true and return the last one tried.
std::string _GuessLocalUserKonfigDir(const std::string& component, bool create);
std::string _GuessLocalLogDir(const std::string& component, bool create);
std::string _GuessLocalDataDir(const std::string& component, const std::string& dataDirName, bool create);

// The temporary directory followed by "Low\", unless it already contains "\Low".
std::string _GetTempDirLow();
