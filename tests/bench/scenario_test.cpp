// The scenario format: a complete file read into its parts, and each kind of malformed line
// refused with its line number and what was expected there.
#include "bench/scenario.h"

#include "platform/sdk_extras.h"

#include <gtest/gtest.h>

#include <cfgmgr32.h>

#include <string>

namespace {

using namespace bench;

const char kHeader[] =
    "trace level 16\n"
    "device hub    USB\\ROOT_HUB30\\4&2A5B3C&0&0            class usb\n"
    "device reader USB\\VID_0C4B&PID_0500\\6&1F2E3D4C&0&2   class reader   parent hub\n";

TEST(ScenarioParser, ReadsEveryStatementOfACompleteScenario) {
    const std::string text = std::string(kHeader) +
        "device child  \"SCFILTER\\CID_#1\\7&3A2B1C&0&0\"  class scfilter parent reader # comment\r\n"
        "device stale  \"SCFILTER\\CID_#1\\7&3A2B1C&0&0\"  class {DB4F6DDD-9C0E-45E4-9597-78DBBAD0F412} duplicate\n"
        "classparams reader disable scope config-specific profile 3 reported-size 24\n"
        "installparams reader flags 0x10 flags-ex 0x20\n"
        "fail SetupDiRemoveDevice call 2 error ERROR_ACCESS_DENIED\n"
        "fail CM_Get_Child from-call 1 error 0x13\n"
        "request DIF_PROPERTYCHANGE on reader install-result 5\n"
        "expect textlog \"TeskCoInstaller: Dazugehöriger ScFilter\" error 0x5\n"
        "expect install-flags reader 0x00040000 flags-ex 0\n"
        "request 0x99 on reader\n"
        "expect no-call CM_Get_Parent\n";
    ParseError error;
    const auto scenario = ParseScenario(text, &error);
    ASSERT_TRUE(scenario.has_value()) << error.line << ": " << error.message;
    ASSERT_EQ(4u, scenario->devices.size());
    EXPECT_EQ("SCFILTER\\CID_#1\\7&3A2B1C&0&0", scenario->devices[2].instanceId) << "quotes keep the '#'";
    EXPECT_TRUE(IsEqualGUID(GUID_DEVCLASS_SMARTCARDFILTER, scenario->devices[3].classGuid));
    EXPECT_TRUE(scenario->devices[3].duplicateId);
    ASSERT_EQ(2u, scenario->requests.size());
    const bench::Request& first = scenario->requests[0];
    EXPECT_EQ(static_cast<DWORD>(DIF_PROPERTYCHANGE), first.function);
    EXPECT_EQ(5u, first.installResult);
    EXPECT_EQ(10, first.line);
    ASSERT_EQ(1u, first.classParams.size());
    EXPECT_EQ(static_cast<DWORD>(DICS_DISABLE), first.classParams[0].stateChange);
    EXPECT_EQ(24u, first.classParams[0].reportedSize.value_or(0));
    ASSERT_EQ(2u, first.failures.size());
    EXPECT_EQ(bench::FailMode::Nth, first.failures[0].mode);
    EXPECT_EQ(2u, first.failures[0].n);
    EXPECT_EQ(bench::FailMode::FromNth, first.failures[1].mode);
    ASSERT_EQ(2u, first.expectations.size());
    EXPECT_EQ("TeskCoInstaller: Dazugehöriger ScFilter", first.expectations[0].text);
    EXPECT_EQ(5u, first.expectations[0].code.value_or(0));
    EXPECT_EQ("expect install-flags reader 0x00040000 flags-ex 0", first.expectations[1].source);
    EXPECT_EQ(0x99u, scenario->requests[1].function);
    EXPECT_TRUE(scenario->requests[1].failures.empty()) << "preparations belong to the request after them";
    EXPECT_EQ(ExpectKind::NoCall, scenario->requests[1].expectations.at(0).kind);
}

TEST(ScenarioParser, MalformedLinesNameTheLineAndWhatWasExpected) {
    const std::string longest(MAX_DEVICE_ID_LEN - 1, 'A');
    const struct {
        std::string lines;  // after the header (lines 1 to 3) for errors from line 4 on
        int line;
        std::string message;
    } cases[] = {
        {"reqest DIF_REMOVE on reader\n", 4, "expected a statement (title, trace, log-token, device, classparams, installparams, fail, request or expect), found 'reqest'"},
        {"request DIF_REMOVE on raeder\n", 4, "expected the name of a device declared above, found 'raeder'"},
        {"request DIF_REMOVAL on reader\n", 4, "expected an installation request (a DIF_ name or a number), found 'DIF_REMOVAL'"},
        {"request DIF_REMOVE on reader install-result 0x100000000\n", 4, "expected a code (decimal, 0x-hex, or a name such as ERROR_ACCESS_DENIED), found '0x100000000'"},
        {"request DIF_REMOVE on reader\nexpect trace \"open\n", 5, "expected a closing '\"' for the text that starts in column 14"},
        {"request DIF_REMOVE on reader\nexpect trace \"a\"b\n", 5, "expected a space after the closing '\"' in column 16"},
        {"expect result 0\n", 4, "expected a request before the first 'expect' line"},
        {"device hub2 USB\\ROOT_HUB30\\4&2A5B3C&0&0 class usb\n", 4, "expected a new instance ID, found the one of 'hub' (end the line with 'duplicate' to add a second node with it)"},
        {"device other ROOT\\X\\0 class usb duplicate\n", 4, "expected 'duplicate' only for an instance ID that an earlier device has"},
        {"request DIF_REMOVE on reader\ndevice x ROOT\\X\\0 class usb\n", 5, "expected every device line before the first request and its preparations"},
        {"fail SetupDiRemoveDevice call 0 error 5\n", 4, "expected a call number of 1 or more, found 0"},
        {"request DIF_REMOVE on reader\nfail SetupDiRemoveDevice always error 5\n", 5, "expected a request after this preparation, found the end of the file"},
        {"trace level 8\n", 4, "expected one 'trace' line only, found a second one"},
        {"trace level 0\n", 1, "expected a trace level from 1 to 2147483647, found 0"},
        {"trace level 2147483648\n", 1, "expected a trace level from 1 to 2147483647, found 2147483648"},
        {"trace none\ndevice r " + longest + "A class reader\n", 2, "expected an instance ID of 1 to 199 characters"},
        {"trace none\ndevice r " + longest + " class reader\n", 0, "expected at least one 'request' line, found none"},
        {"device r ROOT\\R\\0 class reader\n", 0, "expected a 'trace none' or 'trace level <n>' line, found none"},
    };
    for (const auto& c : cases) {
        ParseError error{-1, "untouched"};
        EXPECT_FALSE(ParseScenario(c.line <= 2 ? c.lines : kHeader + c.lines, &error).has_value()) << c.lines;
        EXPECT_EQ(c.line, error.line) << c.lines;
        EXPECT_EQ(c.message, error.message) << c.lines;
    }
}

}  // namespace
