// Text conversions between what the module writes (Windows-1252 bytes), what a scenario file
// holds and what the terminal shows (UTF-8), and what Windows takes (UTF-16).
#pragma once

#include <string>

namespace bench {

std::string Utf8FromWindows1252(const std::string& bytes);
// Invalid UTF-8 yields an empty result.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace bench
