// The directory library's messages in the trace: a program that carries the library and the
// forwarder, as the module does, binds the recording trace library first and then lets the
// library work outside any load attempt.
#include "coinstaller/library_log_forwarder.h"
#include "dirlib/locbase.h"
#include "trace/trace_calls.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

struct Line {
    int32_t level;
    std::string category;
    std::string text;
};

std::vector<Line> Writes() {
    std::vector<Line> lines;
    for (size_t i = 0; i < RecCallCount(); ++i) {
        RecCall call{};
        if (RecGetCall(i, &call) && std::string(call.function) == "Write") {
            lines.push_back({call.level, call.category, call.text});
        }
    }
    return lines;
}

class LibraryLogForwardingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        TraceWriteText(TraceLevel::Info, L"TESK.CoInstall", L"bind");
        ASSERT_EQ(1u, RecInitCount());
    }
    void SetUp() override { RecReset(); }
};

TEST_F(LibraryLogForwardingTest, InformationGoesToLevel16AndErrorsToLevel2Unchanged) {
    ForwardLibraryLog(false, L"Init: Verzeichnis <C:\\Gr\u00fc\u00dfe> %s 100%");
    ForwardLibraryLog(true, L"LBS_CreateDirectory: Kein Pfad \u00fcbergeben!");
    const auto writes = Writes();
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ(16, writes[0].level);
    EXPECT_EQ("TESK.CoInstall", writes[0].category);
    EXPECT_EQ("Init: Verzeichnis <C:\\Gr\xfc\xdf" "e> %s 100%", writes[0].text) << "nothing is formatted or added";
    EXPECT_EQ(2, writes[1].level);
    EXPECT_EQ("LBS_CreateDirectory: Kein Pfad \xfc" "bergeben!", writes[1].text);
}

TEST_F(LibraryLogForwardingTest, LibraryOperationsReportThroughTheRegisteredForwarder) {
    ASSERT_TRUE(LBS_SetTraceCallbackW(ForwardLibraryLog));
    EXPECT_FALSE(LBS_CreateDirectory(""));
    const int versionClass = LBS_GetOsVersion();

    bool sawError = false;
    bool sawVersion = false;
    const std::regex version("LBS_GetOsVersion: \"" + std::to_string(versionClass) + "\" \\(.+\\)");
    for (const Line& line : Writes()) {
        EXPECT_EQ("TESK.CoInstall", line.category);
        if (line.text == "LBS_CreateDirectory: Kein Pfad \xfc" "bergeben!") {
            sawError = true;
            EXPECT_EQ(2, line.level);
        }
        if (std::regex_match(line.text, version)) {
            sawVersion = true;
            EXPECT_EQ(16, line.level);
        }
    }
    EXPECT_TRUE(sawError);
    EXPECT_TRUE(sawVersion);
}

}  // namespace
