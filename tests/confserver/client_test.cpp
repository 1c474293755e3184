// The service client of the directory library: its three lookups in the scenario host, against no
// server and against the server's test build registered with regsvr32. The server's journal shows what a lookup asked and that it let the object go.
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
// Where the system has no text for an HRESULT the client names the number, so an empty text cannot pass.
const std::string kNotRegistered = "Unknown error 0x80040154";
// A lookup in the host: its setup, its arguments (the last one the calling thread's apartment), the
// messages and result it must print and, against the server, the journal it must leave.
struct Lookup {
    std::string name;
    std::function<void()> setup;
    std::string arguments;
    std::vector<std::string> lines;
    std::string result = {};
    std::vector<std::string> journal = {};
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
            // In an apartment of its own the caller's stays, and only its own is left to undo.
            const bool own = l.arguments.substr(l.arguments.rfind(' ')) == " none";
            std::vector<std::string> expected = l.lines;
            if (!own) expected.insert(expected.begin(), "BEFORE 0x00000000");
            expected.insert(expected.end(), {"RESULT <" + l.result + ">", own ? "PROBE 0x00000000" : "PROBE 0x00000001 0x00000000"});
            const host::Run run = host::Start("call " + l.arguments);
            EXPECT_EQ(expected, LinesStartingWith(run.output.substr(run.output.find("--- call")),
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
    // The system directory from the registry after `first`, and more lines after that one.
    std::vector<std::string> Fallback(const std::string& first, std::vector<std::string> more = {}) const {
        more.insert(more.begin(), first);
        more.insert(more.end(), {"I LBS_GetSystemDir: Korvan-Systempfad <" + s_ + "> \xfc" "ber Registry ermittelt.", "I LBS_GetSystemDir: Systempfad = \"" + s_ + "\""});
        return more;
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
    const std::string noCom = " CoInitializeEx(...) war nicht erfolgreich!", module = host::Directory();
    const std::string created = "E _GetActiveDataDirFromLocbase: pDir.CreateInstance(...) nicht erfolgreich <-2147221164>!";
    const std::string notRegistered = ComError(kValue, REGDB_E_CLASSNOTREG, kNotRegistered), unknown = "E _GetValueFromLocbase: Unbekannter Value-Typ <";
    auto on = [&] { registry_.SetSetting(on_, "ein"); };
    auto prog = [&] {
        on();
        ::CreateDirectoryA((s_ + "p").c_str(), nullptr);
        registry_.SetSetting("ProgKey", s_ + "p");
    };
    const std::vector<std::string> progLines = {"I LBS_GetSystemDir: Systempfad = \"" + s_ + "p\\\""};
    Play({
        {"type 10", nullptr, "value X0000302 10 none", {notRegistered}},
        {"type 0", nullptr, "value X0000302 0 none", {unknown + "0>!"}},
        {"data directory, decimal", nullptr, "datadir X0000303 Archiv none", {created}},
        {"system directory: registry, then module", [&] { on(); registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", "C:\\nicht"); },
         "systemdir 1 none",
         {ComError(kSystem, REGDB_E_CLASSNOTREG, kNotRegistered), "I LBS_GetSystemDir: Korvan-Systempfad <C:\\nicht\\> \xfc" "ber Registry ermittelt.",
          "I LBS_GetSystemDir: Systempfad = \"" + module + "\""},
         module},
        {"switch missing", nullptr, "systemdir 1 none", Fallback(off_), s_},
        {"switch before apartment", [&] { registry_.SetSetting(on_, "aus"); }, "systemdir 1 mta", Fallback(off_), s_},
        {"other selector: the trace program", prog, "systemdir 2 none", progLines, s_ + "p\\"},
        {"value in the MTA", nullptr, "value X0000302 3 mta", {"E _GetValueFromLocbase:" + noCom}},
        {"data in the MTA", nullptr, "datadir X0000303 A mta", {"E _GetActiveDataDirFromLocbase:" + noCom}},
        {"system in the MTA", on, "systemdir 1 mta", Fallback("E LBS_GetSystemDir:" + noCom), s_},
        {"value in an STA", nullptr, "value X0000302 1 sta", {notRegistered}},
        {"data in an STA", nullptr, "datadir X0000303 A sta", {created}},
    });
}

TEST_F(ClientLookups, AgainstTheServer) {
    ASSERT_EQ(0u, host::Start("desktop").exitCode);
    RegisteredServer server;
    ASSERT_EQ(0u, server.registerExitCode());
    auto value = [](const std::string& v) { return "I _GetValueFromLocbase: Via Locbase ermittelter Wert <" + v + ">"; };
    const auto valueJournal = [](const std::string& component, const std::string& call) {
        return Journal("LocbaseValue", {"LocbaseValue.ValueInit <" + component + "> <1.0>", call});
    };
    const auto dirJournal = [](std::vector<std::string> calls) {
        calls.insert(calls.begin(), "LocbaseDir.DirInit <X0000303> <> <Archiv> <1>");
        return Journal("LocbaseDir", calls);
    };
    const std::string sys = s_.substr(0, s_.size() - 1) + "\\sys", pathFailed = "E LBS_GetSystemDir: pWsInfo->GetSystemPath(...) nicht erfolgreich <";
    const std::vector<std::string> wsInfo = Journal("LocbaseWsInfo", {"LocbaseWsInfo.GetSystemPath"});
    auto on = [&] { registry_.SetSetting(on_, "ein"); };
    Play({
        {"configuration path, one backslash", [&] { Set("GetConfigPath", "C:\\K"); Set("GetConfigPath.2", "x"); }, "value X0000302 1 none",
         {value("C:\\K\\")}, "C:\\K\\", valueJournal("X0000302", "LocbaseValue.GetConfigPath")},
        {"program path joined", [&] { Set("GetProgramPath", "C:\\B"); Set("GetProgramPath.2", "P"); }, "value X0000302 3 none",
         {value("C:\\B\\P\\")}, "C:\\B\\P\\", valueJournal("X0000302", "LocbaseValue.GetProgramPath")},
        {"user configuration with its scope", [&] { Set("GetUserConfigPath", "C:\\U\\"); }, "value X0000303 10 none", {value("C:\\U\\")}, "C:\\U\\",
         valueJournal("X0000303", "LocbaseValue.GetUserConfigPath <1>")},
        {"Init's error number ignored", [&] { Number("ValueInit.Error", 9); Set("GetLogPath", "C:\\L"); }, "value X0000303 2 none",
         {value("C:\\L\\")}, "C:\\L\\", valueJournal("X0000303", "LocbaseValue.GetLogPath")},
        {"Init failing ends the lookup", [&] { Number("ValueInit.HResult", E_ACCESSDENIED); }, "value X0000303 1 none",
         {ComError(kValue, E_ACCESSDENIED, "Access denied.")}, "", Journal("LocbaseValue", {"LocbaseValue.ValueInit <X0000303> <1.0>"})},
        {"error number discards the path", [&] { Set("GetLogPath", "C:\\L"); Number("GetLogPath.Error", -3); }, "value X0000303 2 none",
         {value(""), "E _GetValueFromLocbase: Locbase-Fehlernummer <-3>"}, "", valueJournal("X0000303", "LocbaseValue.GetLogPath")},
        {"a null second string", [&] { Set("GetProgramPath", "C:\\B"); Set("GetProgramPath.3", "2.0"); }, "value X0000303 3 none",
         {value("")}, "", valueJournal("X0000303", "LocbaseValue.GetProgramPath")},
        {"empty stays empty", [&] { Set("GetUserConfigPath", ""); }, "value X0000303 10 none", {value("")}, "",
         valueJournal("X0000303", "LocbaseValue.GetUserConfigPath <1>")},
        {"dispatch-range text", [&] { Number("GetLogPath.HResult", 0x8004FF00); }, "value X0000303 2 none",
         {ComError(kValue, static_cast<HRESULT>(0x8004FF00), "IDispatch error #64768")}, "", valueJournal("X0000303", "LocbaseValue.GetLogPath")},
        {"component's own answers", [&] { Set("GetConfigPath", "C:\\Alle"); Set("GetConfigPath", "C:\\Nur", "X0000303"); }, "value X0000303 1 none",
         {value("C:\\Nur\\")}, "C:\\Nur\\", valueJournal("X0000303", "LocbaseValue.GetConfigPath")},
        {"value object without its interface", [&] { TreatAs(kValueClass, kWsInfo); }, "value X0000303 1 none",
         {ComError(kValue, E_POINTER, "Unknown error 0x80004003")}, "", Journal("LocbaseWsInfo", {})},
        {"data directory", [&] { Set("GetDirPath", "C:\\D\\Archiv"); }, "datadir X0000303 Archiv none",
         {"I _GetActiveDataDirFromLocbase: Via Locbase Datenverzeichnis <C:\\D\\Archiv>!"}, "C:\\D\\Archiv\\", dirJournal({"LocbaseDir.GetDirPath"})},
        {"UTF-8 journal arguments", [&] { Set("GetDirPath", "C:\\D\\B\xfcro"); }, "datadir X0000303 B\xfcro none",
         {"I _GetActiveDataDirFromLocbase: Via Locbase Datenverzeichnis <C:\\D\\B\xfcro>!"}, "C:\\D\\B\xfcro\\",
         Journal("LocbaseDir", {"LocbaseDir.DirInit <X0000303> <> <B\xc3\xbcro> <1>", "LocbaseDir.GetDirPath"})},
        {"data Init error number", [&] { Set("GetDirPath", "C:\\D"); Number("DirInit.Error", 5); }, "datadir X0000303 Archiv none",
         {"E _GetActiveDataDirFromLocbase: pDir->Init(...) nicht erfolgreich <5>!", "E LBS_GetAvailableDataDirLocbase: Locbase-Fehlernummer <5>"}, "",
         dirJournal({})},
        {"data path error number", [&] { Set("GetDirPath", "C:\\D"); Number("GetDirPath.Error", -6); }, "datadir X0000303 Archiv none",
         {"E _GetActiveDataDirFromLocbase: pDir->GetDirPath(...) nicht erfolgreich <-6>!", "E LBS_GetAvailableDataDirLocbase: Locbase-Fehlernummer <-6>"}, "",
         dirJournal({"LocbaseDir.GetDirPath"})},
        {"data Init failing", [&] { Number("DirInit.HResult", E_FAIL); }, "datadir X0000303 Archiv none", {ComError(kData, E_FAIL, SystemText(E_FAIL))}, "",
         dirJournal({})},
        {"data object without its interface", [&] { TreatAs(kDir, kWsInfo); }, "datadir X0000303 Archiv none",
         {"E _GetActiveDataDirFromLocbase: pDir.CreateInstance(...) nicht erfolgreich <-2147467262>!"}, "", Journal("LocbaseWsInfo", {})},
        {"system directory of the service", [&] { on(); ::CreateDirectoryA(sys.c_str(), nullptr); Set("GetSystemPath", sys); }, "systemdir 1 none",
         {"I LBS_GetSystemDir: Via Locbase Korvan-Systempfad <" + sys + ">!", "I LBS_GetSystemDir: Systempfad = \"" + sys + "\""}, sys + "\\", wsInfo},
        {"system: null path", on, "systemdir 1 none", Fallback(pathFailed + "0>!"), s_, wsInfo},
        {"system: error number", [&] { on(); Set("GetSystemPath", s_); Number("GetSystemPath.Error", 7); }, "systemdir 1 none",
         Fallback(pathFailed + "7>!", {"E LBS_GetSystenDir: Locbase-Fehlernummer <7>"}), s_, wsInfo},
        {"system: missing", [&] { on(); Set("GetSystemPath", "C:\\nicht"); }, "systemdir 1 none",
         Fallback("I LBS_GetSystemDir: Via Locbase Korvan-Systempfad <C:\\nicht>!"), s_, wsInfo},
        {"system: failing", [&] { on(); Number("GetSystemPath.HResult", E_OUTOFMEMORY); }, "systemdir 1 none",
         Fallback(ComError(kSystem, E_OUTOFMEMORY, SystemText(E_OUTOFMEMORY))), s_, wsInfo},
        {"system: object without its interface", [&] { on(); TreatAs(kWsInfo, kValueClass); }, "systemdir 1 none",
         Fallback("E LBS_GetSystemDir: pWsInfo.GetInterfacePtr() ist NULL!"), s_, Journal("LocbaseValue", {})},
        {"system: switched off, never created", [&] { registry_.SetSetting(on_, "aus"); Set("GetSystemPath", sys); }, "systemdir 1 none", Fallback(off_), s_},
    });
}

}  // namespace
