#include "index/messages/message_header.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "platform/files.h"
#include "support/test_support.h"

namespace tw {
namespace {

std::unique_ptr<MessageHeaderInfo> Parse(const std::string& text, HeaderParseOptions options = {}) {
  auto info = std::make_unique<MessageHeaderInfo>();
  ParseHeaderText(text, *info, options);
  return info;
}

std::string Lines(int count, const std::string& prefix) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += prefix + std::to_string(i) + "\r\n";
  return text;
}

TEST(MessageHeaderTest, FieldsAndContinuations) {
  const auto info = Parse(
      "From: Ann <ann@x>\r\nTo: bob@x,\r\n carol@x\r\nCC: dan@x\r\n\teve@x\r\nSubject: Hello\r\n\t World\n"
      "reply-to: r@x\r\nMessage-ID:  <id@x>\r\nX-TW-Class: IPM.Note\r\nCategories: a,\r\n b\r\n"
      "X-Priority: 1 (Highest)\r\n\r\nSubject: body\r\n");
  EXPECT_STREQ(info->from, "Ann <ann@x>");
  EXPECT_EQ(info->to, "bob@x,carol@x");
  EXPECT_EQ(info->cc, "dan@xeve@x");
  EXPECT_STREQ(info->subject, "Hello World");
  EXPECT_STREQ(info->replyTo, "r@x");
  EXPECT_STREQ(info->messageId, " <id@x>");
  EXPECT_STREQ(info->messageClass, "IPM.Note");
  EXPECT_EQ(info->categories, "a,b");
  EXPECT_EQ(info->priority, 1);
  EXPECT_STREQ(info->fromFallback, "");
  EXPECT_EQ(info->headerText.find("body"), std::string::npos);
  EXPECT_EQ(info->headerText.substr(0, 19), "From: Ann <ann@x>\r\n");
}

TEST(MessageHeaderTest, SingleHeaderRules) {
  const struct {
    const char* header;
    const char* flags;  // initial flags after the parse
    int32_t read, priority;
    const char* from;
    const char* fallback;
  } cases[] = {
      {"", "", 0, 3, "", ""},
      {"X-Priority: 0\r\n", "", 0, 3, "", ""},
      {"X-Priority: -4\r\n", "", 0, 3, "", ""},
      {"x-priority: 5\r\n", "", 0, 5, "", ""},
      {"X-Priority:2\r\n", "", 0, 3, "", ""},
      {"X-Read: 1\r\n", "\\SEEN", 1, 3, "", ""},
      {"X-Read: 0\r\n", "", 0, 3, "", ""},
      {"X-TWTempFlags: \\FLAGGED\r\nX-Read: 1\r\n", "\\FLAGGED \\SEEN", 1, 3, "", ""},
      {"X-Read: 1\r\nX-TWTempFlags: \\FLAGGED\r\n", "\\FLAGGED", 1, 3, "", ""},
      {"X-TWTempFlags: \\seen\r\nX-Read: 1\r\n", "\\seen", 1, 3, "", ""},
      {"From:\r\n", "", 0, 3, "", "Unknown"},
      {"sender: s@x\r\nFrom: f@x\r\n", "", 0, 3, "f@x", ""},
      {"From: f@x\r\nSender: s@x\r\n", "", 0, 3, "f@x", ""},
      {"Sender: s@x\r\n", "", 0, 3, "s@x", ""},
  };
  for (const auto& c : cases) {
    const auto info = Parse(c.header);
    EXPECT_EQ(info->initialFlags, c.flags) << c.header;
    EXPECT_EQ(info->read, c.read) << c.header;
    EXPECT_EQ(info->priority, c.priority) << c.header;
    EXPECT_STREQ(info->from, c.from) << c.header;
    EXPECT_STREQ(info->fromFallback, c.fallback) << c.header;
  }
  HeaderParseOptions noSeen;
  noSeen.seenFromXRead = false;
  const auto quiet = Parse("X-Read: 1\r\n", noSeen);
  EXPECT_EQ(quiet->read, 1);
  EXPECT_EQ(quiet->initialFlags, "");
}

TEST(MessageHeaderTest, Dates) {
  test::ScopedTimeZone utc("UTC0");
  const struct {
    const char* header;
    const char* received;
    const char* message;
  } cases[] = {
      {"Received: from a by b; Tue, 5 Mar 2014 09:00:00 +0100\r\nDate: Wed, 6 Mar 2014 10:00:00 +0000\r\n",
       "2014-03-05T08:00:00", "2014-03-06T10:00:00"},
      {"Received: from a\r\n\tby b\r\n\tid 7; 5 Mar 2014 09:00:00 GMT\r\n", "2014-03-05T09:00:00", ""},
      {"Received: from a\r\nX-Other: x; 5 Mar 2014 09:00:00 GMT\r\n", "", ""},
      {"Received: x; 5 Mar 2014 09:00:00 GMT\r\nReceived: y; 7 Mar 2014 09:00:00 GMT\r\n", "2014-03-05T09:00:00", ""},
      {"Date: 6 Mar 2014 10:00:00 +0000\r\nReceived: y; 7 Mar 2014 09:00:00 GMT\r\n", "2014-03-06T10:00:00",
       "2014-03-06T10:00:00"},
      {"Received: y; garbage\r\nReceived: z; 7 Mar 2014 09:00:00 GMT\r\n", "2014-03-07T09:00:00", ""},
      {"Date:6 Mar 2014 10:00:00\r\n", "", ""},
  };
  for (const auto& c : cases) {
    const auto info = Parse(c.header);
    EXPECT_STREQ(info->receivedDate, c.received) << c.header;
    EXPECT_STREQ(info->messageDate, c.message) << c.header;
  }
}

TEST(MessageHeaderTest, Attachments) {
  const struct {
    const char* text;
    bool alternative;
    int32_t expected;
  } cases[] = {
      {"Content-Type: multipart/mixed; b=x\r\n\r\nbody\r\n", false, 0},
      {"Content-Type: multipart/mixed\r\n\r\n--x\r\nContent-Disposition: attachment; f=a\r\n", false, 1},
      {"Content-Type: multipart/mixed\r\n\r\nContent-Disposition: inline\r\n", false, 0},
      {"Content-Type: multipart/mixed\r\nContent-Disposition: attachment\r\n\r\n", false, 1},
      {"Content-Disposition: attachment\r\nContent-Type: text/plain\r\n\r\n", false, 0},
      {"Content-Type: multipart/alternative\r\n\r\nContent-Disposition: attachment\r\n", false, 0},
      {"Content-Type: multipart/alternative\r\n\r\nContent-Disposition: attachment\r\n", true, 1},
      {"Content-Type: text/plain\r\nX-MS-Has-Attach: yes\r\n\r\nContent-Disposition: attachment\r\n", false, 1},
      {"X-MS-Has-Attach: yes\r\n\r\nno disposition\r\n", false, 0},
      {"Content-Type: multipart/mixed\r\nSubject: no end of header", false, 0},
  };
  for (const auto& c : cases) {
    HeaderParseOptions options;
    options.alternativeHasAttachments = c.alternative;
    EXPECT_EQ(Parse(c.text, options)->hasAttachments, c.expected) << c.text;
  }
}

TEST(MessageHeaderTest, UidsOnlyWithTheExpectedValidity) {
  const struct {
    bool check;
    uint32_t validity;
    const char* header;
    uint32_t uid;
  } cases[] = {
      {true, 123, "X-UID: 123.45\r\n", 45},   {true, 124, "X-UID: 123.45\r\n", 0},
      {false, 123, "X-UID: 123.45\r\n", 0},   {true, 123, "X-UID: 12345\r\n", 0},
      {true, 0, "X-UID: .9\r\n", 9},          {true, 4294967295u, "X-UID: 99999999999.7\r\n", 7},
  };
  for (const auto& c : cases) {
    HeaderParseOptions options;
    options.checkUids = c.check;
    auto info = std::make_unique<MessageHeaderInfo>();
    info->expectedUidValidity = c.validity;
    ParseHeaderText(c.header, *info, options);
    EXPECT_EQ(info->uidFromFile, c.uid) << c.header;
  }
}

TEST(MessageHeaderTest, OnlyTheFirst301LinesAreExamined) {
  for (const auto& [fillers, found] : {std::pair{300, "late"}, std::pair{301, ""}, std::pair{399, ""}}) {
    const auto info = Parse(Lines(fillers, "X-Filler: ") + "Subject: late\r\n\r\n");
    EXPECT_STREQ(info->subject, found) << fillers;
  }
}

TEST(MessageHeaderTest, HostileBytes) {
  const std::string huge(100 * 1024, 'a');
  const auto longLine = Parse("Subject: " + huge + "\r\nTo: t@x\r\n\r\n");
  EXPECT_EQ(std::string(longLine->subject), std::string(1023, 'a'));
  EXPECT_EQ(longLine->to, "t@x");
  const auto continued = Parse("From: " + std::string(500, 'a') + "\r\n\t" + std::string(600, 'b') +
                               "\r\nSubject: x\r\n " + std::string(2000, 's') + "\r\n");
  EXPECT_EQ(std::string(continued->from), std::string(500, 'a') + std::string(11, 'b'));
  EXPECT_EQ(std::string(continued->subject), "x" + std::string(1022, 's'));
  const auto longCategories = Parse("Categories: x\r\n " + std::string(3000, 'c') + "\r\n");
  EXPECT_EQ(longCategories->categories.size(), 1u + 2046u);

  const struct {
    std::string text;
    const char* subject;
  } cases[] = {
      {std::string("Subject: ab\0cd\r\n", 16), "ab"},
      {"Subject: a\rb\r\n", "a\rb"},
      {"\rSubject: x\r\n", ""},
      {"\nSubject: x\r\n", ""},
      {"Subject: x\r", "x\r"},
      {"Subject: \xff\xfe\x80 ok\r\n", "\xff\xfe\x80 ok"},
      {"Subject: one\r\nSubject: two\r\n", "two"},
      {std::string("\0Subject: x\r\nSubject: y\r\n", 25), "y"},
  };
  for (const auto& c : cases) EXPECT_STREQ(Parse(c.text)->subject, c.subject);
}

TEST(MessageHeaderTest, FilesGiveTimeAndSize) {
  test::ScratchDir dir;
  const std::string path = dir / "a.MAI";
  test::WriteFile(path, "Subject: file\r\n\r\nbody");
  ASSERT_TRUE(platform::SetFileLastWriteTime(path, platform::DosDateTimeToFileTime(0x44651234)));
  auto info = std::make_unique<MessageHeaderInfo>();
  ASSERT_EQ(ParseHeaders(path, *info, {}), 1);
  EXPECT_STREQ(info->subject, "file");
  EXPECT_EQ(info->size, 21);
  EXPECT_EQ(info->fileTime, 0x44651234u);

  HeaderParseOptions known;
  known.haveFileFacts = true;
  known.fileSize = 77;
  known.lastWriteTime = platform::DosDateTimeToFileTime(0x44650000);
  ASSERT_EQ(ParseHeaders(path, *info, known), 1);
  EXPECT_EQ(info->size, 77);
  EXPECT_EQ(info->fileTime, 0x44650000u);

  test::WriteFile(dir / "empty.MAI", "");
  info->Reset();
  ASSERT_EQ(ParseHeaders(dir / "empty.MAI", *info, {}), 1);
  EXPECT_EQ(info->size, 0);
  EXPECT_EQ(info->priority, 3);
  EXPECT_EQ(ParseHeaders(dir / "missing.MAI", *info, {}), 0);
}

}  // namespace
}  // namespace tw
