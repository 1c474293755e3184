// The server DLL in this process: the objects' answers as configured in the registry, allocation
// failure, registration and the unload rule.
#include "dirlib/locbase_com.h"
#include "test_support/com_server.h"
#include "test_support/files.h"
#include "test_support/heap_watch.h"
#include "test_support/module.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <optional>

using namespace test_support;

_COM_SMARTPTR_TYPEDEF(IClassFactory, IID_IClassFactory);

namespace {

using Strings = std::vector<std::optional<std::wstring>>;
const BSTR kSentinel = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0xdeadbeef));

std::optional<std::wstring> Take(BSTR text) {
    tesk::UniqueBstr owner(text);
    return text ? std::optional<std::wstring>(std::wstring(text, ::SysStringLen(text))) : std::nullopt;
}
tesk::UniqueBstr Bstr(const wchar_t* text) { return tesk::UniqueBstr(::SysAllocString(text)); }

class ServerDll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        dll_ = LoadModule(ProgramDirectory() + "KvLocbaseService.dll");
        getClassObject_ = ExportAs<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(dll_.get(), "DllGetClassObject");
    }
    void TearDown() override { dll_.reset(), ::SetErrorInfo(0, nullptr), ::CoUninitialize(); }
    HRESULT Call(const char* entry) { return ExportAs<HRESULT(WINAPI*)()>(dll_.get(), entry)(); }
    HRESULT CreateAs(const CLSID& clsid, REFIID iid, void* object) {
        IClassFactoryPtr factory;
        const HRESULT hr = getClassObject_(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        return FAILED(hr) ? hr : factory->CreateInstance(nullptr, iid, static_cast<void**>(object));
    }
    template <typename Pointer>
    Pointer Create(const CLSID& clsid) { Pointer object; EXPECT_EQ(S_OK, CreateAs(clsid, Pointer::GetIID(), &object)); return object; }
    // GetProgramPath's HRESULT and three strings.
    std::pair<HRESULT, Strings> ProgramPath(ILocbaseValue* value, LONG& errorNumber) {
        BSTR s[3] = {kSentinel, kSentinel, kSentinel};
        const HRESULT hr = value->GetProgramPath(&s[0], &s[1], &s[2], &errorNumber);
        return {hr, {Take(s[0]), Take(s[1]), Take(s[2])}};
    }
    VendorRegistry registry_;
    tesk::UniqueHmodule dll_;
    HRESULT(WINAPI* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
};

TEST_F(ServerDll, AnswersAsConfiguredTheMostSpecificKeyFirst) {
    const std::string component = std::string(kServiceKey) + "\\X0000303";
    registry_.SetString(kServiceKey, "GetProgramPath", "C:\\Dienst");
    registry_.SetString(kServiceKey, "GetProgramPath.2", "");
    registry_.SetValue(kServiceKey, "GetProgramPath.3", REG_NONE, nullptr, 0);
    registry_.SetDword(kServiceKey, "GetProgramPath.Error", static_cast<DWORD>(-7));
    registry_.SetDword(kServiceKey, "GetProgramPath.HResult", static_cast<DWORD>(E_ACCESSDENIED));
    registry_.SetString(component, "GetProgramPath.3", "f\xfcnf");
    ILocbaseValuePtr value = Create<ILocbaseValuePtr>(CLSID_LocbaseValue);
    LONG errorNumber = 0;
    // The shipped server knows no configured failure; before Init only the service key counts.
    EXPECT_EQ(std::make_pair(S_OK, Strings{L"C:\\Dienst", L"", std::nullopt}), ProgramPath(value, errorNumber));
    EXPECT_EQ(-7, errorNumber);
    const tesk::UniqueBstr name = Bstr(L"X0000303"), version = Bstr(L"1.0"), empty = Bstr(L"");
    ASSERT_EQ(S_OK, value->Init(name.get(), version.get(), &errorNumber));
    EXPECT_EQ(std::make_pair(S_OK, Strings{L"C:\\Dienst", L"", L"f\u00fcnf"}), ProgramPath(value, errorNumber));
    EXPECT_EQ(E_POINTER, value->GetUserConfigPath(1, nullptr, &errorNumber));

    // A data area's key before its component's before the service key; a name with a backslash has no key.
    registry_.SetString(kServiceKey, "GetDirPath", "C:\\Dienst");
    registry_.SetString(component, "GetDirPath", "C:\\Komponente");
    registry_.SetDword(component, "GetDirPath.Error", 4);
    registry_.SetString(component + "\\Archiv", "GetDirPath", "C:\\Archiv");
    for (const auto& [area, expected] : {std::make_pair(L"Archiv", L"C:\\Archiv"), std::make_pair(L"Andere", L"C:\\Komponente"),
                                         std::make_pair(L"Archiv\\", L"C:\\Komponente")}) {
        ILocbaseDirPtr dir = Create<ILocbaseDirPtr>(CLSID_LocbaseDir);
        ASSERT_EQ(S_OK, dir->Init(name.get(), empty.get(), Bstr(area).get(), 1, &errorNumber));
        BSTR path = kSentinel;
        ASSERT_EQ(S_OK, dir->GetDirPath(&path, &errorNumber));
        EXPECT_EQ(std::optional<std::wstring>(expected), Take(path)) << area;
        EXPECT_EQ(4, errorNumber) << area;
    }
}

template <typename Interface>
Interface* As(void* object) { return static_cast<Interface*>(object); }

// Every entry of the server with each of its heap allocations failing in turn (every size up to
// beyond the largest it makes here): it answers S_OK or its result for want of memory and throws
// nothing, a release survives the same failure, and nothing stays referenced or allocated. A
// method that fails leaves no strings and error information that names it.
TEST_F(ServerDll, EveryEntryContainsAllocationFailure) {
    ASSERT_TRUE(heap_watch::Install(dll_.get()));
    registry_.SetString(kServiceKey, "Journal", UniqueTempPath("journal.txt"));
    for (const char* method : {"GetSystemPath", "GetDirPath", "GetConfigPath", "GetLogPath", "GetProgramPath", "GetUserConfigPath"})
        registry_.SetString(kServiceKey, method, "C:\\Korvan\\Pfad");
    const tesk::UniqueBstr name = Bstr(L"X0000303"), area = Bstr(L"Archiv");
    const auto server = [this](const char* entry) { return [this, entry](void*, BSTR*, LONG*) { return Call(entry); }; };
    const struct Class { const CLSID& clsid; IID iid; } ws{CLSID_LocbaseWsInfo, __uuidof(ILocbaseWsInfo)},
        dir{CLSID_LocbaseDir, __uuidof(ILocbaseDir)}, value{CLSID_LocbaseValue, __uuidof(ILocbaseValue)};
    const struct { const char* name; Class of; std::function<HRESULT(void*, BSTR*, LONG*)> call; HRESULT outOfMemory; } rows[] = {
        {"LocbaseWsInfo.GetSystemPath", ws, [](void* o, BSTR* s, LONG* n) { return As<ILocbaseWsInfo>(o)->GetSystemPath(s, n); }, E_OUTOFMEMORY},
        {"LocbaseDir.GetDirPath", dir, [](void* o, BSTR* s, LONG* n) { return As<ILocbaseDir>(o)->GetDirPath(s, n); }, E_OUTOFMEMORY},
        {"LocbaseDir.DirInit", dir, [&](void* o, BSTR*, LONG* n) { return As<ILocbaseDir>(o)->Init(name.get(), area.get(), area.get(), INT_MIN, n); }, E_OUTOFMEMORY},
        {"LocbaseValue.ValueInit", value, [&](void* o, BSTR*, LONG* n) { return As<ILocbaseValue>(o)->Init(name.get(), area.get(), n); }, E_OUTOFMEMORY},
        {"LocbaseValue.GetConfigPath", value, [](void* o, BSTR* s, LONG* n) { return As<ILocbaseValue>(o)->GetConfigPath(s, s + 1, n); }, E_OUTOFMEMORY},
        {"LocbaseValue.GetLogPath", value, [](void* o, BSTR* s, LONG* n) { return As<ILocbaseValue>(o)->GetLogPath(s, s + 1, s + 2, s + 3, s + 4, n); }, E_OUTOFMEMORY},
        {"LocbaseValue.GetProgramPath", value, [](void* o, BSTR* s, LONG* n) { return As<ILocbaseValue>(o)->GetProgramPath(s, s + 1, s + 2, n); }, E_OUTOFMEMORY},
        {"LocbaseValue.GetUserConfigPath", value, [](void* o, BSTR* s, LONG* n) { return As<ILocbaseValue>(o)->GetUserConfigPath(INT_MIN, s, n); }, E_OUTOFMEMORY},
        {"Run, which loses only its journal line", value, [](void* o, BSTR*, LONG*) { return ::OleRun(As<IUnknown>(o)); }, S_OK},
        {"CreateInstance", value, [&](void*, BSTR*, LONG*) { IUnknown* made = nullptr; const HRESULT hr = CreateAs(value.clsid, IID_IUnknown, &made);
             return made ? made->Release(), hr : hr; }, E_OUTOFMEMORY},
        {"DllRegisterServer", value, server("DllRegisterServer"), E_OUTOFMEMORY},
        {"DllUnregisterServer", value, server("DllUnregisterServer"), E_OUTOFMEMORY},
    };
    std::optional<size_t> live;
    for (const auto& row : rows) {
        int failures = 0;
        for (size_t size = 1; size <= 256; ++size) {
            IUnknown* object = nullptr;
            ASSERT_EQ(S_OK, CreateAs(row.of.clsid, row.of.iid, &object)) << row.name;
            BSTR strings[5] = {};
            LONG number = 0;
            heap_watch::FailNextAllocationOfSize(size);
            const HRESULT hr = row.call(object, strings, &number);
            heap_watch::FailNextAllocationOfSize(size);
            object->Release();
            heap_watch::FailNextAllocationOfSize(0);
            for (BSTR string : strings) ::SysFreeString(string);
            EXPECT_TRUE(hr == S_OK || hr == row.outOfMemory) << row.name << " size " << size << " 0x" << std::hex << hr;
            failures += hr != S_OK;
            IErrorInfo* info = nullptr;
            if (FAILED(hr) && std::strchr(row.name, '.')) {
                EXPECT_TRUE(!strings[0] && number == 0 && ::GetErrorInfo(0, &info) == S_OK) << row.name << " size " << size;
                EXPECT_TRUE(_com_error(hr, info).Description() == _bstr_t((std::wstring(row.name, row.name + std::strlen(row.name)) + L" failed as configured").c_str())) << row.name;
            }
        }
        EXPECT_EQ(row.outOfMemory != S_OK, failures > 0) << row.name;
        // The first exception sets up the runtime's unwinding once; after that no row keeps a block.
        EXPECT_EQ(live.value_or(heap_watch::LiveBlocks()), heap_watch::LiveBlocks()) << row.name;
        live = heap_watch::LiveBlocks();
    }
    EXPECT_EQ(S_OK, Call("DllCanUnloadNow"));
}

std::string ClassValue(const std::string& key, const char* name) {
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    return ::RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS ? value : "<none>";
}

// Self-registration writes each class as an apartment-threaded in-process server of this file and
// removes it again; COM may unload the DLL only while no class object, object or lock lives.
TEST_F(ServerDll, RegistersItsClassesAndUnloadsOnlyWhenNothingLives) {
    const std::pair<const CLSID*, const char*> classes[] = {
        {&CLSID_LocbaseWsInfo, "Korvan LocbaseWsInfo"}, {&CLSID_LocbaseDir, "Korvan LocbaseDir"}, {&CLSID_LocbaseValue, "Korvan LocbaseValue"}};
    for (const bool registered : {true, false}) {
        ASSERT_EQ(S_OK, Call(registered ? "DllRegisterServer" : "DllUnregisterServer"));
        for (const auto& [clsid, name] : classes) {
            wchar_t text[40] = {};
            ::StringFromGUID2(*clsid, text, 40);
            const std::string key = "CLSID\\" + std::string(text, text + 38);
            EXPECT_EQ(registered ? name : "<none>", ClassValue(key, nullptr));
            EXPECT_EQ(registered ? "Apartment" : "<none>", ClassValue(key + "\\InprocServer32", "ThreadingModel"));
            if (registered) EXPECT_EQ(0, ::_stricmp((ProgramDirectory() + "KvLocbaseService.dll").c_str(), ClassValue(key + "\\InprocServer32", nullptr).c_str()));
        }
    }
    EXPECT_EQ(S_OK, Call("DllUnregisterServer")) << "nothing registered";

    IClassFactoryPtr factory;
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_FALSE, Call("DllCanUnloadNow")) << "class object alive";
    ILocbaseDirPtr object = Create<ILocbaseDirPtr>(CLSID_LocbaseDir);
    IUnknown* unknown = object;  // overwritten: an object asked for an interface it lacks must not live on
    EXPECT_TRUE(factory->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&unknown)) == E_NOINTERFACE && !unknown);
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory = nullptr;
    EXPECT_EQ(S_FALSE, Call("DllCanUnloadNow")) << "object and lock alive";
    object = nullptr;
    EXPECT_EQ(S_FALSE, Call("DllCanUnloadNow")) << "lock alive";
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory = nullptr;
    EXPECT_EQ(S_OK, Call("DllCanUnloadNow"));
}

}  // namespace
