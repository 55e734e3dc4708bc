// Writing mboxrd, and reading back what was written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/mbox_writer.h"
#include "tools/formats/mbox_support.h"

namespace tw::formats {
namespace {

using test::ReadMbox;
using test::ReadMessage;
using test::WriteMbox;

MessageFlags Flags(bool seen, bool recent) {
  MessageFlags flags;
  flags.seen = seen;
  flags.recent = recent;
  return flags;
}

TEST(MboxWriter, WritesFromLineStatusFieldsQuotesAndSeparator) {
  std::string mbox;
  MboxWriter writer([&mbox](std::string_view bytes) {
    mbox += bytes;
    return true;
  });
  MessageFlags flags = Flags(true, false);
  flags.flagged = flags.answered = true;
  ASSERT_TRUE(writer.WriteMessage("Subject: x\nStatus: U\n\tstale\n\nFrom me\n>From me\nbody", "alice@example.com",
                                  1796292000, flags));
  ASSERT_TRUE(writer.WriteMessage("Subject: y\r\n", "", 0, Flags(false, true)));
  EXPECT_EQ(mbox,
            "From alice@example.com Thu Dec  3 10:00:00 2026\n"
            "Subject: x\nStatus: RO\nX-Status: AF\n\n>From me\n>>From me\nbody\n\n"
            "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\r\nSubject: y\r\n\r\n");
}

TEST(MboxWriter, SenderAndDateStayOnOneLine) {
  std::string mbox;
  MboxWriter writer([&mbox](std::string_view bytes) {
    mbox += bytes;
    return true;
  });
  writer.WriteMessage("", "a b\nc", -1, Flags(false, true));
  EXPECT_EQ(mbox, "From a_b_c Wed Dec 31 23:59:59 1969\n\n");
}

TEST(MboxWriter, AFailedWriteIsReportedFromThenOn) {
  int calls = 0;
  MboxWriter writer([&calls](std::string_view) { return ++calls < 2; });
  EXPECT_FALSE(writer.WriteMessage("Subject: x\n\nbody\n", "a", 0, {}));
  EXPECT_FALSE(writer.WriteMessage("Subject: y\n\nbody\n", "a", 0, {}));
  EXPECT_EQ(calls, 2);
}

TEST(MboxWriter, WhatIsWrittenReadsBackByteForByte) {
  const std::vector<std::string> bodies = {
      "Subject: lf\n\nFrom me\n>From me\n>>From me\nFrom\n>From\n\n",
      "Subject: crlf\r\n\r\nFrom me\r\n>From me\r\n>>From me\r\n\r\n\r\n",
      "",
      "\n",
      "\r\n",
      "Subject: only a header\n",
      "From me\nSubject: first line quoted\n\nx\n",
      "Subject: nul\n\nA\0B\n" + std::string(1, '\0') + "From x\n",
      "Subject: long\n\n" + std::string(200000, 'y') + "\n" + std::string(70000, '>') + "From deep\n",
      "Subject: blank before From\n\nx\n\nFrom inside\n\n>From inside\n",
  };
  std::vector<ReadMessage> messages;
  for (size_t i = 0; i < bodies.size(); ++i) {
    MessageFlags flags;
    flags.seen = i & 1;
    flags.recent = i & 2;
    flags.answered = i & 4;
    flags.flagged = i & 8;
    flags.deleted = i % 3 == 0;
    flags.draft = i % 5 == 0;
    messages.push_back({{"sender" + std::to_string(i) + "@example.com", 1796292000 + static_cast<int64_t>(i)},
                        bodies[i], flags});
  }
  const std::string mbox = WriteMbox(messages);
  for (const size_t piece : {0, 1, 5, 4096}) {
    const std::vector<ReadMessage> read = ReadMbox(mbox, piece);
    ASSERT_EQ(read.size(), messages.size());
    for (size_t i = 0; i < read.size(); ++i) {
      EXPECT_EQ(read[i].text, messages[i].text) << i;
      EXPECT_EQ(read[i].flags, messages[i].flags) << i;
      EXPECT_EQ(read[i].envelope.sender, messages[i].envelope.sender) << i;
      EXPECT_EQ(read[i].envelope.time, messages[i].envelope.time) << i;
    }
  }
}

TEST(MboxWriter, AMessageWithoutFinalLineEndGetsOne) {
  const std::vector<ReadMessage> messages = {{{"a", 0}, "Subject: x\n\nno end", Flags(true, false)},
                                             {{"a", 0}, "Subject: y\r\n\r\nno end", {}},
                                             {{"a", 0}, "Subject: only", Flags(true, false)},
                                             {{"a", 0}, "Subject: cr\n\r", Flags(true, false)}};
  const std::vector<ReadMessage> read = ReadMbox(WriteMbox(messages));
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[0].text, "Subject: x\n\nno end\n");
  EXPECT_EQ(read[1].text, "Subject: y\r\n\r\nno end\r\n");
  EXPECT_EQ(read[2].text, "Subject: only\n");
  EXPECT_EQ(read[2].flags, Flags(true, false));
  // The "\r" and the line end given to it make the blank line ending the header.
  EXPECT_EQ(read[3].text, "Subject: cr\n\r\n");
  EXPECT_EQ(read[3].flags, Flags(true, false));
}

TEST(MboxWriter, FindsTheMessagesLineEnd) {
  EXPECT_EQ(LineEndOf("a\r\nb\n"), "\r\n");
  EXPECT_EQ(LineEndOf("a\nb\r\n"), "\n");
  EXPECT_EQ(LineEndOf("\n"), "\n");
  EXPECT_EQ(LineEndOf("no end"), "\n");
}

}  // namespace
}  // namespace tw::formats
