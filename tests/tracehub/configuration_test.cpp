// Levels, the enable switch, categories and listeners, set by the setter exports and by a
// settings text; and the life cycle of Init and Done.
#include "tracehub/hub_api.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using hubtest::Hub;

class Configuration : public ::testing::Test {
protected:
    void SetUp() override { hubtest::ResetHub(); }
    void TearDown() override { hubtest::ResetHub(); }
};

TEST_F(Configuration, DefaultsTraceNothingWithoutAListener) {
    EXPECT_TRUE(Hub().IsTracingEnabled());
    EXPECT_EQ(2, Hub().GetAppTracingLevel());
    EXPECT_EQ(2, Hub().GetLevel("TESK.CoInstall"));
    EXPECT_FALSE(Hub().ShouldTrace(1));
    EXPECT_FALSE(Hub().ShouldTraceCategory(1, "TESK.CoInstall"));
    EXPECT_FALSE(Hub().Write(1, "TESK.CoInstall", "nowhere to go"));
}

TEST_F(Configuration, CategoryLevelBoundsWhatIsTraced) {
    hubtest::TempFile file("levels.log");
    ASSERT_TRUE(Hub().AddTextfileListener("TESK.CoInstall", file.c_str()));
    ASSERT_TRUE(Hub().SetLevel("TESK.CoInstall", 8));

    EXPECT_TRUE(Hub().ShouldTrace(8));
    EXPECT_FALSE(Hub().ShouldTrace(9));
    EXPECT_TRUE(Hub().ShouldTraceCategory(8, "TESK.CoInstall"));
    EXPECT_FALSE(Hub().ShouldTraceCategory(9, "TESK.CoInstall"));
    EXPECT_TRUE(Hub().ShouldTraceCategory(-5, "TESK.CoInstall"));
    // Another category has no listener, so it writes nowhere at any level.
    EXPECT_FALSE(Hub().ShouldTraceCategory(1, "TESK.Other"));

    EXPECT_TRUE(Hub().Write(8, "TESK.CoInstall", "wanted"));
    EXPECT_FALSE(Hub().Write(9, "TESK.CoInstall", "too detailed"));
    EXPECT_FALSE(Hub().Write(1, "TESK.Other", "no listener"));
    const auto lines = hubtest::ReadLines(file.path());
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("wanted", hubtest::SplitTabs(lines[0]).back());
}

TEST_F(Configuration, CategoryWithoutOwnLevelFollowsTheDefault) {
    Hub().SetAppTracingLevel(16);
    EXPECT_EQ(16, Hub().GetAppTracingLevel());
    EXPECT_EQ(16, Hub().GetLevel("TESK.CoInstall"));
    ASSERT_TRUE(Hub().SetLevel("TESK.CoInstall", 4));
    EXPECT_EQ(4, Hub().GetLevel("TESK.CoInstall"));
    EXPECT_EQ(4, Hub().GetLevel("tesk.coinstall"));
    EXPECT_EQ(16, Hub().GetLevel("TESK.CoInstall.Dump"));
    Hub().SetAppTracingLevel(1);
    EXPECT_EQ(4, Hub().GetLevel("TESK.CoInstall"));
    ASSERT_TRUE(Hub().RemoveCategory("TESK.CoInstall"));
    EXPECT_EQ(1, Hub().GetLevel("TESK.CoInstall"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().RemoveCategory("TESK.CoInstall"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_FOUND), GetLastError());
}

TEST_F(Configuration, AllCategoriesListenerHearsEveryCategoryAtItsLevel) {
    hubtest::TempFile file("all.log");
    ASSERT_TRUE(Hub().AddTextfileListener("*", file.c_str()));
    ASSERT_TRUE(Hub().SetLevel("Loud", 16));
    EXPECT_TRUE(Hub().ShouldTrace(16));
    EXPECT_TRUE(Hub().Write(2, "Unconfigured", "a"));
    EXPECT_FALSE(Hub().Write(4, "Unconfigured", "b"));
    EXPECT_TRUE(Hub().Write(16, "Loud", "c"));
    // The same file named for a category as well still gets each line once.
    ASSERT_TRUE(Hub().AddTextfileListener("Loud", file.c_str()));
    EXPECT_TRUE(Hub().Write(8, "Loud", "d"));
    const auto lines = hubtest::ReadLines(file.path());
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("a", hubtest::SplitTabs(lines[0]).back());
    EXPECT_EQ("c", hubtest::SplitTabs(lines[1]).back());
    EXPECT_EQ("d", hubtest::SplitTabs(lines[2]).back());
}

TEST_F(Configuration, DisabledSwitchSilencesEveryCategory) {
    hubtest::TempFile file("disabled.log");
    ASSERT_TRUE(Hub().AddTextfileListener("*", file.c_str()));
    Hub().SetTracingEnabled(false);
    EXPECT_FALSE(Hub().IsTracingEnabled());
    EXPECT_FALSE(Hub().ShouldTrace(1));
    EXPECT_FALSE(Hub().ShouldTraceCategory(1, "Any"));
    EXPECT_FALSE(Hub().Write(1, "Any", "suppressed"));
    EXPECT_EQ(2, Hub().GetLevel("Any"));
    Hub().SetTracingEnabled(true);
    EXPECT_TRUE(Hub().Write(1, "Any", "back"));
    const auto lines = hubtest::ReadLines(file.path());
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("back", hubtest::SplitTabs(lines[0]).back());
}

TEST_F(Configuration, SettingsTextReplacesTheWholeConfiguration) {
    hubtest::TempFile file("settings.log");
    ASSERT_TRUE(Hub().SetLevel("Stale", 16));
    const std::string settings =
        " Enabled = 1 ; DefaultLevel=4;Level.TESK.CoInstall=16;File.TESK.CoInstall=" + file.path() + ";;";
    ASSERT_TRUE(Hub().ConfigureTrace(settings.c_str()));
    EXPECT_EQ(4, Hub().GetAppTracingLevel());
    EXPECT_EQ(16, Hub().GetLevel("TESK.CoInstall"));
    EXPECT_EQ(4, Hub().GetLevel("Stale"));
    EXPECT_TRUE(Hub().ListenerExists("TESK.CoInstall", file.c_str()));
    EXPECT_TRUE(Hub().Write(16, "TESK.CoInstall", "detail"));
    EXPECT_EQ(1u, hubtest::ReadLines(file.path()).size());

    ASSERT_TRUE(Hub().ConfigureTrace("Enabled=0"));
    EXPECT_FALSE(Hub().IsTracingEnabled());
    EXPECT_EQ(2, Hub().GetLevel("TESK.CoInstall"));
    EXPECT_FALSE(Hub().ListenerExists("TESK.CoInstall", file.c_str()));
}

TEST_F(Configuration, BadSettingsAreSkippedWithANoteAndTheRestApplies) {
    hubtest::DebugOutputCapture capture;
    const std::string longCategory(128, 'x');
    const std::string settings = "Level.A=abc;DefaultLevel=99999999999;Bogus=1;NoEquals;Level.=3;File.B=;Level." +
                                 longCategory + "=1;Console.C=1;Level.D=8";
    EXPECT_FALSE(Hub().ConfigureTrace(settings.c_str()));
    EXPECT_EQ(2, Hub().GetAppTracingLevel());
    EXPECT_EQ(2, Hub().GetLevel("A"));
    EXPECT_EQ(8, Hub().GetLevel("D"));
    EXPECT_TRUE(Hub().ListenerExists("C", "Console"));
    const std::string notes = capture.Text();
    EXPECT_NE(std::string::npos, notes.find("KvTraceHub001: setting \"Level.A\" ignored: expected a number")) << notes;
    EXPECT_NE(std::string::npos, notes.find("\"DefaultLevel\" ignored")) << notes;
    EXPECT_NE(std::string::npos, notes.find("\"Bogus\" ignored: unknown setting")) << notes;
    EXPECT_NE(std::string::npos, notes.find("\"NoEquals\" ignored: expected Name=Value")) << notes;
    EXPECT_NE(std::string::npos, notes.find("\"Level.\" ignored: the category must have 1 to 127 characters")) << notes;
    EXPECT_NE(std::string::npos, notes.find("\"File.B\" ignored: expected a file path")) << notes;
}

TEST_F(Configuration, ListenersAreAddedFoundAndRemovedByName) {
    hubtest::TempFile file("listeners.log");
    ASSERT_TRUE(Hub().AddListener("A", "trace", KvTraceListenerTextfile, file.c_str()));
    ASSERT_TRUE(Hub().AddListener("B", "trace", KvTraceListenerTextfile, file.c_str()));
    ASSERT_TRUE(Hub().AddListener("B", "dbg", KvTraceListenerDebugger, nullptr));
    ASSERT_TRUE(Hub().AddConsoleListener("B"));
    EXPECT_TRUE(Hub().ListenerExists("a", "TRACE"));
    EXPECT_TRUE(Hub().ListenerExists("B", "Console"));
    EXPECT_FALSE(Hub().ListenerExists("C", "trace"));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().AddListener("A", "Trace", KvTraceListenerConsole, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().AddListener("A", "other", 3, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().AddListener("A", "other", KvTraceListenerTextfile, ""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().AddListener("A", "", KvTraceListenerConsole, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    ASSERT_TRUE(Hub().RemoveListenerCategory("A", "trace"));
    EXPECT_FALSE(Hub().ListenerExists("A", "trace"));
    EXPECT_TRUE(Hub().ListenerExists("B", "trace"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().RemoveListenerCategory("A", "trace"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_FOUND), GetLastError());

    ASSERT_TRUE(Hub().AddListener("A", "trace", KvTraceListenerTextfile, file.c_str()));
    ASSERT_TRUE(Hub().RemoveListener("trace"));
    EXPECT_FALSE(Hub().ListenerExists("A", "trace"));
    EXPECT_FALSE(Hub().ListenerExists("B", "trace"));
    EXPECT_TRUE(Hub().ListenerExists("B", "dbg"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().RemoveListener("trace"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_FOUND), GetLastError());

    ASSERT_TRUE(Hub().SetLevel("B", 16));
    Hub().SetAppTracingLevel(8);
    Hub().RemoveAllCategories();
    EXPECT_FALSE(Hub().ListenerExists("B", "dbg"));
    EXPECT_EQ(8, Hub().GetLevel("B"));
    EXPECT_FALSE(Hub().ShouldTrace(1));
}

TEST_F(Configuration, UnusableListenerPathFailsWithTheSystemError) {
    const std::string missingDir = hubtest::TempPath("no_such_dir") + "\\trace.log";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().AddTextfileListener("A", missingDir.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(Hub().ListenerExists("A", missingDir.c_str()));

    // A read-only file fails exactly as the system refuses to open it for appending (an
    // administrator under Wine may be let through).
    hubtest::TempFile readOnly("readonly.log");
    HANDLE h = CreateFileA(readOnly.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    HANDLE probe = CreateFileA(readOnly.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    const DWORD systemError = probe == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    SetLastError(0xdeadbeef);
    const bool added = Hub().AddTextfileListener("A", readOnly.c_str());
    EXPECT_EQ(systemError == ERROR_SUCCESS, added);
    if (!added) {
        EXPECT_EQ(systemError, GetLastError());
    }
    EXPECT_EQ(added, Hub().ListenerExists("A", readOnly.c_str()));
    Hub().RemoveCategory("A");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A file another program holds without sharing cannot be opened.
    hubtest::TempFile locked("locked.log");
    HANDLE holder = CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().AddTextfileListener("A", locked.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    CloseHandle(holder);

    // In a settings text the same listener is dropped with a note; the rest stays.
    hubtest::DebugOutputCapture capture;
    const std::string settings = "Level.A=8;File.A=" + missingDir;
    EXPECT_FALSE(Hub().ConfigureTrace(settings.c_str()));
    EXPECT_EQ(8, Hub().GetLevel("A"));
    EXPECT_FALSE(Hub().ListenerExists("A", missingDir.c_str()));
    EXPECT_NE(std::string::npos, capture.Text().find("cannot open trace file")) << capture.Text();
}

TEST_F(Configuration, CategoryNamesUpTo127CharactersAreAccepted) {
    hubtest::TempFile file("long_category.log");
    const std::string longest(127, 'c');
    const std::string tooLong(128, 'c');
    ASSERT_TRUE(Hub().AddTextfileListener(longest.c_str(), file.c_str()));
    ASSERT_TRUE(Hub().SetLevel(longest.c_str(), 8));
    EXPECT_EQ(8, Hub().GetLevel(longest.c_str()));
    EXPECT_TRUE(Hub().Write(8, longest.c_str(), "fits"));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().SetLevel(tooLong.c_str(), 8));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0, Hub().GetLevel(tooLong.c_str()));
    EXPECT_FALSE(Hub().Write(1, tooLong.c_str(), "rejected"));
    EXPECT_FALSE(Hub().ShouldTraceCategory(1, tooLong.c_str()));
    EXPECT_EQ(0, Hub().GetLevel(nullptr));
    EXPECT_EQ(0, Hub().GetLevel(""));
    EXPECT_FALSE(Hub().ShouldTraceCategory(1, nullptr));

    const auto lines = hubtest::ReadLines(file.path());
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(longest, hubtest::SplitTabs(lines[0])[4]);
}

TEST_F(Configuration, DoneClosesEverythingAndLaterCallsAreHarmless) {
    hubtest::TempFile file("done.log");
    ASSERT_TRUE(Hub().AddTextfileListener("A", file.c_str()));
    ASSERT_TRUE(Hub().Write(2, "A", "before"));
    Hub().DoneTraceSystem();
    Hub().DoneTraceSystem();

    EXPECT_FALSE(Hub().IsTracingEnabled());
    EXPECT_FALSE(Hub().ShouldTrace(1));
    EXPECT_FALSE(Hub().Write(1, "A", "after"));
    EXPECT_FALSE(Hub().ListenerExists("A", file.c_str()));
    EXPECT_EQ(0, Hub().GetLevel("A"));
    EXPECT_EQ(0, Hub().GetAppTracingLevel());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Hub().SetLevel("A", 8));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), GetLastError());
    EXPECT_FALSE(Hub().ConfigureTrace("Level.A=8"));
    Hub().SetAppTracingLevel(16);
    Hub().RemoveAllCategories();

    // The file is closed: it can be deleted for good and opened exclusively.
    HANDLE exclusive = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, exclusive);
    CloseHandle(exclusive);
    const auto lines = hubtest::ReadLines(file.path());
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("before", hubtest::SplitTabs(lines[0]).back());

    // Init after Done starts afresh.
    EXPECT_TRUE(Hub().InitTraceSystem());
    EXPECT_TRUE(Hub().InitTraceSystem());
    EXPECT_TRUE(Hub().IsTracingEnabled());
    EXPECT_EQ(2, Hub().GetAppTracingLevel());
}

}  // namespace
