#include "dirlib/locbase_com.h"

#include <cstdlib>
#include <cwchar>
#include <iterator>

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

namespace {

// The system's text for the code, inserts left as they stand (a text such as "%1 is not a valid Win32
// application." has no arguments to take here) and without its final line break; null when the
// system has none.
tesk::UniqueHlocal SystemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0,
                     nullptr);
    const size_t length = buffer != nullptr ? ::wcslen(buffer) : 0;
    if (length > 1 && buffer[length - 1] == L'\n') {
        buffer[length - 1] = L'\0';
        if (buffer[length - 2] == L'\r') buffer[length - 2] = L'\0';
    }
    return tesk::UniqueHlocal(buffer);
}

}  // namespace

// Taken while a COM error is being handled, so nothing here allocates but the result.
std::string _ComErrorText(const _com_error& error) {
    constexpr unsigned long kFirstDispatchCode = 0x80040200, kLastDispatchCode = 0x8004FFFF;
    const unsigned long code = static_cast<unsigned long>(error.Error());
    const tesk::UniqueHlocal system = SystemMessage(error.Error());
    // Without a system text, what the toolchain's _com_error says.
    wchar_t fallback[32] = {};
    if (code > kFirstDispatchCode && code <= kLastDispatchCode) {
        ::swprintf(fallback, std::size(fallback), L"IDispatch error #%d", static_cast<int>(code - kFirstDispatchCode));
    } else {
        ::swprintf(fallback, std::size(fallback), L"Unknown error 0x%0lX", code);
    }
    const wchar_t* message = system ? static_cast<const wchar_t*>(system.get()) : fallback;
    char text[1024] = {};
    size_t converted = 0;
    const errno_t rc = ::wcstombs_s(&converted, text, sizeof text, message, _TRUNCATE);
    if (rc != 0 && rc != STRUNCATE) text[0] = '\0';
    return text;
}
