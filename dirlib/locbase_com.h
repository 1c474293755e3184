// Client-side helpers for the configuration service: smart pointers of its interfaces, checked
// method calls that raise _com_error, string conversion in the ANSI code page and the message
// text of a COM error.
#pragma once

#include "contracts/locbase_interfaces.h"
#include "platform/unique_resource.h"

#include <comdef.h>

#include <string>

_COM_SMARTPTR_TYPEDEF(ILocbaseWsInfo, __uuidof(ILocbaseWsInfo));
_COM_SMARTPTR_TYPEDEF(ILocbaseDir, __uuidof(ILocbaseDir));
_COM_SMARTPTR_TYPEDEF(ILocbaseValue, __uuidof(ILocbaseValue));

// Calls one service method and returns its error number. A missing object raises _com_error with
// E_POINTER; a failing HRESULT raises it with that HRESULT and the object's error information.
template <typename Pointer, typename Call>
LONG _CallLocbase(Pointer& object, Call call) {
    auto* raw = object.operator->();
    LONG errorNumber = 0;
    const HRESULT hr = call(raw, &errorNumber);
    if (FAILED(hr)) _com_issue_errorex(hr, raw, Pointer::GetIID());
    return errorNumber;
}

// ANSI text as a BSTR the caller owns; raises _com_error with E_OUTOFMEMORY when none can be made.
tesk::UniqueBstr _AnsiToBstr(const std::string& text);
// A service string in the ANSI code page, up to its first NUL; a null string gives an empty text.
std::string _BstrToAnsi(BSTR text);

// The error's message text as narrow text of at most 1023 bytes.
std::string _ComErrorText(const _com_error& error);
