// Splitting an mbox: message starts, unquoting, line ends, flags, and
// input no mbox writer would make.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "formats/mbox_reader.h"
#include "tools/formats/mbox_support.h"

namespace tw::formats {
namespace {

using test::ReadMbox;

TEST(MboxReader, SplitsAtFromLinesAfterBlankLines) {
  const std::string mbox =
      "From alice@example.com Thu Dec  3 10:00:00 2026\n"
      "Subject: one\n\nbody\nFrom here on it is body\n\n"
      "From bob@example.com Fri Dec  4 11:30:15 2026\n"
      "Subject: two\n\nsecond\n\n";
  for (const size_t piece : {0, 1, 3, 7}) {
    const auto messages = ReadMbox(mbox, piece);
    ASSERT_EQ(messages.size(), 2u) << piece;
    EXPECT_EQ(messages[0].text, "Subject: one\n\nbody\nFrom here on it is body\n");
    EXPECT_EQ(messages[0].envelope.sender, "alice@example.com");
    EXPECT_EQ(messages[0].envelope.time, 1796292000);  // 2026-12-03 10:00:00 UTC
    EXPECT_EQ(messages[1].text, "Subject: two\n\nsecond\n");
    EXPECT_EQ(messages[1].envelope.sender, "bob@example.com");
    EXPECT_EQ(messages[1].envelope.time, 1796292000 + 86400 + 5415);
  }
}

TEST(MboxReader, KeepsCrLfLineEndsAsTheyAre) {
  const std::string mbox =
      "From a Thu Dec  3 10:00:00 2026\r\nSubject: x\r\n\r\nline\r\nbare lf\n\r\n\r\n"
      "From b Thu Dec  3 10:00:00 2026\r\nSubject: y\r\n\r\nz\r\n";
  const auto messages = ReadMbox(mbox, 2);
  ASSERT_EQ(messages.size(), 2u);
  // Of the two blank lines, only the last separates.
  EXPECT_EQ(messages[0].text, "Subject: x\r\n\r\nline\r\nbare lf\n\r\n");
  EXPECT_EQ(messages[1].text, "Subject: y\r\n\r\nz\r\n");
}

TEST(MboxReader, UnquotesOneLevelAsMboxrd) {
  const std::string mbox = "From a Thu Dec  3 10:00:00 2026\n\n>From me\n>>From me\n>>>From me\n>Fro\n>\n";
  EXPECT_EQ(ReadMbox(mbox)[0].text, "\nFrom me\n>From me\n>>From me\n>Fro\n>\n");
  // mboxo quoted ">From " only.
  EXPECT_EQ(ReadMbox(mbox, 0, MboxQuoting::Mboxo)[0].text, "\nFrom me\n>>From me\n>>>From me\n>Fro\n>\n");
}

TEST(MboxReader, TakesFlagsFromStatusFieldsAndLeavesThemOut) {
  const std::string mbox =
      "From a Thu Dec  3 10:00:00 2026\nSubject: x\nStatus: RO\nX-Status: AFTD\n\tfolded\nTo: b\n\nStatus: body\n\n"
      "From a Thu Dec  3 10:00:00 2026\nstatus: O\nSubject: y\n\nz\n\n"
      "From a Thu Dec  3 10:00:00 2026\nSubject: new\n\n";
  const auto messages = ReadMbox(mbox, 4);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].text, "Subject: x\nTo: b\n\nStatus: body\n");
  EXPECT_EQ(StoreFlagsText(messages[0].flags), "\\SEEN \\ANSWERED \\FLAGGED \\DELETED \\DRAFT");
  EXPECT_EQ(messages[1].text, "Subject: y\n\nz\n");
  EXPECT_EQ(StoreFlagsText(messages[1].flags), "");
  EXPECT_EQ(messages[2].text, "Subject: new\n");
  EXPECT_EQ(StoreFlagsText(messages[2].flags), "\\RECENT");
}

TEST(MboxReader, ReadsFromLineDates) {
  EXPECT_EQ(ParseMboxFromLine("From a Thu Jan  1 00:00:00 1970").time, 0);
  EXPECT_EQ(ParseMboxFromLine("From a Thu Jan 1 00:00 1970").time, 0);
  EXPECT_EQ(ParseMboxFromLine("From a Sat Feb 29 12:00:00 PST 2020").time, 1582977600);
  EXPECT_EQ(ParseMboxFromLine("From a Sat Feb 29 12:00:00 2020 -0800").time, 1582977600);
  EXPECT_EQ(ParseMboxFromLine("From a").time, std::nullopt);
  EXPECT_EQ(ParseMboxFromLine("From a Fri Feb 29 12:00:00 2019").time, std::nullopt);
  EXPECT_EQ(ParseMboxFromLine("From a Thu Dec 3 25:00:00 2026").time, std::nullopt);
  EXPECT_EQ(ParseMboxFromLine("From a yesterday").time, std::nullopt);
  EXPECT_EQ(ParseMboxFromLine("From  Thu Dec  3 10:00:00 2026").sender, "");
  EXPECT_EQ(ParseMboxFromLine("From  Thu Dec  3 10:00:00 2026").time, 1796292000);
}

TEST(MboxReader, HostileInput) {
  uint64_t leading = 0;
  EXPECT_TRUE(ReadMbox("", 0, MboxQuoting::Mboxrd, &leading).empty());
  EXPECT_EQ(leading, 0u);

  // Text before the first "From " line is counted, not passed on.
  auto messages = ReadMbox("Subject: not mbox\n\nFrom a\nx\n", 0, MboxQuoting::Mboxrd, &leading);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(leading, 19u);
  EXPECT_EQ(messages[0].text, "x\n");
  EXPECT_TRUE(ReadMbox("no mbox at all", 0, MboxQuoting::Mboxrd, &leading).empty());
  EXPECT_EQ(leading, 14u);

  // Empty messages, with and without the separating blank line.
  messages = ReadMbox("From a\n\nFrom b\nFrom c\n\nFrom d\n");
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].text, "");
  EXPECT_EQ(messages[1].text, "From c\n");  // after a non-blank line: text
  EXPECT_EQ(messages[2].text, "");

  // A last line without line end, and one that is only part of "From ".
  EXPECT_EQ(ReadMbox("From a\nSubject: x\n\ncut")[0].text, "Subject: x\n\ncut");
  EXPECT_EQ(ReadMbox("From a\n\n>>Fro")[0].text, "\n>>Fro");
  EXPECT_TRUE(ReadMbox("From").empty());
  EXPECT_EQ(ReadMbox("From ")[0].text, "");
  EXPECT_EQ(ReadMbox("From a\r")[0].text, "");

  // NUL bytes are bytes.
  const std::string nul("From a\nA\0B\n\n\0From x\n", 20);
  messages = ReadMbox(nul, 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, std::string("A\0B\n\n\0From x\n", 13));

  // A very long line, and a very deep quote, pass whole.
  const std::string longLine(3 << 20, 'x');
  const std::string quotes(100000, '>');
  messages = ReadMbox("From a\n\n" + longLine + "\n" + quotes + "From me\n", 4096);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "\n" + longLine + "\n" + quotes.substr(1) + "From me\n");
}

TEST(MboxReader, ReadsAFileThroughABoundedBuffer) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "twformats_reader_test.mbox";
  std::string mbox;
  for (int i = 0; i < 50; ++i) {
    mbox += "From a Thu Dec  3 10:00:00 2026\nSubject: " + std::to_string(i) + "\n\n" + std::string(20000, 'b') + "\n\n";
  }
  std::ofstream(path, std::ios::binary) << mbox;
  test::CollectingSink sink;
  MboxReader reader(sink);
  EXPECT_TRUE(ReadMboxFile(path.string(), reader));
  std::filesystem::remove(path);
  ASSERT_EQ(sink.messages.size(), 50u);
  EXPECT_EQ(sink.messages[49].text, "Subject: 49\n\n" + std::string(20000, 'b') + "\n");

  MboxReader missing(sink);
  EXPECT_FALSE(ReadMboxFile(path.string(), missing));
}

}  // namespace
}  // namespace tw::formats
