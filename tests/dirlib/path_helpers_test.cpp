#include "dirlib/path_helpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string TempDir() {
    char buffer[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, buffer);
    return buffer;
}

TEST(AddBackslash, AppendsOnlyWhereMissing) {
    EXPECT_EQ("C:\\Data\\", _AddBackslash("C:\\Data"));
    EXPECT_EQ("C:\\Data\\", _AddBackslash("C:\\Data\\"));
    EXPECT_EQ("", _AddBackslash(""));
    EXPECT_EQ("a/\\", _AddBackslash("a/"));
}

TEST(PathExists, FilesAndDirectoriesExistEmptyDoesNot) {
    const std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(_PathExists(dir));

    const std::string file = dir + "tesk_path_exists_probe.txt";
    HANDLE h = ::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ::CloseHandle(h);
    EXPECT_TRUE(_PathExists(file));
    ::DeleteFileA(file.c_str());
    EXPECT_FALSE(_PathExists(file));

    EXPECT_FALSE(_PathExists(""));
    EXPECT_FALSE(_PathExists("Q:\\no\\such\\dir"));
}

TEST(GetModuleDir, NullHandleNamesTheExecutableDirectory) {
    char exe[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string expected(exe);
    expected.erase(expected.rfind('\\') + 1);

    const std::string dir = _GetModuleDir(nullptr);
    EXPECT_EQ(expected, dir);
    EXPECT_EQ('\\', dir.back());
}

TEST(GetModuleDir, ModuleHandleNamesItsOwnFile) {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    char file[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(kernel, file, MAX_PATH);
    std::string expected(file);
    expected.erase(expected.rfind('\\') + 1);
    EXPECT_EQ(expected, _GetModuleDir(kernel));
}

}  // namespace
