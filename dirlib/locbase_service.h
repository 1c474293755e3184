// Lookups in the vendor's configuration service. Each enters and leaves a single-threaded COM
// apartment of its own around the lookup and never lets an exception out; an empty string means
// the service gave nothing. Whether the service may be asked at all ("LocbaseActive") is the
// callers' decision, except for LBS_GetSystemDir, which checks it itself.
#pragma once

#include <cstdint>
#include <string>

// What _GetValueFromLocbase is asked for.
enum LocbaseValueType : std::int32_t {
    LocbaseValueInvalid = 0,
    LocbaseValueKonfigDir = 1,
    LocbaseValueLogDir = 2,
    LocbaseValueProgDir = 3,
    LocbaseValueUserKonfigDir = 10,
};

// The directory of `component` known to the service, ending in a backslash, or empty.
// `unused` is not needed by any value type; callers pass an empty string.
std::string _GetValueFromLocbase(const std::string& component, std::int32_t valueType, const std::string& unused);

// The data directory of the named data area of `component`, ending in a backslash, or empty.
std::string LBS_GetAvailableDataDirLocbase(std::string component, std::string dataArea);

// Selector 1: the workstation's system directory from the service, else the registry, else the
// library's module directory; any other selector takes the trace component's program directory
// from the registry instead of the service. Ends in a backslash; may name a missing directory.
std::string LBS_GetSystemDir(std::int32_t selector);
