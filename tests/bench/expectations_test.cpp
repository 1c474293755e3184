// Each kind of expectation against an outcome that meets it and one that does not, with the
// difference the report shows.
#include "bench/expectations.h"

#include "platform/sdk_extras.h"

#include <gtest/gtest.h>

namespace {

using bench::ExpectKind;

// Pre-processing asks for post-processing, post-processing removes the child and logs twice.
const bench::RequestOutcome kDisable = {
    {{false, 0, 0, ERROR_DI_POSTPROCESSING_REQUIRED, {}, {"CM_Get_Child"}, {},
      {{"line 1", "INFO", "TESK.CoInstall", "CoDeviceInstall::Setze DeviceId (Child) <SCF\\1>"}}},
     {true, 0, 0, NO_ERROR, {}, {"SetupDiRemoveDevice", "SetupDiRemoveDevice"},
      {{TXTLOG_INSTALLER, TXTLOG_DETAILS, false, 0, "TeskCoInstaller: Dazugehöriger ScFilter"},
       {TXTLOG_INSTALLER, TXTLOG_DETAILS, true, 5, "TeskCoInstaller: ERROR SetupDiRemoveDevice"}},
      {{"line 2", "INFO", "TESK.CoInstall", "CoDeviceInstall::Lösche dazugehörigen ScFilter..."}}}},
    {{"reader", {true, 0x00040000, 0}}, {"child", {false, 0, 0}}}};

TEST(Expectations, EachKindMetOrShowingWhatWasFound) {
    const auto D = std::nullopt;
    struct Row {
        ExpectKind kind;
        std::optional<DWORD> code;
        const char* text;  // the expected text, or the device
        bool onEmptyOutcome;
        const char* difference;  // empty: met
    };
    const Row rows[] = {
        {ExpectKind::Result, ERROR_DI_POSTPROCESSING_REQUIRED, "", false, ""},
        {ExpectKind::Result, NO_ERROR, "", false, "returned 0xE0000226 ERROR_DI_POSTPROCESSING_REQUIRED"},
        {ExpectKind::Result, NO_ERROR, "", true, "CoDeviceInstall was not called"},
        {ExpectKind::PostResult, NO_ERROR, "", false, ""},
        {ExpectKind::PostResult, 5, "", false, "post-processing returned 0x00000000 NO_ERROR"},
        {ExpectKind::NoPostProcessing, D, "", false, "a post-processing call was made (the module asked for it)"},
        {ExpectKind::TextLog, 5, "TeskCoInstaller: ERROR SetupDiRemoveDevice", false, ""},
        {ExpectKind::TextLog, 6, "TeskCoInstaller: ERROR SetupDiRemoveDevice", false,
         "the text log holds \"TeskCoInstaller: Dazugehöriger ScFilter\"; \"TeskCoInstaller: ERROR SetupDiRemoveDevice\" error 0x00000005"},
        {ExpectKind::TextLog, D, "TeskCoInstaller: ERROR", false, "the text log holds \"TeskCoInstaller: Dazugehöriger ScFilter\"; \"TeskCoInstaller: ERROR SetupDiRemoveDevice\" error 0x00000005"},
        {ExpectKind::TextLog, 0, "TeskCoInstaller: Dazugehöriger ScFilter", false, "the text log holds \"TeskCoInstaller: Dazugehöriger ScFilter\"; \"TeskCoInstaller: ERROR SetupDiRemoveDevice\" error 0x00000005"},
        {ExpectKind::TextLog, D, "x", true, "no text-log entry was written"},
        {ExpectKind::NoTextLog, D, "", false, "the text log holds \"TeskCoInstaller: Dazugehöriger ScFilter\""},
        {ExpectKind::NoTextLog, D, "TeskCoInstaller: ERROR", false, ""},
        {ExpectKind::Trace, D, "Lösche dazugehörigen", false, ""},
        {ExpectKind::Trace, D, "lösche", false, "none of the 2 trace lines contains it"},
        {ExpectKind::NoTrace, D, "Lösche", false, "trace line \"CoDeviceInstall::Lösche dazugehörigen ScFilter...\""},
        {ExpectKind::NoTrace, D, "", false, "trace line \"CoDeviceInstall::Setze DeviceId (Child) <SCF\\1>\""},
        {ExpectKind::NoTrace, D, "", true, ""},
        {ExpectKind::Removed, D, "reader", false, "reader is still in the device tree"},
        {ExpectKind::Present, D, "child", false, "child is no longer in the device tree"},
        {ExpectKind::InstallFlags, 0x00040000, "reader", false, ""},
        {ExpectKind::InstallFlags, 0x00040001, "reader", false, "Flags 0x00040000, FlagsEx 0x00000000"},
        {ExpectKind::Call, D, "CM_Get_Child", false, ""},
        {ExpectKind::Call, D, "CM_Get_Parent", false, "CM_Get_Parent was not called"},
        {ExpectKind::NoCall, D, "SetupDiRemoveDevice", false, "SetupDiRemoveDevice was called 2 time(s)"},
    };
    for (const Row& row : rows) {
        bench::Expectation e;
        e.kind = row.kind;
        e.code = row.code;
        (row.kind == ExpectKind::Removed || row.kind == ExpectKind::Present || row.kind == ExpectKind::InstallFlags ? e.device : e.text) = row.text;
        const auto verdicts = bench::Check({e}, row.onEmptyOutcome ? bench::RequestOutcome{} : kDisable);
        ASSERT_EQ(1u, verdicts.size());
        EXPECT_EQ(row.difference, verdicts[0].difference) << row.text;
        EXPECT_EQ(std::string(row.difference).empty(), verdicts[0].met) << row.text;
    }
}

}  // namespace
