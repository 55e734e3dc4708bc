#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

TEST(CommonTextCompare, FoldsAsciiLettersOnlyLikeStricmp) {
  EXPECT_EQ(ToUpper(std::string("a_\xe4z\0b", 6)) + ToLower("P_\xc4Z[@"), std::string("A_\xe4Z\0Bp_\xc4z[@", 12));
  // "_" lies between the cases, so folded to lower case it sorts before letters; high bytes are unsigned.
  const char* const pairs[][2] = {{"Inbox", "INBOX"}, {"a.MAI", "B.MAI"}, {"abc", "abcd"}, {"_x", "A"}, {"\xe9", "z"}};
  std::string signs;
  for (const auto& p : pairs) signs += "<=>"[1 + (CompareNoCase(p[0], p[1]) > 0) - (CompareNoCase(p[0], p[1]) < 0)];
  EXPECT_EQ(signs, "=<<<>");
  EXPECT_TRUE(EqualsNoCase("Ab", "aB") && StartsWithNoCase("BEGIN:", "begin") && EndsWithNoCase("a.MAI", ".mai"));
  EXPECT_FALSE(EqualsNoCase("ab", "abc") || StartsWithNoCase("BEG", "begin") || EndsWithNoCase("mai", ".mai"));
  const size_t no = std::string_view::npos;
  EXPECT_TRUE(FindNoCase("\\Answered \\seen", "\\SEEN") == 10 && FindNoCase("abcABC", "abc", 1) == 3 &&
              FindNoCase("abc", "", 3) == 3 && ContainsNoCase("a.EXE", "A.exe"));
  EXPECT_TRUE(FindNoCase("abc", "", 4) == no && FindNoCase("abc", "a", no) == no && !ContainsNoCase("abc", "abcd"));
}

TEST(CommonTextCopy, CopyAndFormatTruncateAndAlwaysTerminate) {
  struct { char field[16], guard[8] = "guard!"; } r;  // a hostile copy must not reach the guard
  const std::string many(100000, 'A'), big(5000, 'b');
  const struct { size_t capacity; const char* source; } copies[] = {  // capacity 0 writes nothing at all
      {8, "0123456789"}, {8, "exactly"}, {0, "abc"}, {1, "abc"}, {16, many.c_str()}, {8, nullptr}};
  std::string out;
  for (const auto& c : copies) out += std::to_string(CopyText(r.field, c.capacity, c.source)) + ":" + r.field + " ";
  EXPECT_EQ(out + r.guard, "7:0123456 7:exactly 0:exactly 0: 15:" + many.substr(0, 15) + " 0: guard!");
  EXPECT_EQ(CopyText(nullptr, 10, "abc"), 0u);  // no destination at all
  EXPECT_EQ(FormatText(kUnboundedText, "<%s>", big.c_str()) + FormatText(1024, "<%s>", big.c_str()),
            "<" + big + "><" + big.substr(0, 1022));
  EXPECT_EQ(FormatText(6, "%s:%d", "ab", 12345) + "|" + FormatText(1, "%d", 1) + FormatText(0, "%d", 1), "ab:12|");
}

}  // namespace
}  // namespace tw
