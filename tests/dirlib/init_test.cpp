#include "dirlib/shared_security_attributes.h"
#include "getter_support.h"
#include "host_output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace dirlib_test;

class InitTest : public ::testing::Test {
protected:
    HostResult Run(const char* scenario = "messages") {
        HostResult result = RunHost(scenario);
        EXPECT_EQ(0u, result.exitCode) << result.output;
        return result;
    }
    std::string Settings(const HostResult& result) { return TaggedLine(result.output, "SETTINGS"); }
    std::string Dir() const { return dir_.path().substr(0, dir_.path().size() - 1); }

    VendorRegistry registry_;
    ScratchDir dir_{"init"};
};

const std::string kAllOff =
    "internTrace=0 file=<> locbase=0 libDirs=0 libDirsFile=<> altLog=0 altLogDir=<> logMutex=0 userMutex=1 module=exe";

TEST_F(InitTest, MissingKeyLeavesEverythingOffButCreatesTheUserNameMutex) {
    const HostResult result = Run();
    const std::vector<std::string> expected = {
        "E Init: Fehler <2> beim \xd6" "ffnen des Registry-Pfades <SOFTWARE\\Korvan Mirel Compact>!", kUserMutexLine};
    EXPECT_EQ(expected, MessageLines(result.output));
    EXPECT_EQ(kAllOff, Settings(result));
}

TEST_F(InitTest, EmptyKeyReportsEveryMissingSwitchInOrder) {
    registry_.CreateKey(kSettingsKey);
    const HostResult result = Run();
    const std::vector<std::string> expected = {
        "I " + ReadFailure("LogVia_InternTrace"),       "I " + ReadFailure("LocbaseActive"),
        "I " + ReadFailure("LocbaseTracingDirsActive"), "I " + ReadFailure("LocbaseLibDirsActive"),
        "I " + ReadFailure("LocbaseLogDirX0000302"),    kUserMutexLine,
    };
    EXPECT_EQ(expected, MessageLines(result.output));
    EXPECT_EQ(kAllOff, Settings(result));
}

TEST_F(InitTest, LaterCallsReadNothingAndSayNothing) {
    registry_.CreateKey(kSettingsKey);
    const HostResult result = Run("messages-twice");
    const size_t second = result.output.find("--- second\n");
    ASSERT_NE(std::string::npos, second);
    EXPECT_EQ(6u, MessageLines(result.output.substr(0, second)).size());
    EXPECT_EQ(result.output.size(), second + 11) << result.output.substr(second);
}

TEST_F(InitTest, LocbaseActiveIsOnUnlessItSaysAus) {
    const std::pair<std::string, const char*> cases[] = {
        {"aus", "0"}, {"AUS", "0"}, {"Aus", "0"}, {"", "1"}, {"0", "1"}, {"ein", "1"}, {"aus ", "1"}, {"ausschalten", "1"},
    };
    for (const auto& [value, expected] : cases) {
        registry_.SetSetting("LocbaseActive", value);
        const std::string settings = Settings(Run());
        EXPECT_NE(std::string::npos, settings.find(std::string("locbase=") + expected)) << "<" << value << "> " << settings;
    }
}

TEST_F(InitTest, InternalLogSwitchAcceptsOnlyEinInAnyCaseAndAnyStringType) {
    registry_.SetSetting("LogVia_InternTraceDirectory", Dir());
    const std::string on = "internTrace=1 file=<" + dir_.path() + "Locbase_Intern.log>";
    const std::pair<std::string, bool> strings[] = {
        {"ein", true}, {"EIN", true}, {"eIn", true}, {"Ein ", false}, {"1", false}, {"", false}, {"aus", false},
    };
    for (const auto& [value, isOn] : strings) {
        registry_.SetSetting("LogVia_InternTrace", value);
        const std::string settings = Settings(Run());
        EXPECT_EQ(isOn, settings.find(on) != std::string::npos) << "<" << value << "> " << settings;
        if (!isOn) {
            EXPECT_NE(std::string::npos, settings.find("internTrace=0 file=<>")) << value;
        }
    }

    struct Typed {
        DWORD type;
        std::string data;
        bool isOn;
    };
    const Typed typed[] = {
        {REG_EXPAND_SZ, std::string("ein", 4), true},
        {REG_MULTI_SZ, std::string("ein\0aus\0", 9), true},
        {REG_BINARY, "EIN", true},
        {REG_DWORD, std::string("\x01\0\0\0", 4), false},
    };
    for (const Typed& value : typed) {
        registry_.SetValue(kSettingsKey, "LogVia_InternTrace", value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size()));
        const std::string settings = Settings(Run());
        EXPECT_EQ(value.isOn, settings.find(on) != std::string::npos) << "type " << value.type << " " << settings;
    }
}

TEST_F(InitTest, InternalLogDirectoryWithOrWithoutBackslashGivesOneBackslash) {
    registry_.SetSetting("LogVia_InternTrace", "ein");
    for (const std::string& directory : {Dir(), dir_.path()}) {
        registry_.SetSetting("LogVia_InternTraceDirectory", directory);
        EXPECT_NE(std::string::npos, Settings(Run()).find("internTrace=1 file=<" + dir_.path() + "Locbase_Intern.log>"))
            << directory;
    }
}

TEST_F(InitTest, UnusableInternalLogDirectorySwitchesTheLogOffWithAnError) {
    registry_.SetSetting("LogVia_InternTrace", "ein");
    auto expectOff = [&](const std::string& errorLine) {
        const HostResult result = Run();
        const std::vector<std::string> messages = MessageLines(result.output);
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ("E " + errorLine, messages[0]);
        EXPECT_NE(std::string::npos, Settings(result).find("internTrace=0 file=<>")) << Settings(result);
        EXPECT_EQ(std::string::npos, Settings(result).find("logMutex=1"));
    };
    expectOff(ReadFailure("LogVia_InternTraceDirectory"));

    const std::string missing = dir_.path() + "fehlt";
    registry_.SetSetting("LogVia_InternTraceDirectory", missing);
    expectOff("Init: Verzeichnis <" + missing + "> existiert nicht, um internes Log auszugeben!");

    registry_.SetSetting("LogVia_InternTraceDirectory", "");
    expectOff("Init: Verzeichnis <> existiert nicht, um internes Log auszugeben!");

    // 259 characters fit the value buffer, 260 do not.
    registry_.SetSetting("LogVia_InternTraceDirectory", std::string(259, 'd'));
    expectOff("Init: Verzeichnis <" + std::string(259, 'd') + "> existiert nicht, um internes Log auszugeben!");
    registry_.SetSetting("LogVia_InternTraceDirectory", std::string(260, 'd'));
    expectOff(ReadFailure("LogVia_InternTraceDirectory", ERROR_MORE_DATA));
}

// An existing directory whose path leaves no room for the file name: refused, not cut.
TEST_F(InitTest, DirectoryTooLongForTheFileNameIsRefused) {
    std::string deep = Dir();
    while (deep.size() < 245) {
        deep += "\\" + std::string(std::min<size_t>(40, 245 - deep.size()), 'L');
        ASSERT_TRUE(::CreateDirectoryA(deep.c_str(), nullptr)) << deep << " " << ::GetLastError();
    }
    registry_.SetSetting("LogVia_InternTrace", "ein");
    registry_.SetSetting("LogVia_InternTraceDirectory", deep);
    const HostResult result = Run();
    const std::vector<std::string> messages = MessageLines(result.output);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ("E Init: Pfad <" + deep + "\\Locbase_Intern.log> ist l\xe4nger als 259 Zeichen und wird nicht verwendet!",
              messages[0]);
    EXPECT_NE(std::string::npos, Settings(result).find("internTrace=0 file=<>"));
}

TEST_F(InitTest, DirectoryNamingAFileCountsAsExisting) {
    const std::string file = dir_.path() + "datei.txt";
    WriteFileText(file, "x");
    registry_.SetSetting("LogVia_InternTrace", "ein");
    registry_.SetSetting("LogVia_InternTraceDirectory", file);
    const HostResult result = Run();
    EXPECT_NE(std::string::npos, Settings(result).find("internTrace=1 file=<" + file + "\\Locbase_Intern.log>"));
    EXPECT_EQ("x", ReadFileBytes(file));
}

TEST_F(InitTest, PathDumpRequestNeedsItsDirectoryAndThenCreatesTheLogMutex) {
    const KorvanTrees trees;
    registry_.SetSetting("LocbaseTracingDirsActive", "EIN");
    std::vector<std::string> messages = MessageLines(Run().output);
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ("E " + ReadFailure("LocbaseTracingDirsDirectory"), messages[2]);

    registry_.SetSetting("LocbaseTracingDirsDirectory", dir_.path() + "fehlt");
    messages = MessageLines(Run().output);
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ("E Init: Verzeichnis <" + dir_.path() + "fehlt> existiert nicht, um alle Pfade f\xfcr die X0000303 auszugeben!",
              messages[2]);
    EXPECT_EQ(kUserMutexLine, messages.back());

    registry_.SetSetting("LocbaseTracingDirsDirectory", Dir());
    const HostResult result = Run();
    messages = MessageLines(result.output);
    // The dump itself follows the mutexes.
    const auto userMutex = std::find(messages.begin(), messages.end(), kUserMutexLine);
    ASSERT_NE(messages.end(), userMutex);
    ASSERT_NE(messages.begin(), userMutex);
    EXPECT_EQ(kLogMutexLine, *(userMutex - 1));
    ASSERT_NE(messages.end(), userMutex + 1);
    EXPECT_EQ(0u, (userMutex + 1)->rfind("I Init: Pfade f\xfcr X0000303 werden einmalig nach <", 0)) << *(userMutex + 1);
    EXPECT_NE(std::string::npos, Settings(result).find("logMutex=1"));
}

TEST_F(InitTest, ComponentPathLogIsAnnouncedOnEveryCall) {
    registry_.SetSetting("LocbaseLibDirsActive", "ein");
    registry_.SetSetting("LocbaseLibDirsDirectory", Dir());
    const std::string announce =
        "I Init: Pfade f\xfcr alle Komponenten werden bei jeder Abfrage nach <" + dir_.path() + "Locbase_Lib_Dirs.log> ausgegeben";

    const HostResult result = Run("messages-twice");
    const size_t second = result.output.find("--- second\n");
    ASSERT_NE(std::string::npos, second);
    const std::vector<std::string> first = MessageLines(result.output.substr(0, second));
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(kLogMutexLine, first[first.size() - 3]);
    EXPECT_EQ(kUserMutexLine, first[first.size() - 2]);
    EXPECT_EQ(announce, first.back());
    EXPECT_EQ(std::vector<std::string>{announce}, MessageLines(result.output.substr(second)));

    registry_.SetSetting("LocbaseLibDirsDirectory", dir_.path() + "fehlt\\");
    const HostResult missing = Run();
    const std::vector<std::string> messages = MessageLines(missing.output);
    EXPECT_EQ("E Init: Verzeichnis <" + dir_.path() + "fehlt\\> existiert nicht, um Pfade f\xfcr Komponenten auszugeben!",
              messages[3]);
    EXPECT_NE(std::string::npos, Settings(missing).find("libDirs=0 libDirsFile=<>"));
    EXPECT_EQ(kUserMutexLine, messages.back());
}

TEST_F(InitTest, AlternativeLogDirectoryMustExistAndGetsABackslash) {
    registry_.SetSetting("LocbaseLogDirX0000302", Dir());
    EXPECT_NE(std::string::npos, Settings(Run()).find("altLog=1 altLogDir=<" + dir_.path() + ">"));

    registry_.SetSetting("LocbaseLogDirX0000302", dir_.path() + "fehlt");
    const HostResult result = Run();
    const std::vector<std::string> messages = MessageLines(result.output);
    ASSERT_GE(messages.size(), 5u);
    EXPECT_EQ("E Init: Verzeichnis <" + dir_.path() +
                  "fehlt> existiert nicht, um als alternativer Log-Pfad f\xfcr die Komponente X0000303 zur\xfc"
                  "ckgegeben zu werden!",
              messages[4]);
    EXPECT_NE(std::string::npos, Settings(result).find("altLog=0 altLogDir=<>"));
}

// A mutex that a more privileged process created may grant only waiting: Init opens it silently.
TEST_F(InitTest, AccessDeniedOnCreationFallsBackToOpening) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100000;;;WD)", SDDL_REVISION_1,
                                                                       &raw, nullptr));
    tesk::UniqueHlocal descriptor(raw);
    SECURITY_ATTRIBUTES waitOnly = {sizeof waitOnly, raw, FALSE};
    tesk::UniqueHandle mutex(::CreateMutexA(&waitOnly, FALSE, "LBS_MUTEX_GETUSERNAME"));
    ASSERT_TRUE(mutex.valid());
    // Only its creator decides its access rights.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) GTEST_SKIP() << "another process holds LBS_MUTEX_GETUSERNAME";

    registry_.CreateKey(kSettingsKey);
    const HostResult result = Run();
    const std::vector<std::string> messages = MessageLines(result.output);
    ASSERT_EQ(5u, messages.size()) << result.output;
    EXPECT_EQ("I " + ReadFailure("LocbaseLogDirX0000302"), messages.back());
    EXPECT_NE(std::string::npos, Settings(result).find("userMutex=1"));
}

}  // namespace
