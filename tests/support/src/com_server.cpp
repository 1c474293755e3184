#include "test_support/com_server.h"

#include "contracts/locbase_interfaces.h"
#include "platform/unique_resource.h"
#include "test_support/files.h"
#include "test_support/process.h"

namespace test_support {

void RemoveServerClasses() {
    for (const CLSID* clsid : {&CLSID_LocbaseWsInfo, &CLSID_LocbaseDir, &CLSID_LocbaseValue}) {
        wchar_t text[40] = {};
        ::StringFromGUID2(*clsid, text, 40);
        const std::wstring path = std::wstring(L"CLSID\\") + text;
        tesk::UniqueHkey key;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS) {
            ::RegDeleteTreeW(key.get(), nullptr);
            key.reset();
            ::RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
        }
    }
}

RegisteredServer::RegisteredServer(const std::string& path)
    : path_(path.empty() ? ProgramDirectory() + "KvLocbaseService.dll" : path),
      registerExitCode_(RunProcess(SystemProgram("regsvr32.exe"), "/s \"" + path_ + "\"").exitCode) {}

RegisteredServer::~RegisteredServer() {
    RunProcess(SystemProgram("regsvr32.exe"), "/u /s \"" + path_ + "\"");
    RemoveServerClasses();
}

std::string SystemText(HRESULT hr) {
    wchar_t* message = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    tesk::UniqueHlocal owner(message);
    std::wstring text = message != nullptr ? message : L"";
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x100 ? static_cast<char>(c) : '?';
    return narrow;
}

}  // namespace test_support
