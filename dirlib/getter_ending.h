// Pieces shared by the directory getters: their common ending and the move of an uncreatable
// directory to the drive of the component's program directory.
#pragma once

#include <string>

// The getter's own texts: INFO line (component, path), ERROR line (component) and the
// component-path log line (component, path).
struct GetterTexts {
    const char* found;
    const char* missing;
    const char* pathLog;
};

// Reports the result, gives it its trailing backslash and records it in the component-path log.
std::string _FinishDirectoryGetter(const GetterTexts& texts, const std::string& component, std::string result);

// A directory that could not be created on its drive gets the drive letter of the component's
// program directory, in lower case, and is created there.
void _MoveToProgramDrive(const std::string& component, std::string& directory);
