#include "trace/trace_calls.h"
#include "trace_record.h"

#include <cstring>
#include <string>

namespace {

constexpr wchar_t kCategory[] = L"TESK.CoInstall";

TEST_F(TraceTest, TheLibraryIsInitialisedOnceBeforeAnyOtherCall) {
    TraceWriteText(TraceLevel::Info, kCategory, L"first");
    TraceWriteText(TraceLevel::Info, kCategory, L"second");
    EXPECT_EQ(1u, RecInitCount());
    EXPECT_EQ(0u, RecCallsBeforeInit());
}

TEST_F(TraceTest, FormatTakesWideStringsAndConvertsInTheCLocale) {
    TraceWriteFormat(TraceLevel::Info, kCategory, L"%s::L\u00f6sche <%s> %d <0x%08x>", L"Fn", L"Ger\u00e4t", -7,
                     0xE0000226u);
    const auto writes = Writes();
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ(8, writes[0].level);
    EXPECT_EQ("TESK.CoInstall", writes[0].category);
    EXPECT_EQ("Fn::L\xf6sche <Ger\xe4t> -7 <0xe0000226>", writes[0].text);
}

TEST_F(TraceTest, AnUnwantedLevelIsNeitherFormattedNorWritten) {
    RecSetShouldTraceAnswer(0);
    TraceWriteFormat(TraceLevel::Detail, kCategory, L"%s", L"text");
    TraceWriteText(TraceLevel::Detail, kCategory, L"text");
    TraceWriteText(TraceLevel::Detail, "TESK.CoInstall", "text");
    TraceDump(TraceLevel::Detail, kCategory, L"T", L"n", "ab", 2);
    EXPECT_EQ(4u, RecCountOf("ShouldTrace"));
    EXPECT_EQ(0u, RecCountOf("Write"));
    EXPECT_EQ(0u, RecCountOf("Dump"));
}

TEST_F(TraceTest, MissingCategoryOrFormatWritesNothing) {
    TraceWriteFormat(TraceLevel::Error, nullptr, L"x");
    TraceWriteFormat(TraceLevel::Error, L"", L"x");
    TraceWriteFormat(TraceLevel::Error, kCategory, nullptr);
    EXPECT_EQ(0u, RecCountOf("ShouldTrace")) << "the format write checks its arguments before asking";
    TraceWriteText(TraceLevel::Error, L"", L"x");
    TraceWriteText(TraceLevel::Error, kCategory, static_cast<const wchar_t*>(nullptr));
    TraceWriteText(TraceLevel::Error, "", "x");
    TraceWriteText(TraceLevel::Error, static_cast<const char*>(nullptr), "x");
    EXPECT_EQ(0u, RecCountOf("Write"));
}

TEST_F(TraceTest, CategoriesAreCutTo127Characters) {
    const std::wstring longCategory(200, L'c');
    TraceWriteFormat(TraceLevel::Info, longCategory.c_str(), L"a");
    TraceWriteText(TraceLevel::Info, longCategory.c_str(), L"b");
    TraceDump(TraceLevel::Info, longCategory.c_str(), L"t", L"n", "x", 1);
    const auto writes = Writes();
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ(std::string(127, 'c'), writes[0].category);
    EXPECT_EQ(std::string(127, 'c'), writes[1].category);
    EXPECT_EQ(std::string(127, 'c'), LastCallOf("Dump").category);
}

TEST_F(TraceTest, MessagesAreCutTo4095CharactersWhateverTheirLength) {
    for (size_t length : {4095u, 4096u, 4097u, 10000u}) {
        RecReset();
        std::wstring text(length, L'x');
        text[0] = L'<';
        TraceWriteFormat(TraceLevel::Info, kCategory, L"%s", text.c_str());
        TraceWriteText(TraceLevel::Info, kCategory, text.c_str());
        const auto writes = Writes();
        ASSERT_EQ(2u, writes.size()) << length;
        const std::string expected = "<" + std::string(std::min<size_t>(length, 4095) - 1, 'x');
        EXPECT_EQ(expected, writes[0].text) << "formatted, length " << length;
        EXPECT_EQ(expected, writes[1].text) << "plain, length " << length;
    }
}

TEST_F(TraceTest, NarrowTextsPassWhole) {
    const std::string text(6000, 'n');
    TraceWriteText(TraceLevel::Info, "TESK.CoInstall", text.c_str());
    ASSERT_EQ(1u, Writes().size());
    EXPECT_EQ(text, Writes()[0].text);
}

TEST_F(TraceTest, UnconvertibleTextsArriveEmptyAndUnconvertibleCategoriesSuppressTheCall) {
    TraceWriteFormat(TraceLevel::Info, kCategory, L"%s", L"\u4e00");
    TraceWriteText(TraceLevel::Info, kCategory, L"a\u4e00b");
    TraceWriteText(TraceLevel::Info, L"Kat\u4e00", L"text");
    TraceWriteFormat(TraceLevel::Info, L"Kat\u4e00", L"text");
    const auto writes = Writes();
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ("", writes[0].text);
    EXPECT_EQ("", writes[1].text);
}

TEST_F(TraceTest, DumpsPassTheirBlockAndDropMissingLabels) {
    const unsigned char block[] = {0x00, 0xF6, 0x41};
    TraceDump(TraceLevel::Info, L"TESK.CoInstall.Dump", L"SP_PROPCHANGE_PARAMS", L"pcp", block, sizeof block);
    RecCall dump = LastCallOf("Dump");
    ASSERT_NE(nullptr, dump.function);
    EXPECT_EQ(8, dump.level);
    EXPECT_STREQ("TESK.CoInstall.Dump", dump.category);
    EXPECT_STREQ("SP_PROPCHANGE_PARAMS", dump.title);
    EXPECT_STREQ("pcp", dump.name);
    ASSERT_EQ(3u, dump.size);
    EXPECT_EQ(0, std::memcmp(block, dump.data, 3));

    TraceDump(TraceLevel::Info, kCategory, L"T", L"n", block, 0);
    EXPECT_EQ(0u, LastCallOf("Dump").size);
    EXPECT_EQ(2u, RecCountOf("Dump")) << "a size of 0 is passed on";

    TraceDump(TraceLevel::Info, kCategory, L"T", L"n", nullptr, 3);
    TraceDump(TraceLevel::Info, kCategory, nullptr, L"n", block, 3);
    TraceDump(TraceLevel::Info, kCategory, L"T", nullptr, block, 3);
    TraceDump(TraceLevel::Info, L"", L"T", L"n", block, 3);
    EXPECT_EQ(2u, RecCountOf("Dump"));

    const std::wstring longName(300, L'm');
    const std::wstring longTitle(5000, L't');
    TraceDump(TraceLevel::Info, kCategory, longTitle.c_str(), longName.c_str(), block, 1);
    dump = LastCallOf("Dump");
    EXPECT_EQ(std::string(127, 'm'), dump.name);
    EXPECT_EQ(std::string(4095, 't'), dump.title);
}

TEST_F(TraceTest, LevelQuestionsAnswerFromTheLibraryOrFallBack) {
    RecSetCategoryLevel("TESK.CoInstall", 4);
    EXPECT_EQ(4, TraceGetLevel(kCategory));
    EXPECT_TRUE(TraceShouldTraceCategory(TraceLevel::Warning, kCategory));
    EXPECT_FALSE(TraceShouldTraceCategory(TraceLevel::Info, kCategory));
    EXPECT_TRUE(TraceShouldTraceCategory(TraceLevel::Error, "TESK.CoInstall"));

    RecReset();
    EXPECT_EQ(1, TraceGetLevel(nullptr));
    EXPECT_EQ(1, TraceGetLevel(L""));
    EXPECT_EQ(1, TraceGetLevel(L"\u4e00"));
    EXPECT_FALSE(TraceShouldTraceCategory(TraceLevel::Critical, L""));
    EXPECT_FALSE(TraceShouldTraceCategory(TraceLevel::Critical, static_cast<const char*>(nullptr)));
    EXPECT_EQ(0u, RecCallCount()) << "the library is not asked for a missing category";
}

}  // namespace
