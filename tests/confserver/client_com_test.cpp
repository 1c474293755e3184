// The client's COM helpers in process: the message text of a _com_error, the error information a
// failing call carries, calls on a missing object, and the ANSI conversion of service strings.
#include "dirlib/locbase_com.h"
#include "service_test_support.h"

#include <gtest/gtest.h>

using namespace confsvc_test;

namespace {

std::string TextOf(HRESULT hr) { return _ComErrorText(_com_error(hr)); }

TEST(ComErrorText, SystemTextLosesItsFinalLineBreakOnly) {
    const std::string system = SystemText(E_ACCESSDENIED);
    ASSERT_FALSE(system.empty()) << "the system knows E_ACCESSDENIED";
    EXPECT_EQ(system, TextOf(E_ACCESSDENIED));
    EXPECT_EQ(std::string::npos, TextOf(E_ACCESSDENIED).find_first_of("\r\n"));
    EXPECT_EQ("Access denied.", TextOf(E_ACCESSDENIED));
}

// The system of this prefix has no text for these, so the fallbacks show, with their boundaries.
TEST(ComErrorText, DispatchRangeAndUnknownErrorsWithoutSystemText) {
    const struct {
        HRESULT hr;
        const char* text;
    } cases[] = {
        {static_cast<HRESULT>(0x80040200), "Unknown error 0x80040200"},
        {static_cast<HRESULT>(0x80040201), "IDispatch error #1"},
        {static_cast<HRESULT>(0x8004FF00), "IDispatch error #64768"},
        {static_cast<HRESULT>(0x8004FFFF), "IDispatch error #65023"},
        {static_cast<HRESULT>(0x80050000), "Unknown error 0x80050000"},
        {REGDB_E_CLASSNOTREG, "Unknown error 0x80040154"},
        {static_cast<HRESULT>(0x8FFF0001), "Unknown error 0x8FFF0001"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ("", SystemText(c.hr)) << std::hex << c.hr;
        EXPECT_EQ(c.text, TextOf(c.hr)) << std::hex << c.hr;
        EXPECT_EQ(c.text, ExpectedComText(c.hr));
    }
}

// An object that offers error information for one interface only.
class ErrorSource : public ISupportErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || (iid == IID_ISupportErrorInfo && offersErrorInfo)) {
            *object = static_cast<ISupportErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(ILocbaseDir) ? S_OK : S_FALSE;
    }

    bool offersErrorInfo = true;
    ULONG references = 1;
};

void SetDescription(const wchar_t* description) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(S_OK, ::CreateErrorInfo(&create));
    create->SetDescription(const_cast<wchar_t*>(description));
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    ::SetErrorInfo(0, info);
    info->Release();
    create->Release();
}

// The error raised for `iid`, and whether the thread's error information was taken by it.
struct Raised {
    HRESULT hr = S_OK;
    std::wstring description;
    bool hadInfo = false;
};

Raised Raise(ErrorSource& source, REFIID iid) {
    Raised raised;
    try {
        _com_issue_errorex(E_ACCESSDENIED, &source, iid);
    } catch (const _com_error& error) {
        raised.hr = error.Error();
        IErrorInfo* info = error.ErrorInfo();
        raised.hadInfo = info != nullptr;
        if (info != nullptr) {
            BSTR description = nullptr;
            info->GetDescription(&description);
            tesk::UniqueBstr owner(description);
            raised.description = description != nullptr ? description : L"";
            info->Release();
        }
    }
    return raised;
}

class IssueErrorEx : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override {
        ::SetErrorInfo(0, nullptr);
        ::CoUninitialize();
    }
    ErrorSource source_;
};

TEST_F(IssueErrorEx, TakesTheErrorInformationOfAnInterfaceThatOffersIt) {
    SetDescription(L"Init gescheitert");
    const Raised raised = Raise(source_, __uuidof(ILocbaseDir));
    EXPECT_EQ(E_ACCESSDENIED, raised.hr);
    ASSERT_TRUE(raised.hadInfo);
    EXPECT_EQ(L"Init gescheitert", raised.description);
    IErrorInfo* left = nullptr;
    EXPECT_EQ(S_FALSE, ::GetErrorInfo(0, &left)) << "the information belongs to the exception now";
    EXPECT_EQ(1u, source_.references) << "the object's references are balanced";
}

TEST_F(IssueErrorEx, LeavesStaleInformationOfOtherInterfacesAlone) {
    SetDescription(L"fremd");
    const Raised raised = Raise(source_, __uuidof(ILocbaseValue));
    EXPECT_EQ(E_ACCESSDENIED, raised.hr);
    EXPECT_FALSE(raised.hadInfo);
    source_.offersErrorInfo = false;
    EXPECT_FALSE(Raise(source_, __uuidof(ILocbaseDir)).hadInfo);
    EXPECT_EQ(1u, source_.references);
}

TEST(CallLocbase, MissingObjectRaisesPointerError) {
    ILocbaseValuePtr missing;
    HRESULT caught = S_OK;
    bool called = false;
    try {
        _CallLocbase(missing, [&](ILocbaseValue*, LONG*) {
            called = true;
            return S_OK;
        });
    } catch (const _com_error& error) {
        caught = error.Error();
    }
    EXPECT_EQ(E_POINTER, caught);
    EXPECT_FALSE(called);
}

class AnsiConversion : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1252u, ::GetACP()) << "the expectations name bytes of code page 1252"; }
};

TEST_F(AnsiConversion, ServiceStringsBecomeAnsiText) {
    EXPECT_EQ("", _BstrToAnsi(nullptr));
    tesk::UniqueBstr empty(::SysAllocString(L""));
    EXPECT_EQ("", _BstrToAnsi(empty.get()));
    tesk::UniqueBstr umlaut(::SysAllocString(L"C:\\Gr\u00f6\u00dfe"));
    EXPECT_EQ(
        "C:\\Gr\xf6\xdf"
        "e",
        _BstrToAnsi(umlaut.get()));
    // Characters the code page cannot hold become its default character, so such a path never exists.
    tesk::UniqueBstr foreign(::SysAllocString(L"C:\\\u65e5\u672c"));
    EXPECT_EQ("C:\\??", _BstrToAnsi(foreign.get()));
    tesk::UniqueBstr embedded(::SysAllocStringLen(L"C:\\a\0b", 6));
    EXPECT_EQ("C:\\a", _BstrToAnsi(embedded.get()));
    const std::wstring longPath = L"C:\\" + std::wstring(99997, L'x');
    tesk::UniqueBstr longText(::SysAllocStringLen(longPath.data(), static_cast<UINT>(longPath.size())));
    EXPECT_EQ("C:\\" + std::string(99997, 'x'), _BstrToAnsi(longText.get()));
}

TEST_F(AnsiConversion, ArgumentsBecomeNonNullBstrs) {
    tesk::UniqueBstr empty = _AnsiToBstr("");
    ASSERT_TRUE(empty.valid()) << "an empty argument is an empty string, not a null one";
    EXPECT_EQ(0u, ::SysStringLen(empty.get()));
    tesk::UniqueBstr component = _AnsiToBstr("X0000302");
    EXPECT_EQ(std::wstring(L"X0000302"), std::wstring(component.get(), ::SysStringLen(component.get())));
    tesk::UniqueBstr area = _AnsiToBstr(
        "Pr\xfc"
        "fung");
    EXPECT_EQ(std::wstring(L"Pr\u00fcfung"), std::wstring(area.get(), ::SysStringLen(area.get())));
}

}  // namespace
