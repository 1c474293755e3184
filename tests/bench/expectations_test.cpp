// Each kind of expectation against outcomes that meet it and outcomes that do not, with the
// difference the report shows.
#include "bench/expectations.h"

#include "platform/sdk_extras.h"

#include <gtest/gtest.h>

#include <setupapi.h>

namespace {

using bench::CallRecord;
using bench::Check;
using bench::ExpectKind;
using bench::Expectation;
using bench::RequestOutcome;

Expectation Make(ExpectKind kind, std::optional<DWORD> code = std::nullopt, std::string text = {}, std::string device = {}) {
    Expectation e;
    e.kind = kind;
    e.code = code;
    e.text = std::move(text);
    e.device = std::move(device);
    return e;
}

// What one request yields: pre-processing asks for post-processing, post-processing removes a filter.
RequestOutcome DisableOutcome() {
    RequestOutcome outcome;
    CallRecord pre;
    pre.result = ERROR_DI_POSTPROCESSING_REQUIRED;
    pre.trace.push_back({"line 1", "INFO", "TESK.CoInstall", "CoDeviceInstall::Setze DeviceId (Child) <SCF\\1>"});
    CallRecord post;
    post.postProcessing = true;
    post.result = NO_ERROR;
    post.textLog.push_back({TXTLOG_INSTALLER, TXTLOG_DETAILS, false, 0, "TeskCoInstaller: Dazugehöriger ScFilter wurde erfolgreich gelöscht"});
    post.textLog.push_back({TXTLOG_INSTALLER, TXTLOG_DETAILS, true, 5, "TeskCoInstaller: ERROR SetupDiRemoveDevice"});
    post.trace.push_back({"line 2", "INFO", "TESK.CoInstall", "CoDeviceInstall::Lösche dazugehörigen ScFilter..."});
    outcome.calls = {pre, post};
    outcome.devices["reader"] = {true, 0x00040000, 0};
    outcome.devices["child"] = {false, 0, 0};
    return outcome;
}

std::string DifferenceOf(const Expectation& e, const RequestOutcome& outcome) {
    const auto verdicts = Check({e}, outcome);
    EXPECT_EQ(1u, verdicts.size());
    EXPECT_EQ(verdicts[0].met, verdicts[0].difference.empty());
    return verdicts[0].difference;
}

TEST(Expectations, ResultsOfPreAndPostProcessing) {
    const RequestOutcome outcome = DisableOutcome();
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::Result, ERROR_DI_POSTPROCESSING_REQUIRED), outcome));
    EXPECT_EQ("returned 0xE0000226 ERROR_DI_POSTPROCESSING_REQUIRED", DifferenceOf(Make(ExpectKind::Result, NO_ERROR), outcome));
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::PostResult, NO_ERROR), outcome));
    EXPECT_EQ("post-processing returned 0x00000000 NO_ERROR", DifferenceOf(Make(ExpectKind::PostResult, 5), outcome));
    EXPECT_EQ("a post-processing call was made (the module asked for it)", DifferenceOf(Make(ExpectKind::NoPostProcessing), outcome));

    RequestOutcome single = outcome;
    single.calls.pop_back();
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::NoPostProcessing), single));
    EXPECT_EQ("no post-processing call was made", DifferenceOf(Make(ExpectKind::PostResult, NO_ERROR), single));
    EXPECT_EQ("CoDeviceInstall was not called", DifferenceOf(Make(ExpectKind::Result, NO_ERROR), RequestOutcome{}));
}

TEST(Expectations, TextLogMatchesWholeMessagesAndErrorCodes) {
    const RequestOutcome outcome = DisableOutcome();
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::TextLog, std::nullopt, "TeskCoInstaller: Dazugehöriger ScFilter wurde erfolgreich gelöscht"), outcome));
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::TextLog, 5, "TeskCoInstaller: ERROR SetupDiRemoveDevice"), outcome));
    EXPECT_EQ("the text log holds \"TeskCoInstaller: Dazugehöriger ScFilter wurde erfolgreich gelöscht\"; "
              "\"TeskCoInstaller: ERROR SetupDiRemoveDevice\" error 0x00000005",
              DifferenceOf(Make(ExpectKind::TextLog, 6, "TeskCoInstaller: ERROR SetupDiRemoveDevice"), outcome));
    EXPECT_FALSE(DifferenceOf(Make(ExpectKind::TextLog, std::nullopt, "TeskCoInstaller: ERROR"), outcome).empty()) << "no prefix match";
    EXPECT_FALSE(DifferenceOf(Make(ExpectKind::TextLog, 0, "TeskCoInstaller: Dazugehöriger ScFilter wurde erfolgreich gelöscht"), outcome).empty())
        << "an error code asks for an error entry";
    EXPECT_EQ("no text-log entry was written", DifferenceOf(Make(ExpectKind::TextLog, std::nullopt, "x"), RequestOutcome{}));

    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::NoTextLog), RequestOutcome{}));
    EXPECT_EQ("the text log holds \"TeskCoInstaller: Dazugehöriger ScFilter wurde erfolgreich gelöscht\"",
              DifferenceOf(Make(ExpectKind::NoTextLog), outcome));
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::NoTextLog, std::nullopt, "TeskCoInstaller: ERROR SetupDiGetClassDevs <SmartcardFilter>"), outcome));
    EXPECT_EQ("the text log holds \"TeskCoInstaller: ERROR SetupDiRemoveDevice\" error 0x00000005",
              DifferenceOf(Make(ExpectKind::NoTextLog, std::nullopt, "TeskCoInstaller: ERROR SetupDiRemoveDevice"), outcome));
}

TEST(Expectations, TraceLinesAreSearchedForAPartOfTheirText) {
    const RequestOutcome outcome = DisableOutcome();
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::Trace, std::nullopt, "Lösche dazugehörigen"), outcome)) << "post-processing lines count";
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::Trace, std::nullopt, "(Child) <SCF\\1>"), outcome)) << "pre-processing lines count";
    EXPECT_EQ("none of the 2 trace lines contains it", DifferenceOf(Make(ExpectKind::Trace, std::nullopt, "lösche"), outcome))
        << "case matters";
    EXPECT_EQ("no trace line was written", DifferenceOf(Make(ExpectKind::Trace, std::nullopt, "x"), RequestOutcome{}));
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::NoTrace, std::nullopt, "Parent"), outcome));
    EXPECT_EQ("trace line \"CoDeviceInstall::Lösche dazugehörigen ScFilter...\"", DifferenceOf(Make(ExpectKind::NoTrace, std::nullopt, "Lösche"), outcome));
    EXPECT_EQ("trace line \"CoDeviceInstall::Setze DeviceId (Child) <SCF\\1>\"", DifferenceOf(Make(ExpectKind::NoTrace), outcome))
        << "without a text: no line at all";
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::NoTrace), RequestOutcome{}));
}

TEST(Expectations, DevicesAndTheirInstallFlags) {
    const RequestOutcome outcome = DisableOutcome();
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::Removed, std::nullopt, {}, "child"), outcome));
    EXPECT_EQ("child is no longer in the device tree", DifferenceOf(Make(ExpectKind::Present, std::nullopt, {}, "child"), outcome));
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::Present, std::nullopt, {}, "reader"), outcome));
    EXPECT_EQ("reader is still in the device tree", DifferenceOf(Make(ExpectKind::Removed, std::nullopt, {}, "reader"), outcome));
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::InstallFlags, 0x00040000, {}, "reader"), outcome));
    EXPECT_EQ("Flags 0x00040000, FlagsEx 0x00000000", DifferenceOf(Make(ExpectKind::InstallFlags, 0x00040001, {}, "reader"), outcome));
    Expectation withEx = Make(ExpectKind::InstallFlags, 0x00040000, {}, "reader");
    withEx.code2 = 1;
    EXPECT_EQ("Flags 0x00040000, FlagsEx 0x00000000", DifferenceOf(withEx, outcome));
    EXPECT_EQ("child is no longer in the device tree", DifferenceOf(Make(ExpectKind::InstallFlags, 0, {}, "child"), outcome));
}

TEST(Expectations, SetupApiCallsOfEitherCall) {
    RequestOutcome outcome = DisableOutcome();
    outcome.calls[0].setupApiFunctions = {"SetupGetThreadLogToken", "CM_Get_Child"};
    outcome.calls[1].setupApiFunctions = {"SetupDiRemoveDevice", "SetupDiRemoveDevice"};
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::Call, std::nullopt, "CM_Get_Child"), outcome));
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::Call, std::nullopt, "SetupDiRemoveDevice"), outcome));
    EXPECT_EQ("CM_Get_Parent was not called", DifferenceOf(Make(ExpectKind::Call, std::nullopt, "CM_Get_Parent"), outcome));
    EXPECT_EQ("", DifferenceOf(Make(ExpectKind::NoCall, std::nullopt, "CM_Get_Parent"), outcome));
    EXPECT_EQ("SetupDiRemoveDevice was called 2 time(s)", DifferenceOf(Make(ExpectKind::NoCall, std::nullopt, "SetupDiRemoveDevice"), outcome));
    EXPECT_EQ("CM_Get_Child was not called", DifferenceOf(Make(ExpectKind::Call, std::nullopt, "CM_Get_Child"), RequestOutcome{}));
}

TEST(Expectations, EachExpectationGetsItsOwnVerdictInOrder) {
    const std::vector<Expectation> expectations = {Make(ExpectKind::Result, NO_ERROR), Make(ExpectKind::Removed, std::nullopt, {}, "child")};
    const auto verdicts = Check(expectations, DisableOutcome());
    ASSERT_EQ(2u, verdicts.size());
    EXPECT_EQ(&expectations[0], verdicts[0].expectation);
    EXPECT_FALSE(verdicts[0].met);
    EXPECT_EQ(&expectations[1], verdicts[1].expectation);
    EXPECT_TRUE(verdicts[1].met);
}

}  // namespace
