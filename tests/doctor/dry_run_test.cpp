// The doctor's dry run of the file system: what it would let the library create, and that it
// creates nothing.
#include "doctor/directory_dry_run.h"
#include "test_support/files.h"

#include <gtest/gtest.h>

namespace {

using namespace test_support;

TEST(DirectoryDryRun, PlansWhatWindowsWouldCreateAndMakesNothing) {
    const ScratchDir dir("dryrun");
    WriteFileText(dir.path() + "file", "x");
    const std::string base = dir.path() + "new";
    std::string deep = base;
    while (deep.size() <= 32767) deep += "\\ab";
    const struct {
        std::string path;
        bool creatable;
    } rows[] = {
        {base + "\\a\\b\\", true},
        {base + "\\a\\b\\c", true},
        {"\\\\?\\" + base + "\\d", true},
        {dir.path() + "file\\x", false},
        {dir.path() + "file", false},
        {"Q:\\missing\\x", false},
        {base + "\\bad|name", false},
        {base + "\\" + std::string(256, 'n'), false},
        {base + "\\" + std::string(255, 'n'), true},
        {deep, false},
    };
    doctor::DirectoryDryRun dryRun;
    for (const auto& row : rows) {
        EXPECT_EQ(row.creatable, dryRun.CreateTree(std::wstring(row.path.begin(), row.path.end()))) << row.path.substr(0, 80);
    }
    EXPECT_TRUE(dryRun.Exists(base) && dryRun.Exists(base + "\\A\\B") && dryRun.WouldCreate(base + "\\a\\"));
    EXPECT_FALSE(dryRun.Exists(dir.path() + "ne") || dryRun.WouldCreate(dir.path()) || dryRun.Exists(dir.path() + "file\\x"));
    EXPECT_FALSE(IsDirectory(base));
}

}  // namespace
