// The configuration an administrator writes into the registry, read at InitTraceSystem and by
// ConfigureTrace(NULL). Each test creates the key and removes it again.
#include "tracehub/hub_api.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using hubtest::Hub;

const char kVendorKey[] = "SOFTWARE\\Korvan Mirel Compact";
const char kKey[] = "SOFTWARE\\Korvan Mirel Compact\\KvTraceHub";

bool VendorKeyExists(REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

class RegistryConfiguration : public ::testing::Test {
protected:
    void SetUp() override {
        vendorKeyExisted_ = VendorKeyExists(KEY_WOW64_32KEY);
        nativeVendorKeyExisted_ = VendorKeyExists(KEY_WOW64_64KEY);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY, 0);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key_, nullptr));
        Hub().DoneTraceSystem();
    }
    void TearDown() override {
        Hub().DoneTraceSystem();
        RegCloseKey(key_);
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY, 0));
        // The vendor key stays only if it was there before.
        if (!vendorKeyExisted_) {
            EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, KEY_WOW64_32KEY, 0));
        }
        if (!nativeVendorKeyExisted_ && VendorKeyExists(KEY_WOW64_64KEY)) {
            EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, KEY_WOW64_64KEY, 0));
        }
    }

    void SetDword(const char* name, DWORD value) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)));
    }
    void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size));
    }
    void SetString(const char* name, const std::string& value, DWORD type = REG_SZ) {
        SetRaw(name, type, value.c_str(), static_cast<DWORD>(value.size() + 1));
    }

    HKEY key_ = nullptr;
    bool vendorKeyExisted_ = false;
    bool nativeVendorKeyExisted_ = false;
};

TEST_F(RegistryConfiguration, InitReadsLevelsAndFileListeners) {
    hubtest::TempFile file("registry.log");
    SetDword("Enabled", 1);
    SetDword("DefaultLevel", 2);
    SetDword("Level.TESK.CoInstall", 16);
    SetString("File.TESK.CoInstall", file.path());
    SetDword("Debugger.TESK.Other", 1);

    ASSERT_TRUE(Hub().InitTraceSystem());
    EXPECT_TRUE(Hub().IsTracingEnabled());
    EXPECT_EQ(16, Hub().GetLevel("TESK.CoInstall"));
    EXPECT_EQ(2, Hub().GetLevel("TESK.CoInstall.Dump"));
    EXPECT_TRUE(Hub().ListenerExists("TESK.Other", "Debugger"));
    EXPECT_TRUE(Hub().ShouldTrace(16));
    EXPECT_TRUE(Hub().ShouldTraceCategory(16, "TESK.CoInstall"));
    EXPECT_FALSE(Hub().ShouldTraceCategory(16, "TESK.Other"));
    ASSERT_TRUE(Hub().Write(16, "TESK.CoInstall", "CoDeviceInstall::DIF_REMOVE"));
    const auto lines = hubtest::ReadLines(file.path());
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("DETAIL", hubtest::SplitTabs(lines[0])[3]);
}

TEST_F(RegistryConfiguration, MissingKeyGivesTheDefaults) {
    RegCloseKey(key_);
    key_ = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY, 0));
    ASSERT_TRUE(Hub().InitTraceSystem());
    EXPECT_TRUE(Hub().IsTracingEnabled());
    EXPECT_EQ(2, Hub().GetAppTracingLevel());
    EXPECT_FALSE(Hub().ShouldTrace(1));
    EXPECT_TRUE(Hub().ConfigureTrace(nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                                             nullptr, &key_, nullptr));
}

TEST_F(RegistryConfiguration, ConfigureNullRereadsTheKey) {
    SetDword("DefaultLevel", 4);
    ASSERT_TRUE(Hub().InitTraceSystem());
    EXPECT_EQ(4, Hub().GetAppTracingLevel());
    SetDword("DefaultLevel", 8);
    SetDword("Enabled", 0);
    // Init on a running system does not read again; ConfigureTrace(NULL) does.
    ASSERT_TRUE(Hub().InitTraceSystem());
    EXPECT_EQ(4, Hub().GetAppTracingLevel());
    ASSERT_TRUE(Hub().ConfigureTrace(nullptr));
    EXPECT_EQ(8, Hub().GetAppTracingLevel());
    EXPECT_FALSE(Hub().IsTracingEnabled());
}

TEST_F(RegistryConfiguration, TheNativeViewIsNotRead) {
    HKEY native = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                             nullptr, &native, nullptr));
    const DWORD level = 16;
    RegSetValueExA(native, "DefaultLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof(level));
    RegCloseKey(native);
    SetDword("DefaultLevel", 4);
    ASSERT_TRUE(Hub().InitTraceSystem());
    EXPECT_EQ(4, Hub().GetAppTracingLevel());
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0));
}

TEST_F(RegistryConfiguration, ValuesOfTheWrongTypeOrLengthAreIgnoredWithANote) {
    hubtest::TempFile file("registry_bad.log");
    const DWORD two = 2;
    const unsigned char eight[8] = {16, 0, 0, 0, 0, 0, 0, 0};
    SetString("DefaultLevel", "16");
    SetRaw("Enabled", REG_DWORD, &two, 2);
    SetRaw("Level.A", REG_BINARY, eight, sizeof(eight));
    SetRaw("Level.B", REG_QWORD, eight, sizeof(eight));
    SetDword("File.C", 5);
    SetDword("Unknown", 1);
    SetDword("Level.Good", 8);
    // A string without its terminator is still read to its end.
    SetRaw("File.Good", REG_SZ, file.c_str(), static_cast<DWORD>(file.path().size()));

    hubtest::DebugOutputCapture capture;
    ASSERT_TRUE(Hub().InitTraceSystem());
    EXPECT_EQ(2, Hub().GetAppTracingLevel());
    EXPECT_TRUE(Hub().IsTracingEnabled());
    EXPECT_EQ(2, Hub().GetLevel("A"));
    EXPECT_EQ(2, Hub().GetLevel("B"));
    EXPECT_EQ(8, Hub().GetLevel("Good"));
    EXPECT_TRUE(Hub().ListenerExists("Good", file.c_str()));
    EXPECT_TRUE(Hub().Write(8, "Good", "still configured"));
    EXPECT_EQ(1u, hubtest::ReadLines(file.path()).size());

    const std::string notes = capture.Text();
    EXPECT_NE(std::string::npos, notes.find("registry value \"DefaultLevel\" ignored: expected a number")) << notes;
    EXPECT_NE(std::string::npos, notes.find("registry value \"Enabled\" ignored: a REG_DWORD of 2 bytes")) << notes;
    EXPECT_NE(std::string::npos, notes.find("registry value \"Level.A\" ignored: unsupported type 3")) << notes;
    EXPECT_NE(std::string::npos, notes.find("registry value \"Level.B\" ignored: unsupported type 11")) << notes;
    EXPECT_NE(std::string::npos, notes.find("registry value \"File.C\" ignored: expected a file path")) << notes;
    EXPECT_NE(std::string::npos, notes.find("registry value \"Unknown\" ignored: unknown setting")) << notes;
    EXPECT_FALSE(Hub().ConfigureTrace(nullptr));
}

TEST_F(RegistryConfiguration, ExpandableFilePathsUseTheEnvironment) {
    const std::string name = hubtest::TempPath("expand.log");
    const std::string fileName = name.substr(name.rfind('\\') + 1);
    SetEnvironmentVariableA("KVTRACE_TEST_DIR", name.substr(0, name.rfind('\\')).c_str());
    SetString("File.E", "%KVTRACE_TEST_DIR%\\" + fileName, REG_EXPAND_SZ);
    ASSERT_TRUE(Hub().InitTraceSystem());
    EXPECT_TRUE(Hub().ListenerExists("E", name.c_str()));
    EXPECT_TRUE(Hub().Write(1, "E", "expanded"));
    Hub().DoneTraceSystem();
    EXPECT_EQ(1u, hubtest::ReadLines(name).size());
    DeleteFileA(name.c_str());
}

}  // namespace
