// Hostile environment: the vendor's keys, the library's settings and the configuration service's
// answers filled with random values; the directory library must answer with a path ending in a
// backslash or with nothing, and neither crash nor overrun a buffer (the campaign build checks
// the stack and the runtime's string functions).
#include "stress_settings.h"

#include "dirlib/locbase.h"
#include "dirlib/locbase_service.h"
#include "dirlib/registry_lookups.h"
#include "platform/unique_resource.h"
#include "test_support/com_server.h"
#include "test_support/files.h"
#include "test_support/process.h"
#include "test_support/registry_fixture.h"

#include <gtest/gtest.h>
#include <io.h>

#include <cstring>
#include <iterator>
#include <random>

namespace {

constexpr char kComponentsKey[] = "SOFTWARE\\KorvanCo\\Components\\";
constexpr const char* kComponents[] = {"X0000301", "X0000302", "X0000303", "X0000306", "X9999999", ""};

uint64_t Rounds(uint64_t shortRun) { return shortRun * SettingOr("TESK_CAMPAIGN_HOSTILE_SCALE", 1); }

// Random registry values and paths: every type, lengths from 0 to 1,000 bytes, switch words, and
// paths that exist, do not, cannot, are files, are longer than any buffer, or hold characters the
// ANSI code page cannot.
class Generator {
public:
    // `scratch` exists (with trailing backslash) and holds a file "file".
    Generator(uint64_t seed, std::string scratch) : random_(seed), scratch_(std::move(scratch)) {}
    uint32_t Below(uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random_); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }

    std::string AnyPath() {
        switch (Below(9)) {
            case 0: return scratch_;                                               // exists
            case 1: return scratch_ + "missing\\deeper\\";                        // can be created
            case 2: return scratch_ + "file\\";                                   // a file, no directory
            case 3: return scratch_ + "file\\below\\";                            // cannot be created
            case 4: return "Q:\\no such drive\\";                                 // cannot be created
            case 5: return scratch_ + std::string(200 + Below(800), 'd') + "\\";  // beyond MAX_PATH
            case 6: return scratch_ + "Gr\xfc\xdf" "e\xe4\xf6\\";                 // ANSI beyond ASCII
            case 7: return std::string(Below(3), '\\');                           // empty or separators
            default: return scratch_ + "a\x01\x7f|<>*?\\";                        // no path may hold these
        }
    }

    // Exactly the bytes stored, terminated or not: switch words, paths or any bytes, of any type.
    std::pair<DWORD, std::string> AnyValue() {
        constexpr DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE};
        constexpr const char* kWords[] = {"ein", "EIN", "aus", "Ein ", "", "1", "on"};
        const DWORD type = kTypes[Below(std::size(kTypes))];
        const uint32_t kind = Below(4);
        std::string data = kind == 0 ? kWords[Below(std::size(kWords))] : kind == 1 ? AnyPath() : std::string(Below(1001), ' ');
        if (kind < 2 && Chance(80)) data.push_back('\0');
        if (kind >= 2)
            for (char& b : data) b = static_cast<char>(kind == 2 ? 0x20 + Below(0xE0) : Below(256));
        return {type, data};
    }

    // Up to `maxLength` characters, some outside every ANSI code page.
    std::wstring AnyWideText(size_t maxLength) {
        std::wstring text(Chance(20) ? maxLength - Below(10) : Below(300), L'a');
        const bool foreign = Chance(30);
        constexpr wchar_t kForeign[] = {0x20AC, 0x4E2D, 0x0416, 0xD83D, 0xDE00, 0x00FC};
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = foreign && Chance(5) ? kForeign[Below(std::size(kForeign))] : i % 40 == 39 ? L'\\' : L'a' + Below(26);
        return text;
    }

private:
    std::mt19937_64 random_;
    std::string scratch_;
};

// Stores below HKEY_LOCAL_MACHINE in the 32-bit view, creating the key.
void Store(const std::string& keyPath, const std::string& name, DWORD type, const void* data, size_t size) {
    tesk::UniqueHkey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                        key.put(), nullptr) == ERROR_SUCCESS)
        RegSetValueExA(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
}
void StoreAny(Generator& random, const std::string& keyPath, const std::string& name) {
    const auto [type, data] = random.AnyValue();
    Store(keyPath, name, type, data.data(), data.size());
}
void StoreDword(const std::string& keyPath, const std::string& name, DWORD value) {
    Store(keyPath, name, REG_DWORD, &value, sizeof value);
}

// A registry value is read whole only up to 259 characters; a longer one is not read at all.
constexpr size_t kLongestRegistryDirectory = 259 + 1;

// A directory result: nothing, or a path that ends in a backslash and holds no NUL.
::testing::AssertionResult IsDirectoryAnswer(const std::string& answer, size_t longest = std::string::npos) {
    if (answer.empty()) return ::testing::AssertionSuccess();
    if (answer.back() != '\\') return ::testing::AssertionFailure() << "no trailing backslash: <" << answer << ">";
    if (answer.find('\0') != std::string::npos) return ::testing::AssertionFailure() << "NUL inside the answer";
    if (answer.size() > longest) return ::testing::AssertionFailure() << answer.size() << " characters";
    return ::testing::AssertionSuccess();
}

// The program directory from the registry is handed out as read when it does not exist (its
// caller tests existence); an existing one ends in a backslash. Base and program part are read
// separately, so it may be two values long.
::testing::AssertionResult IsProgramDirectoryAnswer(const std::string& answer) {
    if (!answer.empty() && answer.back() != '\\' && _access_s(answer.c_str(), 0) != 0) {
        return answer.size() <= 2 * kLongestRegistryDirectory ? ::testing::AssertionSuccess()
                                                              : ::testing::AssertionFailure() << answer.size();
    }
    return IsDirectoryAnswer(answer, 2 * kLongestRegistryDirectory);
}

// Every directory getter of the library for the component, without creating anything: each
// answers its best candidate with a trailing backslash, or nothing.
std::vector<std::pair<const char*, std::string>> GetterAnswers(const std::string& c) {
    return {{"LBS_GetProgDir", LBS_GetProgDir(c, false)}, {"LBS_GetProgDir default", LBS_GetProgDir(c, true)},
            {"LBS_GetKonfigDir", LBS_GetKonfigDir(c)}, {"LBS_GetKonfigDirCurrentUser", LBS_GetKonfigDirCurrentUser(c, false)},
            {"LBS_GetLogDir", LBS_GetLogDir(c, false)}, {"LBS_GetDataDir", LBS_GetDataDir(c, false, "Archiv")}};
}

void ExpectGettersAnswerDirectories(const std::string& component) {
    for (const auto& [getter, answer] : GetterAnswers(component)) EXPECT_TRUE(IsDirectoryAnswer(answer)) << getter;
}

// Every answer of the configuration service random: strings up to 100,000 characters, some with
// characters no ANSI code page holds, null strings, error numbers and failing HRESULTs.
void FillServiceAnswers(Generator& random) {
    constexpr const char* kStrings[] = {"GetConfigPath", "GetConfigPath.2", "GetLogPath", "GetLogPath.2",
                                        "GetLogPath.3",  "GetProgramPath",  "GetProgramPath.2", "GetUserConfigPath",
                                        "GetDirPath",    "GetSystemPath"};
    constexpr const char* kMethods[] = {"ValueInit",  "DirInit",         "GetConfigPath", "GetLogPath",
                                        "GetProgramPath", "GetUserConfigPath", "GetDirPath", "GetSystemPath"};
    constexpr HRESULT kResults[] = {S_OK, E_FAIL, E_OUTOFMEMORY, E_POINTER, RPC_E_DISCONNECTED, S_FALSE};
    for (const char* name : kStrings) {
        const std::wstring text = random.AnyWideText(random.Chance(10) ? 100000 : 400);
        const std::wstring wideName(name, name + std::strlen(name));
        tesk::UniqueHkey key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, test_support::kServiceKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                        nullptr, key.put(), nullptr);
        RegSetValueExW(key.get(), wideName.c_str(), 0, random.Chance(15) ? REG_NONE : REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    for (const char* method : kMethods) {
        const std::string name(method);
        StoreDword(test_support::kServiceKey, name + ".Error", random.Chance(60) ? 0 : random.Below(0xFFFFFFFF));
        StoreDword(test_support::kServiceKey, name + ".HResult",
                            static_cast<DWORD>(random.Chance(70) ? S_OK : kResults[random.Below(6)]));
    }
}

class HostileEnvironment : public ::testing::Test {
protected:
    // The library reads "LocbaseActive" once per process: on, so that the getters of every test
    // here ask the service first, registered or not.
    void SetUp() override {
        test_support::WriteFileText(scratch_.path() + "file", "a file, not a directory");
        registry_.SetSetting("LocbaseActive", "ein");
    }

    test_support::VendorRegistry registry_;
    test_support::ScratchDir scratch_{"tesk_stress_hostile"};
};

TEST_F(HostileEnvironment, ComponentLookupsAnswerADirectoryOrNothing) {
    Generator random(Seed(), scratch_.path());
    const uint64_t rounds = Rounds(12);
    for (uint64_t round = 0; round < rounds; ++round) {
        for (const char* component : kComponents) {
            const std::string base = kComponentsKey + std::string(component);
            const std::string version = random.Chance(50) ? "\\1.0" : "\\" + std::to_string(random.Below(20)) + "." +
                                                                             std::to_string(random.Below(10));
            StoreAny(random, base + "\\Versions" + version, "");
            StoreAny(random, base + "\\Versions\\" + std::string(random.Below(300), 'v'), "");
            StoreAny(random, base + version + "\\ProtectedDirectories", "FixedProgDir");
            StoreAny(random, base + version + "\\ProtectedDirectories", "ProgDir");
            StoreAny(random, base + version + "\\ConfigDir", "");
            StoreAny(random, base + version + "\\LogDir", "");
            StoreAny(random, base + "\\AvailableDataDirectories\\Archiv\\Dir1", "");
        }
        StoreAny(random, "SOFTWARE\\KorvanCo\\ProtectedDirectories", "SystemDir");
        StoreAny(random, "SOFTWARE\\Korvan Mirel Compact", "ProgKey");

        for (const char* component : kComponents) {
            SCOPED_TRACE(std::string("round ") + std::to_string(round) + ", component <" + component + ">");
            EXPECT_TRUE(IsProgramDirectoryAnswer(_GetProgDirFromRegistry(component)));
            EXPECT_TRUE(IsDirectoryAnswer(_GetKonfigDirFromRegistry(component), kLongestRegistryDirectory));
            EXPECT_TRUE(IsDirectoryAnswer(_GetLogDirFromRegistry(component), kLongestRegistryDirectory));
            EXPECT_TRUE(IsDirectoryAnswer(_GetAvailableDataDirFromRegistry(component, "Archiv"), kLongestRegistryDirectory));
            const std::string versionKey = _GetHighestVersionKey(kComponentsKey + std::string(component) + "\\Versions");
            EXPECT_TRUE(!versionKey.empty() && versionKey.front() == '\\') << versionKey;
            ExpectGettersAnswerDirectories(component);
        }
        EXPECT_TRUE(IsDirectoryAnswer(_GetSystemDirFromRegistry(), kLongestRegistryDirectory));
    }
    PrintFigures({{"vendor_key_rounds", rounds}, {"components_per_round", std::size(kComponents)}});
}

TEST_F(HostileEnvironment, ServiceAnswersOfAnyKindGiveADirectoryOrNothing) {
    const test_support::RegisteredServer server;
    ASSERT_EQ(0u, server.registerExitCode());
    Generator random(Seed() + 1, scratch_.path());
    const uint64_t rounds = Rounds(4);
    size_t answered = 0;
    for (uint64_t round = 0; round < rounds; ++round) {
        FillServiceAnswers(random);
        for (const char* component : kComponents) {
            SCOPED_TRACE(std::string("round ") + std::to_string(round) + ", component <" + component + ">");
            for (const int32_t type : {int32_t{LocbaseValueKonfigDir}, int32_t{LocbaseValueLogDir},
                                       int32_t{LocbaseValueProgDir}, int32_t{LocbaseValueUserKonfigDir},
                                       int32_t{LocbaseValueInvalid}, int32_t{77}}) {
                const std::string answer = _GetValueFromLocbase(component, type, "");
                EXPECT_TRUE(IsDirectoryAnswer(answer));
                if (!answer.empty()) ++answered;
            }
            EXPECT_TRUE(IsDirectoryAnswer(LBS_GetAvailableDataDirLocbase(component, "Archiv")));
            ExpectGettersAnswerDirectories(component);
        }
        EXPECT_TRUE(IsDirectoryAnswer(LBS_GetSystemDir(1)));
        EXPECT_TRUE(IsDirectoryAnswer(LBS_GetSystemDir(0)));
    }
    // The service was reached: some of its random answers made it through as directories.
    EXPECT_GT(answered, 0u);
    PrintFigures({{"service_answer_rounds", rounds}, {"service_answers_checked", rounds * std::size(kComponents) * 7},
                  {"service_directories_answered", answered}});
}

TEST_F(HostileEnvironment, DirectoriesThatCannotBeCreatedAreRefused) {
    const std::string file = scratch_.path() + "file";
    EXPECT_FALSE(LBS_CreateDirectory(""));
    EXPECT_FALSE(LBS_CreateDirectory(file + "\\"));
    EXPECT_FALSE(LBS_CreateDirectory(file + "\\below\\deeper\\"));
    EXPECT_FALSE(LBS_CreateDirectory("Q:\\no such drive\\x\\"));
    EXPECT_FALSE(LBS_CreateDirectory(scratch_.path() + std::string(100000, 'd') + "\\"));
    EXPECT_FALSE(LBS_CreateDirectory(scratch_.path() + "a|b\\"));
    // A creatable path with ANSI characters beyond ASCII is created.
    const std::string umlauts = scratch_.path() + "Gr\xfc\xdf" "e\\\xe4\xf6\\";
    EXPECT_TRUE(LBS_CreateDirectory(umlauts));
    EXPECT_TRUE(test_support::IsDirectory(umlauts));
}

// Every library setting random, read by a fresh process each time: the library reads its
// settings once per process.
TEST_F(HostileEnvironment, RandomSettingsInFreshProcesses) {
    constexpr const char* kSettings[] = {"LogVia_InternTrace",       "LogVia_InternTraceDirectory",
                                         "LocbaseActive",            "LocbaseTracingDirsActive",
                                         "LocbaseTracingDirsDirectory", "LocbaseLibDirsActive",
                                         "LocbaseLibDirsDirectory",  "LocbaseLogDirX0000302",
                                         "ProgKey"};
    const test_support::RegisteredServer server;
    ASSERT_EQ(0u, server.registerExitCode());
    Generator random(Seed() + 2, scratch_.path());
    char program[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, program, MAX_PATH);
    const uint64_t rounds = Rounds(3);
    for (uint64_t round = 0; round < rounds; ++round) {
        for (const char* setting : kSettings) {
            StoreAny(random, "SOFTWARE\\Korvan Mirel Compact", setting);
        }
        FillServiceAnswers(random);
        const test_support::ProcessResult child = test_support::RunProcess(program, "--child");
        EXPECT_EQ(0u, child.exitCode) << "round " << round << ":\n" << child.output;
        EXPECT_NE(std::string::npos, child.output.find("child done")) << child.output;
    }
    PrintFigures({{"fresh_processes_with_random_settings", rounds}});
}

// The child: initialisation with whatever the settings hold (the path dump and the library logs
// included), then every getter.
int RunChild() {
    int failures = 0;
    const auto check = [&failures](const std::string& answer, const char* what) {
        if (!IsDirectoryAnswer(answer) && !(std::strcmp(what, "_GetProgDirFromRegistry") == 0 &&
                                             IsProgramDirectoryAnswer(answer))) {
            std::printf("%s: <%s>\n", what, answer.c_str());
            ++failures;
        }
    };
    check(LBS_GetThisDllDir(), "LBS_GetThisDllDir");
    for (int type = LocbaseDirLocalAppDataLow; type <= LocbaseDirProgramFilesForProgram; ++type) {
        check(LBS_GetSpecialFolderPath(static_cast<LocbaseDirType>(type)), "LBS_GetSpecialFolderPath");
    }
    check(LBS_GetSystemDir(1), "LBS_GetSystemDir(1)");
    check(LBS_GetSystemDir(0), "LBS_GetSystemDir(0)");
    check(_GetProgDirFromRegistry("X0000302"), "_GetProgDirFromRegistry");
    check(LBS_GetTempDir(), "LBS_GetTempDir");
    for (const char* component : kComponents)
        for (const auto& [getter, answer] : GetterAnswers(component)) check(answer, getter);
    std::printf("child done\n");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--child") == 0) return RunChild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
