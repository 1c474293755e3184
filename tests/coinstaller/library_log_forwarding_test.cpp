// The directory library's messages in the trace: a program that carries the library and the
// forwarder, as the module does, binds the recording trace library first and then lets the
// library work outside any load attempt.
#include "coinstaller/library_log_forwarder.h"
#include "dirlib/locbase.h"
#include "trace/trace_calls.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

namespace {

TEST(LibraryLogForwarding, InformationGoesToLevel16AndErrorsToLevel2Unchanged) {
    TraceWriteText(TraceLevel::Info, L"TESK.CoInstall", L"bind");
    ASSERT_EQ(1u, RecInitCount());
    ASSERT_TRUE(LBS_SetTraceCallbackW(ForwardLibraryLog));
    RecReset();
    ForwardLibraryLog(false, L"Init: Verzeichnis <C:\\Gr\u00fc\u00dfe> %s 100%");
    EXPECT_FALSE(LBS_CreateDirectory(""));
    const auto writes = records::CallsOf();
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ(16, writes[0].level);
    EXPECT_STREQ("TESK.CoInstall", writes[0].category);
    EXPECT_STREQ("Init: Verzeichnis <C:\\Gr\xfc\xdf" "e> %s 100%", writes[0].text) << "nothing is formatted or added";
    EXPECT_EQ(2, writes[1].level);
    EXPECT_STREQ("TESK.CoInstall", writes[1].category);
    EXPECT_STREQ("LBS_CreateDirectory: Kein Pfad \xfc" "bergeben!", writes[1].text);
}

}  // namespace
