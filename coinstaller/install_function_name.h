#pragma once

#include <windows.h>
#include <setupapi.h>

// The name of an installation request, built anew for the caller; held inline so that naming a
// request costs no heap allocation.
struct InstallFunctionNameText {
    static constexpr size_t kCapacity = 40;
    wchar_t text[kCapacity];
    const wchar_t* c_str() const noexcept { return text; }
};

// "<DIF_...>" for every request code the SDK names, "<unbekannt>" for any other.
InstallFunctionNameText InstallFunctionName(DI_FUNCTION installFunction) noexcept;
