// The module in a process whose trace-system library cannot be bound: none anywhere it looks
// or, with UNBOUND_INCOMPLETE, one beside the host that lacks DoneTraceSystem. The search and
// the load are made once, an incomplete library is never called, and the work is done all the
// same with the level read as 1.
#include "coinstaller_harness.h"
#include "test_support/load_watch.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

namespace {

TEST(UnboundTraceLibrary, IsSearchedOnceAndTheWorkIsDoneAllTheSame) {
    HMODULE module = harness::CoInstallerModule();
    ASSERT_NE(nullptr, module);
    ASSERT_TRUE(load_watch::Install(module));
    SimReset();
    harness::ReaderTree tree = harness::AddReader();
    harness::SetDisable(tree.reader);
    COINSTALLER_CONTEXT_DATA context{};
    ASSERT_EQ(static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED),
              harness::CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
    const long searched = load_watch::ModuleFileNameCalls();
    EXPECT_GT(searched, 0) << "the first trace call searches for the library";
    context.PostProcessing = TRUE;
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), harness::CallCoDeviceInstall(DIF_PROPERTYCHANGE, tree.set, &tree.data, &context));
    EXPECT_FALSE(SimDeviceExists(tree.child));
    for (int i = 0; i < 3; ++i) harness::CallCoDeviceInstall(DIF_REMOVE, tree.set, &tree.data, nullptr);
    EXPECT_EQ(0u, SimCallCount("CM_Get_Parent")) << "the level reads as 1";
    EXPECT_EQ(searched, load_watch::ModuleFileNameCalls()) << "a failed binding is not retried";
#ifdef UNBOUND_INCOMPLETE
    EXPECT_EQ(1, load_watch::LoadLibraryCalls());
    EXPECT_EQ(0u, RecInitCount());
    EXPECT_EQ(0u, RecCallCount()) << "no export of an incomplete library may be called";
#else
    EXPECT_EQ(0, load_watch::LoadLibraryCalls()) << "no candidate held the file";
#endif
}

}  // namespace
