#pragma once

#include "coinstaller/coinstaller_harness.h"
#include "test_support/heap_watch.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

// A fresh simulation and trace record per test; the module stays loaded for the process, as
// in a SetupAPI host.
class CoInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, harness::CoInstallerModule());
        SimReset();
        RecReset();
        SimSetThreadLogToken(0x1234);
    }
    void TearDown() override {
        heap_watch::FailNthAllocation(0);
        heap_watch::FailNextAllocationOfSize(0);
        SimReset();
    }

    static int64_t Outstanding(const heap_watch::Counts& since) {
        const heap_watch::Counts now = heap_watch::Snapshot();
        return (now.allocations - since.allocations) - (now.frees - since.frees);
    }

    static COINSTALLER_CONTEXT_DATA PreContext() {
        COINSTALLER_CONTEXT_DATA context{};
        context.PostProcessing = FALSE;
        return context;
    }
    static COINSTALLER_CONTEXT_DATA PostContext(void* privateData, DWORD installResult = NO_ERROR) {
        COINSTALLER_CONTEXT_DATA context{};
        context.PostProcessing = TRUE;
        context.InstallResult = installResult;
        context.PrivateData = privateData;
        return context;
    }

    static bool IsBeginLine(const std::string& text) {
        static const std::regex begin(R"(---> Beginn: CoDeviceInstall \(\d+\)  TESK_CoInstaller\.cpp)");
        return std::regex_match(text, begin);
    }
};
