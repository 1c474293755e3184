// The configuration an administrator writes into the registry, read by InitTraceSystem and by
// ConfigureTrace(NULL), values of the wrong type or length skipped with a note.
#include "hub.h"

#include "test_support/debug_output.h"
#include "test_support/registry_fixture.h"

namespace {

const std::string kKey = std::string(test_support::kSettingsKey) + "\\KvTraceHub";

class Registry : public ::testing::Test {
protected:
    void SetUp() override { Hub().DoneTraceSystem(); }
    void TearDown() override { Hub().DoneTraceSystem(); }
    void Dword(const char* name, DWORD value) { registry_.SetDword(kKey, name, value); }
    void Raw(const char* name, DWORD type, const void* data, DWORD size) { registry_.SetValue(kKey, name, type, data, size); }
    test_support::VendorRegistry registry_;
};

TEST_F(Registry, InitReadsTheKeyOnceAndConfigureNullReadsItAgain) {
    ASSERT_TRUE(Library().InitTraceSystem());
    EXPECT_TRUE(Hub().IsTracingEnabled()) << "a missing key means the defaults";
    EXPECT_EQ(2, Hub().GetAppTracingLevel());
    EXPECT_FALSE(Hub().ShouldTrace(1));
    Hub().DoneTraceSystem();

    const std::string file = test_support::UniqueTempPath("registry.log");
    Dword("DefaultLevel", 4);
    Dword("Level.TESK.CoInstall", 16);
    registry_.SetString(kKey, "File.TESK.CoInstall", file);
    Dword("Debugger.TESK.Other", 1);
    HKEY native = nullptr;  // the 64-bit view is not read
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &native, nullptr));
    const DWORD eight = 8;
    RegSetValueExA(native, "DefaultLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&eight), sizeof eight);
    RegCloseKey(native);

    ASSERT_TRUE(Library().InitTraceSystem());
    EXPECT_EQ(4, Hub().GetAppTracingLevel());
    EXPECT_EQ(16, Hub().GetLevel("tesk.coinstall"));
    EXPECT_TRUE(Hub().ListenerExists("TESK.Other", "Debugger"));
    EXPECT_TRUE(Hub().ShouldTraceCategory(16, "TESK.CoInstall"));
    EXPECT_FALSE(Hub().ShouldTraceCategory(8, "TESK.Other"));
    ASSERT_TRUE(Hub().Write(16, "TESK.CoInstall", "CoDeviceInstall::DIF_REMOVE"));
    EXPECT_EQ(std::vector<std::string>{"CoDeviceInstall::DIF_REMOVE"}, Texts(file));

    Dword("DefaultLevel", 8);
    Dword("Enabled", 0);
    ASSERT_TRUE(Library().InitTraceSystem());
    EXPECT_EQ(4, Hub().GetAppTracingLevel()) << "Init on a running system reads nothing";
    ASSERT_TRUE(Hub().ConfigureTrace(nullptr));
    EXPECT_EQ(8, Hub().GetAppTracingLevel());
    EXPECT_FALSE(Hub().IsTracingEnabled());
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), KEY_WOW64_64KEY, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, test_support::kSettingsKey, KEY_WOW64_64KEY, 0);
}

TEST_F(Registry, ValuesOfTheWrongTypeOrLengthAreSkippedWithANote) {
    const std::string file = test_support::UniqueTempPath("registry_bad.log");
    const std::string expanded = test_support::UniqueTempPath("expand.log");
    const size_t slash = expanded.rfind('\\');
    SetEnvironmentVariableA("KVTRACE_TEST_DIR", expanded.substr(0, slash).c_str());
    const std::string unexpanded = "%KVTRACE_TEST_DIR%" + expanded.substr(slash);
    const DWORD two = 2;
    const unsigned char eight[8] = {16};
    registry_.SetString(kKey, "DefaultLevel", "16");
    Raw("Enabled", REG_DWORD, &two, 2);
    Raw("Level.A", REG_BINARY, eight, sizeof eight);
    Raw("Level.B", REG_QWORD, eight, sizeof eight);
    Dword("File.C", 5);
    Dword("Unknown", 1);
    Dword("Level.Good", 8);
    // A string without its terminator is read to its end.
    Raw("File.Good", REG_SZ, file.c_str(), static_cast<DWORD>(file.size()));
    Raw("File.E", REG_EXPAND_SZ, unexpanded.c_str(), static_cast<DWORD>(unexpanded.size() + 1));

    test_support::DebugOutputCapture capture;
    ASSERT_TRUE(Library().InitTraceSystem());
    EXPECT_EQ(2, Hub().GetAppTracingLevel());
    EXPECT_TRUE(Hub().IsTracingEnabled());
    EXPECT_EQ(2, Hub().GetLevel("A"));
    EXPECT_EQ(2, Hub().GetLevel("B"));
    EXPECT_EQ(8, Hub().GetLevel("Good"));
    EXPECT_TRUE(Hub().Write(8, "Good", "still configured"));
    EXPECT_TRUE(Hub().ListenerExists("E", expanded.c_str()));
    EXPECT_EQ(std::vector<std::string>{"still configured"}, Texts(file));
    for (const char* note : {"registry value \"DefaultLevel\" ignored: expected a number",
                             "registry value \"Enabled\" ignored: a REG_DWORD of 2 bytes",
                             "registry value \"Level.A\" ignored: unsupported type 3",
                             "registry value \"Level.B\" ignored: unsupported type 11",
                             "registry value \"File.C\" ignored: expected a file path",
                             "registry value \"Unknown\" ignored: unknown setting"})
        EXPECT_NE(std::string::npos, capture.Text().find(note)) << note << "\n" << capture.Text();
    EXPECT_FALSE(Hub().ConfigureTrace(nullptr));
}

}  // namespace
