// The client against the real server, registered with regsvr32 and reached through
// CoCreateInstance, OleRun and QueryInterface: every answer the server can be told to give, what
// the lookups make of it, and (through the server's journal) what they asked and that they let go.
#include "service_test_support.h"

#include "platform/unique_resource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using namespace confsvc_test;

namespace {

const std::string kValueComError = "_GetValueFromLocbase: Exception ComError gefangen";
const std::string kDataComError = "LBS_GetAvailableDataDirLocbase: Im Catch-ComError...";
const std::string kSystemComError = "LBS_GetSystenDir: Im Catch-ComError...";
const char kSystemDirKey[] = "Software\\KorvanCo\\ProtectedDirectories";

std::string ValueLine(const std::string& value) {
    return "I _GetValueFromLocbase: Via Locbase ermittelter Wert <" + value + ">";
}

class ServedLookup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0u, server_.registerExitCode());
        registry_.SetString(kServiceKey, "Journal", journal_);
    }

    void SetNumber(const std::string& name, DWORD value, const std::string& key = kServiceKey) {
        registry_.SetValue(key, name, REG_DWORD, &value, sizeof value);
    }
    void SetText(const std::string& name, const std::string& text, const std::string& key = kServiceKey) {
        registry_.SetString(key, name, text);
    }
    // Texts outside the ANSI code page need the wide registry function.
    void SetWideText(const std::string& name, const std::wstring& text) {
        registry_.SetValue(kServiceKey, name, REG_SZ, nullptr, 0);
        tesk::UniqueHkey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, key.put()));
        const std::wstring wideName(name.begin(), name.end());
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(key.get(), wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
    }

    // What the server noted since the last call.
    std::vector<std::string> TakeJournal() {
        const std::vector<std::string> lines = dirlib_test::SplitLines(dirlib_test::ReadFileBytes(journal_));
        ::DeleteFileA(journal_.c_str());
        return lines;
    }

    // Runs the scenario and returns the lookup's lines.
    std::vector<std::string> Lookup(const std::string& arguments) {
        const HostResult run = RunServiceHost(arguments);
        EXPECT_EQ(0u, run.exitCode) << run.output;
        return LookupLines(run.output);
    }

    // Makes CoCreateInstance of `clsid` create an object of another class, whose QueryInterface then
    // refuses the interface asked for.
    void TreatAs(const char* clsid, const char* otherClsid) {
        tesk::UniqueHkey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + clsid + "\\TreatAs").c_str(), 0,
                                    nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(otherClsid),
                                   static_cast<DWORD>(std::strlen(otherClsid) + 1)));
    }

    dirlib_test::VendorRegistry registry_;
    RegisteredServer server_;
    dirlib_test::ScratchDir scratch_{"served"};
    const std::string journal_ = scratch_.path() + "journal.txt";
};

constexpr char kWsInfoClass[] = "{75E51E15-A4D0-4028-8FD3-D3543A34493B}";
constexpr char kDirClass[] = "{612B539A-9455-4D4A-959C-1B9AC504B611}";
constexpr char kValueClass[] = "{3DBB8EF5-CDC9-42AF-8DE8-ED10A43ECA21}";

// ---------------------------------------------------------------- _GetValueFromLocbase

TEST_F(ServedLookup, EachValueTypeAsksItsMethodAndEndsInOneBackslash) {
    SetText("GetConfigPath", "C:\\Konfig");
    SetText("GetConfigPath.2", "verworfen");
    SetText("GetLogPath", "C:\\Log\\");
    SetText("GetProgramPath", "C:\\Basis");
    SetText("GetProgramPath.2", "Prog");
    SetText("GetUserConfigPath", "C:\\Benutzer");
    const struct {
        const char* type;
        const char* result;
        const char* call;
    } cases[] = {
        {"1", "C:\\Konfig\\", "LocbaseValue.GetConfigPath"},
        {"2", "C:\\Log\\", "LocbaseValue.GetLogPath"},
        {"3", "C:\\Basis\\Prog\\", "LocbaseValue.GetProgramPath"},
        {"10", "C:\\Benutzer\\", "LocbaseValue.GetUserConfigPath <1>"},
    };
    for (const auto& c : cases) {
        EXPECT_THAT(Lookup(std::string("value X0000302 ") + c.type + " none"),
                    ElementsAre(ValueLine(c.result), std::string("RESULT <") + c.result + ">", "PROBE 0x00000000"))
            << "type " << c.type;
        EXPECT_THAT(TakeJournal(),
                    ElementsAre("LocbaseValue created", "LocbaseValue running",
                                "LocbaseValue.ValueInit <X0000302> <1.0>", c.call, "LocbaseValue released"));
    }
}

TEST_F(ServedLookup, ValueInitErrorNumberIsIgnored) {
    SetNumber("ValueInit.Error", 9);
    SetText("GetConfigPath", "C:\\Konfig");
    EXPECT_THAT(Lookup("value X0000303 1 none"),
                ElementsAre(ValueLine("C:\\Konfig\\"), "RESULT <C:\\Konfig\\>", "PROBE 0x00000000"));
}

TEST_F(ServedLookup, ValueInitFailingHresultEndsTheLookupWithTheObjectReleased) {
    SetNumber("ValueInit.HResult", static_cast<DWORD>(E_ACCESSDENIED));
    SetText("GetConfigPath", "C:\\Konfig");
    EXPECT_THAT(Lookup("value X0000303 1 none"),
                ElementsAre(ComErrorLine(kValueComError, E_ACCESSDENIED), "RESULT <>", "PROBE 0x00000000"));
    EXPECT_EQ("E _GetValueFromLocbase: Exception ComError gefangen <0x80070005>, <Access denied.>",
              ComErrorLine(kValueComError, E_ACCESSDENIED))
        << "this system's text, without its line break";
    EXPECT_THAT(TakeJournal(), ElementsAre("LocbaseValue created", "LocbaseValue running",
                                           "LocbaseValue.ValueInit <X0000303> <1.0>", "LocbaseValue released"));
}

TEST_F(ServedLookup, MethodErrorNumberDiscardsThePathAndIsReportedAfterTheValue) {
    SetText("GetLogPath", "C:\\Log");
    SetNumber("GetLogPath.Error", static_cast<DWORD>(-3));
    EXPECT_THAT(Lookup("value X0000303 2 none"),
                ElementsAre(ValueLine(""), "E _GetValueFromLocbase: Locbase-Fehlernummer <-3>", "RESULT <>",
                            "PROBE 0x00000000"));
}

TEST_F(ServedLookup, NullStringsGiveAnEmptyValue) {
    // GetConfigPath unset; GetProgramPath with its first string but a null second one, and the reverse.
    EXPECT_THAT(Lookup("value X0000303 1 none"), ElementsAre(ValueLine(""), "RESULT <>", "PROBE 0x00000000"));
    SetText("GetProgramPath", "C:\\Basis");
    SetText("GetProgramPath.3", "2.0");
    EXPECT_THAT(Lookup("value X0000303 3 none"), ElementsAre(ValueLine(""), "RESULT <>", "PROBE 0x00000000"));
    registry_.SetValue(kServiceKey, "GetProgramPath", REG_NONE, nullptr, 0);
    SetText("GetProgramPath.2", "Prog");
    EXPECT_THAT(Lookup("value X0000303 3 none"), ElementsAre(ValueLine(""), "RESULT <>", "PROBE 0x00000000"));
    // An empty but present string is a value, and an empty one stays without a backslash.
    SetText("GetUserConfigPath", "");
    EXPECT_THAT(Lookup("value X0000303 10 none"), ElementsAre(ValueLine(""), "RESULT <>", "PROBE 0x00000000"));
}

TEST_F(ServedLookup, MethodFailingHresultShowsTheTextRulesOfComError) {
    const HRESULT cases[] = {E_FAIL, static_cast<HRESULT>(0x8004FF00), static_cast<HRESULT>(0x8FFF0001)};
    for (HRESULT hr : cases) {
        SetNumber("GetLogPath.HResult", static_cast<DWORD>(hr));
        EXPECT_THAT(Lookup("value X0000303 2 none"),
                    ElementsAre(ComErrorLine(kValueComError, hr), "RESULT <>", "PROBE 0x00000000"));
    }
    EXPECT_EQ("E _GetValueFromLocbase: Exception ComError gefangen <0x8004ff00>, <IDispatch error #64768>",
              ComErrorLine(kValueComError, static_cast<HRESULT>(0x8004FF00)));
    EXPECT_EQ("E _GetValueFromLocbase: Exception ComError gefangen <0x8fff0001>, <Unknown error 0x8FFF0001>",
              ComErrorLine(kValueComError, static_cast<HRESULT>(0x8FFF0001)));
    TakeJournal();
}

TEST_F(ServedLookup, PathOfHundredThousandCharactersComesBackWhole) {
    const std::string longPath = "C:\\" + std::string(99997, 'p');
    SetText("GetConfigPath", longPath);
    EXPECT_THAT(Lookup("value X0000303 1 none"),
                ElementsAre(ValueLine(longPath + "\\"), "RESULT <" + longPath + "\\>", "PROBE 0x00000000"));
}

TEST_F(ServedLookup, ComponentReachesTheServiceAndSelectsItsAnswers) {
    SetText("GetConfigPath", "C:\\Alle");
    SetText("GetConfigPath", "C:\\Nur303", std::string(kServiceKey) + "\\X0000303");
    EXPECT_THAT(Lookup("value X0000303 1 none"),
                ElementsAre(ValueLine("C:\\Nur303\\"), "RESULT <C:\\Nur303\\>", "PROBE 0x00000000"));
    EXPECT_THAT(Lookup("value X0000301 1 none"),
                ElementsAre(ValueLine("C:\\Alle\\"), "RESULT <C:\\Alle\\>", "PROBE 0x00000000"));
}

TEST_F(ServedLookup, ThreadInSingleThreadedApartmentUsesTheService) {
    SetText("GetConfigPath", "C:\\Konfig");
    EXPECT_THAT(Lookup("value X0000303 1 sta"), ElementsAre("BEFORE 0x00000000", ValueLine("C:\\Konfig\\"),
                                                            "RESULT <C:\\Konfig\\>", "PROBE 0x00000001 0x00000000"));
}

// An object without the interface: the first call on the missing object raises E_POINTER.
TEST_F(ServedLookup, ValueObjectWithoutItsInterfaceFailsAtTheFirstCall) {
    TreatAs(kValueClass, kWsInfoClass);
    EXPECT_THAT(Lookup("value X0000303 1 none"),
                ElementsAre(ComErrorLine(kValueComError, E_POINTER), "RESULT <>", "PROBE 0x00000000"));
    EXPECT_THAT(TakeJournal(), ElementsAre("LocbaseWsInfo created", "LocbaseWsInfo running", "LocbaseWsInfo released"));
}

// ---------------------------------------------------------------- LBS_GetAvailableDataDirLocbase

TEST_F(ServedLookup, DataDirInitArgumentsAndPath) {
    SetText("GetDirPath", "C:\\Daten\\Archiv");
    EXPECT_THAT(Lookup("datadir X0000303 Archiv none"),
                ElementsAre("I _GetActiveDataDirFromLocbase: Via Locbase Datenverzeichnis <C:\\Daten\\Archiv>!",
                            "RESULT <C:\\Daten\\Archiv\\>", "PROBE 0x00000000"));
    EXPECT_THAT(TakeJournal(),
                ElementsAre("LocbaseDir created", "LocbaseDir running", "LocbaseDir.DirInit <X0000303> <> <Archiv> <1>",
                            "LocbaseDir.GetDirPath", "LocbaseDir released"));
}

TEST_F(ServedLookup, DataDirInitErrorNumberStopsBeforeThePathWithTwoLines) {
    SetText("GetDirPath", "C:\\Daten");
    SetNumber("DirInit.Error", 5);
    EXPECT_THAT(
        Lookup("datadir X0000303 Archiv none"),
        ElementsAre("E _GetActiveDataDirFromLocbase: pDir->Init(...) nicht erfolgreich <5>!",
                    "E LBS_GetAvailableDataDirLocbase: Locbase-Fehlernummer <5>", "RESULT <>", "PROBE 0x00000000"));
    EXPECT_THAT(TakeJournal(), ElementsAre("LocbaseDir created", "LocbaseDir running",
                                           "LocbaseDir.DirInit <X0000303> <> <Archiv> <1>", "LocbaseDir released"));
}

TEST_F(ServedLookup, DataDirPathErrorNumberGivesTwoLines) {
    SetText("GetDirPath", "C:\\Daten");
    SetNumber("GetDirPath.Error", static_cast<DWORD>(-6));
    EXPECT_THAT(
        Lookup("datadir X0000303 Archiv none"),
        ElementsAre("E _GetActiveDataDirFromLocbase: pDir->GetDirPath(...) nicht erfolgreich <-6>!",
                    "E LBS_GetAvailableDataDirLocbase: Locbase-Fehlernummer <-6>", "RESULT <>", "PROBE 0x00000000"));
}

TEST_F(ServedLookup, DataDirNullPathAndEmptyAreaName) {
    EXPECT_THAT(Lookup("datadir X0000303 \"\" none"),
                ElementsAre("I _GetActiveDataDirFromLocbase: Via Locbase Datenverzeichnis <>!", "RESULT <>",
                            "PROBE 0x00000000"));
    EXPECT_THAT(TakeJournal(),
                ElementsAre("LocbaseDir created", "LocbaseDir running", "LocbaseDir.DirInit <X0000303> <> <> <1>",
                            "LocbaseDir.GetDirPath", "LocbaseDir released"));
}

TEST_F(ServedLookup, DataDirFailingHresultIsCaught) {
    SetNumber("DirInit.HResult", static_cast<DWORD>(E_FAIL));
    EXPECT_THAT(Lookup("datadir X0000303 Archiv none"),
                ElementsAre(ComErrorLine(kDataComError, E_FAIL), "RESULT <>", "PROBE 0x00000000"));
    EXPECT_THAT(TakeJournal(), ElementsAre("LocbaseDir created", "LocbaseDir running",
                                           "LocbaseDir.DirInit <X0000303> <> <Archiv> <1>", "LocbaseDir released"));
}

TEST_F(ServedLookup, DataDirObjectWithoutItsInterfaceIsACreationFailure) {
    TreatAs(kDirClass, kWsInfoClass);
    EXPECT_THAT(Lookup("datadir X0000303 Archiv none"),
                ElementsAre("E _GetActiveDataDirFromLocbase: pDir.CreateInstance(...) nicht erfolgreich <-2147467262>!",
                            "RESULT <>", "PROBE 0x00000000"));
    EXPECT_THAT(TakeJournal(), ElementsAre("LocbaseWsInfo created", "LocbaseWsInfo running", "LocbaseWsInfo released"));
}

// ---------------------------------------------------------------- LBS_GetSystemDir

class ServedSystemDir : public ServedLookup {
protected:
    void SetUp() override {
        ServedLookup::SetUp();
        registry_.SetSetting("LocbaseActive", "ein");
        registry_.SetString(kSystemDirKey, "SystemDir", registryDir_.path());
    }

    // The lines after the service's own: the registry's directory is taken.
    std::vector<std::string> RegistryFallback() const {
        return {"I LBS_GetSystemDir: Korvan-Systempfad <" + registryDir_.path() +
                    "> \xfc"
                    "ber Registry ermittelt.",
                "I LBS_GetSystemDir: Systempfad = \"" + registryDir_.path() + "\"",
                "RESULT <" + registryDir_.path() + ">", "PROBE 0x00000000"};
    }
    static std::vector<std::string> Joined(std::vector<std::string> first, const std::vector<std::string>& rest) {
        first.insert(first.end(), rest.begin(), rest.end());
        return first;
    }

    dirlib_test::ScratchDir registryDir_{"registry_system"};
    dirlib_test::ScratchDir serviceDir_{"service_system"};
};

TEST_F(ServedSystemDir, ExistingServiceDirectoryIsTaken) {
    std::string dir = serviceDir_.path();
    dir.pop_back();
    SetText("GetSystemPath", dir);
    EXPECT_THAT(
        Lookup("systemdir 1 none"),
        ElementsAre("I LBS_GetSystemDir: Via Locbase Korvan-Systempfad <" + dir + ">!",
                    "I LBS_GetSystemDir: Systempfad = \"" + dir + "\"", "RESULT <" + dir + "\\>", "PROBE 0x00000000"));
    EXPECT_THAT(TakeJournal(), ElementsAre("LocbaseWsInfo created", "LocbaseWsInfo running",
                                           "LocbaseWsInfo.GetSystemPath", "LocbaseWsInfo released"));
}

TEST_F(ServedSystemDir, NullPathWithErrorNumberZeroIsAFailureAndTheRegistryFollows) {
    EXPECT_THAT(Lookup("systemdir 1 none"),
                ElementsAreArray(Joined({"E LBS_GetSystemDir: pWsInfo->GetSystemPath(...) nicht erfolgreich <0>!"},
                                        RegistryFallback())));
}

TEST_F(ServedSystemDir, ErrorNumberDiscardsThePath) {
    SetText("GetSystemPath", serviceDir_.path());
    SetNumber("GetSystemPath.Error", 7);
    EXPECT_THAT(Lookup("systemdir 1 none"),
                ElementsAreArray(Joined({"E LBS_GetSystemDir: pWsInfo->GetSystemPath(...) nicht erfolgreich <7>!",
                                         "E LBS_GetSystenDir: Locbase-Fehlernummer <7>"},
                                        RegistryFallback())));
}

TEST_F(ServedSystemDir, MissingServiceDirectoryFallsBackToTheRegistry) {
    SetText("GetSystemPath", "C:\\gibt\\es\\nicht");
    EXPECT_THAT(Lookup("systemdir 1 none"),
                ElementsAreArray(Joined({"I LBS_GetSystemDir: Via Locbase Korvan-Systempfad <C:\\gibt\\es\\nicht>!"},
                                        RegistryFallback())));
}

TEST_F(ServedSystemDir, FailingHresultIsCaughtAndTheRegistryFollows) {
    SetNumber("GetSystemPath.HResult", static_cast<DWORD>(E_OUTOFMEMORY));
    EXPECT_THAT(Lookup("systemdir 1 none"),
                ElementsAreArray(Joined({ComErrorLine(kSystemComError, E_OUTOFMEMORY)}, RegistryFallback())));
    EXPECT_THAT(TakeJournal(), ElementsAre("LocbaseWsInfo created", "LocbaseWsInfo running",
                                           "LocbaseWsInfo.GetSystemPath", "LocbaseWsInfo released"));
}

TEST_F(ServedSystemDir, ObjectWithoutItsInterfaceIsReportedAsNull) {
    TreatAs(kWsInfoClass, kValueClass);
    EXPECT_THAT(
        Lookup("systemdir 1 none"),
        ElementsAreArray(Joined({"E LBS_GetSystemDir: pWsInfo.GetInterfacePtr() ist NULL!"}, RegistryFallback())));
    EXPECT_THAT(TakeJournal(), ElementsAre("LocbaseValue created", "LocbaseValue running", "LocbaseValue released"));
}

TEST_F(ServedSystemDir, HundredThousandCharacterPathDoesNotExist) {
    const std::string longPath = "C:\\" + std::string(99997, 's');
    SetText("GetSystemPath", longPath);
    EXPECT_THAT(Lookup("systemdir 1 none"),
                ElementsAreArray(Joined({"I LBS_GetSystemDir: Via Locbase Korvan-Systempfad <" + longPath + ">!"},
                                        RegistryFallback())));
}

// A directory whose name the narrow cleanup of ScratchDir cannot spell.
struct WideDirectory {
    explicit WideDirectory(std::wstring name) : path(std::move(name)) {
        EXPECT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
    }
    ~WideDirectory() { ::RemoveDirectoryW(path.c_str()); }
    const std::wstring path;
};

// Code page 1252 holds the umlauts, so that directory is found; Japanese characters become "?",
// which no existing path contains, and the registry follows.
TEST_F(ServedSystemDir, PathsInAndOutsideTheAnsiCodePage) {
    ASSERT_EQ(1252u, ::GetACP());
    const std::wstring wideBase(serviceDir_.path().begin(), serviceDir_.path().end());
    const WideDirectory umlauts(wideBase + L"Gr\u00f6\u00dfe");
    SetWideText("GetSystemPath", umlauts.path);
    const std::string narrow = serviceDir_.path() +
                               "Gr\xf6\xdf"
                               "e";
    EXPECT_THAT(Lookup("systemdir 1 none"),
                ElementsAre("I LBS_GetSystemDir: Via Locbase Korvan-Systempfad <" + narrow + ">!",
                            "I LBS_GetSystemDir: Systempfad = \"" + narrow + "\"", "RESULT <" + narrow + "\\>",
                            "PROBE 0x00000000"));

    const WideDirectory japanese(wideBase + L"\u65e5\u672c");
    SetWideText("GetSystemPath", japanese.path);
    EXPECT_THAT(Lookup("systemdir 1 none"),
                ElementsAreArray(Joined({"I LBS_GetSystemDir: Via Locbase Korvan-Systempfad <" + serviceDir_.path() +
                                         "?"
                                         "?>!"},
                                        RegistryFallback())));
}

TEST_F(ServedSystemDir, SwitchedOffTheServiceIsNeverCreated) {
    registry_.SetSetting("LocbaseActive", "aus");
    SetText("GetSystemPath", serviceDir_.path());
    EXPECT_THAT(Lookup("systemdir 1 none"),
                ElementsAreArray(
                    Joined({"I LBS_GetSystenDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet"},
                           RegistryFallback())));
    EXPECT_THAT(TakeJournal(), ElementsAre());
}

}  // namespace
