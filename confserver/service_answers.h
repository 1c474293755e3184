// The answers an administrator or a test configures for the service, read from the registry below
// HKLM\SOFTWARE\Korvan Mirel Compact\LocbaseService in the 32-bit view, on every call.
#pragma once

#include "contracts/locbase_interfaces.h"

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>


class ServiceAnswers {
public:
    // Answers for one component (and data area), looked for in that order before the service key
    // itself. Names that would leave the service key (empty, or holding a backslash) are not used.
    void Narrow(const std::wstring& component, const std::wstring& dataArea = std::wstring());

    // A string value; REG_NONE or a missing value gives the null string (nullopt).
    std::optional<std::wstring> String(const std::wstring& name) const;
    // A REG_DWORD value as a signed number, or the fallback when it is missing or of another type.
    LONG Number(const std::wstring& name, LONG fallback) const;

private:
    bool Find(const std::wstring& name, DWORD& type, std::vector<BYTE>& data) const;

    // Most specific first; the service key is always the last.
    std::vector<std::wstring> keys_{kLocbaseServiceKeyW};
};

// Appends one line, the parts joined, UTF-8, to the file named by the service key's value "Journal",
// when it is set. The parts are joined here, so that a caller in a destructor or a method allocates
// nothing that could throw.
void JournalLine(std::initializer_list<std::wstring_view> parts) noexcept;
