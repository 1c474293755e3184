// A trace-system library beside the host that lacks DoneTraceSystem: it is loaded once, found
// incomplete and never called, not even InitTraceSystem.
#include "coinstaller/coinstaller_harness.h"
#include "test_support/load_watch.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

using harness::AddReader;
using harness::CallCoDeviceInstall;
using harness::ReaderTree;

namespace {

TEST(IncompleteTraceLibrary, IsLoadedOnceAndNeverCalled) {
    HMODULE module = harness::CoInstallerModule();
    ASSERT_NE(nullptr, module);
    ASSERT_TRUE(load_watch::Install(module));
    ASSERT_EQ(nullptr, ::GetProcAddress(::GetModuleHandleW(L"KvTraceHub001.dll"), "DoneTraceSystem"));
    SimReset();
    RecReset();

    ReaderTree tree = AddReader();
    ASSERT_TRUE(harness::PlayDisable(tree));
    CallCoDeviceInstall(DIF_REMOVE, tree.set, &tree.data, nullptr);

    EXPECT_EQ(1, load_watch::LoadLibraryCalls());
    EXPECT_EQ(0u, RecInitCount());
    EXPECT_EQ(0u, RecCallCount()) << "no export of an incomplete library may be called";
    EXPECT_FALSE(SimDeviceExists(tree.child));
    EXPECT_EQ(0u, SimCallCount("CM_Get_Parent")) << "the level reads as 1";
}

}  // namespace
