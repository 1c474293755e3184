// The library's building blocks in this process: message writer and internal log file, directory
// creation, version classification, COM error texts, path helpers, registry lookups; and, in a fresh
// process of this program, the first calls of eight threads at once.
#include "dirlib/directory_creation.h"
#include "dirlib/locbase_com.h"
#include "dirlib/locbase.h"
#include "dirlib/os_version.h"
#include "dirlib/path_helpers.h"
#include "dirlib/registry_lookups.h"
#include "dirlib/settings.h"
#include "dirlib/shared_security_attributes.h"
#include "dirlib/tracer.h"
#include "test_support/log_time.h"
#include "platform/unique_resource.h"
#include "test_support/debug_output.h"
#include "test_support/files.h"
#include "test_support/korvan_folders.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace test_support;

namespace {

std::vector<std::string> g_narrow;  // "I text" / "E text"
std::vector<std::wstring> g_wide;   // error messages of the writer itself
std::mutex g_recording;
void WINAPI RecordNarrow(bool isError, const char* text) {
    const std::lock_guard<std::mutex> hold(g_recording);
    g_narrow.push_back((isError ? "E " : "I ") + std::string(text));
}
void WINAPI RecordWide(bool isError, const wchar_t* text) { g_wide.push_back((isError ? L"E " : L"I ") + std::wstring(text)); }
void WINAPI Throwing(bool, const char*) { throw std::runtime_error("callback"); }
const std::string kFormatFailure = "E Fehler im Format des Tracing-Strings!";

class Recorded : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LBS_SetTraceCallback(RecordNarrow));
        ASSERT_TRUE(LBS_SetTraceCallbackW(RecordWide));
        g_narrow.clear(), g_wide.clear();
    }
    ScratchDir dir_{"dirlib_units"};
};

// Only the writer's own failures reach the debugger, never an ordinary message.
TEST_F(Recorded, WriterFormatsLikeThePlatformAndReportsItsOwnFailuresToBothCallbacks) {
    const DebugOutputCapture debugger;
    _TracerWrite(kTraceInfo, "Wert <%d> f\xfcr <%s> <0x%08x>", 42, "X0000303", 0x1234u);
    _TracerWrite(kTraceError, "Pfad <%S> <%c>", L"C:\\Gr\u00fc\u00dfe", 'x');
    _TracerWrite(kTraceInfo, "Pfad <%S>", L"C:\\\u0416");  // outside the "C" locale's code page
    _TracerWrite(kTraceInfo, "%s", "");
    EXPECT_FALSE(LBS_SetTraceCallback(nullptr) || LBS_SetTraceCallbackW(nullptr));
    _TracerWrite(kTraceInfo, "noch da");
    const std::vector<std::string> narrow = {"I Wert <42> f\xfcr <X0000303> <0x00001234>", "E Pfad <C:\\Gr\xfc\xdf" "e> <x>",
                                             kFormatFailure, kFormatFailure, "I noch da"};
    EXPECT_EQ(narrow, g_narrow);
    EXPECT_EQ(std::vector<std::wstring>(2, L"E Fehler im Format des Tracing-Strings!"), g_wide);
    ASSERT_TRUE(LBS_SetTraceCallback(Throwing));
    EXPECT_NO_THROW(_TracerWrite(kTraceInfo, "wirft"));
    EXPECT_EQ(L"E Exception gefangen!", g_wide.back());
    const std::string formatFailure = "ERROR - _TracerWrite: Fehler im Format des Tracing-Strings!";
    EXPECT_EQ(formatFailure + formatFailure + "ERROR - _TracerWrite: Exception gefangen!", debugger.Text());
}

// Without an initialised library there is no log mutex: the wait fails with -1 and says so.
TEST_F(Recorded, InternalLogFileLinesCarryTheClockTheIdsAndTheNoMutexNotice) {
    const std::string file = dir_.path() + "target.log";
    const SYSTEMTIME before = LocalNow();
    _InternTraceToFile(file.c_str(), "%s Programm <%s>", "X0000303", "C:\\Prog\\");
    _InternTraceToFile(file.c_str(), "%s", "");
    _InternTraceToFile(file.c_str(), "<%S>", L"\u0416");
    const std::string content = ReadFileBytes(file);
    const std::vector<std::string> lines = SplitLines(content);
    ASSERT_EQ(3u, lines.size()) << content;
    const std::string notice = "------> _InternTrace: Fehler <-1> bei WaitForSingleObject, eigentliche Trace-Zeile folgt:";
    const std::string ids = "[" + std::to_string(::GetCurrentProcessId()) + "] [" + std::to_string(::GetCurrentThreadId()) + "] ";
    const std::string noInfo = "---------- (Keine Info zum Ausgeben verf\xfcgbar, iFormatLen <";
    const std::string texts[] = {"X0000303 Programm <C:\\Prog\\>", noInfo + "0>)", noInfo + "-1>)"};
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ("", CheckStampedLine(lines[i], before, notice, ids + texts[i])) << lines[i];

    // A writer that finds the log mutex abandoned owns it and gives it back: the next writer need not wait.
    const tesk::UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, nullptr));
    std::thread([&] { EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(mutex.get(), 0)); }).join();
    g_librarySettings.logMutex = mutex.get();
    DWORD other = 0;
    _InternTraceToFile(file.c_str(), "erste");
    std::thread([&] { other = ::GetCurrentThreadId(), _InternTraceToFile(file.c_str(), "zweite"); }).join();
    g_librarySettings.logMutex = nullptr;
    const std::string last = SplitLines(ReadFileBytes(file)).back();
    EXPECT_EQ("", CheckStampedLine(last, before, "", ids.substr(0, ids.rfind('[') + 1) + std::to_string(other) + "] zweite")) << last;

    EXPECT_TRUE(g_narrow.empty());
}

TEST_F(Recorded, CreateDirectoryAnnouncesEachLevelAndReportsWhatStopsIt) {
    const std::string base = dir_.path(), file = base + "datei";
    WriteFileText(file, "x");
    const std::string drive = "Q:\\";
    ASSERT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), ::GetDriveTypeA(drive.c_str()));
    ::CreateDirectoryA((drive + "tesk").c_str(), nullptr);
    const std::string missingDrive = std::to_string(::GetLastError());
    auto announce = [](const std::string& path) { return "I _CreateDirectory: Pfad '<" + path + ">' soll angelegt werden"; };
    auto failed = [](const std::string& code, const std::string& path) {
        return "E LBS_CreateDirectory: Fehler <" + code + "> beim Anlegen des Verzeichnisses <" + path + ">!";
    };
    const struct {
        std::string path;
        bool created;
        std::vector<std::string> lines;
    } cases[] = {
        {base + "eins\\zwei\\", true,
         {announce(base + "eins"), announce(base + "eins\\zwei"), "I LBS_CreateDirectory: Verzeichnis <" + base + "eins\\zwei\\> wurde angelegt"}},
        {base.substr(0, base.size() - 1), true, {}},
        {"", false, {"E LBS_CreateDirectory: Kein Pfad \xfc" "bergeben!"}},
        {file + "\\unter", false, {"E _CreateDirectory: Angeforderter Pfad ist eine Datei (<" + file + ">)", failed("80", file + "\\unter")}},
        {drive + "tesk\\log", false, {announce(drive + "tesk"), failed(missingDrive, drive + "tesk\\log")}},
        {base + "M\xe4rz", true, {announce(base + "M\xe4rz"), "I LBS_CreateDirectory: Verzeichnis <" + base + "M\xe4rz> wurde angelegt"}},
    };
    for (const auto& c : cases) {
        g_narrow.clear();
        ::SetLastError(0xdeadbeef);
        EXPECT_EQ(c.created, LBS_CreateDirectory(c.path)) << c.path;
        EXPECT_EQ(c.lines, g_narrow) << c.path;
    }
    EXPECT_TRUE(IsDirectory(base + "eins\\zwei"));
    // A path of 32,767 characters is tried; one more is refused before any level is.
    for (const size_t length : {32767u, 32768u}) {
        g_narrow.clear();
        EXPECT_FALSE(LBS_CreateDirectory(drive + std::string(length - drive.size(), 'x')));
        EXPECT_EQ(length == 32767 ? 2u : 1u, g_narrow.size()) << length;
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((std::wstring(base.begin(), base.end()) + L"M\u00e4rz").c_str()));

    g_narrow.clear();
    EXPECT_EQ(L"", _ConvertToUnicode(""));
    // A lead byte without its trail byte, which Wine's runtime reports converted, with a count beyond the buffer.
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    ASSERT_TRUE(std::setlocale(LC_ALL, ".932"));
    EXPECT_EQ(L"", _ConvertToUnicode("C:\\\x81"));
    std::setlocale(LC_ALL, locale.c_str());
    const std::string failure = "E _ConvertToUnicode: Fehler beim Konvertieren des Verzeichnisses <";
    EXPECT_EQ((std::vector<std::string>{failure + ">!", failure + "C:\\\x81>!"}), g_narrow);
}

// The boundaries of the classification: each threshold and its neighbours, not every row.
TEST(OsVersion, ClassesAtTheirBoundariesAndTheirNames) {
    const BYTE ws = VER_NT_WORKSTATION, server = VER_NT_SERVER, dc = VER_NT_DOMAIN_CONTROLLER;
    const struct {
        DWORD platform, major, minor;
        BYTE product;
        WORD servicePack;
        int r2, expected;
    } cases[] = {
        {2, 5, 0, ws, 4, 0, 0},       {2, 5, 1, ws, 0, 0, 1},     {2, 5, 1, ws, 3, 0, 4},      {2, 5, 1, ws, 4, 0, 1},
        {2, 5, 1, server, 2, 0, 3},   {2, 5, 2, server, 0, 0, 5}, {2, 5, 2, ws, 2, 89, 6},     {2, 5, 3, server, 0, 0, 0},
        {2, 6, 0, ws, 2, 0, 9},       {2, 6, 0, ws, 3, 0, 7},     {2, 6, 0, dc, 2, 0, 10},     {2, 6, 1, ws, 1, 0, 12},
        {2, 6, 1, server, 1, 1, 13},  {2, 6, 3, server, 0, 0, 17}, {2, 6, 4, ws, 0, 0, 0},     {2, 9, 9, server, 0, 0, 0},
        {2, 10, 0, ws, 0, 0, 18},     {2, 10, 0, dc, 0, 0, 19},   {2, 10, 1, ws, 0, 0, 0},     {2, 11, 0, ws, 0, 0, 100},
        {2, 12, 0, dc, 0, 0, 101},    {1, 10, 0, ws, 0, 0, 0},    {0, 6, 1, ws, 1, 0, 0},
    };
    for (const auto& c : cases) {
        OSVERSIONINFOEXW version = {sizeof version, c.major, c.minor, 0, c.platform, {}, c.servicePack, 0, 0, c.product, 0};
        EXPECT_EQ(c.expected, _ClassifyOsVersion(version, c.r2))
            << c.platform << " " << c.major << "." << c.minor << " product " << int(c.product) << " SP " << c.servicePack;
    }
    const std::pair<int, const char*> names[] = {
        {1, "Windows XP"}, {6, "Windows 2003 Server R2"}, {9, "Windows VISTA SP2"}, {19, "Windows 2016 Server"},
        {100, "Windows Major > 10 und Minor x (nach Win10)"}, {101, "Server Windows Major > 10 und Minor x (nach Server2016)"},
        {0, "Windows Version UNKNOWN"}, {20, "Windows Version UNKNOWN"}, {99, "Windows Version UNKNOWN"}, {102, "Windows Version UNKNOWN"},
    };
    for (const auto& [versionClass, text] : names) EXPECT_EQ(text, _GetOsVersionName(versionClass)) << versionClass;
}

// The system's text with its insert (Wine's for a server of the other bitness), else the fallback.
TEST(ComErrorText, SystemTextWithInsertsOrTheFallback) {
    const std::pair<HRESULT, std::string> cases[] = {{HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), "Bad EXE format for %1."},
        {static_cast<HRESULT>(0x80040200), "Unknown error 0x80040200"}, {static_cast<HRESULT>(0x80040201), "IDispatch error #1"}};
    for (const auto& [hr, text] : cases) EXPECT_EQ(text, _ComErrorText(_com_error(hr))) << std::hex << hr;
}

TEST(PathHelpers, DefaultSubPathsBackslashesExistenceAndModuleDirectory) {
    const std::pair<std::pair<const char*, const char*>, const char*> subPaths[] = {
        {{"X0000305", "Log"}, "Korvan\\Log\\Mirel\\"},       {{"X0000301", "Log"}, "Korvan\\Log\\Mirel\\"},
        {{"X0000307", "Log"}, "Korvan\\Log\\X0000307\\"},    {{"X00003050", "Log"}, "Korvan\\Log\\X00003050\\"},
        {{"X0000302", "Konfig"}, "Korvan\\Konfig\\MirelCompact\\"}, {{"X0000303", "Konfig"}, "Korvan\\Konfig\\X0000303\\"},
        {{"X0000302", "Daten"}, "Korvan\\Daten\\X0000302\\"}, {{"X0000305", "log"}, "Korvan\\log\\X0000305\\"},
    };
    for (const auto& [in, expected] : subPaths) EXPECT_EQ(expected, _BuildDefaultSubPath(in.first, in.second)) << in.first << in.second;
    const std::pair<const char*, const char*> backslashes[] = {{"C:\\D", "C:\\D\\"}, {"C:\\D\\", "C:\\D\\"}, {"", ""}, {"a/", "a/\\"}};
    for (const auto& [in, expected] : backslashes) EXPECT_EQ(expected, _AddBackslash(in)) << in;

    ScratchDir dir("path_helpers");
    WriteFileText(dir.path() + "f", "x");
    EXPECT_TRUE(_PathExists(dir.path()) && _PathExists(dir.path() + "f"));
    EXPECT_FALSE(_PathExists("") || _PathExists(dir.path() + "g") || _PathExists("Q:\\no\\such"));
}

const std::string kComponents = "SOFTWARE\\KorvanCo\\Components\\";

class RegistryLookup : public ::testing::Test {
protected:
    void Versioned(const std::string& component, const std::string& version, const std::string& subKey,
                   const std::string& name, const std::string& value) {
        registry_.SetString(kComponents + component + "\\Versions\\" + version + "\\" + subKey, name, value);
    }
    VendorRegistry registry_;
    ScratchDir dir_{"registry_lookups"};
    const std::string key_ = kComponents + "X0000303\\Probe";
};

// A 260-byte buffer: 259 characters and the terminator fit, one more does not; the type is not examined.
TEST_F(RegistryLookup, ValuesUpToTheBufferInTheThirtyTwoBitViewOnly) {
    EXPECT_EQ("", _ReadRegistryString(key_, "Wert"));
    const DWORD abc = 0x00636261;
    const struct {
        DWORD type;
        std::string data, expected;
    } cases[] = {
        {REG_SZ, std::string(260, 'a').replace(259, 1, 1, '\0'), std::string(259, 'a')},
        {REG_SZ, std::string(260, 'a') + '\0', ""},
        {REG_MULTI_SZ, std::string("erste\0zweite\0\0", 14), "erste"},
        {REG_DWORD, std::string(reinterpret_cast<const char*>(&abc), 4), "abc"},
        {REG_BINARY, std::string(260, 'b'), std::string(260, 'b')},
        {REG_BINARY, std::string(261, 'b'), ""},
    };
    for (const auto& c : cases) {
        registry_.SetValue(key_, "", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        EXPECT_EQ(c.expected, _ReadRegistryString(key_, "")) << "type " << c.type << " size " << c.data.size();
    }
    tesk::UniqueHkey native;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                               nullptr, native.put(), nullptr));
    ::RegSetValueExA(native.get(), "Nativ", 0, REG_SZ, reinterpret_cast<const BYTE*>("64"), 3);
    EXPECT_EQ("", _ReadRegistryString(key_, "Nativ"));
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KorvanCo");
}

TEST_F(RegistryLookup, HighestVersionByLeadingNumberFirstOfEqualsDefaultOneZero) {
    const std::string longName = "5" + std::string(254, 'z');
    const struct {
        std::vector<std::string> subKeys;
        std::string expected;
    } cases[] = {
        {{}, "\\1.0"}, {{"1.0", "2.0", "10.0"}, "\\10.0"}, {{"0.9", "1.0", "abc", "-3"}, "\\1.0"}, {{"3.00", "3.0"}, "\\3.0"},
        {{"2.0", "2.5beta"}, "\\2.5beta"}, {{"2,5", "2.1"}, "\\2.1"}, {{"2,5", "1.5"}, "\\2,5"}, {{"2.0", longName}, "\\" + longName},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string versions = kComponents + "V" + std::to_string(n++) + "\\Versions";
        for (const std::string& name : c.subKeys) registry_.CreateKey(versions + "\\" + name);
        EXPECT_EQ(c.expected, _GetHighestVersionKey(versions)) << versions;
    }
}

TEST_F(RegistryLookup, ComponentDirectoriesFromTheirRecords) {
    const std::string base = dir_.path() + "Base";
    ASSERT_TRUE(::CreateDirectoryA(base.c_str(), nullptr));
    Versioned("X0000303", "1.0", "ConfigDir", "", "C:\\Alt");
    Versioned("X0000303", "2.0", "ConfigDir", "", "C:\\Neu\\Konfig");
    Versioned("X0000304", "5" + std::string(254, 'v'), "ConfigDir", "", "C:\\Lang");
    Versioned("X0000305", "0.9", "ConfigDir", "", "C:\\Neun");
    Versioned("X0000302", "2.0", "ConfigDir", "", "C:\\Konfig");
    Versioned("X0000302", "2.0", "ProtectedDirectories", "FixedProgDir", base);
    registry_.SetString(kComponents + "X0000306\\AvailableDataDirectories\\Data\\Dir1", "", "D:\\Daten");
    registry_.SetString(kComponents + "X0000302\\AvailableDataDirectories\\Data\\Dir1", "", "D:\\Daten");
    EXPECT_EQ("C:\\Neu\\Konfig\\", _GetKonfigDirFromRegistry("X0000303"));
    EXPECT_EQ("", _GetKonfigDirFromRegistry("X00003030"));
    EXPECT_EQ("", _GetKonfigDirFromRegistry("X0000304")) << "a version name too long for the key buffer";
    EXPECT_EQ("", _GetKonfigDirFromRegistry("X0000305")) << "below 1.0 only 1.0 itself is read";
    EXPECT_EQ("", _GetKonfigDirFromRegistry("X0000302")) << "the trace component has no records";
    EXPECT_EQ("D:\\Daten\\", _GetAvailableDataDirFromRegistry("X0000306", "Data"));
    EXPECT_EQ("", _GetAvailableDataDirFromRegistry("X0000306", "Andere"));
    EXPECT_EQ("", _GetAvailableDataDirFromRegistry("X0000302", "Data"));
    EXPECT_EQ("", _GetProgDirFromRegistry("X0000302"));
    registry_.SetSetting("ProgKey", base);
    EXPECT_EQ(base + "\\", _GetProgDirFromRegistry("X0000302"));
    EXPECT_EQ("", _GetSystemDirFromRegistry());
    registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", "C:\\Korvan\\System");
    EXPECT_EQ("C:\\Korvan\\System\\", _GetSystemDirFromRegistry());
}

}  // namespace

namespace {

// The shared record grants full access to SYSTEM, then Everyone, inheritable; an entry whose
// account has no SID is left out of the list and of its size.
TEST(SharedSecurityAttributes, FullAccessEntriesInOrderAndInheritable) {
    auto wellKnown = [](WELL_KNOWN_SID_TYPE type) {
        std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
        DWORD size = static_cast<DWORD>(sid.size());
        EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, sid.data(), &size));
        return sid;
    };
    std::vector<SharedSecurityAttributes::AccessEntry> entries;
    entries.push_back({SharedSecurityAttributes::kFullAccess, _LookupAccountSid(L"tesk no such account")});
    entries.push_back({SharedSecurityAttributes::kFullAccess, _ConvertStringSid(L"S-1-1-0")});
    SharedSecurityAttributes custom(std::move(entries));
    const std::pair<const SECURITY_ATTRIBUTES*, std::vector<std::vector<BYTE>>> cases[] = {
        {_SharedSecurityAttributes().get(), {wellKnown(WinLocalSystemSid), wellKnown(WinWorldSid)}},
        {custom.get(), {wellKnown(WinWorldSid)}},
    };
    for (const auto& [record, sids] : cases) {
        EXPECT_EQ(std::make_pair(DWORD{sizeof(SECURITY_ATTRIBUTES)}, TRUE), std::make_pair(record->nLength, record->bInheritHandle));
        BOOL present = FALSE, defaulted = TRUE;
        PACL dacl = nullptr;
        ASSERT_TRUE(::GetSecurityDescriptorDacl(record->lpSecurityDescriptor, &present, &dacl, &defaulted));
        ASSERT_TRUE(present && !defaulted && dacl != nullptr);
        ACL_SIZE_INFORMATION info = {};
        ASSERT_TRUE(::GetAclInformation(dacl, &info, sizeof info, AclSizeInformation));
        ASSERT_EQ(sids.size(), info.AceCount);
        EXPECT_EQ(0u, info.AclBytesFree);
        for (DWORD i = 0; i < info.AceCount; ++i) {
            void* raw = nullptr;
            ASSERT_TRUE(::GetAce(dacl, i, &raw));
            const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
            EXPECT_EQ(std::make_tuple(ACCESS_ALLOWED_ACE_TYPE, 0, 0x101F0000ul), std::make_tuple(ace->Header.AceType, ace->Header.AceFlags, ace->Mask)) << i;
            EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&ace->SidStart), const_cast<BYTE*>(sids[i].data()))) << i;
        }
    }
}

}  // namespace

namespace {

// In this program run again for this test alone, eight threads make the first library call at once:
// one reads the settings, creates the mutexes and dumps X0000303's directories. Then 100,000
// characters of 2-character components are refused before their 33,000 levels of recursion could
// exhaust the stack; a crash, which Wine reports as a normal exit, shows as a missing pass line. Then
// the initialised library's folder kinds, a locked log file and the rights on its named mutexes.
TEST(FreshProcess, InitialisesOnceForEightFirstCallsAndHoldsToItsLimits) {
    const char* dumpDir = std::getenv("TESK_DUMP_DIR");
    if (dumpDir == nullptr) {
        VendorRegistry registry;
        KorvanTrees trees;
        ScratchDir dir("dirlib_fresh_process");
        registry.SetSetting("LocbaseTracingDirsActive", "ein");
        registry.SetSetting("LocbaseTracingDirsDirectory", dir.path());
        ::SetEnvironmentVariableA("TESK_DUMP_DIR", dir.path().c_str());
        const ProcessResult child = RunProcess(ProgramDirectory() + "dirlib_units_test.exe", "--gtest_filter=FreshProcess.*");
        ::SetEnvironmentVariableA("TESK_DUMP_DIR", nullptr);
        EXPECT_TRUE(child.exitCode == 0 && child.output.find("[  PASSED  ] 1 test.") != std::string::npos) << child.output.substr(0, 4000);
        return;
    }
    ASSERT_TRUE(LBS_SetTraceCallback(RecordNarrow));
    const tesk::UniqueHandle start(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([&] { ::WaitForSingleObject(start.get(), INFINITE), LBS_GetOsVersion(); });
    ::SetEvent(start.get());
    for (std::thread& thread : threads) thread.join();
    // Four settings not found, two mutexes, the dump's announcement: each once.
    std::vector<std::string> init;
    std::copy_if(g_narrow.begin(), g_narrow.end(), std::back_inserter(init), [](const std::string& line) { return line.compare(2, 5, "Init:") == 0; });
    std::sort(init.begin(), init.end());
    const std::string file = std::string(dumpDir) + "X0000303_TracingDirs.log";
    EXPECT_TRUE(init.size() == 7 && std::adjacent_find(init.begin(), init.end()) == init.end() &&
                std::count(init.begin(), init.end(), "I Init: Pfade f\xfcr X0000303 werden einmalig nach <" + file + "> ausgegeben"))
        << ::testing::PrintToString(init);
    const std::string data = KnownFolder(FOLDERID_ProgramData) + "Korvan\\Daten\\X0000303\\Data\\",
                      log = KnownFolder(FOLDERID_LocalAppDataLow) + "Korvan\\Log\\Mirel\\", user = KnownFolder(FOLDERID_RoamingAppData) + "Korvan\\Konfig\\X0000303\\";
    const std::vector<std::string> expected = {"Programm <" + ProgramDirectory() + ">", "Daten <" + data + ">", "Konfig <" + LBS_GetKonfigDir("X0000303") + ">",
                                               "Log <" + log + ">", "Konfig Benutzer <" + user + ">"};
    const std::vector<std::string> dump = SplitLines(ReadFileBytes(file));
    ASSERT_EQ(expected.size(), dump.size()) << ReadFileBytes(file);
    for (size_t i = 0; i < dump.size(); ++i) EXPECT_EQ(expected[i], dump[i].substr(dump[i].find("] ", dump[i].find("] ") + 2) + 2)) << dump[i];
    for (const std::string& dir : {data, log, user}) EXPECT_TRUE(IsDirectory(dir)) << dir;

    std::string deep = dumpDir;
    while (deep.size() < 100000) deep += "ab\\";
    g_narrow.clear();
    EXPECT_FALSE(LBS_CreateDirectory(deep));
    EXPECT_EQ(std::vector<std::string>{"E LBS_CreateDirectory: Fehler <206> beim Anlegen des Verzeichnisses <" + deep + ">!"}, g_narrow);

    const std::pair<int, std::string> kinds[] = {{-1, ""}, {5, KnownFolder(FOLDERID_ProgramFilesX86)}, {6, ""}};
    for (const auto& [kind, folder] : kinds) {
        g_narrow.clear();
        EXPECT_EQ(folder, LBS_GetSpecialFolderPath(static_cast<LocbaseDirType>(kind))) << kind;
        const std::string refused = "E LBS_GetSpecialFolderPath: Falscher LocbaseDirType <" + std::to_string(kind) + "> wurde \xfc" "bergeben!";
        EXPECT_EQ(folder.empty(), std::count(g_narrow.begin(), g_narrow.end(), refused) == 1) << kind << ::testing::PrintToString(g_narrow);
    }

    // A line whose file is held open without sharing is lost at once, and the next thread finds the mutex free.
    const std::string locked = std::string(dumpDir) + "gesperrt.log";
    tesk::UniqueHfile holder(::CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr));
    _InternTraceToFile(locked.c_str(), "verloren");
    holder.reset();
    std::thread([&] { _InternTraceToFile(locked.c_str(), "danach"); }).join();
    const std::string afterLock = ReadFileBytes(locked);
    EXPECT_TRUE(SplitLines(afterLock).size() == 1 && afterLock.find("] danach\n") + 9 == afterLock.size() && afterLock.find("_InternTrace") == std::string::npos) << afterLock;

    // Both mutexes carry the shared access rights, by which the processes of every user may wait on them.
    PACL shared = nullptr, dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(_SharedSecurityAttributes().get()->lpSecurityDescriptor, &present, &shared, &defaulted) && shared);
    for (const char* name : {"LBS_MUTEX_INTERN_TRACE", "LBS_MUTEX_GETUSERNAME"}) {
        const tesk::UniqueHandle mutex(::OpenMutexA(SYNCHRONIZE | READ_CONTROL, FALSE, name));
        tesk::UniqueHlocal descriptor;
        ::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, descriptor.put());
        EXPECT_TRUE(descriptor && dacl && dacl->AclSize == shared->AclSize && std::memcmp(dacl, shared, shared->AclSize) == 0) << name;
    }
}

}  // namespace
