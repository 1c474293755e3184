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

// The system's text for the code, inserts left as they stand: a text such as "%1 is not a valid
// Win32 application." has no arguments to take here.
std::wstring SystemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const tesk::UniqueHlocal owner(buffer);
    std::wstring message(length > 0 ? buffer : L"", length);
    if (message.size() > 1 && message.back() == L'\n') {
        message.pop_back();
        if (message.back() == L'\r') message.pop_back();
    }
    return message;
}

// What the toolchain's _com_error says for a code the system has no text for.
std::wstring FallbackMessage(HRESULT hr) {
    constexpr unsigned long kFirstDispatchCode = 0x80040200, kLastDispatchCode = 0x8004FFFF;
    const unsigned long code = static_cast<unsigned long>(hr);
    wchar_t text[32] = {};
    if (code > kFirstDispatchCode && code <= kLastDispatchCode) {
        ::swprintf(text, std::size(text), L"IDispatch error #%d", static_cast<int>(code - kFirstDispatchCode));
    } else {
        ::swprintf(text, std::size(text), L"Unknown error 0x%0lX", code);
    }
    return text;
}

}  // namespace

std::string _ComErrorText(const _com_error& error) {
    std::wstring message = SystemMessage(error.Error());
    if (message.empty()) message = FallbackMessage(error.Error());
    char text[1024] = {};
    size_t converted = 0;
    const errno_t rc = ::wcstombs_s(&converted, text, sizeof text, message.c_str(), _TRUNCATE);
    if (rc != 0 && rc != STRUNCATE) text[0] = '\0';
    return text;
}
