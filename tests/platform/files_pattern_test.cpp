#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"

namespace tw::platform {
namespace {

TEST(PlatformFilesPattern, StarMatchesAnyRun) {
  EXPECT_TRUE(MatchesPattern("*", "anything.at.all"));
  EXPECT_TRUE(MatchesPattern("*", "x"));
  EXPECT_TRUE(MatchesPattern("*.MAI", "1234.MAI"));
  EXPECT_TRUE(MatchesPattern("*.MAI", ".MAI"));
  EXPECT_FALSE(MatchesPattern("*.MAI", "1234.MAIL"));
  EXPECT_FALSE(MatchesPattern("*.MAI", "1234MAI"));
  EXPECT_TRUE(MatchesPattern("Y*.CAL", "Y2024.CAL"));
  EXPECT_FALSE(MatchesPattern("Y*.CAL", "X2024.CAL"));
  EXPECT_TRUE(MatchesPattern("a*b*c", "aXXbYYc"));
  EXPECT_TRUE(MatchesPattern("a*b*c", "abbbc"));
  EXPECT_FALSE(MatchesPattern("a*b*c", "aXXcYYb"));
}

TEST(PlatformFilesPattern, QuestionMarkMatchesOneCharacter) {
  EXPECT_TRUE(MatchesPattern("a?c", "abc"));
  EXPECT_TRUE(MatchesPattern("a?c", "a.c"));
  EXPECT_FALSE(MatchesPattern("a?c", "ac"));
  EXPECT_FALSE(MatchesPattern("a?c", "abbc"));
  EXPECT_TRUE(MatchesPattern("????.MAI", "0001.mai"));
}

TEST(PlatformFilesPattern, IgnoresLetterCase) {
  EXPECT_TRUE(MatchesPattern("*.mai", "X.MAI"));
  EXPECT_TRUE(MatchesPattern("INBOX", "Inbox"));
  EXPECT_TRUE(MatchesPattern("_change.dty", "_CHANGE.DTY"));
  EXPECT_FALSE(MatchesPattern("INBOX", "Inbox2"));
}

TEST(PlatformFilesPattern, DotStarAlsoMatchesNamesWithoutADot) {
  EXPECT_TRUE(MatchesPattern("*.*", "noext"));
  EXPECT_TRUE(MatchesPattern("*.*", "with.ext"));
  EXPECT_TRUE(MatchesPattern("*.*", "."));
  EXPECT_TRUE(MatchesPattern("*.*", ".."));
  EXPECT_TRUE(MatchesPattern("name.*", "name"));
  EXPECT_TRUE(MatchesPattern("name.*", "NAME.txt"));
  EXPECT_FALSE(MatchesPattern("name.*", "names"));
  EXPECT_FALSE(MatchesPattern("*.MAI", "noext"));
}

TEST(PlatformFilesPattern, WithoutWildcardsMatchesTheNameOnly) {
  EXPECT_TRUE(MatchesPattern("plain.txt", "PLAIN.TXT"));
  EXPECT_FALSE(MatchesPattern("plain.txt", "plain.txt2"));
  EXPECT_FALSE(MatchesPattern("plain.txt", "plain"));
  EXPECT_FALSE(MatchesPattern("", "x"));
}

TEST(PlatformFilesPattern, HostilePatternsFinish) {
  const std::string name(5000, 'a');
  std::string pattern;
  for (int i = 0; i < 200; ++i) pattern += "*a";
  EXPECT_FALSE(MatchesPattern(pattern + "*b", name));
  EXPECT_TRUE(MatchesPattern(pattern + "*", name));
  EXPECT_FALSE(MatchesPattern(std::string(3000, '?') + "*b", name));
}

}  // namespace
}  // namespace tw::platform
