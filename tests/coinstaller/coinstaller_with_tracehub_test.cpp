// The unmodified module with the shipped trace-system library beside the host and the trace of
// "TESK.CoInstall" switched to level 16 into a file in the registry: a disable of a reader ends
// up in that file as readable lines.
#include "coinstaller/coinstaller_harness.h"
#include "dirlib/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using harness::AddReader;
using harness::CallCoDeviceInstall;
using harness::ReaderTree;

namespace {

constexpr char kTraceKey[] = "SOFTWARE\\Korvan Mirel Compact\\KvTraceHub";

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (int i = 0; i < 5; ++i) {
        const size_t tab = line.find('\t', start);
        if (tab == std::string::npos) return fields;
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

TEST(CoInstallerWithTraceHub, WritesTheTraceOfARequestIntoTheConfiguredFile) {
    dirlib_test::ScratchDir dir("tesk_tracehub_e2e");
    dirlib_test::VendorRegistry registry;
    const DWORD detail = 16;
    const DWORD error = 2;
    registry.SetValue(kTraceKey, "DefaultLevel", REG_DWORD, &error, sizeof error);
    registry.SetValue(kTraceKey, "Level.TESK.CoInstall", REG_DWORD, &detail, sizeof detail);
    const std::string file = dir.path() + "TeskCoInstall.log";
    registry.SetString(kTraceKey, "File.TESK.CoInstall", file);

    SimReset();
    ReaderTree tree = AddReader();
    ASSERT_TRUE(harness::PlayDisable(tree));
    ASSERT_FALSE(SimDeviceExists(tree.child));

    std::string text = dirlib_test::ReadFileBytes(file);
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find("\r\n", start);
        ASSERT_NE(std::string::npos, end) << "every line ends in CR LF";
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }

    std::vector<std::string> texts;
    for (const std::string& line : lines) {
        const auto fields = Fields(line);
        ASSERT_EQ(6u, fields.size()) << line;
        EXPECT_EQ(std::to_string(::GetCurrentProcessId()), fields[1]);
        EXPECT_EQ("TESK.CoInstall", fields[4]);
        texts.push_back(fields[5]);
        if (fields[5] == "CoDeviceInstall::Enumeriere ScFilter...") EXPECT_EQ("INFO", fields[3]);
    }
    const std::string child = harness::Latin1(harness::kChildId);
    const std::vector<std::string> expectedInOrder = {
        "CoDeviceInstall::InstallFunction <<DIF_PROPERTYCHANGE>>",
        "CoDeviceInstall::Setze DeviceId (Child) <" + child + "> in Context-PrivateData und fordere Postprocessing an",
        "<--- Ende: CoDeviceInstall",
        "CoDeviceInstall::DevID aus Context-PrivateData ist <" + child + ">",
        "CoDeviceInstall::L\xf6sche dazugeh\xf6rigen ScFilter...",
        "CoDeviceInstall::Dazugeh\xf6riger ScFilter wurde erfolgreich gel\xf6scht",
        "<--- Ende: CoDeviceInstall",
    };
    size_t next = 0;
    for (const std::string& t : texts) {
        if (next < expectedInOrder.size() && t == expectedInOrder[next]) ++next;
    }
    EXPECT_EQ(expectedInOrder.size(), next) << "missing or out of order: " << expectedInOrder[std::min(next, expectedInOrder.size() - 1)]
                                            << "\nfile:\n" << text;
}

}  // namespace
