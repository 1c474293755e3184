// The cross-process campaign is only as good as its record checker: it must see every way a
// line can be damaged.
#include "campaign/log_record.h"

#include <gtest/gtest.h>

namespace {

const std::string kPrefix = "06.12.2026 16:48:50.372 [412] [440] INFO - ";

TEST(LogRecord, WholeRecordsAreCountedPerWriterInFileOrder) {
    const std::string text = kPrefix + log_record::Make(1, 0, 0) + "\n" + kPrefix + log_record::Make(2, 1, 0) + "\n" +
                             kPrefix + log_record::Make(1, 0, 1) + "\r\n";
    const log_record::Tally tally = log_record::Read(text, ' ', 6);
    EXPECT_TRUE(tally.damagedLines.empty());
    EXPECT_TRUE(tally.otherLines.empty());
    ASSERT_EQ(2u, tally.numbers.size());
    EXPECT_EQ((std::vector<int>{0, 1}), (tally.numbers.at({1, 0})));
    EXPECT_EQ((std::vector<int>{0}), (tally.numbers.at({2, 1})));
}

TEST(LogRecord, TornMergedAndAlteredRecordsAreDamaged) {
    const std::string whole = log_record::Make(3, 1, 7);
    const std::string text = kPrefix + whole.substr(0, whole.size() - 1) + "\n" +  // torn: one letter short
                             kPrefix + whole + whole + "\n" +                       // two records on one line
                             kPrefix + whole.substr(0, whole.size() - 1) + "#\n" +  // a foreign byte inside
                             kPrefix + whole.substr(0, 10) + "\n";                  // cut in the header
    const log_record::Tally tally = log_record::Read(text, ' ', 6);
    EXPECT_EQ(4u, tally.damagedLines.size());
    EXPECT_TRUE(tally.numbers.empty());
}

TEST(LogRecord, LinesOfOtherWritersAreSetAsideAndARecordBehindThemIsMissing) {
    const std::string text = kPrefix + "Init: Der Mutex <LBS_MUTEX_INTERN_TRACE> konnte erfolgreich erzeugt werden\n" +
                             kPrefix + "Init: Fehler <2>" + kPrefix + log_record::Make(0, 0, 0) + "\n";
    const log_record::Tally tally = log_record::Read(text, ' ', 6);
    EXPECT_EQ(2u, tally.otherLines.size());
    EXPECT_TRUE(tally.numbers.empty());
}

TEST(LogRecord, TraceLinesCarryTheRecordAfterFiveTabs) {
    const std::string text = "2026-12-06 15:10:17.123\t1234\t5678\tINFO\tCampaign\t" + log_record::Make(0, 1, 4) + "\r\n" +
                             "2026-12-06 15:10:17.123\t1234\t5678\tINFO\t" + log_record::Make(0, 1, 5) + "\r\n";
    const log_record::Tally tally = log_record::Read(text, '\t', 5);
    EXPECT_EQ((std::vector<int>{4}), (tally.numbers.at({0, 1})));
    EXPECT_EQ(1u, tally.otherLines.size());
    EXPECT_TRUE(tally.damagedLines.empty());
}

}  // namespace
