// Maildir file-name info: flags in, letters out, and both ways round.
#include <gtest/gtest.h>

#include <string>

#include "formats/maildir_info.h"

namespace tw::formats {
namespace {

TEST(MaildirInfo, SplitsAtColonOrAtBangBeforeVersionTwo) {
  MaildirFileName parts = SplitMaildirFileName("1733.M1P2.host,S=120:2,FS");
  EXPECT_EQ(parts.unique, "1733.M1P2.host,S=120");
  EXPECT_EQ(parts.info, "2,FS");
  EXPECT_TRUE(parts.hasInfo);

  parts = SplitMaildirFileName("1733.M1P2.host!2,S");
  EXPECT_EQ(parts.unique, "1733.M1P2.host");
  EXPECT_EQ(parts.info, "2,S");

  // A "!" without "2," is part of the unique name.
  parts = SplitMaildirFileName("we!rd.host");
  EXPECT_EQ(parts.unique, "we!rd.host");
  EXPECT_FALSE(parts.hasInfo);
}

TEST(MaildirInfo, LettersBecomeStoreFlags) {
  MaildirImportFlags got = FlagsFromMaildirName("u:2,DFRST", MaildirSubdir::Cur);
  EXPECT_EQ(StoreFlagsText(got.flags), "\\SEEN \\ANSWERED \\FLAGGED \\DELETED \\DRAFT");
  EXPECT_EQ(got.ignoredLetters, "");

  got = FlagsFromMaildirName("u:2,PSab", MaildirSubdir::Cur);
  EXPECT_EQ(StoreFlagsText(got.flags), "\\SEEN");
  EXPECT_EQ(got.ignoredLetters, "Pab");
}

TEST(MaildirInfo, RecentForNewAndForUnseenInCur) {
  EXPECT_EQ(StoreFlagsText(FlagsFromMaildirName("u", MaildirSubdir::New).flags), "\\RECENT");
  EXPECT_EQ(StoreFlagsText(FlagsFromMaildirName("u:2,S", MaildirSubdir::New).flags), "\\RECENT \\SEEN");
  EXPECT_EQ(StoreFlagsText(FlagsFromMaildirName("u:2,F", MaildirSubdir::Cur).flags), "\\RECENT \\FLAGGED");
  EXPECT_EQ(StoreFlagsText(FlagsFromMaildirName("u:2,S", MaildirSubdir::Cur).flags), "\\SEEN");
}

TEST(MaildirInfo, OtherInfoVersionsCarryNoFlags) {
  const MaildirImportFlags got = FlagsFromMaildirName("u:1,S", MaildirSubdir::Cur);
  EXPECT_EQ(StoreFlagsText(got.flags), "\\RECENT");
}

TEST(MaildirInfo, StoreFlagsBecomeSortedLetters) {
  EXPECT_EQ(MaildirLettersFromStoreFlags("\\SEEN \\FLAGGED"), "FS");
  EXPECT_EQ(MaildirLettersFromStoreFlags("\\draft  \\Deleted\t\\answered \\seen \\flagged"), "DFRST");
  EXPECT_EQ(MaildirLettersFromStoreFlags("\\RECENT $Junk \\SEENX SEEN"), "");
  EXPECT_EQ(MaildirExportName("1733.host", "\\SEEN \\ANSWERED"), "1733.host:2,RS");
  EXPECT_EQ(MaildirExportName("1733.host", ""), "1733.host:2,");
  EXPECT_EQ(MaildirExportName("1733.host", "\\SEEN", '!'), "1733.host!2,S");
}

TEST(MaildirInfo, EveryFlagSetRoundTripsThroughCur) {
  for (unsigned bits = 0; bits < 32; ++bits) {
    MessageFlags flags;
    flags.seen = bits & 1;
    flags.answered = bits & 2;
    flags.flagged = bits & 4;
    flags.deleted = bits & 8;
    flags.draft = bits & 16;
    // Export loses nothing but \RECENT, which import gives back to the unseen.
    flags.recent = !flags.seen;
    const std::string name = MaildirExportName("u", StoreFlagsText(flags));
    EXPECT_EQ(FlagsFromMaildirName(name, MaildirSubdir::Cur).flags, flags) << name;
  }
}

}  // namespace
}  // namespace tw::formats
