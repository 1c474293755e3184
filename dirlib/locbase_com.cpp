#include "dirlib/locbase_com.h"

#include <cstdlib>
#include <cwchar>

// mingw-w64 declares this but ships no library that defines it. The error information is taken only
// when the object says it is meant for this interface, so a stale one from another call never is.
void WINAPI _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID iid) {
    IErrorInfo* info = nullptr;
    ISupportErrorInfo* support = nullptr;
    if (object != nullptr &&
        SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)))) {
        if (support->InterfaceSupportsErrorInfo(iid) == S_OK && ::GetErrorInfo(0, &info) != S_OK) info = nullptr;
        support->Release();
    }
    throw _com_error(hr, info);
}

tesk::UniqueBstr _AnsiToBstr(const std::string& text) {
    const int length =
        text.empty() ? 0 : ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    tesk::UniqueBstr result(::SysAllocStringLen(nullptr, static_cast<UINT>(length)));
    if (!result) _com_issue_error(E_OUTOFMEMORY);
    if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.get(), length);
    return result;
}

std::string _BstrToAnsi(BSTR text) {
    if (text == nullptr) return std::string();
    const int length = static_cast<int>(::wcsnlen(text, ::SysStringLen(text)));
    if (length == 0) return std::string();
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, length, &result[0], size, nullptr, nullptr);
    return result;
}

std::string _ComErrorText(const _com_error& error) {
    char text[1024] = {};
    const wchar_t* message = error.ErrorMessage();
    if (message != nullptr) {
        size_t converted = 0;
        const errno_t rc = ::wcstombs_s(&converted, text, sizeof text, message, _TRUNCATE);
        if (rc != 0 && rc != STRUNCATE) text[0] = '\0';
    }
    return text;
}
