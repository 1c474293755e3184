#include "confserver/service_answers.h"

#include "platform/unique_resource.h"

namespace {

constexpr REGSAM kRead32 = KEY_QUERY_VALUE | KEY_WOW64_32KEY;

bool UsableKeyName(const std::wstring& name) { return !name.empty() && name.find(L'\\') == std::wstring::npos; }

// The whole value, however long; false when the key or the value is missing.
bool ReadValue(const std::wstring& keyPath, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
    tesk::UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, kRead32, key.put()) != ERROR_SUCCESS) return false;
    for (;;) {
        DWORD size = static_cast<DWORD>(data.size());
        const LONG rc =
            ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(), &size);
        if (rc == ERROR_SUCCESS && !data.empty() && size <= data.size()) {
            data.resize(size);
            return true;
        }
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return false;
        // The first query only measures; the value may also grow between two queries.
        data.resize(size + sizeof(wchar_t));
    }
}

}  // namespace

void ServiceAnswers::Narrow(const std::wstring& component, const std::wstring& dataArea) {
    keys_.assign(1, kLocbaseServiceKeyW);
    if (!UsableKeyName(component)) return;
    const std::wstring componentKey = std::wstring(kLocbaseServiceKeyW) + L"\\" + component;
    keys_.insert(keys_.begin(), componentKey);
    if (UsableKeyName(dataArea)) keys_.insert(keys_.begin(), componentKey + L"\\" + dataArea);
}

bool ServiceAnswers::Find(const std::wstring& name, DWORD& type, std::vector<BYTE>& data) const {
    for (const std::wstring& key : keys_) {
        data.clear();
        if (ReadValue(key, name, type, data)) return true;
    }
    return false;
}

std::optional<std::wstring> ServiceAnswers::String(const std::wstring& name) const {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!Find(name, type, data) || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    // The stored terminator, if any, is no part of the text.
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return text;
}

LONG ServiceAnswers::Number(const std::wstring& name, LONG fallback) const {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!Find(name, type, data) || type != REG_DWORD || data.size() != sizeof(DWORD)) return fallback;
    return *reinterpret_cast<const LONG*>(data.data());
}

void JournalLine(std::initializer_list<std::wstring_view> parts) noexcept try {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!ReadValue(kLocbaseServiceKeyW, kLocbaseJournalValueW, type, data) || type != REG_SZ) return;
    const std::wstring file(reinterpret_cast<const wchar_t*>(data.data()),
                            wcsnlen(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t)));
    tesk::UniqueHfile journal(::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!journal) return;
    std::wstring text;
    for (std::wstring_view part : parts) text += part;
    text += L'\n';
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(journal.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
} catch (...) {
    // The journal is a testing aid; a line lost for want of memory changes no answer.
}
