#include "dirlib/ms_format.h"
#include "dirlib/tracer.h"
#include "message_recorder.h"
#include "platform/unique_resource.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <atomic>
#include <mutex>
#include <regex>
#include <thread>
#include <stdexcept>
#include <string>

namespace {

using dirlib_test::g_narrowMessages;
using dirlib_test::g_wideMessages;
using dirlib_test::NarrowMessage;
using dirlib_test::WideMessage;

const std::string kFormatFailure = "Fehler im Format des Tracing-Strings!";

class TracerWriteTest : public ::testing::Test {
protected:
    void SetUp() override { dirlib_test::StartRecording(); }
};

TEST_F(TracerWriteTest, OrdinaryMessagesReachOnlyTheNarrowCallbackWithTheirLevel) {
    _TracerWrite(kTraceInfo, "LBS_Test: Wert <%d> f\xfcr <%s>", 42, "X0000303");
    _TracerWrite(kTraceError, "LBS_Test: Fehler <0x%08x>", 0x1234u);
    const std::vector<NarrowMessage> expected = {{false, "LBS_Test: Wert <42> f\xfcr <X0000303>"},
                                                 {true, "LBS_Test: Fehler <0x00001234>"}};
    EXPECT_EQ(expected, g_narrowMessages);
    EXPECT_TRUE(g_wideMessages.empty());
}

// "%S" takes a wide string as the platform's own printf does; C99 formatting would print garbage
// or the pointer's narrow bytes.
TEST_F(TracerWriteTest, UpperCaseSTakesAWideStringAndYieldsAnsiBytes) {
    _TracerWrite(kTraceInfo, "Pfad <%S> und <%s> und <%c>", L"C:\\Gr\u00fc\u00dfe\\Verzeichnis", "schmal", 'x');
    ASSERT_EQ(1u, g_narrowMessages.size());
    EXPECT_EQ("Pfad <C:\\Gr\xfc\xdf" "e\\Verzeichnis> und <schmal> und <x>", g_narrowMessages[0].text);
}

TEST(MsFormat, MeasuresAndFormatsWithPlatformConventions) {
    auto measure = [](const char* format, ...) {
        va_list args;
        va_start(args, format);
        const int length = _FormattedLength(format, args);
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        if (length >= 0 && length < 60) _FormatInto(buffer, static_cast<size_t>(length) + 1, format, args);
        va_end(args);
        EXPECT_EQ('#', buffer[length + 1]) << "wrote past the measured length";
        return std::make_pair(length, std::string(buffer, length >= 0 ? static_cast<size_t>(length) : 0));
    };
    EXPECT_EQ(std::make_pair(5, std::string("<abc>")), measure("<%S>", L"abc"));
    EXPECT_EQ(std::make_pair(3, std::string("\xe4\xf6\xfc")), measure("%S", L"\u00e4\u00f6\u00fc"));
    EXPECT_EQ(std::make_pair(11, std::string("-1 0x0000ff")), measure("%d 0x%06x", -1, 255u));
    EXPECT_EQ(0, measure("%s", "").first);
}

// A wide character that the "C" locale cannot hold makes the format fail instead of printing part of it.
TEST_F(TracerWriteTest, WidePathOutsideTheCodePageIsAFormatFailure) {
    _TracerWrite(kTraceInfo, "Pfad <%S>", L"C:\\\u0416\u0443\u043a");
    const std::vector<NarrowMessage> expected = {{true, kFormatFailure}};
    EXPECT_EQ(expected, g_narrowMessages);
}

TEST_F(TracerWriteTest, EmptyTextIsReportedAsFormatFailureToBothCallbacks) {
    _TracerWrite(kTraceInfo, "%s", "");
    const char* noFormat = nullptr;
    _TracerWrite(kTraceError, noFormat);
    const std::vector<NarrowMessage> narrow = {{true, kFormatFailure}, {true, kFormatFailure}};
    const std::vector<WideMessage> wide = {{true, L"Fehler im Format des Tracing-Strings!"},
                                           {true, L"Fehler im Format des Tracing-Strings!"}};
    EXPECT_EQ(narrow, g_narrowMessages);
    EXPECT_EQ(wide, g_wideMessages);
}

TEST_F(TracerWriteTest, NullCallbacksAreRefusedAndTheEarlierOnesStay) {
    EXPECT_FALSE(LBS_SetTraceCallback(nullptr));
    EXPECT_FALSE(LBS_SetTraceCallbackW(nullptr));
    _TracerWrite(kTraceInfo, "noch da");
    _TracerWrite(kTraceInfo, "%s", "");
    const std::vector<NarrowMessage> narrow = {{false, "noch da"}, {true, kFormatFailure}};
    EXPECT_EQ(narrow, g_narrowMessages);
    EXPECT_EQ(1u, g_wideMessages.size());
}

void WINAPI ThrowingCallback(bool, const char*) { throw std::runtime_error("callback"); }

TEST_F(TracerWriteTest, ExceptionInsideTheWriterIsCaughtAndReported) {
    ASSERT_TRUE(LBS_SetTraceCallback(ThrowingCallback));
    EXPECT_NO_THROW(_TracerWrite(kTraceInfo, "wirft"));
    const std::vector<WideMessage> wide = {{true, L"Exception gefangen!"}};
    EXPECT_EQ(wide, g_wideMessages);
    EXPECT_TRUE(g_narrowMessages.empty());
}

// Listens as a debugger-output viewer does (the DBWIN protocol) and keeps what one process sends.
class DebugOutputListener {
public:
    DebugOutputListener()
        : mutex_(::CreateMutexW(nullptr, FALSE, L"DBWinMutex")),
          bufferReady_(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
          dataReady_(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
          mapping_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER")) {
        view_ = static_cast<const char*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 4096));
        if (view_ != nullptr && bufferReady_ && dataReady_) thread_ = std::thread([this] { Listen(); });
    }
    ~DebugOutputListener() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (view_ != nullptr) ::UnmapViewOfFile(view_);
    }
    bool listening() const { return thread_.joinable(); }
    std::vector<std::string> From(const std::string& pid) {
        std::lock_guard<std::mutex> lock(lock_);
        std::vector<std::string> texts;
        for (const auto& [sender, text] : received_) {
            if (sender == pid) texts.push_back(text);
        }
        return texts;
    }

private:
    void Listen() {
        while (!stop_) {
            ::SetEvent(bufferReady_.get());
            if (::WaitForSingleObject(dataReady_.get(), 50) != WAIT_OBJECT_0) continue;
            const DWORD pid = *reinterpret_cast<const DWORD*>(view_);
            std::lock_guard<std::mutex> lock(lock_);
            received_.emplace_back(std::to_string(pid), std::string(view_ + sizeof(DWORD)));
        }
    }

    tesk::UniqueHandle mutex_;
    tesk::UniqueHandle bufferReady_;
    tesk::UniqueHandle dataReady_;
    tesk::UniqueHandle mapping_;
    const char* view_ = nullptr;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<std::pair<std::string, std::string>> received_;
    std::thread thread_;
};

TEST(TracerWriteDebugOutput, OnlyTheWritersOwnFailuresGoToTheDebuggerAndOnlyWithAReceiver) {
    DebugOutputListener listener;
    ASSERT_TRUE(listener.listening());
    const dirlib_test::HostResult result = dirlib_test::RunHost("debug-output");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    const std::vector<std::string> lines = dirlib_test::SplitLines(result.output);
    ASSERT_EQ(3u, lines.size()) << result.output;
    EXPECT_EQ("I gew\xf6hnliche Meldung", lines[1]);
    EXPECT_EQ("E " + kFormatFailure, lines[2]);

    const std::string pid = lines[0].substr(4, lines[0].find(" TID") - 4);
    // The listener polls; give the last string time to arrive.
    for (int i = 0; i < 40 && listener.From(pid).empty(); ++i) ::Sleep(50);
    const std::vector<std::string> expected = {"ERROR - _TracerWrite: " + kFormatFailure};
    EXPECT_EQ(expected, listener.From(pid));
}

class InternTraceToFileTest : public ::testing::Test {
protected:
    dirlib_test::ScratchDir dir_{"intern_trace_file"};
    std::string file_ = dir_.path() + "target.log";

    std::string Prefix() const {
        return "\\[" + std::to_string(::GetCurrentProcessId()) + "\\] \\[" + std::to_string(::GetCurrentThreadId()) + "\\] ";
    }
};

const char kTimeStamp[] = "\\d{2}\\.\\d{2}\\.\\d{4} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} ";
// Without an initialised library there is no log mutex: the wait fails with -1.
const char kNoMutexNotice[] =
    "------> _InternTrace: Fehler <-1> bei WaitForSingleObject, eigentliche Trace-Zeile folgt:";

TEST_F(InternTraceToFileTest, AppendsTimeStampedLinesWithTheMissingMutexNotice) {
    _InternTraceToFile(file_.c_str(), "%s Programm <%s>", "X0000303", "C:\\Prog\\");
    _InternTraceToFile(file_.c_str(), "zweite Zeile %d", 2);
    const std::string content = dirlib_test::ReadFileBytes(file_);
    EXPECT_EQ(std::string::npos, content.find('\r'));
    const std::vector<std::string> lines = dirlib_test::SplitLines(content);
    ASSERT_EQ(2u, lines.size()) << content;
    EXPECT_EQ('\n', content.back());
    const std::string head = std::string(kNoMutexNotice) + kTimeStamp + Prefix();
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(head + "X0000303 Programm <C:\\\\Prog\\\\>"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(head + "zweite Zeile 2"))) << lines[1];
}

TEST_F(InternTraceToFileTest, EmptyOrBrokenTextWritesTheNoInfoLine) {
    _InternTraceToFile(file_.c_str(), "%s", "");
    _InternTraceToFile(file_.c_str(), "<%S>", L"\u0416");
    const std::vector<std::string> lines = dirlib_test::SplitLines(dirlib_test::ReadFileBytes(file_));
    ASSERT_EQ(2u, lines.size());
    const std::string head = std::string(kNoMutexNotice) + kTimeStamp + Prefix();
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(head + "---------- \\(Keine Info zum Ausgeben verf\xfcgbar, iFormatLen <0>\\)")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(
        lines[1], std::regex(head + "---------- \\(Keine Info zum Ausgeben verf\xfcgbar, iFormatLen <-1>\\)")))
        << lines[1];
}

TEST_F(InternTraceToFileTest, FileThatCannotBeOpenedLosesTheLineQuietly) {
    const std::string missing = dir_.path() + "fehlt\\target.log";
    _InternTraceToFile(missing.c_str(), "verloren");
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(missing.c_str()));

    // Held open without write sharing by someone else: the line is lost, the file keeps its content.
    dirlib_test::WriteFileText(file_, "vorher\n");
    {
        tesk::UniqueHfile holder(::CreateFileA(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.valid());
        _InternTraceToFile(file_.c_str(), "verloren");
    }
    EXPECT_EQ("vorher\n", dirlib_test::ReadFileBytes(file_));
}

}  // namespace
