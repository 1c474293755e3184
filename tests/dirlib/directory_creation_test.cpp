#include "dirlib/directory_creation.h"
#include "dirlib/locbase.h"
#include "message_recorder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

using dirlib_test::g_narrowMessages;
using dirlib_test::IsDirectory;
using dirlib_test::NarrowMessage;

class CreateDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override { dirlib_test::StartRecording(); }

    dirlib_test::ScratchDir dir_{"create_directory"};
    const std::string base_ = dir_.path();
};

std::string Announce(const std::string& path) { return "_CreateDirectory: Pfad '<" + path + ">' soll angelegt werden"; }

TEST_F(CreateDirectoryTest, CreatesThreeLevelsTopDownEachAnnounced) {
    const std::string target = base_ + "eins\\zwei\\drei\\";
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(LBS_CreateDirectory(target));
    EXPECT_TRUE(IsDirectory(base_ + "eins\\zwei\\drei"));
    const std::vector<NarrowMessage> expected = {
        {false, Announce(base_ + "eins")},
        {false, Announce(base_ + "eins\\zwei")},
        {false, Announce(base_ + "eins\\zwei\\drei")},
        {false, "LBS_CreateDirectory: Verzeichnis <" + target + "> wurde angelegt"},
    };
    EXPECT_EQ(expected, g_narrowMessages);
}

TEST_F(CreateDirectoryTest, ExistingDirectoryIsTrueWithoutAnyLine) {
    EXPECT_TRUE(LBS_CreateDirectory(base_));
    EXPECT_TRUE(LBS_CreateDirectory(base_.substr(0, base_.size() - 1)));
    EXPECT_TRUE(g_narrowMessages.empty());
}

TEST_F(CreateDirectoryTest, EmptyPathIsRefused) {
    EXPECT_FALSE(LBS_CreateDirectory(""));
    const std::vector<NarrowMessage> expected = {{true, "LBS_CreateDirectory: Kein Pfad \xfc" "bergeben!"}};
    EXPECT_EQ(expected, g_narrowMessages);
}

TEST_F(CreateDirectoryTest, FileInTheWayFailsWithFileExists) {
    const std::string file = base_ + "datei";
    dirlib_test::WriteFileText(file, "x");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LBS_CreateDirectory(file + "\\"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());

    // Below a file the parent's failure ends the recursion: no announcement, the caller reports 80.
    EXPECT_FALSE(LBS_CreateDirectory(file + "\\unter"));
    const std::vector<NarrowMessage> expected = {
        {true, "_CreateDirectory: Angeforderter Pfad ist eine Datei (<" + file + ">)"},
        {true, "LBS_CreateDirectory: Fehler <80> beim Anlegen des Verzeichnisses <" + file + "\\>!"},
        {true, "_CreateDirectory: Angeforderter Pfad ist eine Datei (<" + file + ">)"},
        {true, "LBS_CreateDirectory: Fehler <80> beim Anlegen des Verzeichnisses <" + file + "\\unter>!"},
    };
    EXPECT_EQ(expected, g_narrowMessages);
    EXPECT_FALSE(IsDirectory(file));
}

TEST_F(CreateDirectoryTest, DriveThatDoesNotExistStopsAtItsRoot) {
    const DWORD drives = ::GetLogicalDrives();
    char letter = 0;
    for (char c = 'Q'; c <= 'Y' && letter == 0; ++c) {
        if ((drives & (1u << (c - 'A'))) == 0) letter = c;
    }
    ASSERT_NE(0, letter) << "no free drive letter";
    const std::string root = std::string(1, letter) + ":\\";
    // The line carries whatever code the platform gives for a missing drive.
    SetLastError(0xdeadbeef);
    ASSERT_FALSE(::CreateDirectoryA((root + "tesk").c_str(), nullptr));
    const DWORD code = GetLastError();
    ASSERT_NE(0xdeadbeef, code);

    EXPECT_FALSE(LBS_CreateDirectory(root + "tesk\\log"));
    const std::vector<NarrowMessage> expected = {
        {false, Announce(root + "tesk")},
        {true, "LBS_CreateDirectory: Fehler <" + std::to_string(code) + "> beim Anlegen des Verzeichnisses <" + root +
                   "tesk\\log>!"},
    };
    EXPECT_EQ(expected, g_narrowMessages);
}

// Bytes above 0x7F take the round trip narrow -> wide -> narrow unchanged in the "C" locale.
TEST_F(CreateDirectoryTest, NonAsciiNameIsCreatedUnderItsWideName) {
    const std::string target = base_ + "M\xe4rz";
    EXPECT_TRUE(LBS_CreateDirectory(target));
    std::wstring wideBase(base_.begin(), base_.end());
    const DWORD attributes = ::GetFileAttributesW((wideBase + L"M\u00e4rz").c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_EQ(2u, g_narrowMessages.size());
    EXPECT_EQ("LBS_CreateDirectory: Verzeichnis <" + target + "> wurde angelegt", g_narrowMessages[1].text);
}

TEST_F(CreateDirectoryTest, PathThatCannotBeConvertedCreatesNothing) {
    ASSERT_NE(nullptr, std::setlocale(LC_ALL, ".932"));
    // A lone lead byte of the Japanese code page at the end.
    const std::string target = base_ + "kaputt\x82";
    const bool created = LBS_CreateDirectory(target);
    std::setlocale(LC_ALL, "C");
    EXPECT_FALSE(created);
    const std::vector<NarrowMessage> expected = {
        {true, "_ConvertToUnicode: Fehler beim Konvertieren des Verzeichnisses <" + target + ">!"},
        {false, Announce("")},
        {true, "LBS_CreateDirectory: Fehler <3> beim Anlegen des Verzeichnisses <>!"},
    };
    EXPECT_EQ(expected, g_narrowMessages);
    EXPECT_FALSE(IsDirectory(base_ + "kaputt"));
}

TEST(ConvertToUnicode, ConvertsInTheCurrentLocale) {
    EXPECT_EQ(L"C:\\Gr\u00fc\u00dfe", _ConvertToUnicode("C:\\Gr\xfc\xdf" "e"));
    dirlib_test::StartRecording();
    EXPECT_EQ(L"", _ConvertToUnicode(""));
    const std::vector<NarrowMessage> expected = {
        {true, "_ConvertToUnicode: Fehler beim Konvertieren des Verzeichnisses <>!"}};
    EXPECT_EQ(expected, g_narrowMessages);
}

}  // namespace
