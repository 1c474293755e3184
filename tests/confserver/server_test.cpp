// The server DLL on its own: its exports, its class objects and unload rule, its answers as
// configured in the registry, its error information and journal, and its registration by regsvr32.
#include "contracts/locbase_interfaces.h"
#include "platform/unique_resource.h"
#include "service_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

using ::testing::ElementsAre;
using namespace confsvc_test;

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(WINAPI*)();

BSTR const kSentinelBstr = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0xdeadbeef));
constexpr LONG kSentinelNumber = 0x5a5a5a5a;

template <typename T>
struct ComRef {
    T* p = nullptr;
    ~ComRef() { reset(); }
    void reset() {
        if (p != nullptr) p->Release();
        p = nullptr;
    }
    void** put() { return reinterpret_cast<void**>(&p); }
    T* operator->() const { return p; }
};

std::optional<std::wstring> Take(BSTR text) {
    tesk::UniqueBstr owner(text);
    if (text == nullptr) return std::nullopt;
    return std::wstring(text, ::SysStringLen(text));
}

class ServerDll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        dll_.reset(::LoadLibraryA(kServerDll));
        ASSERT_TRUE(dll_.valid()) << ::GetLastError();
        getClassObject_ = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(::GetProcAddress(dll_.get(), "DllGetClassObject")));
        canUnloadNow_ =
            reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(::GetProcAddress(dll_.get(), "DllCanUnloadNow")));
        ASSERT_NE(nullptr, getClassObject_);
        ASSERT_NE(nullptr, canUnloadNow_);
    }
    void TearDown() override {
        dll_.reset();
        ::SetErrorInfo(0, nullptr);
        ::CoUninitialize();
    }

    template <typename Interface>
    void Create(const CLSID& clsid, ComRef<Interface>& object) {
        ComRef<IClassFactory> factory;
        ASSERT_EQ(S_OK, getClassObject_(clsid, IID_IClassFactory, factory.put()));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(Interface), object.put()));
    }

    void SetNumber(const std::string& key, const std::string& name, DWORD value) {
        registry_.SetValue(key, name, REG_DWORD, &value, sizeof value);
    }

    dirlib_test::VendorRegistry registry_;
    tesk::UniqueHmodule dll_;
    GetClassObjectFn getClassObject_ = nullptr;
    CanUnloadNowFn canUnloadNow_ = nullptr;
};

TEST_F(ServerDll, ClassObjectsOnlyForItsOwnClasses) {
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject_(IID_IUnknown, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, nullptr));

    ComRef<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseValue, IID_IClassFactory, factory.put()));
    ComRef<IUnknown> outer;
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IUnknown, outer.put()));
    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.p, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, __uuidof(ILocbaseDir), &object));
    EXPECT_EQ(nullptr, object);
}

TEST_F(ServerDll, ObjectsOfferTheirInterfaceErrorInfoAndRunningStateOnly) {
    ComRef<ILocbaseWsInfo> wsInfo;
    Create(CLSID_LocbaseWsInfo, wsInfo);
    ComRef<IUnknown> unknown;
    EXPECT_EQ(S_OK, wsInfo->QueryInterface(IID_IUnknown, unknown.put()));
    ComRef<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, wsInfo->QueryInterface(IID_ISupportErrorInfo, support.put()));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(__uuidof(ILocbaseWsInfo)));
    EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(__uuidof(ILocbaseValue)));
    ComRef<IRunnableObject> runnable;
    ASSERT_EQ(S_OK, wsInfo->QueryInterface(IID_IRunnableObject, runnable.put()));
    EXPECT_FALSE(runnable->IsRunning());
    EXPECT_EQ(S_OK, ::OleRun(unknown.p));
    EXPECT_TRUE(runnable->IsRunning());
    CLSID running = {};
    EXPECT_EQ(S_OK, runnable->GetRunningClass(&running));
    EXPECT_TRUE(running == CLSID_LocbaseWsInfo);
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, wsInfo->QueryInterface(__uuidof(ILocbaseValue), &object));
    EXPECT_EQ(nullptr, object);
    object = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, wsInfo->QueryInterface(IID_IDispatch, &object));
    EXPECT_EQ(nullptr, object);
}

// COM may unload the DLL only while no object, no class object and no lock is alive.
TEST_F(ServerDll, UnloadOnlyWhenNothingIsAlive) {
    EXPECT_EQ(S_OK, canUnloadNow_());
    {
        ComRef<IClassFactory> factory;
        ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, factory.put()));
        EXPECT_EQ(S_FALSE, canUnloadNow_());
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
        ComRef<ILocbaseDir> dir;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(ILocbaseDir), dir.put()));
        factory.reset();
        EXPECT_EQ(S_FALSE, canUnloadNow_()) << "object and lock alive";
        dir.reset();
        EXPECT_EQ(S_FALSE, canUnloadNow_()) << "lock alive";
        ComRef<IClassFactory> again;
        ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, again.put()));
        EXPECT_EQ(S_OK, again->LockServer(FALSE));
    }
    EXPECT_EQ(S_OK, canUnloadNow_());
}

TEST_F(ServerDll, UnconfiguredMethodsGiveNullStringsAndErrorNumberZero) {
    ComRef<ILocbaseValue> value;
    Create(CLSID_LocbaseValue, value);
    BSTR strings[5] = {kSentinelBstr, kSentinelBstr, kSentinelBstr, kSentinelBstr, kSentinelBstr};
    LONG errorNumber = kSentinelNumber;
    ASSERT_EQ(S_OK, value->GetLogPath(&strings[0], &strings[1], &strings[2], &strings[3], &strings[4], &errorNumber));
    for (BSTR s : strings) EXPECT_EQ(nullptr, s);
    EXPECT_EQ(0, errorNumber);
    EXPECT_EQ(E_POINTER, value->GetConfigPath(&strings[0], nullptr, &errorNumber));
    EXPECT_EQ(E_POINTER, value->GetUserConfigPath(1, &strings[0], nullptr));
}

TEST_F(ServerDll, StringsNullsAndErrorNumbersAsConfigured) {
    registry_.SetString(kServiceKey, "GetLogPath", "C:\\Log");
    registry_.SetString(kServiceKey, "GetLogPath.2", "");
    registry_.SetValue(kServiceKey, "GetLogPath.3", REG_NONE, nullptr, 0);
    registry_.SetString(kServiceKey, "GetLogPath.5", "f\xfcnf");
    SetNumber(kServiceKey, "GetLogPath.Error", static_cast<DWORD>(-7));
    ComRef<ILocbaseValue> value;
    Create(CLSID_LocbaseValue, value);
    BSTR s[5] = {kSentinelBstr, kSentinelBstr, kSentinelBstr, kSentinelBstr, kSentinelBstr};
    LONG errorNumber = kSentinelNumber;
    ASSERT_EQ(S_OK, value->GetLogPath(&s[0], &s[1], &s[2], &s[3], &s[4], &errorNumber));
    EXPECT_EQ(std::optional<std::wstring>(L"C:\\Log"), Take(s[0]));
    EXPECT_EQ(std::optional<std::wstring>(L""), Take(s[1])) << "an empty value is an empty, non-null string";
    EXPECT_EQ(std::nullopt, Take(s[2])) << "REG_NONE is the null string";
    EXPECT_EQ(std::nullopt, Take(s[3])) << "a missing value is the null string";
    EXPECT_EQ(std::optional<std::wstring>(L"f\u00fcnf"), Take(s[4]));
    EXPECT_EQ(-7, errorNumber);
}

TEST_F(ServerDll, LongStringsComeBackWhole) {
    const std::string longPath = "C:\\" + std::string(99997, 'L');
    registry_.SetString(kServiceKey, "GetSystemPath", longPath);
    ComRef<ILocbaseWsInfo> wsInfo;
    Create(CLSID_LocbaseWsInfo, wsInfo);
    BSTR path = kSentinelBstr;
    LONG errorNumber = kSentinelNumber;
    ASSERT_EQ(S_OK, wsInfo->GetSystemPath(&path, &errorNumber));
    EXPECT_EQ(std::optional<std::wstring>(std::wstring(longPath.begin(), longPath.end())), Take(path));
    EXPECT_EQ(0, errorNumber);
}

TEST_F(ServerDll, FailingHresultComesWithErrorInformationAndNoStrings) {
    registry_.SetString(kServiceKey, "GetProgramPath", "C:\\Prog");
    SetNumber(kServiceKey, "GetProgramPath.Error", 3);
    SetNumber(kServiceKey, "GetProgramPath.HResult", static_cast<DWORD>(E_ACCESSDENIED));
    ComRef<ILocbaseValue> value;
    Create(CLSID_LocbaseValue, value);
    BSTR s[3] = {kSentinelBstr, kSentinelBstr, kSentinelBstr};
    LONG errorNumber = kSentinelNumber;
    EXPECT_EQ(E_ACCESSDENIED, value->GetProgramPath(&s[0], &s[1], &s[2], &errorNumber));
    for (BSTR text : s) EXPECT_EQ(nullptr, text);
    EXPECT_EQ(0, errorNumber);
    ComRef<IErrorInfo> info;
    ASSERT_EQ(S_OK, ::GetErrorInfo(0, &info.p));
    BSTR description = nullptr;
    BSTR source = nullptr;
    info->GetDescription(&description);
    info->GetSource(&source);
    EXPECT_EQ(std::optional<std::wstring>(L"LocbaseValue.GetProgramPath failed as configured"), Take(description));
    EXPECT_EQ(std::optional<std::wstring>(L"KvLocbaseService"), Take(source));
    GUID guid = {};
    info->GetGUID(&guid);
    EXPECT_TRUE(guid == __uuidof(ILocbaseValue));
}

// After Init the component's own key comes first, for a data area its key before that.
TEST_F(ServerDll, ComponentAndDataAreaKeysComeBeforeTheServiceKey) {
    const std::string component = std::string(kServiceKey) + "\\X0000303";
    registry_.SetString(kServiceKey, "GetDirPath", "C:\\Dienst");
    registry_.SetString(kServiceKey, "GetConfigPath", "C:\\Dienst");
    registry_.SetString(component, "GetConfigPath", "C:\\Komponente");
    SetNumber(component, "GetDirPath.Error", 4);
    registry_.SetString(component + "\\Archiv", "GetDirPath", "C:\\Archiv");

    ComRef<ILocbaseValue> value;
    Create(CLSID_LocbaseValue, value);
    BSTR path = nullptr;
    BSTR second = nullptr;
    LONG errorNumber = kSentinelNumber;
    ASSERT_EQ(S_OK, value->GetConfigPath(&path, &second, &errorNumber));
    EXPECT_EQ(std::optional<std::wstring>(L"C:\\Dienst"), Take(path)) << "before Init only the service key counts";
    Take(second);
    tesk::UniqueBstr name(::SysAllocString(L"X0000303"));
    tesk::UniqueBstr version(::SysAllocString(L"1.0"));
    ASSERT_EQ(S_OK, value->Init(name.get(), version.get(), &errorNumber));
    ASSERT_EQ(S_OK, value->GetConfigPath(&path, &second, &errorNumber));
    EXPECT_EQ(std::optional<std::wstring>(L"C:\\Komponente"), Take(path));
    Take(second);

    tesk::UniqueBstr empty(::SysAllocString(L""));
    tesk::UniqueBstr archiv(::SysAllocString(L"Archiv"));
    tesk::UniqueBstr other(::SysAllocString(L"Andere"));
    for (BSTR area : {archiv.get(), other.get()}) {
        ComRef<ILocbaseDir> dir;
        Create(CLSID_LocbaseDir, dir);
        ASSERT_EQ(S_OK, dir->Init(name.get(), empty.get(), area, 1, &errorNumber));
        ASSERT_EQ(S_OK, dir->GetDirPath(&path, &errorNumber));
        if (area == archiv.get()) {
            EXPECT_EQ(std::optional<std::wstring>(L"C:\\Archiv"), Take(path));
        } else {
            EXPECT_EQ(std::optional<std::wstring>(L"C:\\Dienst"), Take(path));
        }
        EXPECT_EQ(4, errorNumber) << "the component's error number reaches every data area";
    }

    // A name that would leave the service key finds no subkey.
    ComRef<ILocbaseValue> escaping;
    Create(CLSID_LocbaseValue, escaping);
    tesk::UniqueBstr sneaky(::SysAllocString(L"X0000303\\..\\X0000303"));
    ASSERT_EQ(S_OK, escaping->Init(sneaky.get(), version.get(), &errorNumber));
    ASSERT_EQ(S_OK, escaping->GetConfigPath(&path, &second, &errorNumber));
    EXPECT_EQ(std::optional<std::wstring>(L"C:\\Dienst"), Take(path));
    Take(second);
}

TEST_F(ServerDll, JournalNotesCreationCallsWithArgumentsAndRelease) {
    dirlib_test::ScratchDir scratch("journal");
    const std::string journal = scratch.path() + "journal.txt";
    registry_.SetString(kServiceKey, "Journal", journal);
    {
        ComRef<ILocbaseDir> dir;
        Create(CLSID_LocbaseDir, dir);
        tesk::UniqueBstr name(::SysAllocString(L"X0000303"));
        tesk::UniqueBstr empty(::SysAllocString(L""));
        tesk::UniqueBstr area(::SysAllocString(L"Pr\u00fcfung"));
        LONG errorNumber = 0;
        ASSERT_EQ(S_OK, dir->Init(name.get(), empty.get(), area.get(), 1, &errorNumber));
        BSTR path = nullptr;
        ASSERT_EQ(S_OK, dir->GetDirPath(&path, &errorNumber));
        Take(path);
    }
    EXPECT_THAT(dirlib_test::SplitLines(dirlib_test::ReadFileBytes(journal)),
                ElementsAre("LocbaseDir created",
                            "LocbaseDir.DirInit <X0000303> <> <Pr\xc3\xbc"
                            "fung> <1>",
                            "LocbaseDir.GetDirPath", "LocbaseDir released"));
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { RemoveServerClasses(); }
    void TearDown() override { RemoveServerClasses(); }

    static std::string ReadText(const std::string& keyPath, const char* name) {
        char value[MAX_PATH + 1] = {};
        DWORD size = MAX_PATH;
        tesk::UniqueHkey key;
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
            return "<no key>";
        }
        if (::RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS) {
            return "<no value>";
        }
        return value;
    }
};

TEST_F(Registration, Regsvr32WritesEachClassInProcessWithApartmentThreadingAndRemovesIt) {
    const struct {
        const char* clsid;
        const char* name;
    } classes[] = {
        {"{75E51E15-A4D0-4028-8FD3-D3543A34493B}", "Korvan LocbaseWsInfo"},
        {"{612B539A-9455-4D4A-959C-1B9AC504B611}", "Korvan LocbaseDir"},
        {"{3DBB8EF5-CDC9-42AF-8DE8-ED10A43ECA21}", "Korvan LocbaseValue"},
    };
    {
        RegisteredServer server;
        ASSERT_EQ(0u, server.registerExitCode());
        for (const auto& c : classes) {
            const std::string key = std::string("CLSID\\") + c.clsid;
            EXPECT_EQ(c.name, ReadText(key, nullptr));
            EXPECT_EQ(0, ::_stricmp((TestDirectory() + kServerDll).c_str(),
                                    ReadText(key + "\\InprocServer32", nullptr).c_str()))
                << ReadText(key + "\\InprocServer32", nullptr);
            EXPECT_EQ("Apartment", ReadText(key + "\\InprocServer32", "ThreadingModel"));
        }
    }
    for (const auto& c : classes) EXPECT_EQ("<no key>", ReadText(std::string("CLSID\\") + c.clsid, nullptr));
}

TEST_F(Registration, UnregisteringWhatIsNotRegisteredSucceeds) {
    tesk::UniqueHmodule dll(::LoadLibraryA(kServerDll));
    ASSERT_TRUE(dll.valid());
    using SelfRegFn = HRESULT(WINAPI*)();
    const auto unregister =
        reinterpret_cast<SelfRegFn>(reinterpret_cast<void*>(::GetProcAddress(dll.get(), "DllUnregisterServer")));
    ASSERT_NE(nullptr, unregister);
    EXPECT_EQ(S_OK, unregister());
}

}  // namespace
