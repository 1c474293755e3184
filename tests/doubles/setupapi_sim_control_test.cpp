// The simulation's text log, failure injection, call journal and reset, and the proof that it
// is the setupapi.dll the process uses without disturbing the system libraries.
#include "tests/doubles/sim_fixture.h"

#include <commctrl.h>

#include <cstring>
#include <string>

namespace {

using simtest::kReaderClass;
using simtest::DevInfoData;
using simtest::DevInstallParams;
using simtest::SimTest;

std::string ModuleDirectory(HMODULE module) {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(module, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\') + 1);
}

class Loading : public SimTest {};

TEST_F(Loading, TheSetupapiInUseIsTheSimulationBesideTheProgram) {
    HMODULE setupapi = ::GetModuleHandleA("setupapi.dll");
    ASSERT_NE(nullptr, setupapi);
    EXPECT_EQ(reinterpret_cast<void*>(&SimReset), reinterpret_cast<void*>(::GetProcAddress(setupapi, "SimReset")));
    EXPECT_EQ(ModuleDirectory(nullptr), ModuleDirectory(setupapi));
}

// No Wine system library imports setupapi at load time; user32 and gdi32 only delay-load a few
// of its functions for display-device queries. Loading the usual system libraries and
// initialising the common controls must therefore neither fail nor reach the simulation.
TEST_F(Loading, SystemLibrariesLoadWithoutCallingTheSimulation) {
    for (const char* name : {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll", "shell32.dll",
                             "ole32.dll", "oleaut32.dll", "shlwapi.dll", "msvcrt.dll", "version.dll"}) {
        EXPECT_NE(nullptr, ::LoadLibraryA(name)) << name;
    }
    ::InitCommonControls();
    EXPECT_EQ(0u, SimJournalCount());
}

// cfgmgr32.dll forwards its CM_* functions to setupapi, so they reach the simulation as well.
TEST_F(Loading, ConfigManagerForwardersResolveToTheSimulation) {
    HMODULE cfgmgr = ::LoadLibraryA("cfgmgr32.dll");
    ASSERT_NE(nullptr, cfgmgr);
    EXPECT_EQ(reinterpret_cast<void*>(&CM_Get_Child), reinterpret_cast<void*>(::GetProcAddress(cfgmgr, "CM_Get_Child")));
    EXPECT_EQ(reinterpret_cast<void*>(&CM_Get_Device_IDW),
              reinterpret_cast<void*>(::GetProcAddress(cfgmgr, "CM_Get_Device_IDW")));
    ::FreeLibrary(cfgmgr);
}

class TextLog : public SimTest {};

TEST_F(TextLog, TokenIsTheOneTheTestSet) {
    EXPECT_EQ(0u, SetupGetThreadLogToken());
    SimSetThreadLogToken(0x1234567887654321ull);
    EXPECT_EQ(0x1234567887654321ull, SetupGetThreadLogToken());
}

TEST_F(TextLog, EntriesKeepTheirBytesAndFormattedText) {
    const char message[] = "TeskCoInstaller: Dazugeh\xf6riger ScFilter wurde erfolgreich gel\xf6scht";
    SetupWriteTextLog(0x1122334455667788ull, TXTLOG_INSTALLER, TXTLOG_DETAILS, message);
    SetupWriteTextLogError(7, TXTLOG_INSTALLER, TXTLOG_DETAILS, ERROR_NO_SUCH_DEVINST, "E %s <%d> %%", "x\xf6", 42);

    ASSERT_EQ(2u, SimTextLogCount());
    SimTextLogEntry entry = {};
    ASSERT_TRUE(SimGetTextLogEntry(0, &entry));
    EXPECT_EQ(0x1122334455667788ull, entry.token);
    EXPECT_EQ(static_cast<DWORD>(TXTLOG_INSTALLER), entry.category);
    EXPECT_EQ(static_cast<DWORD>(TXTLOG_DETAILS), entry.flags);
    EXPECT_FALSE(entry.hasError);
    ASSERT_EQ(sizeof message - 1, entry.messageLength);
    EXPECT_EQ(0, std::memcmp(message, entry.message, sizeof message));
    EXPECT_NE(static_cast<const void*>(message), static_cast<const void*>(entry.message));
    EXPECT_STREQ(message, entry.text);

    ASSERT_TRUE(SimGetTextLogEntry(1, &entry));
    EXPECT_EQ(7u, entry.token);
    EXPECT_TRUE(entry.hasError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_DEVINST), entry.error);
    EXPECT_STREQ("E %s <%d> %%", entry.message);
    EXPECT_STREQ("E x\xf6 <42> %", entry.text);
    EXPECT_FALSE(SimGetTextLogEntry(2, &entry));
}

TEST_F(TextLog, NullMessageIsRecordedAsNull) {
    SetupWriteTextLog(1, TXTLOG_INSTALLER, TXTLOG_DETAILS, nullptr);
    SimTextLogEntry entry = {};
    ASSERT_TRUE(SimGetTextLogEntry(0, &entry));
    EXPECT_EQ(nullptr, entry.message);
    EXPECT_EQ(nullptr, entry.text);
}

class Injection : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        reader_ = SimAddDevice(L"USB\\READER\\1", 0, &kReaderClass);
        child_ = SimAddDevice(L"TESK\\FILTER\\1", reader_, &GUID_DEVCLASS_SMARTCARDFILTER);
    }
    DEVINST reader_ = 0, child_ = 0;
};

TEST_F(Injection, NthCallOnly) {
    ASSERT_TRUE(SimInjectFailure("CM_Get_Child", SimFailNth, 2, CR_REGISTRY_ERROR));
    DEVINST out = 0;
    EXPECT_EQ(CR_SUCCESS, CM_Get_Child(&out, reader_, 0));
    out = 0;
    EXPECT_EQ(CR_REGISTRY_ERROR, CM_Get_Child(&out, reader_, 0));
    EXPECT_EQ(static_cast<DEVINST>(-1), out);
    EXPECT_EQ(CR_SUCCESS, CM_Get_Child(&out, reader_, 0));
    EXPECT_EQ(child_, out);
}

TEST_F(Injection, FromNthOnAndAlways) {
    ASSERT_TRUE(SimInjectFailure("SetupDiEnumDeviceInfo", SimFailFromNth, 2, ERROR_GEN_FAILURE));
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, nullptr, DIGCF_PROFILE);
    SP_DEVINFO_DATA data = DevInfoData();
    EXPECT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    for (int i = 0; i < 3; ++i) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &data));
        EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
    }

    ASSERT_TRUE(SimInjectFailure("SetupDiDestroyDeviceInfoList", SimFailAlways, 0, ERROR_ACCESS_DENIED));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(SimIsDeviceInfoSetValid(set));
    SimClearFailures();
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(Injection, FailedClassListingOpensNoSet) {
    ASSERT_TRUE(SimInjectFailure("SetupDiGetClassDevsW", SimFailAlways, 0, ERROR_NOT_ENOUGH_MEMORY));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, nullptr, DIGCF_PROFILE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    EXPECT_EQ(0u, SimSetsOpened());
    SimClassDevsCall call = {};
    ASSERT_TRUE(SimGetClassDevsCall(0, &call));
    EXPECT_EQ(INVALID_HANDLE_VALUE, call.result);
    EXPECT_EQ(static_cast<DWORD>(DIGCF_PROFILE), call.flags);
}

TEST_F(Injection, ParameterAndRemovalCallsFailWithoutEffect) {
    HDEVINFO set = nullptr;
    SP_DEVINFO_DATA data = {};
    ASSERT_TRUE(SimCreateDeviceInfo(child_, &set, &data));
    SP_PROPCHANGE_PARAMS params = {{sizeof(SP_CLASSINSTALL_HEADER), DIF_PROPERTYCHANGE}, DICS_DISABLE, 0, 0};
    SimSetClassInstallParams(child_, &params, sizeof params);

    SimInjectFailure("SetupDiGetClassInstallParamsW", SimFailAlways, 0, ERROR_INVALID_DATA);
    SimInjectFailure("SetupDiSetDeviceInstallParamsW", SimFailAlways, 0, ERROR_INVALID_FLAGS);
    SimInjectFailure("SetupDiRemoveDevice", SimFailAlways, 0, ERROR_ACCESS_DENIED);
    SimInjectFailure("CM_Get_Device_IDW", SimFailAlways, 0, CR_NO_SUCH_VALUE);

    SP_PROPCHANGE_PARAMS read = {};
    read.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    DWORD required = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiGetClassInstallParamsW(set, &data, &read.ClassInstallHeader, sizeof read, &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), GetLastError());
    EXPECT_EQ(0u, required);

    SP_DEVINSTALL_PARAMS_W install = DevInstallParams();
    install.Flags = DI_INSTALLDISABLED;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiSetDeviceInstallParamsW(set, &data, &install));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
    SP_DEVINSTALL_PARAMS_W now = {};
    SimGetDeviceInstallParams(child_, &now);
    EXPECT_EQ(0u, now.Flags);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupDiRemoveDevice(set, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(SimDeviceExists(child_));

    WCHAR buffer[MAX_DEVICE_ID_LEN];
    buffer[0] = 0xcccc;
    EXPECT_EQ(CR_NO_SUCH_VALUE, CM_Get_Device_IDW(child_, buffer, MAX_DEVICE_ID_LEN, 0));
    EXPECT_EQ(WCHAR(0xcccc), buffer[0]);
}

TEST_F(Injection, LogTokenAndTextLog) {
    SimSetThreadLogToken(5);
    SimInjectFailure("SetupGetThreadLogToken", SimFailNth, 1, ERROR_INVALID_DATA);
    SimInjectFailure("SetupWriteTextLogError", SimFailNth, 1, ERROR_DISK_FULL);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(static_cast<SP_LOG_TOKEN>(-1), SetupGetThreadLogToken());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), GetLastError());
    EXPECT_EQ(5u, SetupGetThreadLogToken());
    SetLastError(0xdeadbeef);
    SetupWriteTextLogError(5, TXTLOG_INSTALLER, TXTLOG_DETAILS, 1, "dropped");
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
    SetupWriteTextLogError(5, TXTLOG_INSTALLER, TXTLOG_DETAILS, 1, "kept");
    ASSERT_EQ(1u, SimTextLogCount());
    SimTextLogEntry entry = {};
    SimGetTextLogEntry(0, &entry);
    EXPECT_STREQ("kept", entry.message);
}

TEST_F(Injection, OnlyExportsCanBeArmed) {
    EXPECT_FALSE(SimInjectFailure("CM_Get_Sibling", SimFailAlways, 0, CR_FAILURE));
    EXPECT_FALSE(SimInjectFailure("cm_get_child", SimFailAlways, 0, CR_FAILURE));
    EXPECT_FALSE(SimInjectFailure(nullptr, SimFailAlways, 0, CR_FAILURE));
    EXPECT_FALSE(SimInjectFailure("CM_Get_Child", static_cast<SimFailMode>(7), 0, CR_FAILURE));
    for (const char* name : {"SetupGetThreadLogToken", "SetupWriteTextLog", "SetupWriteTextLogError",
                             "SetupDiGetClassInstallParamsW", "SetupDiGetClassDevsW", "SetupDiEnumDeviceInfo",
                             "SetupDiRemoveDevice", "SetupDiDestroyDeviceInfoList", "SetupDiSetDeviceInstallParamsW",
                             "SetupDiGetDeviceInstallParamsW", "CM_Get_Child", "CM_Get_Parent", "CM_Get_Device_IDW"}) {
        EXPECT_TRUE(SimInjectFailure(name, SimFailNth, 1, 1)) << name;
    }
}

class Journal : public SimTest {};

TEST_F(Journal, RecordsCallsInOrderWithArguments) {
    const DEVINST reader = SimAddDevice(L"USB\\READER\\1", 0, &kReaderClass);
    SimInjectFailure("CM_Get_Parent", SimFailAlways, 0, CR_FAILURE);
    DEVINST out = 0;
    CM_Get_Child(&out, reader, 0);
    CM_Get_Parent(&out, reader, 0);
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_SMARTCARDFILTER, nullptr, nullptr, DIGCF_PROFILE);
    SetupWriteTextLog(0x42, TXTLOG_INSTALLER, TXTLOG_DETAILS, "m");
    SetupDiDestroyDeviceInfoList(set);

    ASSERT_EQ(5u, SimJournalCount());
    EXPECT_EQ("CM_Get_Child", JournalFunction(0));
    EXPECT_EQ("dnDevInst=" + std::to_string(reader) + ", ulFlags=0x0", JournalArguments(0));
    SimCall call = {};
    ASSERT_TRUE(SimGetJournalEntry(1, &call));
    EXPECT_STREQ("CM_Get_Parent", call.function);
    EXPECT_TRUE(call.injected);
    EXPECT_EQ("SetupDiGetClassDevsW", JournalFunction(2));
    EXPECT_EQ("ClassGuid={db4f6ddd-9c0e-45e4-9597-78dbbad0f412}, Enumerator=null, hwndParent=0x0, Flags=0x8",
              JournalArguments(2));
    EXPECT_EQ("LogToken=0x42, Category=0x40000000, Flags=0x5", JournalArguments(3));
    char handle[32];
    std::snprintf(handle, sizeof handle, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(set)));
    EXPECT_EQ(std::string("DeviceInfoSet=") + handle, JournalArguments(4));
    EXPECT_FALSE(SimGetJournalEntry(5, &call));

    EXPECT_EQ(1u, SimCallCount("CM_Get_Child"));
    EXPECT_EQ(0u, SimCallCount("SetupDiRemoveDevice"));
}

TEST_F(Journal, InstallParamsShowTheFlagsPassed) {
    const DEVINST reader = SimAddDevice(L"USB\\READER\\1", 0, &kReaderClass);
    HDEVINFO set = nullptr;
    SP_DEVINFO_DATA data = {};
    SimCreateDeviceInfo(reader, &set, &data);
    SP_DEVINSTALL_PARAMS_W params = DevInstallParams();
    params.Flags = DI_INSTALLDISABLED;
    SetupDiSetDeviceInstallParamsW(set, &data, &params);
    EXPECT_EQ("DeviceInfoSet=" + std::string(JournalArguments(0)).substr(14, 10) + ", DevInst=" +
                  std::to_string(reader) + ", cbSize=" + std::to_string(sizeof params) +
                  ", Flags=0x40000, FlagsEx=0x0",
              JournalArguments(0));
}

class Reset : public SimTest {};

TEST_F(Reset, ForgetsEverything) {
    const DEVINST reader = SimAddDevice(L"USB\\READER\\1", 0, &kReaderClass);
    HDEVINFO set = SetupDiGetClassDevsW(&kReaderClass, nullptr, nullptr, 0);
    SimSetThreadLogToken(9);
    SetupWriteTextLog(9, TXTLOG_INSTALLER, TXTLOG_DETAILS, "m");
    SimInjectFailure("CM_Get_Child", SimFailAlways, 0, CR_FAILURE);

    SimReset();
    EXPECT_EQ(0u, SimDeviceCount());
    EXPECT_FALSE(SimDeviceExists(reader));
    EXPECT_FALSE(SimIsDeviceInfoSetValid(set));
    EXPECT_EQ(0u, SimSetsOpened());
    EXPECT_EQ(0u, SimSetsOpen());
    EXPECT_EQ(0u, SimTextLogCount());
    EXPECT_EQ(0u, SimClassDevsCallCount());
    EXPECT_EQ(0u, SimJournalCount());
    EXPECT_EQ(0u, SetupGetThreadLogToken());

    EXPECT_EQ(reader, SimAddDevice(L"USB\\READER\\9", 0, &kReaderClass)) << "numbering starts again";
    DEVINST out = 0;
    EXPECT_EQ(CR_NO_SUCH_DEVNODE, CM_Get_Child(&out, reader, 0)) << "armed failures are gone";
}

}  // namespace
