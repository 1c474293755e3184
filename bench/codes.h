// Names of the numbers a scenario and a report speak about: installation requests (DIF codes)
// and the result codes a co-installer returns or SetupAPI reports.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace bench {

// "DIF_REMOVE" and the other request names of the SDK.
std::optional<DWORD> InstallFunctionByName(const std::string& name);
// The SDK name, or empty for a code without one.
std::string InstallFunctionName(DWORD function);

// A number written as decimal, as 0x-hex, or as one of the named codes (NO_ERROR,
// ERROR_DI_POSTPROCESSING_REQUIRED, ERROR_ACCESS_DENIED, CR_NO_SUCH_DEVNODE, ...).
// 32 bits at most; anything else is refused.
std::optional<DWORD> ParseCode(const std::string& text);
// A plain number, decimal or 0x-hex, 32 bits at most.
std::optional<DWORD> ParseNumber(const std::string& text);

// "0x%08X" followed by the Win32 name when the code has one this bench knows.
std::string ResultText(DWORD code);
std::string Hex8(DWORD value);

}  // namespace bench
