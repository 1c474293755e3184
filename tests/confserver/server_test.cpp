// The server DLL in this process: class objects and unload rule, the objects' interfaces, their
// answers as configured in the registry, journal and registration. The shipped DLL lies beside the
// program; its test build, which can be told to fail, in module\.
#include "contracts/locbase_interfaces.h"
#include "platform/unique_resource.h"
#include "test_support/com_server.h"
#include "test_support/files.h"
#include "test_support/module.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

#include <optional>

using namespace test_support;

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
const BSTR kSentinel = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0xdeadbeef));

template <typename T>
struct Ref {
    T* p = nullptr;
    ~Ref() { reset(); }
    void reset() {
        if (p != nullptr) p->Release();
        p = nullptr;
    }
    void** put() { return reinterpret_cast<void**>(&p); }
    T* operator->() const { return p; }
};

std::optional<std::wstring> Take(BSTR text) {
    tesk::UniqueBstr owner(text);
    return text ? std::optional<std::wstring>(std::wstring(text, ::SysStringLen(text))) : std::nullopt;
}

class ServerDll : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override {
        dll_.reset();
        ::SetErrorInfo(0, nullptr);
        ::CoUninitialize();
    }
    void Load(const std::string& directory) {
        dll_ = LoadModule(directory + "KvLocbaseService.dll");
        getClassObject_ = ExportAs<GetClassObjectFn>(dll_.get(), "DllGetClassObject");
        canUnloadNow_ = ExportAs<HRESULT(WINAPI*)()>(dll_.get(), "DllCanUnloadNow");
    }
    template <typename Interface>
    void Create(const CLSID& clsid, Ref<Interface>& object) {
        Ref<IClassFactory> factory;
        ASSERT_EQ(S_OK, getClassObject_(clsid, IID_IClassFactory, factory.put()));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(Interface), object.put()));
    }
    // GetProgramPath's HRESULT, three strings and error number.
    std::pair<HRESULT, std::vector<std::optional<std::wstring>>> ProgramPath(ILocbaseValue* value, LONG& errorNumber) {
        BSTR s[3] = {kSentinel, kSentinel, kSentinel};
        errorNumber = 0x5a5a5a5a;
        const HRESULT hr = value->GetProgramPath(&s[0], &s[1], &s[2], &errorNumber);
        return {hr, {Take(s[0]), Take(s[1]), Take(s[2])}};
    }
    VendorRegistry registry_;
    tesk::UniqueHmodule dll_;
    GetClassObjectFn getClassObject_ = nullptr;
    HRESULT(WINAPI* canUnloadNow_)() = nullptr;
};

TEST_F(ServerDll, ClassObjectsObjectsAndTheUnloadRule) {
    Load(ProgramDirectory());
    void* object = kSentinel;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject_(IID_IUnknown, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, nullptr));
    EXPECT_EQ(S_OK, canUnloadNow_());
    Ref<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseWsInfo, IID_IClassFactory, factory.put()));
    EXPECT_EQ(S_FALSE, canUnloadNow_());
    Ref<IUnknown> outer;
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IUnknown, outer.put()));
    for (const auto& [aggregate, iid, expected] : {std::make_tuple(outer.p, IID_IUnknown, CLASS_E_NOAGGREGATION),
                                                   std::make_tuple<IUnknown*>(nullptr, __uuidof(ILocbaseDir), E_NOINTERFACE)}) {
        object = kSentinel;
        EXPECT_EQ(expected, factory->CreateInstance(aggregate, iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    Ref<ILocbaseWsInfo> wsInfo;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(ILocbaseWsInfo), wsInfo.put()));
    Ref<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, wsInfo->QueryInterface(IID_ISupportErrorInfo, support.put()));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(__uuidof(ILocbaseWsInfo)));
    EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(__uuidof(ILocbaseValue)));
    Ref<IRunnableObject> runnable;
    ASSERT_EQ(S_OK, wsInfo->QueryInterface(IID_IRunnableObject, runnable.put()));
    EXPECT_FALSE(runnable->IsRunning());
    EXPECT_EQ(S_OK, ::OleRun(runnable.p));
    CLSID running = {};
    EXPECT_TRUE(runnable->IsRunning() && runnable->GetRunningClass(&running) == S_OK && running == CLSID_LocbaseWsInfo);
    for (const IID& iid : {__uuidof(ILocbaseValue), IID_IDispatch}) {
        object = kSentinel;
        EXPECT_EQ(E_NOINTERFACE, wsInfo->QueryInterface(iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    // COM may unload the DLL only while no object, no class object and no lock is alive.
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.reset();
    support.reset();
    runnable.reset();
    outer.reset();
    EXPECT_EQ(S_FALSE, canUnloadNow_()) << "object and lock alive";
    wsInfo.reset();
    EXPECT_EQ(S_FALSE, canUnloadNow_()) << "lock alive";
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, factory.put()));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.reset();
    EXPECT_EQ(S_OK, canUnloadNow_());
}

TEST_F(ServerDll, AnswersAsConfiguredAndTheComponentsKeysFirst) {
    Load(ProgramDirectory());
    const std::string component = std::string(kServiceKey) + "\\X0000303";
    registry_.SetString(kServiceKey, "GetProgramPath", "C:\\Dienst");
    registry_.SetString(kServiceKey, "GetProgramPath.2", "");
    registry_.SetValue(kServiceKey, "GetProgramPath.3", REG_NONE, nullptr, 0);
    registry_.SetDword(kServiceKey, "GetProgramPath.Error", static_cast<DWORD>(-7));
    registry_.SetDword(kServiceKey, "GetProgramPath.HResult", static_cast<DWORD>(E_ACCESSDENIED));
    registry_.SetString(component, "GetProgramPath.3", "f\xfcnf");
    registry_.SetString(kServiceKey, "GetSystemPath", "C:\\" + std::string(99997, 'L'));
    Ref<ILocbaseValue> value;
    Create(CLSID_LocbaseValue, value);
    LONG errorNumber = 0;
    // The shipped server knows no configured failure.
    using Strings = std::vector<std::optional<std::wstring>>;
    EXPECT_EQ(std::make_pair(S_OK, Strings{L"C:\\Dienst", L"", std::nullopt}), ProgramPath(value.p, errorNumber));
    EXPECT_EQ(-7, errorNumber);
    tesk::UniqueBstr name(::SysAllocString(L"X0000303")), version(::SysAllocString(L"1.0")), empty(::SysAllocString(L""));
    ASSERT_EQ(S_OK, value->Init(name.get(), version.get(), &errorNumber));
    EXPECT_EQ(std::make_pair(S_OK, Strings{L"C:\\Dienst", L"", L"f\u00fcnf"}), ProgramPath(value.p, errorNumber));
    EXPECT_EQ(E_POINTER, value->GetUserConfigPath(1, nullptr, &errorNumber));

    // A data area's key before its component's, before the service key; an escaping name has no key.
    registry_.SetString(kServiceKey, "GetDirPath", "C:\\Dienst");
    registry_.SetString(component, "GetDirPath", "C:\\Komponente");
    registry_.SetDword(component, "GetDirPath.Error", 4);
    registry_.SetString(component + "\\Archiv", "GetDirPath", "C:\\Archiv");
    const std::pair<const wchar_t*, std::pair<const wchar_t*, LONG>> areas[] = {
        {L"Archiv", {L"C:\\Archiv", 4}}, {L"Andere", {L"C:\\Komponente", 4}}, {L"Archiv\\", {L"C:\\Komponente", 4}}};
    for (const auto& [area, expected] : areas) {
        Ref<ILocbaseDir> dir;
        Create(CLSID_LocbaseDir, dir);
        tesk::UniqueBstr areaText(::SysAllocString(area));
        ASSERT_EQ(S_OK, dir->Init(name.get(), empty.get(), areaText.get(), 1, &errorNumber));
        BSTR path = kSentinel;
        ASSERT_EQ(S_OK, dir->GetDirPath(&path, &errorNumber));
        EXPECT_EQ(std::optional<std::wstring>(expected.first), Take(path)) << area;
        EXPECT_EQ(expected.second, errorNumber) << area;
    }
    Ref<ILocbaseWsInfo> wsInfo;
    Create(CLSID_LocbaseWsInfo, wsInfo);
    BSTR path = kSentinel;
    ASSERT_EQ(S_OK, wsInfo->GetSystemPath(&path, &errorNumber));
    EXPECT_EQ(100000u, Take(path).value_or(L"").size()) << "answered whole";
}

TEST_F(ServerDll, TestBuildFailsAsConfiguredWithErrorInformationAndNoStrings) {
    Load(ProgramDirectory() + "module\\");
    registry_.SetString(kServiceKey, "GetProgramPath", "C:\\Prog");
    registry_.SetDword(kServiceKey, "GetProgramPath.Error", 3);
    registry_.SetDword(kServiceKey, "GetProgramPath.HResult", static_cast<DWORD>(E_ACCESSDENIED));
    Ref<ILocbaseValue> value;
    Create(CLSID_LocbaseValue, value);
    LONG errorNumber = 0;
    EXPECT_EQ(std::make_pair(E_ACCESSDENIED, std::vector<std::optional<std::wstring>>(3)), ProgramPath(value.p, errorNumber));
    EXPECT_EQ(0, errorNumber);
    Ref<IErrorInfo> info;
    ASSERT_EQ(S_OK, ::GetErrorInfo(0, &info.p));
    BSTR description = nullptr, source = nullptr;
    GUID guid = {};
    info->GetDescription(&description);
    info->GetSource(&source);
    info->GetGUID(&guid);
    EXPECT_EQ(std::optional<std::wstring>(L"LocbaseValue.GetProgramPath failed as configured"), Take(description));
    EXPECT_EQ(std::optional<std::wstring>(L"KvLocbaseService"), Take(source));
    EXPECT_TRUE(guid == __uuidof(ILocbaseValue));
}

TEST_F(ServerDll, JournalNotesCreationRunCallsWithArgumentsAndRelease) {
    Load(ProgramDirectory());
    ScratchDir scratch("journal");
    registry_.SetString(kServiceKey, "Journal", scratch.path() + "journal.txt");
    {
        Ref<ILocbaseDir> dir;
        Create(CLSID_LocbaseDir, dir);
        EXPECT_EQ(S_OK, ::OleRun(dir.p));
        tesk::UniqueBstr name(::SysAllocString(L"X0000303")), empty(::SysAllocString(L"")), area(::SysAllocString(L"Pr\u00fcfung"));
        LONG errorNumber = 0;
        ASSERT_EQ(S_OK, dir->Init(name.get(), empty.get(), area.get(), 1, &errorNumber));
    }
    EXPECT_EQ((std::vector<std::string>{"LocbaseDir created", "LocbaseDir running", "LocbaseDir.DirInit <X0000303> <> <Pr\xc3\xbc" "fung> <1>",
                                        "LocbaseDir released"}),
              SplitLines(ReadFileBytes(scratch.path() + "journal.txt")));
}

std::string ClassValue(const std::string& key, const char* name) {
    char value[MAX_PATH + 1] = {};
    LONG size = MAX_PATH;
    DWORD type = 0, bytes = MAX_PATH;
    if (name == nullptr) return ::RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), value, &size) == ERROR_SUCCESS ? value : "<none>";
    tesk::UniqueHkey opened;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS) return "<none>";
    return ::RegQueryValueExA(opened.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) == ERROR_SUCCESS ? value : "<none>";
}

TEST(Registration, Regsvr32WritesEachClassInProcessApartmentAndRemovesIt) {
    RemoveServerClasses();
    const std::pair<const char*, const char*> classes[] = {{"{75E51E15-A4D0-4028-8FD3-D3543A34493B}", "Korvan LocbaseWsInfo"},
                                                           {"{612B539A-9455-4D4A-959C-1B9AC504B611}", "Korvan LocbaseDir"},
                                                           {"{3DBB8EF5-CDC9-42AF-8DE8-ED10A43ECA21}", "Korvan LocbaseValue"}};
    {
        RegisteredServer server;
        ASSERT_EQ(0u, server.registerExitCode());
        for (const auto& [clsid, name] : classes) {
            const std::string key = std::string("CLSID\\") + clsid;
            EXPECT_EQ(name, ClassValue(key, nullptr));
            EXPECT_EQ(0, ::_stricmp((ProgramDirectory() + "KvLocbaseService.dll").c_str(), ClassValue(key + "\\InprocServer32", nullptr).c_str()));
            EXPECT_EQ("Apartment", ClassValue(key + "\\InprocServer32", "ThreadingModel"));
        }
    }
    for (const auto& [clsid, name] : classes) EXPECT_EQ("<none>", ClassValue(std::string("CLSID\\") + clsid, nullptr)) << name;
    // Unregistering what is not registered succeeds.
    tesk::UniqueHmodule dll = LoadModule(ProgramDirectory() + "KvLocbaseService.dll");
    EXPECT_EQ(S_OK, ExportAs<HRESULT(WINAPI*)()>(dll.get(), "DllUnregisterServer")());
}

}  // namespace
