#include "dirlib/registry_lookups.h"
#include "platform/unique_resource.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using dirlib_test::ScratchDir;
using dirlib_test::VendorRegistry;

const std::string kComponents = "SOFTWARE\\KorvanCo\\Components\\";

std::string VersionsKey(const std::string& component) { return kComponents + component + "\\Versions"; }

class RegistryLookupTest : public ::testing::Test {
protected:
    VendorRegistry registry_;
    const std::string key_ = kComponents + "X0000303\\Probe";
};

TEST_F(RegistryLookupTest, MissingKeyOrValueGivesEmpty) {
    EXPECT_EQ("", _ReadRegistryString(key_, "Wert"));
    registry_.CreateKey(key_);
    EXPECT_EQ("", _ReadRegistryString(key_, "Wert"));
    EXPECT_EQ("", _ReadRegistryString(key_, ""));
}

TEST_F(RegistryLookupTest, StringLengthsAroundTheBufferLimit) {
    for (size_t length : {0u, 1u, 258u, 259u}) {
        const std::string text(length, 'a');
        registry_.SetString(key_, "Wert", text);
        EXPECT_EQ(text, _ReadRegistryString(key_, "Wert")) << length;
    }
    for (size_t length : {260u, 261u, 300u}) {
        registry_.SetString(key_, "Wert", std::string(length, 'a'));
        EXPECT_EQ("", _ReadRegistryString(key_, "Wert")) << length;
    }
}

TEST_F(RegistryLookupTest, DefaultValueIsReadForAnEmptyName) {
    registry_.SetString(key_, "", "C:\\Standard");
    EXPECT_EQ("C:\\Standard", _ReadRegistryString(key_, ""));
}

// The type is not examined: whatever bytes fit are taken as text up to the first NUL.
TEST_F(RegistryLookupTest, EveryValueTypeIsReadAsNarrowText) {
    const char expand[] = "%TEMP%\\Korvan";
    registry_.SetValue(key_, "Expand", REG_EXPAND_SZ, expand, sizeof expand);
    EXPECT_EQ("%TEMP%\\Korvan", _ReadRegistryString(key_, "Expand"));

    const char multi[] = "erste\0zweite\0";
    registry_.SetValue(key_, "Multi", REG_MULTI_SZ, multi, sizeof multi);
    EXPECT_EQ("erste", _ReadRegistryString(key_, "Multi"));

    const DWORD number = 0x00636261;
    registry_.SetValue(key_, "Zahl", REG_DWORD, &number, sizeof number);
    EXPECT_EQ("abc", _ReadRegistryString(key_, "Zahl"));

    registry_.SetValue(key_, "Bin", REG_BINARY, "xyz", 3);
    EXPECT_EQ("xyz", _ReadRegistryString(key_, "Bin"));

    // Binary data filling the whole declared size still comes back terminated.
    const std::string full(260, 'b');
    registry_.SetValue(key_, "BinVoll", REG_BINARY, full.data(), 260);
    EXPECT_EQ(full, _ReadRegistryString(key_, "BinVoll"));
    registry_.SetValue(key_, "BinLang", REG_BINARY, std::string(261, 'b').data(), 261);
    EXPECT_EQ("", _ReadRegistryString(key_, "BinLang"));
}

TEST_F(RegistryLookupTest, OnlyTheThirtyTwoBitViewIsRead) {
    tesk::UniqueHkey native;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0,
                                               KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, native.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(native.get(), "Nativ", 0, REG_SZ, reinterpret_cast<const BYTE*>("64"), 3));
    EXPECT_EQ("", _ReadRegistryString(key_, "Nativ"));
    native.reset();
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), KEY_WOW64_64KEY, 0);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (kComponents + "X0000303").c_str(), KEY_WOW64_64KEY, 0);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KorvanCo\\Components", KEY_WOW64_64KEY, 0);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KorvanCo", KEY_WOW64_64KEY, 0);
}

class HighestVersionTest : public ::testing::Test {
protected:
    std::string Choose(std::initializer_list<std::string> subKeys) {
        for (const std::string& name : subKeys) registry_.CreateKey(VersionsKey("X0000304") + "\\" + name);
        return _GetHighestVersionKey(VersionsKey("X0000304"));
    }
    VendorRegistry registry_;
};

TEST_F(HighestVersionTest, NumericNotAlphabeticalComparison) { EXPECT_EQ("\\10.0", Choose({"1.0", "2.0", "10.0"})); }
TEST_F(HighestVersionTest, MissingKeyOrNoSubkeysGiveDefault) {
    EXPECT_EQ("\\1.0", _GetHighestVersionKey(VersionsKey("X0000304")));
    registry_.CreateKey(VersionsKey("X0000304"));
    EXPECT_EQ("\\1.0", _GetHighestVersionKey(VersionsKey("X0000304")));
}
TEST_F(HighestVersionTest, NothingAboveOneKeepsTheDefault) { EXPECT_EQ("\\1.0", Choose({"0.9", "1.0", "abc", "-3"})); }
TEST_F(HighestVersionTest, EqualValuesKeepTheFirstEnumerated) { EXPECT_EQ("\\3.0", Choose({"3.00", "3.0"})); }
TEST_F(HighestVersionTest, LeadingNumberCountsAndTheNameIsKept) {
    EXPECT_EQ("\\2.5beta", Choose({"2.0", "2.5beta"}));
}
TEST_F(HighestVersionTest, CommaEndsTheNumber) { EXPECT_EQ("\\2,5", Choose({"2,5", "1.5"})); }
TEST_F(HighestVersionTest, CommaLosesToPoint) { EXPECT_EQ("\\2.1", Choose({"2,5", "2.1"})); }
TEST_F(HighestVersionTest, SuffixedName) { EXPECT_EQ("\\4x", Choose({"4x", "3.9"})); }
TEST_F(HighestVersionTest, LongestNameFitsTheEnumerationBuffer) {
    const std::string name = "5" + std::string(254, 'z');
    EXPECT_EQ("\\" + name, Choose({"2.0", name}));
}

class ComponentDirTest : public ::testing::Test {
protected:
    void SetVersioned(const std::string& component, const std::string& version, const std::string& subKey,
                      const std::string& name, const std::string& value) {
        registry_.SetString(VersionsKey(component) + "\\" + version + "\\" + subKey, name, value);
    }
    VendorRegistry registry_;
    ScratchDir dir_{"component_dirs"};
};

TEST_F(ComponentDirTest, KonfigAndLogComeFromTheHighestVersionWithBackslash) {
    SetVersioned("X0000303", "1.0", "ConfigDir", "", "C:\\Alt\\Konfig");
    SetVersioned("X0000303", "2.0", "ConfigDir", "", "C:\\Neu\\Konfig");
    SetVersioned("X0000303", "2.0", "LogDir", "", "C:\\Neu\\Log\\");
    EXPECT_EQ("C:\\Neu\\Konfig\\", _GetKonfigDirFromRegistry("X0000303"));
    EXPECT_EQ("C:\\Neu\\Log\\", _GetLogDirFromRegistry("X0000303"));
    EXPECT_EQ("", _GetLogDirFromRegistry("X0000304"));
    // Only an exact identifier matches.
    EXPECT_EQ("", _GetKonfigDirFromRegistry("X000030"));
    EXPECT_EQ("", _GetKonfigDirFromRegistry("X00003030"));
}

TEST_F(ComponentDirTest, OnlyVersionBelowOneIsReadUnderOneZero) {
    SetVersioned("X0000305", "0.9", "ConfigDir", "", "C:\\Neun");
    EXPECT_EQ("", _GetKonfigDirFromRegistry("X0000305"));
    SetVersioned("X0000305", "1.0", "ConfigDir", "", "C:\\Eins");
    EXPECT_EQ("C:\\Eins\\", _GetKonfigDirFromRegistry("X0000305"));
}

TEST_F(ComponentDirTest, TraceComponentSkipsKonfigLogAndData) {
    SetVersioned("X0000302", "2.0", "ConfigDir", "", "C:\\Konfig");
    SetVersioned("X0000302", "2.0", "LogDir", "", "C:\\Log");
    registry_.SetString(kComponents + "X0000302\\AvailableDataDirectories\\Data\\Dir1", "", "C:\\Daten");
    EXPECT_EQ("", _GetKonfigDirFromRegistry("X0000302"));
    EXPECT_EQ("", _GetLogDirFromRegistry("X0000302"));
    EXPECT_EQ("", _GetAvailableDataDirFromRegistry("X0000302", "Data"));
}

TEST_F(ComponentDirTest, OverlongVersionNameGivesEmptyInsteadOfOverrun) {
    const std::string longVersion = "5" + std::string(254, 'v');
    SetVersioned("X0000303", longVersion, "ConfigDir", "", "C:\\Lang");
    EXPECT_EQ("", _GetKonfigDirFromRegistry("X0000303"));
    EXPECT_EQ("", _GetProgDirFromRegistry("X0000303"));
}

TEST_F(ComponentDirTest, NamedDataDirectoryHasNoVersionLevel) {
    registry_.SetString(kComponents + "X0000306\\AvailableDataDirectories\\Data\\Dir1", "", "D:\\Daten");
    SetVersioned("X0000306", "2.0", "AvailableDataDirectories\\Data\\Dir1", "", "D:\\Falsch");
    EXPECT_EQ("D:\\Daten\\", _GetAvailableDataDirFromRegistry("X0000306", "Data"));
    EXPECT_EQ("", _GetAvailableDataDirFromRegistry("X0000306", "Andere"));
}

TEST_F(ComponentDirTest, SystemDirectory) {
    EXPECT_EQ("", _GetSystemDirFromRegistry());
    registry_.SetString("Software\\KorvanCo\\ProtectedDirectories", "SystemDir", "C:\\Korvan\\System");
    EXPECT_EQ("C:\\Korvan\\System\\", _GetSystemDirFromRegistry());
}

TEST_F(ComponentDirTest, TraceComponentProgramDirectoryComesFromProgKeyOnly) {
    SetVersioned("X0000302", "2.0", "ProtectedDirectories", "FixedProgDir", dir_.path());
    EXPECT_EQ("", _GetProgDirFromRegistry("X0000302"));
    const std::string existing = dir_.path().substr(0, dir_.path().size() - 1);
    registry_.SetSetting("ProgKey", existing);
    EXPECT_EQ(dir_.path(), _GetProgDirFromRegistry("X0000302"));
    registry_.SetSetting("ProgKey", existing + "\\fehlt");
    EXPECT_EQ(existing + "\\fehlt", _GetProgDirFromRegistry("X0000302"));
}

TEST_F(ComponentDirTest, ProtectedProgramDirectoryJoinsBaseAndProgDir) {
    const std::string base = dir_.path() + "Base";
    ASSERT_TRUE(::CreateDirectoryA(base.c_str(), nullptr));
    SetVersioned("X0000303", "2.0", "ProtectedDirectories", "FixedProgDir", base);
    SetVersioned("X0000303", "2.0", "ProtectedDirectories", "ProgDir", "Prog");
    EXPECT_EQ(base + "\\Prog", _GetProgDirFromRegistry("X0000303"));
    ASSERT_TRUE(::CreateDirectoryA((base + "\\Prog").c_str(), nullptr));
    EXPECT_EQ(base + "\\Prog\\", _GetProgDirFromRegistry("X0000303"));

    SetVersioned("X0000303", "2.0", "ProtectedDirectories", "FixedProgDir", dir_.path() + "Fehlt");
    EXPECT_EQ(dir_.path() + "Fehlt", _GetProgDirFromRegistry("X0000303"));
    EXPECT_EQ("", _GetProgDirFromRegistry("X0000304"));
}

}  // namespace
