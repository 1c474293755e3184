// The server DLL in this process: class objects and unload rule, the objects' interfaces, their
// answers as configured in the registry, journal and registration. The shipped DLL lies beside the
// program; its test build, which can be told to fail, in module\.
#include "dirlib/locbase_com.h"
#include "test_support/com_server.h"
#include "test_support/files.h"
#include "test_support/module.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

#include <optional>

using namespace test_support;

_COM_SMARTPTR_TYPEDEF(IClassFactory, IID_IClassFactory);
_COM_SMARTPTR_TYPEDEF(ISupportErrorInfo, IID_ISupportErrorInfo);
_COM_SMARTPTR_TYPEDEF(IRunnableObject, IID_IRunnableObject);
_COM_SMARTPTR_TYPEDEF(IErrorInfo, IID_IErrorInfo);

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
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override {
        dll_.reset();
        ::SetErrorInfo(0, nullptr);
        ::CoUninitialize();
    }
    void Load(const std::string& directory) {
        dll_ = LoadModule(directory + "KvLocbaseService.dll");
        getClassObject_ = ExportAs<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(dll_.get(), "DllGetClassObject");
        canUnloadNow_ = ExportAs<HRESULT(WINAPI*)()>(dll_.get(), "DllCanUnloadNow");
    }
    template <typename Pointer>
    Pointer Create(const CLSID& clsid) {
        IClassFactoryPtr factory;
        Pointer object;
        EXPECT_EQ(S_OK, getClassObject_(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, Pointer::GetIID(), reinterpret_cast<void**>(&object)));
        return object;
    }
    // GetProgramPath's HRESULT and three strings.
    std::pair<HRESULT, Strings> ProgramPath(ILocbaseValue* value, LONG& errorNumber) {
        BSTR s[3] = {kSentinel, kSentinel, kSentinel};
        const HRESULT hr = value->GetProgramPath(&s[0], &s[1], &s[2], &errorNumber);
        return {hr, {Take(s[0]), Take(s[1]), Take(s[2])}};
    }
    VendorRegistry registry_;
    tesk::UniqueHmodule dll_;
    HRESULT(WINAPI* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* canUnloadNow_)() = nullptr;
};

TEST_F(ServerDll, ClassObjectsObjectsAndTheUnloadRule) {
    Load(ProgramDirectory());
    void* object = kSentinel;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject_(IID_IUnknown, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, nullptr));
    EXPECT_EQ(S_OK, canUnloadNow_());
    IClassFactoryPtr factory;
    _com_ptr_t<_com_IIID<IUnknown, &IID_IUnknown>> outer;
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseWsInfo, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IUnknown, reinterpret_cast<void**>(&outer)));
    EXPECT_EQ(S_FALSE, canUnloadNow_());
    for (const auto& [aggregate, iid, expected] : {std::make_tuple(outer.GetInterfacePtr(), IID_IUnknown, CLASS_E_NOAGGREGATION),
                                                   std::make_tuple<IUnknown*>(nullptr, __uuidof(ILocbaseDir), E_NOINTERFACE)}) {
        object = kSentinel;
        EXPECT_EQ(expected, factory->CreateInstance(aggregate, iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    ILocbaseWsInfoPtr wsInfo = Create<ILocbaseWsInfoPtr>(CLSID_LocbaseWsInfo);
    ISupportErrorInfoPtr support(wsInfo);
    IRunnableObjectPtr runnable(wsInfo);
    ASSERT_TRUE(support && runnable);
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(__uuidof(ILocbaseWsInfo)));
    EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(__uuidof(ILocbaseValue)));
    EXPECT_FALSE(runnable->IsRunning());
    EXPECT_EQ(S_OK, ::OleRun(runnable));
    CLSID running = {};
    EXPECT_TRUE(runnable->IsRunning() && runnable->GetRunningClass(&running) == S_OK && running == CLSID_LocbaseWsInfo);
    for (const IID& iid : {__uuidof(ILocbaseValue), IID_IDispatch}) {
        object = kSentinel;
        EXPECT_EQ(E_NOINTERFACE, wsInfo->QueryInterface(iid, &object));
        EXPECT_EQ(nullptr, object);
    }
    // COM may unload the DLL only while no object, no class object and no lock is alive.
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory = nullptr, support = nullptr, runnable = nullptr, outer = nullptr;
    EXPECT_EQ(S_FALSE, canUnloadNow_()) << "object and lock alive";
    wsInfo = nullptr;
    EXPECT_EQ(S_FALSE, canUnloadNow_()) << "lock alive";
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory = nullptr;
    EXPECT_EQ(S_OK, canUnloadNow_());
}

TEST_F(ServerDll, AnswersAsConfiguredTheMostSpecificKeyFirst) {
    Load(ProgramDirectory());
    const std::string component = std::string(kServiceKey) + "\\X0000303";
    registry_.SetString(kServiceKey, "GetProgramPath", "C:\\Dienst");
    registry_.SetString(kServiceKey, "GetProgramPath.2", "");
    registry_.SetValue(kServiceKey, "GetProgramPath.3", REG_NONE, nullptr, 0);
    registry_.SetDword(kServiceKey, "GetProgramPath.Error", static_cast<DWORD>(-7));
    registry_.SetDword(kServiceKey, "GetProgramPath.HResult", static_cast<DWORD>(E_ACCESSDENIED));
    registry_.SetString(component, "GetProgramPath.3", "f\xfcnf");
    registry_.SetString(kServiceKey, "GetSystemPath", "C:\\" + std::string(99997, 'L'));
    ILocbaseValuePtr value = Create<ILocbaseValuePtr>(CLSID_LocbaseValue);
    LONG errorNumber = 0;
    // The shipped server knows no configured failure; before Init only the service key counts.
    EXPECT_EQ(std::make_pair(S_OK, Strings{L"C:\\Dienst", L"", std::nullopt}), ProgramPath(value, errorNumber));
    EXPECT_EQ(-7, errorNumber);
    const tesk::UniqueBstr name = Bstr(L"X0000303"), version = Bstr(L"1.0"), empty = Bstr(L"");
    ASSERT_EQ(S_OK, value->Init(name.get(), version.get(), &errorNumber));
    EXPECT_EQ(std::make_pair(S_OK, Strings{L"C:\\Dienst", L"", L"f\u00fcnf"}), ProgramPath(value, errorNumber));
    EXPECT_EQ(E_POINTER, value->GetUserConfigPath(1, nullptr, &errorNumber));
    BSTR path = kSentinel;
    ASSERT_EQ(S_OK, Create<ILocbaseWsInfoPtr>(CLSID_LocbaseWsInfo)->GetSystemPath(&path, &errorNumber));
    EXPECT_EQ(100000u, Take(path).value_or(L"").size()) << "answered whole";

    // A data area's key before its component's before the service key; a name with a backslash has no key.
    registry_.SetString(kServiceKey, "GetDirPath", "C:\\Dienst");
    registry_.SetString(component, "GetDirPath", "C:\\Komponente");
    registry_.SetDword(component, "GetDirPath.Error", 4);
    registry_.SetString(component + "\\Archiv", "GetDirPath", "C:\\Archiv");
    for (const auto& [area, expected] : {std::make_pair(L"Archiv", L"C:\\Archiv"), std::make_pair(L"Andere", L"C:\\Komponente"),
                                         std::make_pair(L"Archiv\\", L"C:\\Komponente")}) {
        ILocbaseDirPtr dir = Create<ILocbaseDirPtr>(CLSID_LocbaseDir);
        ASSERT_EQ(S_OK, dir->Init(name.get(), empty.get(), Bstr(area).get(), 1, &errorNumber));
        path = kSentinel;
        ASSERT_EQ(S_OK, dir->GetDirPath(&path, &errorNumber));
        EXPECT_EQ(std::optional<std::wstring>(expected), Take(path)) << area;
        EXPECT_EQ(4, errorNumber) << area;
    }
}

TEST_F(ServerDll, TestBuildFailsAsConfiguredWithErrorInformationAndNoStrings) {
    Load(ProgramDirectory() + "module\\");
    registry_.SetString(kServiceKey, "GetProgramPath", "C:\\Prog");
    registry_.SetDword(kServiceKey, "GetProgramPath.Error", 3);
    registry_.SetDword(kServiceKey, "GetProgramPath.HResult", static_cast<DWORD>(E_ACCESSDENIED));
    LONG errorNumber = 5;
    EXPECT_EQ(std::make_pair(E_ACCESSDENIED, Strings(3)), ProgramPath(Create<ILocbaseValuePtr>(CLSID_LocbaseValue), errorNumber));
    EXPECT_EQ(0, errorNumber);
    IErrorInfoPtr info;
    ASSERT_EQ(S_OK, ::GetErrorInfo(0, &info));
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
    const std::string journal = UniqueTempPath("journal.txt");
    registry_.SetString(kServiceKey, "Journal", journal);
    {
        ILocbaseDirPtr dir = Create<ILocbaseDirPtr>(CLSID_LocbaseDir);
        EXPECT_EQ(S_OK, ::OleRun(dir));
        LONG errorNumber = 0;
        ASSERT_EQ(S_OK, dir->Init(Bstr(L"X0000303").get(), Bstr(L"").get(), Bstr(L"Pr\u00fcfung").get(), 1, &errorNumber));
    }
    EXPECT_EQ((std::vector<std::string>{"LocbaseDir created", "LocbaseDir running", "LocbaseDir.DirInit <X0000303> <> <Pr\xc3\xbc" "fung> <1>",
                                        "LocbaseDir released"}),
              SplitLines(ReadFileBytes(journal)));
    ::DeleteFileA(journal.c_str());
}

std::string ClassValue(const std::string& key, const char* name) {
    char value[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    return ::RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS ? value : "<none>";
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
    const tesk::UniqueHmodule dll = LoadModule(ProgramDirectory() + "KvLocbaseService.dll");
    EXPECT_EQ(S_OK, ExportAs<HRESULT(WINAPI*)()>(dll.get(), "DllUnregisterServer")());
}

}  // namespace
