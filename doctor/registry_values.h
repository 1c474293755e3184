// Registry values as they are, whatever their type and length, for showing them to an
// administrator. Only read access is ever asked for.
#pragma once

#include "platform/unique_resource.h"

#include <windows.h>

#include <string>
#include <vector>

namespace doctor {

struct RawValue {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

RawValue ReadRawValue(HKEY key, const char* name);

// Type and content in one short piece of text: "REG_SZ \"ein\"", "REG_DWORD 1", "missing".
std::string DescribeValue(const RawValue& value);

// The strings of a REG_MULTI_SZ or REG_SZ; nothing for other types.
std::vector<std::string> ValueStrings(const RawValue& value);

// Opened for reading in the 32-bit view, where the library reads; null when missing or denied.
tesk::UniqueHkey OpenKey32(HKEY root, const char* path, LONG& status);

// What to do about a key that could not be opened: the access it lacks when it denies reading,
// else `whenMissing`.
std::string KeyAdvice(LONG status, const std::string& whenMissing);

}  // namespace doctor
