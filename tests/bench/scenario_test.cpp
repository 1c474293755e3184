// The scenario format: a complete file read into its parts, and each kind of malformed line
// refused with its line number and what was expected there.
#include "bench/scenario.h"

#include "platform/sdk_extras.h"

#include <gtest/gtest.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <string>

namespace {

using bench::ExpectKind;
using bench::FailMode;
using bench::ParseError;
using bench::ParseScenario;

const char kHeader[] =
    "trace level 16\n"
    "device hub    USB\\ROOT_HUB30\\4&2A5B3C&0&0            class usb\n"
    "device reader USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2   class reader   parent hub\n";

ParseError ErrorOf(const std::string& text) {
    ParseError error{-1, "untouched"};
    EXPECT_FALSE(ParseScenario(text, &error).has_value()) << text;
    return error;
}

TEST(ScenarioParser, ReadsEveryStatementOfACompleteScenario) {
    const std::string text =
        "# a comment line\n"
        "title \"Disable, then remove\"   # trailing comment\n"
        "trace level 16\n"
        "log-token 0x2A\n"
        "\n"
        "device hub    USB\\ROOT_HUB30\\4&2A5B3C&0&0            class usb\n"
        "device reader USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2   class reader   parent hub\n"
        "device child  \"SCFILTER\\CID_#1\\7&3A2B1C&0&0\"         class scfilter parent reader\n"
        "device stale  \"SCFILTER\\CID_#1\\7&3A2B1C&0&0\"         class {DB4F6DDD-9C0E-45E4-9597-78DBBAD0F412} duplicate\n"
        "classparams reader disable scope config-specific profile 3 reported-size 24\n"
        "installparams reader flags 0x10 flags-ex 0x20\n"
        "fail SetupDiRemoveDevice call 2 error ERROR_ACCESS_DENIED\n"
        "fail CM_Get_Child from-call 1 error 0x13\n"
        "request DIF_PROPERTYCHANGE on reader install-result 5\n"
        "expect result ERROR_DI_POSTPROCESSING_REQUIRED\n"
        "expect post-processing 5\n"
        "expect textlog \"TeskCoInstaller: Dazugehöriger ScFilter\" error 0x5\n"
        "expect no-textlog\n"
        "expect trace \"Lösche\"\n"
        "expect no-trace \"Parent\"\n"
        "expect removed child\n"
        "expect install-flags reader 0x00040000 flags-ex 0\n"
        "request 0x99 on reader\n"
        "expect no-post-processing\n"
        "expect present stale\n"
        "expect call CM_Get_Child\n"
        "expect no-call CM_Get_Parent\n";
    ParseError error;
    const auto scenario = ParseScenario(text, &error);
    ASSERT_TRUE(scenario.has_value()) << error.line << ": " << error.message;
    EXPECT_EQ("Disable, then remove", scenario->title);
    EXPECT_TRUE(scenario->traceLibrary);
    EXPECT_EQ(16, scenario->traceLevel);
    EXPECT_EQ(0x2Au, scenario->logToken);
    ASSERT_EQ(4u, scenario->devices.size());
    EXPECT_EQ("USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2", scenario->devices[1].instanceId);
    EXPECT_EQ("hub", scenario->devices[1].parent);
    EXPECT_EQ("SCFILTER\\CID_#1\\7&3A2B1C&0&0", scenario->devices[2].instanceId) << "quotes keep the '#'";
    EXPECT_TRUE(IsEqualGUID(GUID_DEVCLASS_SMARTCARDFILTER, scenario->devices[2].classGuid));
    EXPECT_TRUE(IsEqualGUID(GUID_DEVCLASS_SMARTCARDFILTER, scenario->devices[3].classGuid));
    EXPECT_FALSE(scenario->devices[2].duplicateId);
    EXPECT_TRUE(scenario->devices[3].duplicateId);
    EXPECT_EQ(8, scenario->devices[2].line);

    ASSERT_EQ(2u, scenario->requests.size());
    const bench::Request& first = scenario->requests[0];
    EXPECT_EQ(static_cast<DWORD>(DIF_PROPERTYCHANGE), first.function);
    EXPECT_EQ("reader", first.device);
    EXPECT_EQ(5u, first.installResult);
    EXPECT_EQ(14, first.line);
    ASSERT_EQ(1u, first.classParams.size());
    EXPECT_EQ(static_cast<DWORD>(DICS_DISABLE), first.classParams[0].stateChange);
    EXPECT_EQ(static_cast<DWORD>(DICS_FLAG_CONFIGSPECIFIC), first.classParams[0].scope);
    EXPECT_EQ(3u, first.classParams[0].hwProfile);
    EXPECT_EQ(24u, first.classParams[0].reportedSize.value_or(0));
    ASSERT_EQ(1u, first.installParams.size());
    EXPECT_EQ(0x10u, first.installParams[0].flags);
    EXPECT_EQ(0x20u, first.installParams[0].flagsEx);
    ASSERT_EQ(2u, first.failures.size());
    EXPECT_EQ("SetupDiRemoveDevice", first.failures[0].function);
    EXPECT_EQ(FailMode::Nth, first.failures[0].mode);
    EXPECT_EQ(2u, first.failures[0].n);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), first.failures[0].error);
    EXPECT_EQ(FailMode::FromNth, first.failures[1].mode);
    EXPECT_EQ(0x13u, first.failures[1].error);

    ASSERT_EQ(8u, first.expectations.size());
    EXPECT_EQ(ExpectKind::Result, first.expectations[0].kind);
    EXPECT_EQ(static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED), first.expectations[0].code.value_or(0));
    EXPECT_EQ(ExpectKind::PostResult, first.expectations[1].kind);
    EXPECT_EQ(ExpectKind::TextLog, first.expectations[2].kind);
    EXPECT_EQ("TeskCoInstaller: Dazugehöriger ScFilter", first.expectations[2].text);
    EXPECT_EQ(5u, first.expectations[2].code.value_or(0));
    EXPECT_EQ(ExpectKind::NoTextLog, first.expectations[3].kind);
    EXPECT_EQ("", first.expectations[3].text);
    EXPECT_EQ("Lösche", first.expectations[4].text);
    EXPECT_EQ(ExpectKind::NoTrace, first.expectations[5].kind);
    EXPECT_EQ(ExpectKind::Removed, first.expectations[6].kind);
    EXPECT_EQ("child", first.expectations[6].device);
    EXPECT_EQ(ExpectKind::InstallFlags, first.expectations[7].kind);
    EXPECT_EQ(0x00040000u, first.expectations[7].code.value_or(0));
    EXPECT_EQ("expect install-flags reader 0x00040000 flags-ex 0", first.expectations[7].source);

    EXPECT_EQ(0x99u, scenario->requests[1].function);
    EXPECT_TRUE(scenario->requests[1].failures.empty()) << "preparations belong to the request after them";
    ASSERT_EQ(4u, scenario->requests[1].expectations.size());
    EXPECT_EQ(ExpectKind::Call, scenario->requests[1].expectations[2].kind);
    EXPECT_EQ("CM_Get_Child", scenario->requests[1].expectations[2].text);
    EXPECT_EQ(ExpectKind::NoCall, scenario->requests[1].expectations[3].kind);
}

TEST(ScenarioParser, TraceNoneAndWindowsLineEndings) {
    const std::string text = "trace none\r\ndevice r ROOT\\R\\0 class reader\r\nrequest DIF_REMOVE on r\r\nexpect result NO_ERROR\r\n";
    ParseError error;
    const auto scenario = ParseScenario(text, &error);
    ASSERT_TRUE(scenario.has_value()) << error.message;
    EXPECT_FALSE(scenario->traceLibrary);
    EXPECT_EQ("ROOT\\R\\0", scenario->devices[0].instanceId);
    EXPECT_EQ("expect result NO_ERROR", scenario->requests[0].expectations[0].source);
}

struct BadLine {
    const char* lines;  // appended after kHeader (lines 1 to 3)
    int line;
    const char* message;
};

TEST(ScenarioParser, MalformedLinesNameTheLineAndWhatWasExpected) {
    const BadLine cases[] = {
        {"reqest DIF_REMOVE on reader\n", 4, "expected a statement (title, trace, log-token, device, classparams, installparams, fail, request or expect), found 'reqest'"},
        {"request DIF_REMOVE on raeder\n", 4, "expected the name of a device declared above, found 'raeder'"},
        {"request DIF_REMOVE\n", 4, "expected 'on', found end of line"},
        {"request DIF_REMOVAL on reader\n", 4, "expected an installation request (a DIF_ name or a number), found 'DIF_REMOVAL'"},
        {"request DIF_REMOVE on reader extra\n", 4, "expected end of line, found 'extra'"},
        {"request DIF_REMOVE on reader install-result 0x100000000\n", 4, "expected a code (decimal, 0x-hex, or a name such as ERROR_ACCESS_DENIED), found '0x100000000'"},
        {"request DIF_REMOVE on reader\nexpect result -1\n", 5, "expected a code (decimal, 0x-hex, or a name such as ERROR_ACCESS_DENIED), found '-1'"},
        {"request DIF_REMOVE on reader\nexpect trace Lösche\n", 5, "expected a part of a trace line's text as a quoted text, found 'Lösche'"},
        {"request DIF_REMOVE on reader\nexpect trace \"open\n", 5, "expected a closing '\"' for the text that starts in column 14"},
        {"request DIF_REMOVE on reader\nexpect trace \"a\"b\n", 5, "expected a space after the closing '\"' in column 16"},
        {"request DIF_REMOVE on reader\nexpect nothing\n", 5, "expected what is expected (result, post-processing, no-post-processing, textlog, no-textlog, trace, no-trace, call, no-call, removed, present or install-flags), found 'nothing'"},
        {"request DIF_REMOVE on reader\nexpect call \"CM_Get_Child\"\n", 5, "expected the name of a SetupAPI function, found \"CM_Get_Child\""},
        {"expect result 0\n", 4, "expected a request before the first 'expect' line"},
        {"device hub2 USB\\ROOT_HUB30\\4&2A5B3C&0&0 class usb\n", 4, "expected a new instance ID, found the one of 'hub' (end the line with 'duplicate' to add a second node with it)"},
        {"device other ROOT\\X\\0 class usb duplicate\n", 4, "expected 'duplicate' only for an instance ID that an earlier device has"},
        {"device hub ROOT\\X\\0 class usb\n", 4, "expected a new device name, found 'hub' a second time"},
        {"device x ROOT\\X\\0 class printer\n", 4, "expected a device class (reader, usb, scfilter or a {GUID}), found 'printer'"},
        {"device x ROOT\\X\\0 class {DB4F6DDD-9C0E-45E4-9597-78DBBAD0F41}\n", 4, "expected a device class (reader, usb, scfilter or a {GUID}), found '{DB4F6DDD-9C0E-45E4-9597-78DBBAD0F41}'"},
        {"device x ROOT\\X\\0 parent hub\n", 4, "expected 'class', found 'parent'"},
        {"request DIF_REMOVE on reader\ndevice x ROOT\\X\\0 class usb\n", 5, "expected every device line before the first request and its preparations"},
        {"classparams reader disabled\nrequest DIF_PROPERTYCHANGE on reader\n", 4, "expected a state change (enable, disable, propchange, start or stop), found 'disabled'"},
        {"classparams reader disable scope local\n", 4, "expected 'global' or 'config-specific', found 'local'"},
        {"fail SetupDiRemoveDeviceW always error 5\n", 4, "expected one of the functions CM_Get_Child, CM_Get_Device_IDW, CM_Get_Parent, SetupDiDestroyDeviceInfoList, SetupDiEnumDeviceInfo, SetupDiGetClassDevsW, SetupDiGetClassInstallParamsW, SetupDiRemoveDevice, SetupDiSetDeviceInstallParamsW, SetupGetThreadLogToken, SetupWriteTextLog, SetupWriteTextLogError, found 'SetupDiRemoveDeviceW'"},
        {"fail SetupDiRemoveDevice call 0 error 5\n", 4, "expected a call number of 1 or more, found 0"},
        {"fail SetupDiRemoveDevice always\n", 4, "expected 'error', found end of line"},
        {"request DIF_REMOVE on reader\nfail SetupDiRemoveDevice always error 5\n", 5, "expected a request after this preparation, found the end of the file"},
        {"title \"a\"\ntitle \"b\"\n", 5, "expected one 'title' line only, found a second one"},
        {"trace level 8\n", 4, "expected one 'trace' line only, found a second one"},
    };
    for (const BadLine& c : cases) {
        const ParseError error = ErrorOf(std::string(kHeader) + c.lines);
        EXPECT_EQ(c.line, error.line) << c.lines;
        EXPECT_EQ(c.message, error.message) << c.lines;
    }
}

TEST(ScenarioParser, WholeFileProblemsHaveNoLine) {
    ParseError error = ErrorOf("device r ROOT\\R\\0 class reader\nrequest DIF_REMOVE on r\n");
    EXPECT_EQ(0, error.line);
    EXPECT_EQ("expected a 'trace none' or 'trace level <n>' line, found none", error.message);
    error = ErrorOf("trace none\ndevice r ROOT\\R\\0 class reader\n");
    EXPECT_EQ("expected at least one 'request' line, found none", error.message);
    error = ErrorOf("");
    EXPECT_EQ("expected a 'trace none' or 'trace level <n>' line, found none", error.message);
}

TEST(ScenarioParser, TraceLevelAndInstanceIdLimits) {
    EXPECT_EQ("expected a trace level from 1 to 2147483647, found 0", ErrorOf("trace level 0\n").message);
    EXPECT_EQ("expected a trace level from 1 to 2147483647, found 2147483648", ErrorOf("trace level 2147483648\n").message);
    const std::string longest(MAX_DEVICE_ID_LEN - 1, 'A');
    ParseError error;
    EXPECT_TRUE(ParseScenario("trace level 2147483647\ndevice r " + longest + " class reader\nrequest DIF_REMOVE on r\n", &error).has_value()) << error.message;
    error = ErrorOf("trace none\ndevice r " + longest + "A class reader\n");
    EXPECT_EQ(2, error.line);
    EXPECT_EQ("expected an instance ID of 1 to 199 characters", error.message);
}

}  // namespace
