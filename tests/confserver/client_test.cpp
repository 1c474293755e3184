// The service client of the directory library: its COM helpers in this process, and its three
// lookups in the scenario host, against no server and against the server's test build registered
// with regsvr32. The server's journal shows what a lookup asked and that it let the object go.
#include "dirlib/locbase_com.h"
#include "host_client.h"
#include "platform/unique_resource.h"
#include "test_support/com_server.h"
#include "test_support/files.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

using namespace test_support;

namespace {

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}
// The client's line for a caught _com_error.
std::string ComError(const std::string& prefix, HRESULT hr, const std::string& text) { return "E " + prefix + " <" + Hex(hr) + ">, <" + text + ">"; }
const std::string kValue = "_GetValueFromLocbase: Exception ComError gefangen", kData = "LBS_GetAvailableDataDirLocbase: Im Catch-ComError...",
                  kSystem = "LBS_GetSystenDir: Im Catch-ComError...";
const std::string kNotRegistered = "Unknown error 0x80040154";  // the system of this prefix has no text for it
// The system's text of an HRESULT it knows.
std::string Known(HRESULT hr) {
    const std::string text = SystemText(hr);
    EXPECT_NE("", text) << Hex(hr);
    return text;
}

TEST(ComHelpers, ErrorTextsConversionsAndTheMissingObject) {
    EXPECT_EQ("Access denied.", _ComErrorText(_com_error(E_ACCESSDENIED))) << "the system's text without its line break";
    // Without a system text: the dispatch range by number, the rest as unknown, at their boundaries.
    const std::pair<unsigned long, const char*> fallbacks[] = {
        {0x80040200, "Unknown error 0x80040200"}, {0x80040201, "IDispatch error #1"}, {0x8004FFFF, "IDispatch error #65023"},
        {0x80050000, "Unknown error 0x80050000"}, {0x80040154, kNotRegistered.c_str()}};
    for (const auto& [hr, text] : fallbacks) {
        ASSERT_EQ("", SystemText(static_cast<HRESULT>(hr))) << std::hex << hr;
        EXPECT_EQ(text, _ComErrorText(_com_error(static_cast<HRESULT>(hr)))) << std::hex << hr;
    }
    ASSERT_EQ(1252u, ::GetACP()) << "the expectations name bytes of code page 1252";
    const std::pair<std::wstring, std::string> toAnsi[] = {
        {L"C:\\Gr\u00f6\u00dfe", "C:\\Gr\xf6\xdf" "e"}, {L"C:\\\u65e5\u672c", "C:\\??"}, {std::wstring(L"C:\\a\0b", 6), "C:\\a"}, {L"", ""}};
    for (const auto& [wide, ansi] : toAnsi) {
        tesk::UniqueBstr text(::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
        EXPECT_EQ(ansi, _BstrToAnsi(text.get()));
    }
    EXPECT_EQ("", _BstrToAnsi(nullptr));
    for (const char* ansi : {"", "Pr\xfc" "fung"}) {
        const tesk::UniqueBstr text = _AnsiToBstr(ansi);
        ASSERT_TRUE(text.valid()) << "an empty argument is an empty string, not a null one";
        EXPECT_EQ(std::string(ansi) == "" ? L"" : L"Pr\u00fcfung", std::wstring(text.get(), ::SysStringLen(text.get())));
    }
    ILocbaseValuePtr missing;
    bool called = false;
    HRESULT caught = S_OK;
    try {
        _CallLocbase(missing, [&](ILocbaseValue*, LONG*) { return called = true, S_OK; });
    } catch (const _com_error& error) {
        caught = error.Error();
    }
    EXPECT_TRUE(caught == E_POINTER && !called);
}

// A lookup in the host: its setup, its arguments, the lines it must print (messages, result,
// probes) and, against the server, the journal it must leave.
struct Lookup {
    std::string name;
    std::function<void()> setup;
    std::string arguments;
    std::vector<std::string> lines, journal = {};
};

class ClientLookups : public ::testing::Test {
protected:
    void Play(const std::vector<Lookup>& lookups) {
        for (const Lookup& l : lookups) {
            SCOPED_TRACE(l.name);
            VendorRegistry fresh;
            fresh.SetString(kServiceKey, "Journal", journal_);
            registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", s_);
            if (l.setup) l.setup();
            const host::Run run = host::Start("call " + l.arguments);
            EXPECT_EQ(l.lines, LinesStartingWith(run.output.substr(run.output.find("--- call")),
                                                 {"I _", "E _", "I LBS_", "E LBS_", "RESULT", "BEFORE", "PROBE"}));
            EXPECT_EQ(l.journal, SplitLines(ReadFileBytes(journal_)));
            ::DeleteFileA(journal_.c_str());
            for (const char* clsid : {kWsInfo, kDir, kValueClass}) ::RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + clsid + "\\TreatAs").c_str());
        }
    }
    // CoCreateInstance of `clsid` then makes an object of another class, which lacks the interface.
    static void TreatAs(const char* clsid, const char* other) {
        tesk::UniqueHkey key;
        ::RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + clsid + "\\TreatAs").c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(other), 39));
    }
    void Set(const std::string& name, const std::string& text, const std::string& component = "") {
        registry_.SetString(component.empty() ? kServiceKey : std::string(kServiceKey) + "\\" + component, name, text);
    }
    void Number(const std::string& name, LONG value) { registry_.SetDword(kServiceKey, name, static_cast<DWORD>(value)); }
    std::vector<std::string> Fallback(const std::string& first) const {
        return {first, "I LBS_GetSystemDir: Korvan-Systempfad <" + s_ + "> \xfc" "ber Registry ermittelt.",
                "I LBS_GetSystemDir: Systempfad = \"" + s_ + "\"", "RESULT <" + s_ + ">", "PROBE 0x00000000"};
    }
    static std::vector<std::string> Journal(const std::string& object, std::vector<std::string> calls) {
        calls.insert(calls.begin(), {object + " created", object + " running"});
        calls.push_back(object + " released");
        return calls;
    }
    static constexpr char kWsInfo[] = "{75E51E15-A4D0-4028-8FD3-D3543A34493B}", kDir[] = "{612B539A-9455-4D4A-959C-1B9AC504B611}",
                          kValueClass[] = "{3DBB8EF5-CDC9-42AF-8DE8-ED10A43ECA21}";
    VendorRegistry registry_;
    ScratchDir scratch_{"client"};
    const std::string s_ = scratch_.path(), journal_ = UniqueTempPath("journal.txt");
    const std::string on_ = "LocbaseActive", off_ = "I LBS_GetSystenDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet";
};

TEST_F(ClientLookups, WithoutTheServerAndInEachApartment) {
    RemoveServerClasses();
    const std::string noCom = " CoInitializeEx(...) war nicht erfolgreich!", created = "E _GetActiveDataDirFromLocbase: pDir.CreateInstance(...) nicht erfolgreich <-2147221164>!";
    const std::string module = host::Directory();
    auto on = [&] { registry_.SetSetting(on_, "ein"); };
    auto prog = [&] {
        on();
        ::CreateDirectoryA((s_ + "p").c_str(), nullptr);
        registry_.SetSetting("ProgKey", s_ + "p");
    };
    std::vector<std::string> mtaSystem = Fallback("E LBS_GetSystemDir:" + noCom);
    mtaSystem.insert(mtaSystem.begin(), "BEFORE 0x00000000");
    mtaSystem.back() = "PROBE 0x00000001 0x00000000";
    std::vector<std::string> switchedOffMta = Fallback(off_);
    switchedOffMta.insert(switchedOffMta.begin(), "BEFORE 0x00000000");
    switchedOffMta.back() = "PROBE 0x00000001 0x00000000";
    Play({
        {"type 1", nullptr, "value X0000302 1 none", {ComError(kValue, REGDB_E_CLASSNOTREG, kNotRegistered), "RESULT <>", "PROBE 0x00000000"}},
        {"type 10", nullptr, "value X0000302 10 none", {ComError(kValue, REGDB_E_CLASSNOTREG, kNotRegistered), "RESULT <>", "PROBE 0x00000000"}},
        {"type 0", nullptr, "value X0000302 0 none", {"E _GetValueFromLocbase: Unbekannter Value-Typ <0>!", "RESULT <>", "PROBE 0x00000000"}},
        {"type 4", nullptr, "value X0000302 4 none", {"E _GetValueFromLocbase: Unbekannter Value-Typ <4>!", "RESULT <>", "PROBE 0x00000000"}},
        {"type 11", nullptr, "value X0000302 11 none", {"E _GetValueFromLocbase: Unbekannter Value-Typ <11>!", "RESULT <>", "PROBE 0x00000000"}},
        {"data directory, decimal", nullptr, "datadir X0000303 Archiv none", {created, "RESULT <>", "PROBE 0x00000000"}},
        {"system directory: registry, then module", [&] { on(); registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", "C:\\nicht"); },
         "systemdir 1 none",
         {ComError(kSystem, REGDB_E_CLASSNOTREG, kNotRegistered), "I LBS_GetSystemDir: Korvan-Systempfad <C:\\nicht\\> \xfc" "ber Registry ermittelt.",
          "I LBS_GetSystemDir: Systempfad = \"" + module + "\"", "RESULT <" + module + ">", "PROBE 0x00000000"}},
        {"switch missing", nullptr, "systemdir 1 none", Fallback(off_)},
        {"switch AuS", [&] { registry_.SetSetting(on_, "AuS"); }, "systemdir 1 none", Fallback(off_)},
        {"switch before apartment", [&] { registry_.SetSetting(on_, "aus"); }, "systemdir 1 mta", switchedOffMta},
        {"empty switch is on", [&] { registry_.SetSetting(on_, ""); }, "systemdir 1 none", Fallback(ComError(kSystem, REGDB_E_CLASSNOTREG, kNotRegistered))},
        {"other selector: the trace program", prog, "systemdir 2 none", {"I LBS_GetSystemDir: Systempfad = \"" + s_ + "p\\\"", "RESULT <" + s_ + "p\\>", "PROBE 0x00000000"}},
        {"selector 0 likewise", prog, "systemdir 0 none", {"I LBS_GetSystemDir: Systempfad = \"" + s_ + "p\\\"", "RESULT <" + s_ + "p\\>", "PROBE 0x00000000"}},
        {"value in the MTA", nullptr, "value X0000302 3 mta", {"BEFORE 0x00000000", "E _GetValueFromLocbase:" + noCom, "RESULT <>", "PROBE 0x00000001 0x00000000"}},
        {"data in the MTA", nullptr, "datadir X0000303 A mta",
         {"BEFORE 0x00000000", "E _GetActiveDataDirFromLocbase:" + noCom, "RESULT <>", "PROBE 0x00000001 0x00000000"}},
        {"system in the MTA", on, "systemdir 1 mta", mtaSystem},
        {"value in an STA", nullptr, "value X0000302 1 sta",
         {"BEFORE 0x00000000", ComError(kValue, REGDB_E_CLASSNOTREG, kNotRegistered), "RESULT <>", "PROBE 0x00000001 0x00000000"}},
        {"data in an STA", nullptr, "datadir X0000303 A sta", {"BEFORE 0x00000000", created, "RESULT <>", "PROBE 0x00000001 0x00000000"}},
    });
}

TEST_F(ClientLookups, AgainstTheServer) {
    ASSERT_EQ(0u, host::Start("desktop").exitCode);
    RegisteredServer server;
    ASSERT_EQ(0u, server.registerExitCode());
    const std::string denied = "Access denied.";
    auto value = [](const std::string& v) { return "I _GetValueFromLocbase: Via Locbase ermittelter Wert <" + v + ">"; };
    auto done = [](std::vector<std::string> lines, const std::string& result = "") {
        lines.insert(lines.end(), {"RESULT <" + result + ">", "PROBE 0x00000000"});
        return lines;
    };
    const auto valueJournal = [](const std::string& component, const std::string& call) {
        return Journal("LocbaseValue", {"LocbaseValue.ValueInit <" + component + "> <1.0>", call});
    };
    const auto dirJournal = [](std::vector<std::string> calls) {
        calls.insert(calls.begin(), "LocbaseDir.DirInit <X0000303> <> <Archiv> <1>");
        return Journal("LocbaseDir", calls);
    };
    const std::string sys = s_.substr(0, s_.size() - 1) + "\\sys";
    Play({
        {"configuration path, one backslash", [&] { Set("GetConfigPath", "C:\\K"); Set("GetConfigPath.2", "x"); }, "value X0000302 1 none",
         done({value("C:\\K\\")}, "C:\\K\\"), valueJournal("X0000302", "LocbaseValue.GetConfigPath")},
        {"program path joined", [&] { Set("GetProgramPath", "C:\\B"); Set("GetProgramPath.2", "P"); }, "value X0000302 3 none",
         done({value("C:\\B\\P\\")}, "C:\\B\\P\\"), valueJournal("X0000302", "LocbaseValue.GetProgramPath")},
        {"user configuration with its scope", [&] { Set("GetUserConfigPath", "C:\\U\\"); }, "value X0000303 10 none", done({value("C:\\U\\")}, "C:\\U\\"),
         valueJournal("X0000303", "LocbaseValue.GetUserConfigPath <1>")},
        {"Init's error number ignored", [&] { Number("ValueInit.Error", 9); Set("GetLogPath", "C:\\L"); }, "value X0000303 2 none",
         done({value("C:\\L\\")}, "C:\\L\\"), valueJournal("X0000303", "LocbaseValue.GetLogPath")},
        {"Init failing ends the lookup", [&] { Number("ValueInit.HResult", E_ACCESSDENIED); }, "value X0000303 1 none",
         done({ComError(kValue, E_ACCESSDENIED, denied)}), Journal("LocbaseValue", {"LocbaseValue.ValueInit <X0000303> <1.0>"})},
        {"error number discards the path", [&] { Set("GetLogPath", "C:\\L"); Number("GetLogPath.Error", -3); }, "value X0000303 2 none",
         {value(""), "E _GetValueFromLocbase: Locbase-Fehlernummer <-3>", "RESULT <>", "PROBE 0x00000000"},
         valueJournal("X0000303", "LocbaseValue.GetLogPath")},
        {"a null second string", [&] { Set("GetProgramPath", "C:\\B"); Set("GetProgramPath.3", "2.0"); }, "value X0000303 3 none",
         done({value("")}, ""), valueJournal("X0000303", "LocbaseValue.GetProgramPath")},
        {"empty stays empty", [&] { Set("GetUserConfigPath", ""); }, "value X0000303 10 none", done({value("")}, ""),
         valueJournal("X0000303", "LocbaseValue.GetUserConfigPath <1>")},
        {"dispatch-range text", [&] { Number("GetLogPath.HResult", 0x8004FF00); }, "value X0000303 2 none",
         done({ComError(kValue, static_cast<HRESULT>(0x8004FF00), "IDispatch error #64768")}), valueJournal("X0000303", "LocbaseValue.GetLogPath")},
        {"component's own answers", [&] { Set("GetConfigPath", "C:\\Alle"); Set("GetConfigPath", "C:\\Nur", "X0000303"); }, "value X0000303 1 none",
         done({value("C:\\Nur\\")}, "C:\\Nur\\"), valueJournal("X0000303", "LocbaseValue.GetConfigPath")},
        {"thread in an STA", [&] { Set("GetConfigPath", "C:\\K"); }, "value X0000303 1 sta",
         {"BEFORE 0x00000000", value("C:\\K\\"), "RESULT <C:\\K\\>", "PROBE 0x00000001 0x00000000"}, valueJournal("X0000303", "LocbaseValue.GetConfigPath")},
        {"value object without its interface", [&] { TreatAs(kValueClass, kWsInfo); }, "value X0000303 1 none",
         done({ComError(kValue, E_POINTER, "Unknown error 0x80004003")}), Journal("LocbaseWsInfo", {})},
        {"data directory", [&] { Set("GetDirPath", "C:\\D\\Archiv"); }, "datadir X0000303 Archiv none",
         {"I _GetActiveDataDirFromLocbase: Via Locbase Datenverzeichnis <C:\\D\\Archiv>!", "RESULT <C:\\D\\Archiv\\>", "PROBE 0x00000000"},
         dirJournal({"LocbaseDir.GetDirPath"})},
        {"data Init error number", [&] { Set("GetDirPath", "C:\\D"); Number("DirInit.Error", 5); }, "datadir X0000303 Archiv none",
         {"E _GetActiveDataDirFromLocbase: pDir->Init(...) nicht erfolgreich <5>!", "E LBS_GetAvailableDataDirLocbase: Locbase-Fehlernummer <5>",
          "RESULT <>", "PROBE 0x00000000"},
         dirJournal({})},
        {"data path error number", [&] { Set("GetDirPath", "C:\\D"); Number("GetDirPath.Error", -6); }, "datadir X0000303 Archiv none",
         {"E _GetActiveDataDirFromLocbase: pDir->GetDirPath(...) nicht erfolgreich <-6>!",
          "E LBS_GetAvailableDataDirLocbase: Locbase-Fehlernummer <-6>", "RESULT <>", "PROBE 0x00000000"},
         dirJournal({"LocbaseDir.GetDirPath"})},
        {"data Init failing", [&] { Number("DirInit.HResult", E_FAIL); }, "datadir X0000303 Archiv none",
         {ComError(kData, E_FAIL, Known(E_FAIL)), "RESULT <>", "PROBE 0x00000000"}, dirJournal({})},
        {"data object without its interface", [&] { TreatAs(kDir, kWsInfo); }, "datadir X0000303 Archiv none",
         {"E _GetActiveDataDirFromLocbase: pDir.CreateInstance(...) nicht erfolgreich <-2147467262>!", "RESULT <>", "PROBE 0x00000000"},
         Journal("LocbaseWsInfo", {})},
        {"system directory of the service", [&] { registry_.SetSetting(on_, "ein"); ::CreateDirectoryA(sys.c_str(), nullptr); Set("GetSystemPath", sys); },
         "systemdir 1 none",
         {"I LBS_GetSystemDir: Via Locbase Korvan-Systempfad <" + sys + ">!", "I LBS_GetSystemDir: Systempfad = \"" + sys + "\"", "RESULT <" + sys + "\\>",
          "PROBE 0x00000000"},
         Journal("LocbaseWsInfo", {"LocbaseWsInfo.GetSystemPath"})},
        {"system: null path", [&] { registry_.SetSetting(on_, "ein"); }, "systemdir 1 none",
         Fallback("E LBS_GetSystemDir: pWsInfo->GetSystemPath(...) nicht erfolgreich <0>!"), Journal("LocbaseWsInfo", {"LocbaseWsInfo.GetSystemPath"})},
        {"system: error number", [&] { registry_.SetSetting(on_, "ein"); Set("GetSystemPath", s_); Number("GetSystemPath.Error", 7); }, "systemdir 1 none",
         [&] {
             auto lines = Fallback("E LBS_GetSystemDir: pWsInfo->GetSystemPath(...) nicht erfolgreich <7>!");
             lines.insert(lines.begin() + 1, "E LBS_GetSystenDir: Locbase-Fehlernummer <7>");
             return lines;
         }(),
         Journal("LocbaseWsInfo", {"LocbaseWsInfo.GetSystemPath"})},
        {"system: missing", [&] { registry_.SetSetting(on_, "ein"); Set("GetSystemPath", "C:\\nicht"); }, "systemdir 1 none",
         Fallback("I LBS_GetSystemDir: Via Locbase Korvan-Systempfad <C:\\nicht>!"), Journal("LocbaseWsInfo", {"LocbaseWsInfo.GetSystemPath"})},
        {"system: failing", [&] { registry_.SetSetting(on_, "ein"); Number("GetSystemPath.HResult", E_OUTOFMEMORY); }, "systemdir 1 none",
         Fallback(ComError(kSystem, E_OUTOFMEMORY, Known(E_OUTOFMEMORY))), Journal("LocbaseWsInfo", {"LocbaseWsInfo.GetSystemPath"})},
        {"system: object without its interface", [&] { registry_.SetSetting(on_, "ein"); TreatAs(kWsInfo, kValueClass); }, "systemdir 1 none",
         Fallback("E LBS_GetSystemDir: pWsInfo.GetInterfacePtr() ist NULL!"), Journal("LocbaseValue", {})},
        {"system: switched off, never created", [&] { registry_.SetSetting(on_, "aus"); Set("GetSystemPath", sys); }, "systemdir 1 none", Fallback(off_)},
    });
}

}  // namespace
