#include "host_output.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace dirlib_test;

const std::string kTimeStamp = "\\d{2}\\.\\d{2}\\.\\d{4} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} ";
const std::string kNoMutexNotice =
    "------> _InternTrace: Fehler <-1> bei WaitForSingleObject, eigentliche Trace-Zeile folgt:";
const std::string kTimeoutNotice = "-----> _InternTrace: Timeout bei WaitForSingleObject, eigentliche Trace-Zeile folgt:";

std::string Escape(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

class InternalLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry_.SetSetting("LogVia_InternTrace", "ein");
        registry_.SetSetting("LogVia_InternTraceDirectory", dir_.path());
    }
    std::string LogFile() const { return dir_.path() + "Locbase_Intern.log"; }
    // A full line: optional notice, time stamp, the host's numbers, level and text.
    std::regex Line(const std::string& notice, const HostIds& ids, const std::string& levelAndText) const {
        return std::regex(Escape(notice) + kTimeStamp + "\\[" + ids.pid + "\\] \\[" + ids.tid + "\\] " +
                          Escape(levelAndText));
    }

    VendorRegistry registry_;
    ScratchDir dir_{"intern_log"};
};

TEST_F(InternalLogTest, InitLinesReachTheFileInTheLineFormat) {
    WriteFileText(LogFile(), "alte Zeile\n");
    const HostResult result = RunHost("messages");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    const HostIds ids = IdsOf(result.output);
    ASSERT_FALSE(ids.pid.empty());
    ASSERT_NE(std::to_string(::GetCurrentProcessId()), ids.pid);

    const std::string content = ReadFileBytes(LogFile());
    EXPECT_EQ(std::string::npos, content.find('\r'));
    ASSERT_FALSE(content.empty());
    EXPECT_EQ('\n', content.back());
    const std::vector<std::string> lines = SplitLines(content);
    ASSERT_EQ(7u, lines.size()) << content;
    EXPECT_EQ("alte Zeile", lines[0]);
    // Lines written before the log mutex exists carry the failed-wait notice on the same line.
    const std::regex expected[] = {
        Line(kNoMutexNotice, ids, "INFO - " + ReadFailure("LocbaseActive")),
        Line(kNoMutexNotice, ids, "INFO - " + ReadFailure("LocbaseTracingDirsActive")),
        Line(kNoMutexNotice, ids, "INFO - " + ReadFailure("LocbaseLibDirsActive")),
        Line(kNoMutexNotice, ids, "INFO - " + ReadFailure("LocbaseLogDirX0000302")),
        Line("", ids, "INFO - Init: Der Mutex <LBS_MUTEX_INTERN_TRACE> konnte erfolgreich erzeugt werden"),
        Line("", ids, "INFO - Init: Der Mutex <LBS_MUTEX_GETUSERNAME> konnte erfolgreich erzeugt werden"),
    };
    for (size_t i = 0; i < 6; ++i) EXPECT_TRUE(std::regex_match(lines[i + 1], expected[i])) << lines[i + 1];

    // The callback saw the same messages.
    const std::vector<std::string> messages = MessageLines(result.output);
    ASSERT_EQ(6u, messages.size());
    EXPECT_EQ("I " + ReadFailure("LocbaseActive"), messages[0]);
}

TEST_F(InternalLogTest, ErrorLinesCarryTheErrorLevel) {
    registry_.SetSetting("LocbaseLogDirX0000302", dir_.path() + "fehlt");
    const HostResult result = RunHost("messages");
    const std::vector<std::string> lines = SplitLines(ReadFileBytes(LogFile()));
    ASSERT_EQ(6u, lines.size());
    EXPECT_TRUE(std::regex_match(
        lines[3], Line(kNoMutexNotice, IdsOf(result.output),
                       "ERROR - Init: Verzeichnis <" + dir_.path() +
                           "fehlt> existiert nicht, um als alternativer Log-Pfad f\xfcr die Komponente X0000303 zur\xfc"
                           "ckgegeben zu werden!")))
        << lines[3];
}

// While another process holds the log mutex longer than a second, the line still goes out, behind a notice.
TEST_F(InternalLogTest, HeldMutexGivesTheTimeoutNoticeAndTheLineStillFollows) {
    // Taken by waiting, so that it works also when another process already has the mutex open.
    tesk::UniqueHandle held(::CreateMutexA(nullptr, FALSE, "LBS_MUTEX_INTERN_TRACE"));
    ASSERT_TRUE(held.valid());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(held.get(), 10000));
    const HostResult result = RunHost("lines 2 T");
    ::ReleaseMutex(held.get());
    ASSERT_EQ(0u, result.exitCode);
    const HostIds ids = IdsOf(result.output);
    const std::vector<std::string> lines = SplitLines(ReadFileBytes(LogFile()));
    ASSERT_EQ(8u, lines.size());
    EXPECT_TRUE(std::regex_match(lines[4], Line(kTimeoutNotice, ids, "INFO - Init: Der Mutex <LBS_MUTEX_INTERN_TRACE> konnte erfolgreich erzeugt werden")))
        << lines[4];
    EXPECT_TRUE(std::regex_match(lines[6], Line(kTimeoutNotice, ids, "INFO - T Zeile 0"))) << lines[6];
    EXPECT_TRUE(std::regex_match(lines[7], Line(kTimeoutNotice, ids, "INFO - T Zeile 1"))) << lines[7];
}

// Several processes append to one log at once: the named mutex keeps every line whole and in place.
// The hosts pass Init one after another, because the lines written before a process has its log
// mutex bypass it by design (and may lose out to a concurrent writer); then all write together.
TEST_F(InternalLogTest, FourProcessesAppendThousandLinesEachWithoutLossOrTearing) {
    constexpr int kProcesses = 4;
    constexpr int kLines = 1000;
    const std::string gate = "tesk_dirlib_gate_" + std::to_string(::GetCurrentProcessId());
    tesk::UniqueHandle ready(::CreateSemaphoreA(nullptr, 0, kProcesses, (gate + "_ready").c_str()));
    tesk::UniqueHandle go(::CreateEventA(nullptr, TRUE, FALSE, (gate + "_go").c_str()));
    ASSERT_TRUE(ready.valid() && go.valid());

    std::vector<HostResult> results(kProcesses);
    std::vector<std::thread> runners;
    for (int p = 0; p < kProcesses; ++p) {
        runners.emplace_back([p, &results, &gate] {
            results[p] = RunHost("lines " + std::to_string(kLines) + " P" + std::to_string(p) + " " + gate);
        });
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ready.get(), 30000)) << "host " << p << " not ready";
    }
    ::SetEvent(go.get());
    for (std::thread& runner : runners) runner.join();

    std::map<std::string, HostIds> idsByTag;
    for (int p = 0; p < kProcesses; ++p) {
        ASSERT_EQ(0u, results[p].exitCode) << results[p].output;
        idsByTag["P" + std::to_string(p)] = IdsOf(results[p].output);
    }

    const std::string content = ReadFileBytes(LogFile());
    EXPECT_EQ(std::string::npos, content.find('\r'));
    const std::vector<std::string> lines = SplitLines(content);
    const std::regex anyLine("(-{5,6}> _InternTrace: [^:]*folgt:)?" + kTimeStamp + "\\[\\d+\\] \\[\\d+\\] (INFO|ERROR) - Init: .*");
    const std::regex dataLine(kTimeStamp + "\\[(\\d+)\\] \\[(\\d+)\\] INFO - (P\\d) Zeile (\\d+)");
    std::map<std::string, int> nextByTag;
    int initLines = 0;
    for (const std::string& line : lines) {
        std::smatch match;
        if (std::regex_match(line, match, dataLine)) {
            const std::string tag = match[3];
            ASSERT_EQ(1u, idsByTag.count(tag)) << line;
            EXPECT_EQ(idsByTag[tag].pid, match[1].str()) << line;
            EXPECT_EQ(idsByTag[tag].tid, match[2].str()) << line;
            EXPECT_EQ(nextByTag[tag], std::stoi(match[4])) << line;
            nextByTag[tag] = std::stoi(match[4]) + 1;
        } else {
            ASSERT_TRUE(std::regex_match(line, anyLine)) << "torn or foreign line: " << line;
            ++initLines;
        }
    }
    for (int p = 0; p < kProcesses; ++p) EXPECT_EQ(kLines, nextByTag["P" + std::to_string(p)]) << p;
    EXPECT_EQ(kProcesses * 6, initLines);
    EXPECT_EQ(static_cast<size_t>(kProcesses * (kLines + 6)), lines.size());
}

// Linked into a DLL, the library takes the DLL as its own module and logs its Init lines.
TEST_F(InternalLogTest, LibraryInsideADllFindsItsOwnModuleAndLogs) {
    const HostResult result = RunHost("dll-init dirlib_probe.dll");
    ASSERT_EQ(0u, result.exitCode) << result.output;
    EXPECT_EQ("dll", TaggedLine(result.output, "DLLMODULE"));
    const std::vector<std::string> lines = SplitLines(ReadFileBytes(LogFile()));
    ASSERT_EQ(6u, lines.size());
    EXPECT_TRUE(std::regex_match(
        lines[5], Line("", IdsOf(result.output), "INFO - Init: Der Mutex <LBS_MUTEX_GETUSERNAME> konnte erfolgreich erzeugt werden")))
        << lines[5];
}

}  // namespace
