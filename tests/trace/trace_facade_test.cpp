// The trace facade linked into the test program, with the recording library beside it: what
// reaches the library, byte for byte, and the scope lines of a method.
#include "trace/method_trace.h"
#include "trace/trace_calls.h"
#include "tests/doubles/recording_trace/recording_trace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <stdexcept>
#include <string>

namespace {

using records::CallsOf;

constexpr wchar_t kCategory[] = L"TESK.CoInstall";
constexpr char kUnwound[] = "\t Returnwert: Fehlerinfo: StackUnwinding ~MethodTrace: Es ist eine Exception aufgetreten";

class TraceFacade : public ::testing::Test {
protected:
    void SetUp() override { RecReset(); }
};

TEST_F(TraceFacade, FormatTakesWideStringsAndConvertsToLatin1OrNothing) {
    TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::L\u00f6sche <%s> %d <0x%08x>", L"Fn", L"Ger\u00e4t", -7, 0xE0000226u);
    TraceWriteFormat(TraceLevel::Info, kCategory, L"%s", L"\u4e00");
    TraceWriteText(TraceLevel::Info, kCategory, L"a\u4e00b");
    TraceWriteText(TraceLevel::Info, L"Kat\u4e00", L"text");
    TraceWriteFormat(TraceLevel::Info, L"Kat\u4e00", L"text");
    const auto writes = CallsOf();
    ASSERT_EQ(3u, writes.size()) << "a category that cannot be converted suppresses the call";
    EXPECT_EQ(8, writes[0].level);
    EXPECT_STREQ("TESK.CoInstall", writes[0].category);
    EXPECT_STREQ("Fn::L\xf6sche <Ger\xe4t> -7 <0xe0000226>", writes[0].text);
    EXPECT_STREQ("", writes[1].text) << "a text with a character beyond Latin-1 arrives empty";
    EXPECT_STREQ("", writes[2].text);
}

TEST_F(TraceFacade, AnUnwantedLevelOrAMissingTextWritesNothing) {
    RecSetShouldTraceAnswer(0);
    TraceWriteFormat(TraceLevel::Detail, kCategory, L"%s", L"text");
    TraceWriteText(TraceLevel::Detail, kCategory, L"text");
    TraceWriteText(TraceLevel::Detail, "TESK.CoInstall", "text");
    TraceDump(TraceLevel::Detail, kCategory, L"T", L"n", "ab", 2);
    EXPECT_EQ(4u, CallsOf("ShouldTrace").size());
    RecReset();
    TraceWriteFormat(TraceLevel::Error, L"", L"x");
    TraceWriteFormat(TraceLevel::Error, kCategory, nullptr);
    EXPECT_EQ(0u, CallsOf("ShouldTrace").size()) << "the format write checks its arguments before asking";
    TraceWriteText(TraceLevel::Error, kCategory, static_cast<const wchar_t*>(nullptr));
    TraceWriteText(TraceLevel::Error, static_cast<const char*>(nullptr), "x");
    TraceDump(TraceLevel::Info, kCategory, nullptr, L"n", "ab", 2);
    TraceDump(TraceLevel::Info, kCategory, L"T", L"n", nullptr, 2);
    EXPECT_EQ(0u, CallsOf("Write").size() + CallsOf("Dump").size());
}

// Each string cut on its own, to 127 characters or 4095; a dump's block passes exactly.
TEST_F(TraceFacade, CategoriesAndNamesKeep127CharactersTextsAndTitles4095) {
    const unsigned char block[] = {0x00, 0xF6, 0x41};
    for (size_t length : {127u, 128u, 4095u, 4096u, 10000u}) {
        RecReset();
        const std::wstring wide(length, L'x');
        TraceWriteFormat(TraceLevel::Info, wide.c_str(), L"%s", wide.c_str());
        TraceWriteText(TraceLevel::Info, wide.c_str(), wide.c_str());
        TraceDump(TraceLevel::Info, wide.c_str(), (L"T" + wide).c_str(), (L"N" + wide).c_str(), block, sizeof block);
        const std::string category(std::min<size_t>(length, 127), 'x'), text(std::min<size_t>(length, 4095), 'x');
        ASSERT_EQ(2u, CallsOf().size()) << length;
        for (const RecCall& write : CallsOf()) EXPECT_EQ(category + "|" + text, write.category + ("|" + std::string(write.text))) << length;
        const RecCall dump = CallsOf("Dump").at(0);
        EXPECT_EQ(8, dump.level);
        EXPECT_EQ(category, dump.category) << length;
        EXPECT_EQ(("N" + text).substr(0, 127), dump.name) << length;
        EXPECT_EQ(("T" + text).substr(0, 4095), dump.title) << length;
        ASSERT_EQ(3u, dump.size);
        EXPECT_EQ(0, std::memcmp(block, dump.data, 3));
    }
    const std::string narrow(6000, 'n');
    TraceWriteText(TraceLevel::Info, "TESK.CoInstall", narrow.c_str());
    EXPECT_EQ(narrow, CallsOf().back().text) << "narrow texts pass whole";
}

TEST_F(TraceFacade, LevelQuestionsAnswerFromTheLibraryOrFallBack) {
    RecSetCategoryLevel("TESK.CoInstall", 4);
    EXPECT_EQ(4, TraceGetLevel(kCategory));
    EXPECT_TRUE(TraceShouldTraceCategory(TraceLevel::Warning, kCategory));
    EXPECT_FALSE(TraceShouldTraceCategory(TraceLevel::Info, kCategory));
    EXPECT_TRUE(TraceShouldTraceCategory(TraceLevel::Error, "TESK.CoInstall"));
    RecReset();
    EXPECT_EQ(1, TraceGetLevel(nullptr));
    EXPECT_EQ(1, TraceGetLevel(L"\u4e00"));
    EXPECT_FALSE(TraceShouldTraceCategory(TraceLevel::Critical, L""));
    EXPECT_EQ(0u, RecCallCount()) << "the library is not asked for a missing category";
}

// Through the wide constructor; the co-installer's narrow twins are the bench scenarios' subject.
void Scope(int32_t level, int32_t line, const wchar_t* note, bool fail) {
    MethodTrace scope(level, L"Cat", L"Fn", L"S.cpp", line, note);
    if (fail) throw std::runtime_error("boom");
}

// A scope writes begin and end at its level when traced; otherwise it keeps its stamped begin
// line back and shows both at level 1 only if an exception unwinds it and the category traces errors.
TEST_F(TraceFacade, ScopeLinesAtEachCategoryLevel) {
    const std::string unwound = std::string("<--- Ende: Fn") + kUnwound;
    struct Case {
        int32_t categoryLevel, scopeLevel, line;
        const wchar_t* note;
        bool fail;
        std::vector<std::pair<int32_t, std::string>> lines;  // regular expressions
    };
    const Case cases[] = {
        {8, 8, 28, L"", false, {{8, R"(---> Beginn: Fn \(28\)  S\.cpp)"}, {8, "<--- Ende: Fn"}}},
        {8, 8, 0, L"Notiz", false, {{8, "---> Beginn: Fn Notiz S\\.cpp"}, {8, "<--- Ende: Fn"}}},
        {8, 8, -3, L"", false, {{8, "---> Beginn: Fn  S\\.cpp"}, {8, "<--- Ende: Fn"}}},
        {1, 1, 5, L"", false, {{1, R"(---> Beginn: Fn \(5\)  S\.cpp)"}, {1, "<--- Ende: Fn"}}},
        {7, 8, 28, L"", false, {}},
        {1, 8, 28, L"", true, {}},
        {8, 8, 28, L"", true, {{8, R"(---> Beginn: Fn \(28\)  S\.cpp)"}, {1, unwound}}},
        {2, 8, 28, L"", true, {{1, R"(---> Beginn \(\d\d:\d\d:\d\d\.\d\d\d\): Fn \(28\)  S\.cpp)"}, {1, unwound}}},
        {16, 8, 28, nullptr, false, {}},
    };
    for (const Case& c : cases) {
        RecReset();
        RecSetDefaultLevel(0);
        RecSetCategoryLevel("Cat", c.categoryLevel);
        try {
            Scope(c.scopeLevel, c.line, c.note, c.fail);
        } catch (const std::runtime_error&) {
        }
        const auto writes = CallsOf();
        ASSERT_EQ(c.lines.size(), writes.size()) << c.categoryLevel << "/" << c.scopeLevel;
        for (size_t i = 0; i < writes.size(); ++i) {
            EXPECT_EQ(c.lines[i].first, writes[i].level) << writes[i].text;
            const std::string text = writes[i].text;
            EXPECT_TRUE(text == c.lines[i].second || std::regex_match(text, std::regex(c.lines[i].second)))
                << writes[i].text;
        }
    }
}

}  // namespace
