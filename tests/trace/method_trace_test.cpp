#include "trace/method_trace.h"
#include "trace_record.h"

#include <regex>
#include <stdexcept>

namespace {

constexpr char kUnwound[] = "\t Returnwert: Fehlerinfo: StackUnwinding ~MethodTrace: Es ist eine Exception aufgetreten";

class MethodTraceTest : public TraceTest {
protected:
    void SetUp() override {
        TraceTest::SetUp();
        RecSetDefaultLevel(0);
    }
};

void ScopeThatThrows(int32_t level) {
    MethodTrace scope(level, L"Cat", L"Fn", L"S.cpp", 28, L"");
    throw std::runtime_error("boom");
}

TEST_F(MethodTraceTest, TracedScopeWritesBeginAndEndLines) {
    RecSetCategoryLevel("Cat", 8);
    { MethodTrace scope(8, L"Cat", L"CoDeviceInstall", L"S", 28, L""); }
    const auto writes = Writes();
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ("---> Beginn: CoDeviceInstall (28)  S", writes[0].text);
    EXPECT_EQ("<--- Ende: CoDeviceInstall", writes[1].text);
    EXPECT_EQ(8, writes[0].level);
    EXPECT_EQ(8, writes[1].level);
    EXPECT_EQ("Cat", writes[1].category);
}

TEST_F(MethodTraceTest, LineZeroLeavesOutThePosition) {
    RecSetCategoryLevel("Cat", 8);
    { MethodTrace scope(8, L"Cat", L"Fn", L"S.cpp", 0, L"Notiz"); }
    { MethodTrace scope(8, L"Cat", L"Fn", L"S.cpp", -3, L""); }
    const auto writes = Writes();
    ASSERT_EQ(4u, writes.size());
    EXPECT_EQ("---> Beginn: Fn Notiz S.cpp", writes[0].text);
    EXPECT_EQ("---> Beginn: Fn  S.cpp", writes[2].text);
}

TEST_F(MethodTraceTest, UntracedLevelKeepsItsBeginLineBackAndDropsIt) {
    RecSetCategoryLevel("Cat", 2);
    { MethodTrace scope(8, L"Cat", L"Fn", L"S.cpp", 28, L""); }
    EXPECT_TRUE(Writes().empty());
}

TEST_F(MethodTraceTest, ScopeOfACategoryWithoutErrorsIsSilentEvenWhileUnwinding) {
    RecSetCategoryLevel("Cat", 1);
    EXPECT_THROW(ScopeThatThrows(8), std::runtime_error);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(MethodTraceTest, UnwindingFlushesTheKeptBeginLineAtLevelOne) {
    RecSetCategoryLevel("Cat", 2);
    EXPECT_THROW(ScopeThatThrows(8), std::runtime_error);
    const auto writes = Writes();
    ASSERT_EQ(2u, writes.size());
    EXPECT_TRUE(std::regex_match(writes[0].text,
                                 std::regex(R"(---> Beginn \(\d\d:\d\d:\d\d\.\d\d\d\): Fn \(28\)  S\.cpp)")))
        << writes[0].text;
    EXPECT_EQ(1, writes[0].level);
    EXPECT_EQ(std::string("<--- Ende: Fn") + kUnwound, writes[1].text);
    EXPECT_EQ(1, writes[1].level);
}

TEST_F(MethodTraceTest, UnwindingATracedScopeEndsAtLevelOne) {
    RecSetCategoryLevel("Cat", 8);
    EXPECT_THROW(ScopeThatThrows(8), std::runtime_error);
    const auto writes = Writes();
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ("---> Beginn: Fn (28)  S.cpp", writes[0].text);
    EXPECT_EQ(8, writes[0].level);
    EXPECT_EQ(std::string("<--- Ende: Fn") + kUnwound, writes[1].text);
    EXPECT_EQ(1, writes[1].level);
}

TEST_F(MethodTraceTest, MissingTextsMakeAnInactiveScope) {
    RecSetCategoryLevel("Cat", 16);
    { MethodTrace scope(8, nullptr, L"Fn", L"S", 1, L""); }
    { MethodTrace scope(8, L"", L"Fn", L"S", 1, L""); }
    { MethodTrace scope(8, L"Cat", nullptr, L"S", 1, L""); }
    { MethodTrace scope(8, L"Cat", L"Fn", nullptr, 1, L""); }
    { MethodTrace scope(8, L"Cat", L"Fn", L"S", 1, nullptr); }
    EXPECT_EQ(0u, RecCallCount());
}

TEST_F(MethodTraceTest, AScopeOfLevelOneAsksForLevelOne) {
    RecSetCategoryLevel("Cat", 1);
    { MethodTrace scope(1, L"Cat", L"Fn", L"S", 5, L""); }
    EXPECT_EQ(2u, Writes().size());
}

}  // namespace
