// Self-registration: each class under HKEY_CLASSES_ROOT\CLSID, served in-process from this DLL's own
// path in apartment threading. regsvr32 of the DLL's own bitness writes the matching registry view.
#include "contracts/locbase_interfaces.h"
#include "confserver/server_module.h"
#include "platform/unique_resource.h"

#include <olectl.h>

#include <string>

namespace {

struct ClassEntry {
    const wchar_t* clsid;
    const wchar_t* name;
};

constexpr ClassEntry kEntries[] = {
    {L"{75E51E15-A4D0-4028-8FD3-D3543A34493B}", L"Korvan LocbaseWsInfo"},
    {L"{612B539A-9455-4D4A-959C-1B9AC504B611}", L"Korvan LocbaseDir"},
    {L"{3DBB8EF5-CDC9-42AF-8DE8-ED10A43ECA21}", L"Korvan LocbaseValue"},
};

bool SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool RegisterOneClass(const ClassEntry& entry, const std::wstring& serverPath) {
    tesk::UniqueHkey classKey;
    tesk::UniqueHkey serverKey;
    const std::wstring classPath = std::wstring(L"CLSID\\") + entry.clsid;
    return ::RegCreateKeyExW(HKEY_CLASSES_ROOT, classPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, classKey.put(),
                             nullptr) == ERROR_SUCCESS &&
           SetText(classKey.get(), nullptr, entry.name) &&
           ::RegCreateKeyExW(classKey.get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, serverKey.put(),
                             nullptr) == ERROR_SUCCESS &&
           SetText(serverKey.get(), nullptr, serverPath) && SetText(serverKey.get(), L"ThreadingModel", L"Apartment");
}

}  // namespace

// The key paths are built on the heap; an export must not let bad_alloc reach regsvr32.
extern "C" HRESULT WINAPI DllUnregisterServer() try {
    HRESULT result = S_OK;
    for (const ClassEntry& entry : kEntries) {
        const LONG rc = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + entry.clsid).c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) result = SELFREG_E_CLASS;
    }
    return result;
} catch (...) {
    return E_OUTOFMEMORY;
}

extern "C" HRESULT WINAPI DllRegisterServer() try {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(g_serverModule, path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return SELFREG_E_CLASS;
    for (const ClassEntry& entry : kEntries) {
        if (!RegisterOneClass(entry, path)) {
            DllUnregisterServer();
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
} catch (...) {
    DllUnregisterServer();
    return E_OUTOFMEMORY;
}
