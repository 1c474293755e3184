// What the scenarios cannot say about the shipped module: the heap blocks it holds between pre-
// and post-processing, allocation failure, calls without device data or context, and every
// SetupAPI call failing in turn.
#include "coinstaller_harness.h"
#include "test_support/heap_watch.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <cfgmgr32.h>

#include <algorithm>
#include <regex>

namespace {

using harness::CallCoDeviceInstall;

class CoInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, harness::CoInstallerModule());
        CallCoDeviceInstall(DIF_SELECTDEVICE, nullptr, nullptr, nullptr);  // binds the trace library
        SimReset();
        RecReset();
        tree_ = harness::AddReader();
        harness::SetDisable(tree_.reader);
    }
    void TearDown() override { heap_watch::FailNextAllocationOfSize(0); }

    static bool Traced(const std::string& text) {
        const auto writes = records::CallsOf();
        return std::any_of(writes.begin(), writes.end(), [&](const RecCall& write) { return text == write.text; });
    }
    DWORD Call(DI_FUNCTION request, COINSTALLER_CONTEXT_DATA* context, bool withData = true) {
        return CallCoDeviceInstall(request, tree_.set, withData ? &tree_.data : nullptr, context);
    }

    harness::ReaderTree tree_{};
};

TEST_F(CoInstallerTest, TheChildRecordIsTheOneBlockKeptAndEveryPostProcessingPathReleasesIt) {
    struct Case {
        const char* name;
        DWORD installResult;
        BOOL postProcessing;  // SetupAPI passes TRUE; any other non-zero value must release as well
        bool withData;
        const char* failing;  // a call that fails during post-processing
    };
    const Case cases[] = {
        {"removes the filter", NO_ERROR, TRUE, true, nullptr},
        {"other component failed", ERROR_GEN_FAILURE, TRUE, true, nullptr},
        {"no device data", NO_ERROR, TRUE, false, nullptr},
        {"parameters unreadable", NO_ERROR, TRUE, true, "SetupDiGetClassInstallParamsW"},
        {"filter class unlisted", NO_ERROR, TRUE, true, "SetupDiGetClassDevsW"},
        {"PostProcessing neither FALSE nor TRUE", NO_ERROR, 2, true, nullptr},
    };
    for (const Case& c : cases) {
        SetUp();
        const size_t before = heap_watch::LiveBlocks();
        COINSTALLER_CONTEXT_DATA context{};
        ASSERT_EQ(static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED), Call(DIF_PROPERTYCHANGE, &context)) << c.name;
        ASSERT_NE(nullptr, context.PrivateData);
        EXPECT_STREQ(L"SCFILTER\\CID_4B4F5256414E\\7&3A2B1C&0&0", static_cast<const wchar_t*>(context.PrivateData));
        EXPECT_EQ(before + 1, heap_watch::LiveBlocks()) << c.name;
        EXPECT_EQ(MAX_DEVICE_ID_LEN * sizeof(wchar_t), heap_watch::LiveSize(context.PrivateData)) << c.name;

        if (c.failing) SimInjectFailure(c.failing, SimFailAlways, 0, ERROR_GEN_FAILURE);
        context.PostProcessing = c.postProcessing;
        context.InstallResult = c.installResult;
        EXPECT_EQ(c.installResult, Call(DIF_PROPERTYCHANGE, &context, c.withData)) << c.name;
        EXPECT_EQ(nullptr, context.PrivateData) << c.name;
        EXPECT_EQ(before, heap_watch::LiveBlocks()) << c.name;
        EXPECT_EQ(c.name == cases[0].name, !SimDeviceExists(tree_.child)) << c.name;
        EXPECT_EQ(c.name == cases[0].name ? 1u : 0u, SimSetsOpened()) << c.name;
    }
}

TEST_F(CoInstallerTest, AllocationFailureOfTheChildRecordUnwindsTheScopeAndReturnsNoError) {
    // On x86 the first throw makes the unwinder keep a sorted copy of the module's frame table
    // until the module unloads: one failure is played before the blocks are counted.
    COINSTALLER_CONTEXT_DATA first{};
    heap_watch::FailNextAllocationOfSize(MAX_DEVICE_ID_LEN * sizeof(wchar_t));
    Call(DIF_PROPERTYCHANGE, &first);
    RecReset();
    RecSetCategoryLevel("TESK.CoInstall", 8);
    heap_watch::FailNextAllocationOfSize(MAX_DEVICE_ID_LEN * sizeof(wchar_t));
    const size_t before = heap_watch::LiveBlocks();
    COINSTALLER_CONTEXT_DATA context{};
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(DIF_PROPERTYCHANGE, &context));
    EXPECT_EQ(nullptr, context.PrivateData);
    EXPECT_EQ(before, heap_watch::LiveBlocks());
    const auto writes = records::CallsOf();
    ASSERT_FALSE(writes.empty());
    const std::regex begin(R"(---> Beginn: CoDeviceInstall \(\d+\)  TESK_CoInstaller\.cpp)");
    EXPECT_TRUE(std::regex_match(writes.front().text, begin)) << writes.front().text;
    EXPECT_EQ(1, writes.back().level);
    EXPECT_STREQ("<--- Ende: CoDeviceInstall\t Returnwert: Fehlerinfo: StackUnwinding ~MethodTrace: Es ist eine "
              "Exception aufgetreten",
              writes.back().text);
}

// SetupAPI may call without device data or context; the module then only reads the log token.
TEST_F(CoInstallerTest, MissingDeviceDataOrContextEndsTheRequestQuietly) {
    for (DI_FUNCTION request : {DIF_PROPERTYCHANGE, DIF_REMOVE, DIF_INSTALLDEVICE}) {
        SetUp();
        SimSetThreadLogToken(0x1FFFFFFFEull);
        const size_t journal = SimJournalCount();
        COINSTALLER_CONTEXT_DATA context{};
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(request, &context, false)) << request;
        EXPECT_TRUE(Traced("CoDeviceInstall::LogToken <-2>")) << "the low 32 bits, signed";
        EXPECT_TRUE(Traced("CoDeviceInstall::DeviceInfoData == NULL")) << request;
        EXPECT_EQ(journal + 1, SimJournalCount()) << "only the log token is read, request " << request;

        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(request, nullptr)) << request;
        EXPECT_TRUE(Traced("CoDeviceInstall::Context == NULL")) << request;
        EXPECT_EQ(request == DIF_REMOVE ? 1u : 0u, SimCallCount("CM_Get_Child")) << "a disable without context remembers nothing";
        EXPECT_TRUE(SimDeviceExists(tree_.child));
    }
}

// Every call the module makes, failing on every call: the installation is never failed by the
// module, nothing leaks, and no listing stays open.
TEST_F(CoInstallerTest, EachPlatformCallFailingInTurnNeverFailsTheInstallation) {
    for (const char* failing : {"SetupGetThreadLogToken", "SetupWriteTextLog", "SetupWriteTextLogError",
                                "SetupDiGetClassInstallParamsW", "SetupDiGetClassDevsW", "SetupDiEnumDeviceInfo",
                                "SetupDiRemoveDevice", "SetupDiDestroyDeviceInfoList", "SetupDiSetDeviceInstallParamsW",
                                "CM_Get_Child", "CM_Get_Parent", "CM_Get_Device_IDW"}) {
        SetUp();
        ASSERT_TRUE(SimInjectFailure(failing, SimFailAlways, 0, ERROR_GEN_FAILURE)) << failing;
        const size_t before = heap_watch::LiveBlocks();
        COINSTALLER_CONTEXT_DATA context{};
        const DWORD pre = Call(DIF_PROPERTYCHANGE, &context);
        EXPECT_TRUE(pre == NO_ERROR || pre == ERROR_DI_POSTPROCESSING_REQUIRED) << failing;
        context.PostProcessing = TRUE;
        EXPECT_EQ(static_cast<DWORD>(NO_ERROR), Call(DIF_PROPERTYCHANGE, &context)) << failing;
        EXPECT_EQ(nullptr, context.PrivateData) << failing;
        EXPECT_EQ(0u, Call(DIF_REMOVE, nullptr) | Call(DIF_INSTALLDEVICE, nullptr)) << failing;
        EXPECT_EQ(before, heap_watch::LiveBlocks()) << failing;
        EXPECT_EQ(SimSetsOpened(), SimCallCount("SetupDiDestroyDeviceInfoList")) << failing;
        EXPECT_GT(SimCallCount(failing), 0u) << failing << " was never called";
    }
}

}  // namespace
