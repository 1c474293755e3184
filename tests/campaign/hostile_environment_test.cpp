// Hostile environment: the vendor's keys, the library's settings and the configuration service's
// answers filled with random values; the directory library must answer with a path ending in a
// backslash or with nothing, and neither crash nor overrun a buffer (the campaign build checks
// the stack and the runtime's string functions).
#include "campaign/hostile_values.h"
#include "campaign_settings.h"
#include "confserver/service_test_support.h"
#include "dirlib/locbase.h"
#include "dirlib/locbase_service.h"
#include "dirlib/registry_lookups.h"
#include "dirlib/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <io.h>
#include <cstring>
#include <iterator>
#include <string>

namespace {

constexpr char kComponentsKey[] = "SOFTWARE\\KorvanCo\\Components\\";
constexpr char kServiceKey[] = "SOFTWARE\\Korvan Mirel Compact\\LocbaseService";
constexpr const char* kComponents[] = {"X0000301", "X0000302", "X0000303", "X0000306", "X9999999", ""};

uint64_t Rounds(uint64_t shortRun) { return shortRun * campaign::SettingOr("TESK_CAMPAIGN_HOSTILE_SCALE", 1); }
uint64_t Seed() { return campaign::SettingOr("TESK_CAMPAIGN_SEED", 20261206); }

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

::testing::AssertionResult IsDirectoryAnswerOf(const std::string& answer, const char* getter) {
    ::testing::AssertionResult result = IsDirectoryAnswer(answer);
    if (!result) result << " from " << getter;
    return result;
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
void ExpectGettersAnswerDirectories(const std::string& component) {
    EXPECT_TRUE(IsDirectoryAnswerOf(LBS_GetProgDir(component, false), "LBS_GetProgDir"));
    EXPECT_TRUE(IsDirectoryAnswerOf(LBS_GetProgDir(component, true), "LBS_GetProgDir default"));
    EXPECT_TRUE(IsDirectoryAnswerOf(LBS_GetKonfigDir(component), "LBS_GetKonfigDir"));
    EXPECT_TRUE(IsDirectoryAnswerOf(LBS_GetKonfigDirCurrentUser(component, false), "LBS_GetKonfigDirCurrentUser"));
    EXPECT_TRUE(IsDirectoryAnswerOf(LBS_GetLogDir(component, false), "LBS_GetLogDir"));
    EXPECT_TRUE(IsDirectoryAnswerOf(LBS_GetDataDir(component, false, "Archiv"), "LBS_GetDataDir"));
}

// Every answer of the configuration service random: strings up to 100,000 characters, some with
// characters no ANSI code page holds, null strings, error numbers and failing HRESULTs.
void FillServiceAnswers(hostile::Generator& random) {
    constexpr const char* kStrings[] = {"GetConfigPath", "GetConfigPath.2", "GetLogPath", "GetLogPath.2",
                                        "GetLogPath.3",  "GetProgramPath",  "GetProgramPath.2", "GetUserConfigPath",
                                        "GetDirPath",    "GetSystemPath"};
    constexpr const char* kMethods[] = {"ValueInit",  "DirInit",         "GetConfigPath", "GetLogPath",
                                        "GetProgramPath", "GetUserConfigPath", "GetDirPath", "GetSystemPath"};
    constexpr HRESULT kResults[] = {S_OK, E_FAIL, E_OUTOFMEMORY, E_POINTER, RPC_E_DISCONNECTED, S_FALSE};
    for (const char* name : kStrings) {
        hostile::StoreWideString(kServiceKey, name, random.AnyWideText(random.Chance(10) ? 100000 : 400),
                                 random.Chance(15));
    }
    for (const char* method : kMethods) {
        const std::string name(method);
        hostile::StoreDword(kServiceKey, name + ".Error", random.Chance(60) ? 0 : random.Below(0xFFFFFFFF));
        hostile::StoreDword(kServiceKey, name + ".HResult",
                            static_cast<DWORD>(random.Chance(70) ? S_OK : kResults[random.Below(6)]));
    }
}

class HostileEnvironment : public ::testing::Test {
protected:
    // The library reads "LocbaseActive" once per process: on, so that the getters of every test
    // here ask the service first, registered or not.
    void SetUp() override {
        dirlib_test::WriteFileText(scratch_.path() + "file", "a file, not a directory");
        registry_.SetSetting("LocbaseActive", "ein");
    }

    dirlib_test::VendorRegistry registry_;
    dirlib_test::ScratchDir scratch_{"tesk_campaign_hostile"};
};

TEST_F(HostileEnvironment, ComponentLookupsAnswerADirectoryOrNothing) {
    hostile::Generator random(Seed(), scratch_.path());
    const uint64_t rounds = Rounds(12);
    for (uint64_t round = 0; round < rounds; ++round) {
        for (const char* component : kComponents) {
            const std::string base = kComponentsKey + std::string(component);
            const std::string version = random.Chance(50) ? "\\1.0" : "\\" + std::to_string(random.Below(20)) + "." +
                                                                             std::to_string(random.Below(10));
            hostile::StoreValue(base + "\\Versions" + version, "", random.AnyValue());
            hostile::StoreValue(base + "\\Versions\\" + std::string(random.Below(300), 'v'), "", random.AnyValue());
            hostile::StoreValue(base + version + "\\ProtectedDirectories", "FixedProgDir", random.AnyValue());
            hostile::StoreValue(base + version + "\\ProtectedDirectories", "ProgDir", random.AnyValue());
            hostile::StoreValue(base + version + "\\ConfigDir", "", random.AnyValue());
            hostile::StoreValue(base + version + "\\LogDir", "", random.AnyValue());
            hostile::StoreValue(base + "\\AvailableDataDirectories\\Archiv\\Dir1", "", random.AnyValue());
        }
        hostile::StoreValue("SOFTWARE\\KorvanCo\\ProtectedDirectories", "SystemDir", random.AnyValue());
        hostile::StoreValue("SOFTWARE\\Korvan Mirel Compact", "ProgKey", random.AnyValue());

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
    std::printf("vendor_key_rounds %llu\ncomponents_per_round %zu\n", static_cast<unsigned long long>(rounds),
                std::size(kComponents));
}

TEST_F(HostileEnvironment, ServiceAnswersOfAnyKindGiveADirectoryOrNothing) {
    const confsvc_test::RegisteredServer server;
    ASSERT_EQ(0u, server.registerExitCode());
    hostile::Generator random(Seed() + 1, scratch_.path());
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
    std::printf("service_answer_rounds %llu\n", static_cast<unsigned long long>(rounds));
    std::printf("service_answers_checked %llu\nservice_directories_answered %zu\n",
                static_cast<unsigned long long>(rounds * std::size(kComponents) * 7), answered);
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
    EXPECT_TRUE(dirlib_test::IsDirectory(umlauts));
}

// Every library setting random, read by a fresh process each time: the library reads its
// settings once per process.
TEST_F(HostileEnvironment, RandomSettingsInFreshProcesses) {
    constexpr const char* kSettings[] = {"LogVia_InternTrace",       "LogVia_InternTraceDirectory",
                                         "LocbaseActive",            "LocbaseTracingDirsActive",
                                         "LocbaseTracingDirsDirectory", "LocbaseLibDirsActive",
                                         "LocbaseLibDirsDirectory",  "LocbaseLogDirX0000302",
                                         "ProgKey"};
    const confsvc_test::RegisteredServer server;
    ASSERT_EQ(0u, server.registerExitCode());
    hostile::Generator random(Seed() + 2, scratch_.path());
    char program[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, program, MAX_PATH);
    const uint64_t rounds = Rounds(3);
    for (uint64_t round = 0; round < rounds; ++round) {
        for (const char* setting : kSettings) {
            hostile::StoreValue("SOFTWARE\\Korvan Mirel Compact", setting, random.AnyValue());
        }
        FillServiceAnswers(random);
        const dirlib_test::HostResult child = dirlib_test::RunProcess(program, "--child");
        EXPECT_EQ(0u, child.exitCode) << "round " << round << ":\n" << child.output;
        EXPECT_NE(std::string::npos, child.output.find("child done")) << child.output;
    }
    std::printf("fresh_processes_with_random_settings %llu\n", static_cast<unsigned long long>(rounds));
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
    for (const char* component : kComponents) {
        check(LBS_GetProgDir(component, false), "LBS_GetProgDir");
        check(LBS_GetProgDir(component, true), "LBS_GetProgDir default");
        check(LBS_GetKonfigDir(component), "LBS_GetKonfigDir");
        check(LBS_GetKonfigDirCurrentUser(component, false), "LBS_GetKonfigDirCurrentUser");
        check(LBS_GetLogDir(component, false), "LBS_GetLogDir");
        check(LBS_GetDataDir(component, false, "Archiv"), "LBS_GetDataDir");
    }
    std::printf("child done\n");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--child") == 0) return RunChild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
