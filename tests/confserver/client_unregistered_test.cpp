// The client side with no server registered: the failure of the object creation, the switch that
// keeps the system-directory getter away from the service, and the COM apartment of each lookup.
#include "service_test_support.h"

#include <gtest/gtest.h>
#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace confsvc_test;

namespace {

const HRESULT kClassNotRegistered = REGDB_E_CLASSNOTREG;
const std::string kValueComError = "_GetValueFromLocbase: Exception ComError gefangen";
const std::string kDataComError = "LBS_GetAvailableDataDirLocbase: Im Catch-ComError...";
const std::string kSystemComError = "LBS_GetSystenDir: Im Catch-ComError...";

class UnregisteredService : public ::testing::Test {
protected:
    void SetUp() override { RemoveServerClasses(); }
    dirlib_test::VendorRegistry registry_;
};

TEST_F(UnregisteredService, ValueLookupReportsTheComErrorWithItsSystemTextForEveryType) {
    for (const char* type : {"1", "2", "3", "10"}) {
        const HostResult run = RunServiceHost(std::string("value X0000302 ") + type + " none");
        ASSERT_EQ(0u, run.exitCode) << run.output;
        EXPECT_THAT(LookupLines(run.output),
                    ElementsAre(ComErrorLine(kValueComError, kClassNotRegistered), "RESULT <>", "PROBE 0x00000000"))
            << "type " << type;
    }
}

TEST_F(UnregisteredService, ValueTypeZeroIsRefusedBeforeAnyObjectIsCreated) {
    const HostResult run = RunServiceHost("value X0000302 0 none");
    EXPECT_THAT(LookupLines(run.output),
                ElementsAre("E _GetValueFromLocbase: Unbekannter Value-Typ <0>!", "RESULT <>", "PROBE 0x00000000"));
}

TEST_F(UnregisteredService, ValueTypesOutsideTheServiceAreRefusedLikeZero) {
    for (const char* type : {"4", "9", "11", "-1"}) {
        const HostResult run = RunServiceHost(std::string("value X0000303 ") + type + " none");
        EXPECT_THAT(LookupLines(run.output),
                    ElementsAre("E _GetValueFromLocbase: Unbekannter Value-Typ <" + std::string(type) + ">!",
                                "RESULT <>", "PROBE 0x00000000"));
    }
}

TEST_F(UnregisteredService, DataDirLookupTestsTheCreationResultAndReportsItInDecimal) {
    const HostResult run = RunServiceHost("datadir X0000303 Archiv none");
    EXPECT_THAT(LookupLines(run.output),
                ElementsAre("E _GetActiveDataDirFromLocbase: pDir.CreateInstance(...) nicht erfolgreich <-2147221164>!",
                            "RESULT <>", "PROBE 0x00000000"));
}

TEST_F(UnregisteredService, SystemDirCatchesTheComErrorAndFallsBackToRegistryThenModule) {
    registry_.SetSetting("LocbaseActive", "ein");
    const HostResult run = RunServiceHost("systemdir 1 none");
    const std::string hostDir = TestDirectory() + "..\\confsvc_host\\";
    const std::vector<std::string> lines = LookupLines(run.output);
    ASSERT_EQ(5u, lines.size()) << run.output;
    EXPECT_EQ(ComErrorLine(kSystemComError, kClassNotRegistered), lines[0]);
    EXPECT_EQ(
        "I LBS_GetSystemDir: Korvan-Systempfad <> \xfc"
        "ber Registry ermittelt.",
        lines[1]);
    // The library is linked into the host, so its module directory is the host's.
    EXPECT_THAT(lines[2], HasSubstr("I LBS_GetSystemDir: Systempfad = \""));
    EXPECT_THAT(lines[3], HasSubstr("RESULT <"));
    EXPECT_EQ("PROBE 0x00000000", lines[4]);
    char full[MAX_PATH] = {};
    ::GetFullPathNameA(hostDir.c_str(), MAX_PATH, full, nullptr);
    EXPECT_EQ("I LBS_GetSystemDir: Systempfad = \"" + std::string(full) + "\"", lines[2]);
    EXPECT_EQ("RESULT <" + std::string(full) + ">", lines[3]);
}

class ServiceSwitch : public UnregisteredService {
protected:
    void ExpectServiceNotAsked(const std::string& arguments) {
        dirlib_test::ScratchDir system("system");
        registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", system.path());
        const HostResult run = RunServiceHost(arguments);
        EXPECT_THAT(
            LookupLines(run.output),
            ElementsAre("I LBS_GetSystenDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
                        "I LBS_GetSystemDir: Korvan-Systempfad <" + system.path() +
                            "> \xfc"
                            "ber Registry ermittelt.",
                        "I LBS_GetSystemDir: Systempfad = \"" + system.path() + "\"", "RESULT <" + system.path() + ">",
                        "PROBE 0x00000000"));
    }
};

TEST_F(ServiceSwitch, MissingValueKeepsTheServiceOff) { ExpectServiceNotAsked("systemdir 1 none"); }

TEST_F(ServiceSwitch, AusInAnyCaseSwitchesTheServiceOff) {
    registry_.SetSetting("LocbaseActive", "AuS");
    ExpectServiceNotAsked("systemdir 1 none");
}

// Even a thread that could not enter an apartment gets no apartment line while the service is off.
TEST_F(ServiceSwitch, SwitchIsTestedBeforeTheApartment) {
    registry_.SetSetting("LocbaseActive", "aus");
    dirlib_test::ScratchDir system("system");
    registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", system.path());
    const HostResult run = RunServiceHost("systemdir 1 mta");
    EXPECT_THAT(LookupLines(run.output),
                ElementsAre("BEFORE 0x00000000",
                            "I LBS_GetSystenDir: Zugriff auf Locbase ist abgeschaltet, Alternativen werden verwendet",
                            "I LBS_GetSystemDir: Korvan-Systempfad <" + system.path() +
                                "> \xfc"
                                "ber Registry ermittelt.",
                            "I LBS_GetSystemDir: Systempfad = \"" + system.path() + "\"",
                            "RESULT <" + system.path() + ">", "PROBE 0x00000001 0x00000000"));
}

TEST_F(ServiceSwitch, EmptyValueSwitchesTheServiceOn) {
    registry_.SetSetting("LocbaseActive", "");
    const HostResult run = RunServiceHost("systemdir 1 none");
    const std::vector<std::string> lines = LookupLines(run.output);
    ASSERT_FALSE(lines.empty()) << run.output;
    EXPECT_EQ(ComErrorLine(kSystemComError, kClassNotRegistered), lines[0]);
}

// Any selector but 1 takes the trace component's program directory from the registry and never
// asks the service or the vendor system directory.
TEST_F(ServiceSwitch, OtherSelectorsTakeTheTraceProgramDirectory) {
    registry_.SetSetting("LocbaseActive", "ein");
    dirlib_test::ScratchDir prog("prog");
    dirlib_test::ScratchDir system("system");
    registry_.SetSetting("ProgKey", prog.path());
    registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", system.path());
    for (const char* selector : {"0", "2", "-1"}) {
        const HostResult run = RunServiceHost(std::string("systemdir ") + selector + " none");
        EXPECT_THAT(LookupLines(run.output), ElementsAre("I LBS_GetSystemDir: Systempfad = \"" + prog.path() + "\"",
                                                         "RESULT <" + prog.path() + ">", "PROBE 0x00000000"))
            << "selector " << selector;
    }
}

TEST_F(ServiceSwitch, RegistryDirectoryThatDoesNotExistFallsBackToTheModule) {
    registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", "C:\\nicht\\vorhanden");
    const HostResult run = RunServiceHost("systemdir 1 none");
    const std::vector<std::string> lines = LookupLines(run.output);
    ASSERT_EQ(5u, lines.size()) << run.output;
    EXPECT_EQ(
        "I LBS_GetSystemDir: Korvan-Systempfad <C:\\nicht\\vorhanden\\> \xfc"
        "ber Registry ermittelt.",
        lines[1]);
    EXPECT_THAT(lines[2], HasSubstr("confsvc_host\\\""));
}

class Apartments : public UnregisteredService {};

// Already in the multithreaded apartment: no service values, no CoUninitialize, the thread's own
// apartment intact (a second MTA initialisation still finds it).
TEST_F(Apartments, MultithreadedThreadGetsNoServiceValues) {
    HostResult run = RunServiceHost("value X0000302 3 mta");
    EXPECT_THAT(LookupLines(run.output),
                ElementsAre("BEFORE 0x00000000", "E _GetValueFromLocbase: CoInitializeEx(...) war nicht erfolgreich!",
                            "RESULT <>", "PROBE 0x00000001 0x00000000"));
    run = RunServiceHost("datadir X0000303 Archiv mta");
    EXPECT_THAT(
        LookupLines(run.output),
        ElementsAre("BEFORE 0x00000000", "E _GetActiveDataDirFromLocbase: CoInitializeEx(...) war nicht erfolgreich!",
                    "RESULT <>", "PROBE 0x00000001 0x00000000"));
    registry_.SetSetting("LocbaseActive", "ein");
    dirlib_test::ScratchDir system("system");
    registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", system.path());
    run = RunServiceHost("systemdir 1 mta");
    EXPECT_THAT(LookupLines(run.output),
                ElementsAre("BEFORE 0x00000000", "E LBS_GetSystemDir: CoInitializeEx(...) war nicht erfolgreich!",
                            "I LBS_GetSystemDir: Korvan-Systempfad <" + system.path() +
                                "> \xfc"
                                "ber Registry ermittelt.",
                            "I LBS_GetSystemDir: Systempfad = \"" + system.path() + "\"",
                            "RESULT <" + system.path() + ">", "PROBE 0x00000001 0x00000000"));
}

// Already in a single-threaded apartment (S_FALSE): the lookup goes on to the service and undoes
// exactly its own initialisation, so the caller's apartment survives and one CoUninitialize ends it.
TEST_F(Apartments, SingleThreadedThreadIsUsedAndKeepsItsApartment) {
    HostResult run = RunServiceHost("value X0000302 1 sta");
    EXPECT_THAT(LookupLines(run.output),
                ElementsAre("BEFORE 0x00000000", ComErrorLine(kValueComError, kClassNotRegistered), "RESULT <>",
                            "PROBE 0x00000001 0x00000000"));
    run = RunServiceHost("datadir X0000303 Archiv sta");
    EXPECT_THAT(LookupLines(run.output),
                ElementsAre("BEFORE 0x00000000",
                            "E _GetActiveDataDirFromLocbase: pDir.CreateInstance(...) nicht erfolgreich <-2147221164>!",
                            "RESULT <>", "PROBE 0x00000001 0x00000000"));
    registry_.SetSetting("LocbaseActive", "ein");
    run = RunServiceHost("systemdir 1 sta");
    const std::vector<std::string> lines = LookupLines(run.output);
    ASSERT_EQ(6u, lines.size()) << run.output;
    EXPECT_EQ(ComErrorLine(kSystemComError, kClassNotRegistered), lines[1]);
    EXPECT_EQ("PROBE 0x00000001 0x00000000", lines[5]);
}

}  // namespace
