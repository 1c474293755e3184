// The server DLL in this process: the objects' answers as configured in the registry. The shipped
// DLL lies beside the program; its test build, which can be told to fail, in module\.
#include "dirlib/locbase_com.h"
#include "test_support/com_server.h"
#include "test_support/files.h"
#include "test_support/module.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

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
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override {
        dll_.reset();
        ::SetErrorInfo(0, nullptr);
        ::CoUninitialize();
    }
    void Load(const std::string& directory) {
        dll_ = LoadModule(directory + "KvLocbaseService.dll");
        getClassObject_ = ExportAs<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(dll_.get(), "DllGetClassObject");
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
};

TEST_F(ServerDll, AnswersAsConfiguredTheMostSpecificKeyFirst) {
    Load(ProgramDirectory());
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
    BSTR path = kSentinel;

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
    IErrorInfo* info = nullptr;
    ASSERT_EQ(S_OK, ::GetErrorInfo(0, &info));
    const _com_error error(E_ACCESSDENIED, info);
    EXPECT_TRUE(error.Description() == _bstr_t(L"LocbaseValue.GetProgramPath failed as configured"));
    EXPECT_TRUE(error.Source() == _bstr_t(L"KvLocbaseService"));
    EXPECT_TRUE(error.GUID_() == __uuidof(ILocbaseValue));
}

}  // namespace

namespace {

std::string ClassValue(const std::string& key, const char* name) {
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    return ::RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS ? value : "<none>";
}

// Self-registration writes each class as an apartment-threaded in-process server of this file and
// removes it again; COM may unload the DLL only while no class object, object or lock lives.
TEST_F(ServerDll, RegistersItsClassesAndUnloadsOnlyWhenNothingLives) {
    Load(ProgramDirectory());
    const auto call = [&](const char* name) { return ExportAs<HRESULT(WINAPI*)()>(dll_.get(), name)(); };
    const std::pair<const CLSID*, const char*> classes[] = {
        {&CLSID_LocbaseWsInfo, "Korvan LocbaseWsInfo"}, {&CLSID_LocbaseDir, "Korvan LocbaseDir"}, {&CLSID_LocbaseValue, "Korvan LocbaseValue"}};
    for (const bool registered : {true, false}) {
        ASSERT_EQ(S_OK, call(registered ? "DllRegisterServer" : "DllUnregisterServer"));
        for (const auto& [clsid, name] : classes) {
            wchar_t text[40] = {};
            ::StringFromGUID2(*clsid, text, 40);
            const std::string key = "CLSID\\" + std::string(text, text + 38);
            EXPECT_EQ(registered ? name : "<none>", ClassValue(key, nullptr));
            EXPECT_EQ(registered ? "Apartment" : "<none>", ClassValue(key + "\\InprocServer32", "ThreadingModel"));
            if (registered) EXPECT_EQ(0, ::_stricmp((ProgramDirectory() + "KvLocbaseService.dll").c_str(), ClassValue(key + "\\InprocServer32", nullptr).c_str()));
        }
    }
    EXPECT_EQ(S_OK, call("DllUnregisterServer")) << "nothing registered";

    EXPECT_EQ(S_OK, call("DllCanUnloadNow"));
    IClassFactoryPtr factory;
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_FALSE, call("DllCanUnloadNow")) << "class object alive";
    ILocbaseDirPtr object = Create<ILocbaseDirPtr>(CLSID_LocbaseDir);
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory = nullptr;
    EXPECT_EQ(S_FALSE, call("DllCanUnloadNow")) << "object and lock alive";
    object = nullptr;
    EXPECT_EQ(S_FALSE, call("DllCanUnloadNow")) << "lock alive";
    ASSERT_EQ(S_OK, getClassObject_(CLSID_LocbaseDir, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory = nullptr;
    EXPECT_EQ(S_OK, call("DllCanUnloadNow"));
}

}  // namespace
