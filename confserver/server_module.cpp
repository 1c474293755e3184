// Entry points COM calls in the server DLL: loading, the class objects and the unload test.
#include "confserver/server_module.h"

#include "confserver/class_factory.h"
#include "contracts/locbase_interfaces.h"
#include "confserver/locbase_objects.h"

HMODULE g_serverModule = nullptr;

namespace {

LONG g_serverReferences = 0;

struct ServerClass {
    const CLSID* clsid;
    ObjectCreator create;
};

constexpr ServerClass kClasses[] = {
    {&CLSID_LocbaseWsInfo, CreateLocbaseWsInfo},
    {&CLSID_LocbaseDir, CreateLocbaseDir},
    {&CLSID_LocbaseValue, CreateLocbaseValue},
};

}  // namespace

void AddServerReference() { ::InterlockedIncrement(&g_serverReferences); }
void ReleaseServerReference() { ::InterlockedDecrement(&g_serverReferences); }
bool ServerInUse() { return ::InterlockedCompareExchange(&g_serverReferences, 0, 0) != 0; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_serverModule = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    for (const ServerClass& serverClass : kClasses) {
        if (clsid != *serverClass.clsid) continue;
        IClassFactory* factory = CreateClassFactory(serverClass.create);
        if (factory == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = factory->QueryInterface(iid, object);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ServerInUse() ? S_FALSE : S_OK; }
