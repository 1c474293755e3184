// The module in a process where no trace-system library can be found: every trace call takes
// its fallback, the installation work is done all the same, and the search is made only once.
#include "coinstaller/coinstaller_harness.h"
#include "test_support/load_watch.h"

#include <gtest/gtest.h>

using harness::AddReader;
using harness::CallCoDeviceInstall;
using harness::ReaderTree;
using harness::TextLog;

namespace {

class WithoutTraceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HMODULE module = harness::CoInstallerModule();
        ASSERT_NE(nullptr, module);
        // Before the first request, so that the one load attempt is seen.
        ASSERT_TRUE(load_watch::Install(module));
    }
    void SetUp() override { SimReset(); }
};

TEST_F(WithoutTraceTest, TheSearchIsMadeOnceAndNothingIsLoaded) {
    ReaderTree tree = AddReader();
    CallCoDeviceInstall(DIF_SELECTDEVICE, tree.set, &tree.data, nullptr);
    const long searched = load_watch::ModuleFileNameCalls();
    EXPECT_GT(searched, 0) << "the first trace call searches for the library";
    EXPECT_EQ(0, load_watch::LoadLibraryCalls()) << "no candidate held the file";

    for (int i = 0; i < 5; ++i) CallCoDeviceInstall(DIF_REMOVE, tree.set, &tree.data, nullptr);
    EXPECT_EQ(searched, load_watch::ModuleFileNameCalls()) << "a failed binding is not retried";
    EXPECT_EQ(0, load_watch::LoadLibraryCalls());
}

TEST_F(WithoutTraceTest, DisableStillRemovesTheFilterDeviceAndLogsIt) {
    ReaderTree tree = AddReader();
    ASSERT_TRUE(harness::PlayDisable(tree));
    EXPECT_FALSE(SimDeviceExists(tree.child));
    const auto log = TextLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ("TeskCoInstaller: Dazugeh\xf6riger ScFilter wurde erfolgreich gel\xf6scht", log[0].message);
}

TEST_F(WithoutTraceTest, RemoveReadsLevelOneAndSkipsParentAndChild) {
    ReaderTree tree = AddReader();
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_REMOVE, tree.set, &tree.data, nullptr));
    EXPECT_EQ(1u, SimCallCount("CM_Get_Device_IDW"));
    EXPECT_EQ(0u, SimCallCount("CM_Get_Parent"));
    EXPECT_EQ(0u, SimCallCount("CM_Get_Child"));
}

TEST_F(WithoutTraceTest, TextLogStillReportsFailures) {
    ReaderTree tree = AddReader();
    SimInjectFailure("SetupDiSetDeviceInstallParamsW", SimFailAlways, 0, ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), CallCoDeviceInstall(DIF_INSTALLDEVICE, tree.set, &tree.data, nullptr));
    const auto log = TextLog();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), log[0].error);
    EXPECT_EQ("TeskCoInstaller: ERROR SetupDiSetDeviceInstallParams", log[0].message);
}

}  // namespace
