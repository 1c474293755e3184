// Random vendor keys, library settings and service answers: every getter answers a path ending in a
// backslash or nothing, without crash or overrun (the campaign build checks stack and string functions).
#include "dirlib/locbase.h"
#include "dirlib/locbase_service.h"
#include "dirlib/registry_lookups.h"
#include "platform/unique_resource.h"
#include "test_support/com_server.h"
#include "test_support/figures.h"
#include "test_support/files.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>
#include <io.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace {

constexpr char kComponentsKey[] = "SOFTWARE\\KorvanCo\\Components\\";
constexpr const char* kComponents[] = {"X0000301", "X0000302", "X0000303", "X0000306", "X9999999", ""};
constexpr const char* kSettings[] = {"LogVia_InternTrace", "LogVia_InternTraceDirectory", "LocbaseActive",
                                     "LocbaseTracingDirsActive", "LocbaseTracingDirsDirectory", "LocbaseLibDirsActive",
                                     "LocbaseLibDirsDirectory", "LocbaseLogDirX0000302", "ProgKey"};
// A registry value is read whole only up to 259 characters; a longer one is not read at all.
constexpr size_t kLongestRegistryDirectory = 259 + 1;

std::mt19937_64 g_random{test_support::CampaignSeed()};
std::string g_scratch;  // holds a file "file"

uint32_t Below(uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(g_random); }
bool Chance(uint32_t percent) { return Below(100) < percent; }

// Stores below HKEY_LOCAL_MACHINE in the 32-bit view, creating the key; what the registry refuses
// (a key name beyond 255 characters) is left out.
void Store(const std::string& keyPath, const std::string& name, DWORD type, const void* data, size_t size) {
    tesk::UniqueHkey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                        key.put(), nullptr) == ERROR_SUCCESS)
        RegSetValueExA(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
}

// Switch words or paths (that exist, can be created, cannot be, lie below a file, exceed MAX_PATH,
// hold ANSI characters beyond ASCII or characters no path may hold), terminated or not, or any bytes
// (0 to 1,000); stored as any type.
void StoreAny(const std::string& keyPath, const std::string& name) {
    constexpr DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE};
    const std::string& s = g_scratch;
    const std::string texts[] = {"ein", "EIN", "aus", "Ein ", "", "1", "on", s, s + "missing\\deeper\\", s + "file\\",
                                 s + "file\\below\\", "Q:\\no such drive\\", s + std::string(200 + Below(800), 'd') + "\\",
                                 s + "Gr\xfc\xdf" "e\xe4\xf6\\", std::string(Below(3), '\\'), s + "a\x01\x7f|<>*?\\"};
    const uint32_t kind = Below(4);
    std::string data = kind == 0 ? texts[Below(7)] : kind == 1 ? texts[7 + Below(9)] : std::string(Below(1001), ' ');
    if (kind < 2 && Chance(80)) data.push_back('\0');
    if (kind >= 2)
        for (char& b : data) b = static_cast<char>(kind == 2 ? 0x20 + Below(0xE0) : Below(256));
    Store(keyPath, name, kTypes[Below(std::size(kTypes))], data.data(), data.size());
}

// Every answer of the configuration service random (deep: all successful, 100,000 characters of
// 2-character components): strings up to 100,000 characters of components of 1 to 39 characters,
// some with characters no ANSI code page holds, null strings, error numbers and failing HRESULTs.
void FillServiceAnswers(bool deep) {
    constexpr HRESULT kResults[] = {S_OK, E_FAIL, E_OUTOFMEMORY, E_POINTER, RPC_E_DISCONNECTED, S_FALSE};
    constexpr wchar_t kForeign[] = {0x20AC, 0x4E2D, 0x0416, 0xD83D, 0xDE00, 0x00FC};
    tesk::UniqueHkey key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, test_support::kServiceKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                    nullptr, key.put(), nullptr);
    for (const wchar_t* name : {L"GetConfigPath", L"GetConfigPath.2", L"GetLogPath", L"GetLogPath.2", L"GetLogPath.3",
                                L"GetProgramPath", L"GetProgramPath.2", L"GetUserConfigPath", L"GetDirPath", L"GetSystemPath"}) {
        std::wstring text(deep || Chance(20) ? (deep || Chance(40) ? 100000 : 400) - Below(10) : Below(300), L'a');
        const bool foreign = Chance(30);
        const size_t step = deep ? 3 : Chance(50) ? 2 + Below(2) : 40;
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = foreign && Chance(5) ? kForeign[Below(std::size(kForeign))] : i % step == step - 1 ? L'\\' : L'a' + Below(26);
        RegSetValueExW(key.get(), name, 0, !deep && Chance(15) ? REG_NONE : REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    for (const std::string method : {"ValueInit", "DirInit", "GetConfigPath", "GetLogPath", "GetProgramPath",
                                     "GetUserConfigPath", "GetDirPath", "GetSystemPath"}) {
        const DWORD numbers[] = {deep || Chance(60) ? 0 : Below(0xFFFFFFFF), static_cast<DWORD>(deep || Chance(70) ? S_OK : kResults[Below(6)])};
        Store(test_support::kServiceKey, method + ".Error", REG_DWORD, &numbers[0], sizeof(DWORD));
        Store(test_support::kServiceKey, method + ".HResult", REG_DWORD, &numbers[1], sizeof(DWORD));
    }
}

// Nothing, or a path that ends in a backslash, holds no NUL and is at most `longest` long.
::testing::AssertionResult IsDirectoryAnswer(const std::string& answer, size_t longest = std::string::npos) {
    if (answer.empty() || (answer.back() == '\\' && answer.find('\0') == std::string::npos && answer.size() <= longest))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << answer.size() << " characters: <" << answer << ">";
}

// The program directory from the registry is handed out as read when it does not exist (its
// caller tests existence). Base and program part are read separately: two values long at most.
::testing::AssertionResult IsProgramDirectoryAnswer(const std::string& answer) {
    const bool asRead = !answer.empty() && answer.back() != '\\' && _access_s(answer.c_str(), 0) != 0;
    return IsDirectoryAnswer(asRead ? answer + "\\" : answer, 2 * kLongestRegistryDirectory + asRead);
}

// Every getter of the library, one creating what it finds missing (relative paths below the current
// directory, which the test makes its scratch directory).
std::vector<std::pair<const char*, std::string>> GetterAnswers(const std::string& c) {
    return {{"LBS_GetProgDir", LBS_GetProgDir(c, false)}, {"LBS_GetProgDir default", LBS_GetProgDir(c, true)},
            {"LBS_GetKonfigDir", LBS_GetKonfigDir(c)}, {"LBS_GetKonfigDirCurrentUser", LBS_GetKonfigDirCurrentUser(c, true)},
            {"LBS_GetLogDir", LBS_GetLogDir(c, false)}, {"LBS_GetDataDir", LBS_GetDataDir(c, false, "Archiv")},
            {"LBS_GetAvailableDataDirLocbase", LBS_GetAvailableDataDirLocbase(c, "Archiv")}};
}

size_t g_refused = 0;  // paths too long to create, as the library reports them
void WINAPI CountRefusals(bool, const char* text) { g_refused += std::strncmp(text, "LBS_CreateDirectory: Fehler <206>", 33) == 0; }

TEST(HostileEnvironment, VendorKeysServiceAnswersAndSettingsOfAnyKindGiveADirectoryOrNothing) {
    test_support::VendorRegistry registry;
    test_support::ScratchDir scratch{"tesk_stress_hostile"};
    test_support::WriteFileText(scratch.path() + "file", "a file, not a directory");
    // The library reads "LocbaseActive" once per process: on, so that every getter asks the service first.
    registry.SetSetting("LocbaseActive", "ein");
    const test_support::RegisteredServer server;
    ASSERT_EQ(0u, server.registerExitCode());
    g_scratch = scratch.path();
    ::SetCurrentDirectoryA(g_scratch.c_str());
    LBS_SetTraceCallback(CountRefusals);
    const uint64_t rounds = 6 * test_support::SettingOr("TESK_CAMPAIGN_HOSTILE_SCALE", 1);
    size_t answered = 0, hostile[3] = {};  // program, configuration and log directories
    for (uint64_t round = 0; round < rounds; ++round) {
        for (const std::string component : kComponents) {
            const std::string base = kComponentsKey + component, version = Chance(50) ? "\\1.0" :
                "\\" + std::to_string(Below(20)) + "." + std::to_string(Below(10));
            const std::pair<std::string, const char*> values[] = {
                {"\\Versions" + version, ""}, {"\\Versions\\" + std::string(Below(300), 'v'), ""},
                {"\\Versions" + version + "\\ProtectedDirectories", "FixedProgDir"},
                {"\\Versions" + version + "\\ProtectedDirectories", "ProgDir"}, {"\\Versions" + version + "\\ConfigDir", ""},
                {"\\Versions" + version + "\\LogDir", ""}, {"\\AvailableDataDirectories\\Archiv\\Dir1", ""}};
            for (const auto& [key, name] : values) StoreAny(base + key, name);
        }
        StoreAny("SOFTWARE\\KorvanCo\\ProtectedDirectories", "SystemDir");
        FillServiceAnswers(round == 0);
        for (const char* component : kComponents) {
            SCOPED_TRACE("round " + std::to_string(round) + ", component <" + component + ">");
            const std::string program = _GetProgDirFromRegistry(component), konfig = _GetKonfigDirFromRegistry(component),
                              log = _GetLogDirFromRegistry(component);
            EXPECT_TRUE(IsProgramDirectoryAnswer(program));
            for (const std::string& answer : {konfig, log, _GetAvailableDataDirFromRegistry(component, "Archiv")})
                EXPECT_TRUE(IsDirectoryAnswer(answer, kLongestRegistryDirectory));
            // Every value these lookups find was written above (but the trace component's program directory).
            const std::string found[] = {component == std::string("X0000302") ? "" : program, konfig, log};
            for (size_t i = 0; i < 3; ++i) hostile[i] += !found[i].empty();
            const std::string versionKey = _GetHighestVersionKey(kComponentsKey + std::string(component) + "\\Versions");
            EXPECT_TRUE(!versionKey.empty() && versionKey.front() == '\\') << versionKey;
            for (const int32_t type : {int32_t{LocbaseValueKonfigDir}, int32_t{LocbaseValueLogDir}, int32_t{LocbaseValueProgDir},
                                       int32_t{LocbaseValueUserKonfigDir}, int32_t{LocbaseValueInvalid}, int32_t{77}}) {
                const std::string answer = _GetValueFromLocbase(component, type, "");
                EXPECT_TRUE(IsDirectoryAnswer(answer));
                answered += !answer.empty();
            }
            for (const auto& [getter, answer] : GetterAnswers(component)) EXPECT_TRUE(IsDirectoryAnswer(answer)) << getter;
        }
        EXPECT_TRUE(IsDirectoryAnswer(_GetSystemDirFromRegistry(), kLongestRegistryDirectory));
        for (const int fallback : {1, 0}) EXPECT_TRUE(IsDirectoryAnswer(LBS_GetSystemDir(fallback)));
        // This process has read its settings at its first getter; a fresh one reads them random.
        for (const char* setting : kSettings) StoreAny(test_support::kSettingsKey, setting);
        const test_support::ProcessResult child = test_support::RunProcess(test_support::ProgramDirectory() + "stress_hostile_environment_test.exe",
                                                                             "--gtest_filter=HostileEnvironment.FreshProcess*");
        EXPECT_TRUE(child.exitCode == 0 && child.output.find("[  PASSED  ] 1 test.") != std::string::npos) << round << ":\n" << child.output;
    }
    ::SetCurrentDirectoryA(test_support::ProgramDirectory().c_str());
    // The service and the vendor keys were reached: some random values made it through as directories,
    // and the deep answers of the first round reached directory creation.
    EXPECT_GT(answered, 0u);
    EXPECT_GT(*std::min_element(std::begin(hostile), std::end(hostile)), 0u);
    EXPECT_GT(g_refused, 0u);
    test_support::Figure("rounds_of_vendor_keys_service_answers_and_settings", rounds);
    test_support::Figure("service_directories_answered", answered);
    test_support::Figure("registry_lookups_answering_a_hostile_value", hostile[0] + hostile[1] + hostile[2]);
    test_support::Figure("paths_too_long_to_create_refused", g_refused);
}

// Initialisation with whatever the settings hold (path dump and logs included), then every getter;
// the test above runs it in fresh processes after random settings.
TEST(HostileEnvironment, FreshProcessGetsADirectoryOrNothingFromEveryGetter) {
    EXPECT_TRUE(IsProgramDirectoryAnswer(_GetProgDirFromRegistry("X0000302")));
    std::vector<std::pair<const char*, std::string>> answers = {{"LBS_GetThisDllDir", LBS_GetThisDllDir()},
        {"LBS_GetTempDir", LBS_GetTempDir()}, {"LBS_GetSystemDir(1)", LBS_GetSystemDir(1)}, {"LBS_GetSystemDir(0)", LBS_GetSystemDir(0)}};
    for (const char* component : kComponents)
        for (const auto& answer : GetterAnswers(component)) answers.push_back(answer);
    for (int type = LocbaseDirLocalAppDataLow; type <= LocbaseDirProgramFilesForProgram; ++type)
        answers.emplace_back("LBS_GetSpecialFolderPath", LBS_GetSpecialFolderPath(static_cast<LocbaseDirType>(type)));
    for (const auto& [what, answer] : answers) EXPECT_TRUE(IsDirectoryAnswer(answer)) << what;
}

}  // namespace
