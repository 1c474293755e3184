// Levels, the switch, categories and listeners through the setters, a settings text and the registry;
// the errors of every setter and the life cycle of Init and Done.
#include "hub.h"

#include "test_support/debug_output.h"
#include "test_support/registry_fixture.h"

#include <functional>

namespace {

using Configuration = HubTest;
using test_support::UniqueTempPath;

TEST_F(Configuration, LevelsGateEachCategoryAndCategoriesIgnoreCase) {
    const std::string file = UniqueTempPath("levels.log");
    EXPECT_FALSE(Hub().ShouldTrace(1)) << "no listener, nothing to trace";
    EXPECT_FALSE(Hub().Write(1, "TESK.CoInstall", "nowhere"));
    ASSERT_TRUE(Hub().AddTextfileListener("TESK.CoInstall", file.c_str()));
    ASSERT_TRUE(Hub().SetLevel("tesk.COINSTALL", 8));
    Hub().SetAppTracingLevel(16);
    const struct {
        int level;
        const char* category;
        bool traced;
    } rows[] = {{8, "TESK.CoInstall", true}, {9, "TESK.CoInstall", false}, {-5, "Tesk.Coinstall", true},
                {1, "TESK.Other", false},    {8, "TESK.CoInstall2", false}};
    for (const auto& row : rows) {
        EXPECT_EQ(row.traced, Hub().ShouldTraceCategory(row.level, row.category)) << row.level << row.category;
        EXPECT_EQ(row.traced, Hub().Write(row.level, row.category, row.category)) << row.level << row.category;
    }
    EXPECT_TRUE(Hub().ShouldTrace(8));
    EXPECT_FALSE(Hub().ShouldTrace(9));
    EXPECT_EQ(8, Hub().GetLevel("TESK.COINSTALL"));
    EXPECT_EQ(16, Hub().GetLevel("TESK.CoInstall.Dump"));
    EXPECT_EQ((std::vector<std::string>{"TESK.CoInstall", "Tesk.Coinstall"}), TraceTexts(file));
    ASSERT_TRUE(Hub().RemoveCategory("TESK.COINSTALL"));
    EXPECT_EQ(16, Hub().GetLevel("TESK.CoInstall"));
}

TEST_F(Configuration, AllCategoriesListenerAndTheSwitch) {
    const std::string file = UniqueTempPath("all.log");
    ASSERT_TRUE(Hub().AddTextfileListener("*", file.c_str()));
    ASSERT_TRUE(Hub().SetLevel("Loud", 16));
    EXPECT_TRUE(Hub().Write(2, "Unconfigured", "a"));
    EXPECT_FALSE(Hub().Write(4, "Unconfigured", "b"));
    EXPECT_TRUE(Hub().Write(16, "Loud", "c"));
    // The same file named for a category as well gets each line once.
    ASSERT_TRUE(Hub().AddTextfileListener("Loud", file.c_str()));
    EXPECT_TRUE(Hub().Write(8, "Loud", "d"));
    Hub().SetTracingEnabled(false);
    EXPECT_FALSE(Hub().IsTracingEnabled());
    EXPECT_FALSE(Hub().ShouldTrace(1));
    EXPECT_FALSE(Hub().ShouldTraceCategory(1, "Loud"));
    EXPECT_FALSE(Hub().Write(1, "Loud", "off"));
    Hub().SetTracingEnabled(true);
    EXPECT_TRUE(Hub().Write(1, "Loud", "e"));
    EXPECT_EQ((std::vector<std::string>{"a", "c", "d", "e"}), TraceTexts(file));
}

TEST_F(Configuration, SettingsTextReplacesEverythingAndSkipsBadItemsWithANote) {
    const std::string file = UniqueTempPath("settings.log");
    ASSERT_TRUE(Hub().SetLevel("Stale", 16));
    const std::string good = " Enabled = 1 ; DefaultLevel=4;Level.TESK.CoInstall=16;File.TESK.CoInstall=" + file + ";;";
    ASSERT_TRUE(Hub().ConfigureTrace(good.c_str()));
    EXPECT_EQ(4, Hub().GetLevel("Stale"));
    EXPECT_EQ(16, Hub().GetLevel("TESK.CoInstall"));
    EXPECT_TRUE(Hub().ListenerExists("tesk.coinstall", file.c_str()));

    test_support::DebugOutputCapture capture;
    const std::string bad = "Level.A=abc;DefaultLevel=99999999999;Bogus=1;NoEquals;Level.=3;File.B=;Level." +
                            std::string(128, 'x') + "=1;Console.C=1;Level.D=8;File.E=" + UniqueTempPath("none") +
                            "\\x.log";
    EXPECT_FALSE(Hub().ConfigureTrace(bad.c_str()));
    EXPECT_EQ(2, Hub().GetAppTracingLevel());
    EXPECT_EQ(2, Hub().GetLevel("A"));
    EXPECT_EQ(8, Hub().GetLevel("D"));
    EXPECT_TRUE(Hub().ListenerExists("C", "Console"));
    EXPECT_FALSE(Hub().ListenerExists("TESK.CoInstall", file.c_str()));
    for (const char* note : {"KvTraceHub001: setting \"Level.A\" ignored: expected a number", "\"NoEquals\" ignored: expected Name=Value",
                             "\"Level.\" ignored: the category must have 1 to 127 characters", "cannot open trace file"})
        EXPECT_NE(std::string::npos, capture.Text().find(note)) << note << "\n" << capture.Text();
}

TEST_F(Configuration, ListenersByNameAndTheErrorsOfEverySetter) {
    const std::string file = UniqueTempPath("listeners.log");
    const std::string missingDir = UniqueTempPath("no_such_dir") + "\\trace.log";
    const std::string category127(127, 'c'), category128(128, 'c');
    const auto& h = Hub();
    struct Row {
        const char* what;
        std::function<bool()> call;
        DWORD error;  // ERROR_SUCCESS: the call succeeds
    } rows[] = {
        {"add A/trace", [&] { return h.AddListener("A", "trace", KvTraceListenerTextfile, file.c_str()); }, 0},
        {"add B/trace", [&] { return h.AddListener("B", "trace", KvTraceListenerTextfile, file.c_str()); }, 0},
        {"add B/dbg", [&] { return h.AddListener("B", "dbg", KvTraceListenerDebugger, nullptr); }, 0},
        {"same name", [&] { return h.AddListener("a", "TRACE", KvTraceListenerConsole, nullptr); }, ERROR_ALREADY_EXISTS},
        {"unknown kind", [&] { return h.AddListener("A", "x", 3, nullptr); }, ERROR_INVALID_PARAMETER},
        {"missing dir", [&] { return h.AddTextfileListener("A", missingDir.c_str()); }, ERROR_PATH_NOT_FOUND},
        {"127 characters", [&] { return h.SetLevel(category127.c_str(), 8); }, 0},
        {"128 characters", [&] { return h.SetLevel(category128.c_str(), 8); }, ERROR_INVALID_PARAMETER},
        {"remove A/trace", [&] { return h.RemoveListenerCategory("A", "Trace") && h.ListenerExists("b", "trace"); }, 0},
        {"remove A/trace again", [&] { return h.RemoveListenerCategory("A", "trace"); }, ERROR_NOT_FOUND},
        {"remove trace everywhere", [&] { return h.RemoveListener("trace") && !h.ListenerExists("B", "trace") && h.ListenerExists("B", "dbg"); }, 0},
    };
    for (const Row& row : rows) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.error == ERROR_SUCCESS, row.call()) << row.what;
        EXPECT_TRUE(row.error == ERROR_SUCCESS || row.error == GetLastError()) << row.what << " " << GetLastError();
    }
    EXPECT_FALSE(h.ListenerExists("A", missingDir.c_str()));
    EXPECT_EQ(8, h.GetLevel(category127.c_str()));
    for (const char* unusable : {category128.c_str(), "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(0, h.GetLevel(unusable));
        EXPECT_FALSE(h.ShouldTraceCategory(1, unusable));
        EXPECT_FALSE(h.Write(1, unusable, "x"));
    }
    h.SetAppTracingLevel(8);
    h.RemoveAllCategories();
    EXPECT_FALSE(h.ListenerExists("B", "dbg"));
    EXPECT_EQ(8, h.GetLevel(category127.c_str()));
    EXPECT_FALSE(h.ShouldTrace(1));
}

TEST_F(Configuration, DoneClosesEverythingAndLaterCallsAreHarmless) {
    const std::string file = UniqueTempPath("done.log");
    ASSERT_TRUE(Hub().AddTextfileListener("A", file.c_str()));
    ASSERT_TRUE(Hub().Write(2, "A", "before"));
    Hub().DoneTraceSystem();
    Hub().DoneTraceSystem();
    EXPECT_FALSE(Hub().IsTracingEnabled());
    EXPECT_FALSE(Hub().Write(1, "A", "after"));
    EXPECT_FALSE(Hub().ListenerExists("A", file.c_str()));
    EXPECT_EQ(0, Hub().GetAppTracingLevel());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().SetLevel("A", 8));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), GetLastError());
    EXPECT_FALSE(Hub().ConfigureTrace("Level.A=8"));
    // The file is closed: it opens without sharing.
    HANDLE exclusive = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, exclusive);
    CloseHandle(exclusive);
    EXPECT_EQ(std::vector<std::string>{"before"}, TraceTexts(file));
    EXPECT_TRUE(Library().InitTraceSystem());
    EXPECT_TRUE(Hub().IsTracingEnabled()) << "no key: the defaults";
    EXPECT_EQ(2, Hub().GetAppTracingLevel());
}

const std::string kKey = std::string(test_support::kSettingsKey) + "\\KvTraceHub";

class Registry : public ::testing::Test {
protected:
    void SetUp() override { Hub().DoneTraceSystem(); }
    void TearDown() override { Hub().DoneTraceSystem(); }
    void Dword(const char* name, DWORD value) { registry_.SetDword(kKey, name, value); }
    void Raw(const char* name, DWORD type, const void* data, DWORD size) { registry_.SetValue(kKey, name, type, data, size); }
    test_support::VendorRegistry registry_;
};

TEST_F(Registry, InitReadsTheKeyOnceSkipsBadValuesAndConfigureNullReadsItAgain) {
    const std::string file = UniqueTempPath("registry.log"), expanded = UniqueTempPath("expand.log");
    const size_t slash = expanded.rfind('\\');
    SetEnvironmentVariableA("KVTRACE_TEST_DIR", expanded.substr(0, slash).c_str());
    const std::string unexpanded = "%KVTRACE_TEST_DIR%" + expanded.substr(slash);
    const unsigned char sixteen[8] = {16};
    Dword("DefaultLevel", 4);
    Dword("Level.TESK.CoInstall", 16);
    Dword("Debugger.TESK.Other", 1);
    // A string without its terminator is read to its end.
    Raw("File.TESK.CoInstall", REG_SZ, file.c_str(), static_cast<DWORD>(file.size()));
    Raw("File.E", REG_EXPAND_SZ, unexpanded.c_str(), static_cast<DWORD>(unexpanded.size() + 1));
    registry_.SetString(kKey, "Level.A", "16");
    Raw("Level.B", REG_QWORD, sixteen, sizeof sixteen);
    Dword("File.C", 5);
    HKEY native = nullptr;  // the 64-bit view is not read
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &native, nullptr));
    RegSetValueExA(native, "DefaultLevel", 0, REG_DWORD, sixteen, sizeof(DWORD));
    RegCloseKey(native);

    test_support::DebugOutputCapture capture;
    ASSERT_TRUE(Library().InitTraceSystem());
    EXPECT_EQ(4, Hub().GetAppTracingLevel());
    EXPECT_EQ(16, Hub().GetLevel("tesk.coinstall"));
    EXPECT_EQ(4, Hub().GetLevel("A"));
    EXPECT_EQ(4, Hub().GetLevel("B"));
    EXPECT_TRUE(Hub().ListenerExists("TESK.Other", "Debugger"));
    EXPECT_TRUE(Hub().ListenerExists("E", expanded.c_str()));
    EXPECT_FALSE(Hub().ShouldTraceCategory(8, "TESK.Other"));
    ASSERT_TRUE(Hub().Write(16, "TESK.CoInstall", "CoDeviceInstall::DIF_REMOVE"));
    EXPECT_EQ(std::vector<std::string>{"CoDeviceInstall::DIF_REMOVE"}, TraceTexts(file));
    for (const char* note : {"registry value \"Level.A\" ignored: expected a number", "\"Level.B\" ignored: unsupported type 11",
                             "\"File.C\" ignored: expected a file path"})
        EXPECT_NE(std::string::npos, capture.Text().find(note)) << note << "\n" << capture.Text();

    Dword("DefaultLevel", 8);
    Dword("Enabled", 0);
    ASSERT_TRUE(Library().InitTraceSystem());
    EXPECT_EQ(4, Hub().GetAppTracingLevel()) << "Init on a running system reads nothing";
    EXPECT_FALSE(Hub().ConfigureTrace(nullptr)) << "the bad values are noted again";
    EXPECT_EQ(8, Hub().GetAppTracingLevel());
    EXPECT_FALSE(Hub().IsTracingEnabled());
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), KEY_WOW64_64KEY, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, test_support::kSettingsKey, KEY_WOW64_64KEY, 0);
}

}  // namespace
