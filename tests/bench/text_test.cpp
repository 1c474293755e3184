// The module's Windows-1252 bytes shown as UTF-8, and UTF-8 scenario texts handed to Windows.
#include "bench/text.h"

#include <gtest/gtest.h>

namespace {

using bench::Utf8FromWide;
using bench::Utf8FromWindows1252;
using bench::WideFromUtf8;

TEST(Text, Windows1252BecomesUtf8) {
    EXPECT_EQ("L\xC3\xB6sche dazugeh\xC3\xB6rigen", Utf8FromWindows1252("L\xF6sche dazugeh\xF6rigen"));
    EXPECT_EQ("Aufr\xC3\xA4umen \xC3\x9F \xC3\xBF", Utf8FromWindows1252("Aufr\xE4umen \xDF \xFF"));
    EXPECT_EQ("\xE2\x82\xAC \xE2\x80\x9E \xC5\xB8", Utf8FromWindows1252("\x80 \x84 \x9F")) << "the 0x80..0x9F block is not Latin-1";
    EXPECT_EQ("\xC2\x81", Utf8FromWindows1252("\x81")) << "an unassigned byte keeps its C1 control";
    EXPECT_EQ(std::string("a\0b", 3), Utf8FromWindows1252(std::string("a\0b", 3)));
    EXPECT_EQ("", Utf8FromWindows1252(""));
}

TEST(Text, Utf8AndWideRoundTrip) {
    EXPECT_EQ(L"SCFILTER\\CID_\u00f6\\0", WideFromUtf8("SCFILTER\\CID_\xC3\xB6\\0"));
    EXPECT_EQ("SCFILTER\\CID_\xC3\xB6\\0", Utf8FromWide(L"SCFILTER\\CID_\u00f6\\0"));
    EXPECT_EQ(L"", WideFromUtf8("\xC3")) << "a cut sequence is refused, not guessed";
    EXPECT_EQ(L"", WideFromUtf8(""));
    EXPECT_EQ("", Utf8FromWide(L""));
}

}  // namespace
