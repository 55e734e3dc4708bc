#include "common/text.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstring>
#include <string>

namespace tw {
namespace {

TEST(CommonTextCase, UpperAndLowerTouchAsciiLettersOnly) {
  EXPECT_EQ(ToUpper("Inbox_01-\xe4z"), "INBOX_01-\xe4Z");
  EXPECT_EQ(ToLower("PR_SUBJECT \xc4Z"), "pr_subject \xc4z");
  EXPECT_EQ(ToUpperAscii('q'), 'Q');
  EXPECT_EQ(ToUpperAscii('@'), '@');
  EXPECT_EQ(ToLowerAscii('['), '[');
  EXPECT_EQ(ToUpper(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(CommonTextCompare, CompareFoldsToLowerCaseLikeStricmp) {
  EXPECT_EQ(CompareNoCase("Inbox", "INBOX"), 0);
  EXPECT_LT(CompareNoCase("a.MAI", "B.MAI"), 0);
  EXPECT_GT(CompareNoCase("b", "A"), 0);
  EXPECT_LT(CompareNoCase("abc", "abcd"), 0);
  EXPECT_GT(CompareNoCase("abcd", "ABC"), 0);
  EXPECT_EQ(CompareNoCase("", ""), 0);
  // '_' lies between the cases; folding to lower case puts it before letters.
  EXPECT_LT(CompareNoCase("_index", "Apple"), 0);
  // Bytes above 0x7F compare as unsigned.
  EXPECT_GT(CompareNoCase("\xe9", "z"), 0);
}

TEST(CommonTextCompare, EqualsStartsEndsWith) {
  EXPECT_TRUE(EqualsNoCase("_CHANGE.DTY", "_change.dty"));
  EXPECT_FALSE(EqualsNoCase("_change.dty", "_change.dt"));
  EXPECT_TRUE(StartsWithNoCase("BEGIN:VCALENDAR", "begin:"));
  EXPECT_FALSE(StartsWithNoCase("BEG", "begin"));
  EXPECT_TRUE(StartsWithNoCase("x", ""));
  EXPECT_TRUE(EndsWithNoCase("message.MAI", ".mai"));
  EXPECT_FALSE(EndsWithNoCase("mai", ".mai"));
}

TEST(CommonTextFind, FindsWithoutRegardToCase) {
  EXPECT_EQ(FindNoCase("\\Seen \\Flagged", "\\SEEN"), 0u);
  EXPECT_EQ(FindNoCase("\\Answered \\seen", "\\SEEN"), 10u);
  EXPECT_EQ(FindNoCase("abcABC", "abc", 1), 3u);
  EXPECT_EQ(FindNoCase("abc", "abcd"), std::string_view::npos);
  EXPECT_EQ(FindNoCase("abc", "c", 3), std::string_view::npos);
  EXPECT_EQ(FindNoCase("abc", "", 3), 3u);
  EXPECT_EQ(FindNoCase("abc", "", 4), std::string_view::npos);
  EXPECT_EQ(FindNoCase("abc", "a", std::string_view::npos), std::string_view::npos);
  EXPECT_TRUE(ContainsNoCase("C:\\Program Files\\TWIMAPS.exe", "twimaps.EXE"));
  EXPECT_FALSE(ContainsNoCase("TWIMAP", "TWIMAPS"));
}

TEST(CommonTextCopy, TruncatesAndAlwaysTerminates) {
  char buffer[8];
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(CopyText(buffer, sizeof buffer, "0123456789"), 7u);
  EXPECT_STREQ(buffer, "0123456");

  EXPECT_EQ(CopyText(buffer, sizeof buffer, "abc"), 3u);
  EXPECT_STREQ(buffer, "abc");

  EXPECT_EQ(CopyText(buffer, 1, "abc"), 0u);
  EXPECT_EQ(buffer[0], '\0');

  buffer[0] = 'Z';
  EXPECT_EQ(CopyText(buffer, 0, "abc"), 0u);  // nothing written at all
  EXPECT_EQ(buffer[0], 'Z');

  EXPECT_EQ(CopyText(buffer, sizeof buffer, static_cast<const char*>(nullptr)), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(CopyText(nullptr, 10, "abc"), 0u);

  EXPECT_EQ(CopyText(buffer, sizeof buffer, std::string("exactly")), 7u);
  EXPECT_STREQ(buffer, "exactly");
}

TEST(CommonTextCopy, LongHostileTextStaysInsideTheBuffer) {
  struct {
    char field[16];
    char guard[8];
  } record;
  std::memset(&record, 0x5A, sizeof record);
  CopyText(record.field, sizeof record.field, std::string(100000, 'A'));
  EXPECT_EQ(std::strlen(record.field), 15u);
  for (char c : record.guard) EXPECT_EQ(c, 0x5A);
}

TEST(CommonTextFormat, FormatsLikeSnprintfWithinCapacity) {
  EXPECT_EQ(FormatText(256, "%s error: %d", "Tarnwick Store Provider", 32), "Tarnwick Store Provider error: 32");
  EXPECT_EQ(FormatText(6, "%s", "abcdefgh"), "abcde");
  EXPECT_EQ(FormatText(1, "%d", 12345), "");
  EXPECT_EQ(FormatText(0, "%d", 12345), "");
  EXPECT_EQ(FormatText(kUnboundedText, "%" PRId64, INT64_C(-9000000000)), "-9000000000");
  EXPECT_EQ(FormatText(10, "%s", ""), "");
  const std::string big(5000, 'b');
  EXPECT_EQ(FormatText(kUnboundedText, "<%s>", big.c_str()), "<" + big + ">");
  EXPECT_EQ(FormatText(1024, "<%s>", big.c_str()).size(), 1023u);
}

}  // namespace
}  // namespace tw
