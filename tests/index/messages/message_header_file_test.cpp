// Headers read from files: past the first buffer, into the body for the
// attachment search, and not from a file another process holds exclusively.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "index/messages/message_header.h"
#include "support/holder_process.h"
#include "support/test_support.h"

namespace tw {
namespace {

std::string Received(int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += "Received: from relay" + std::to_string(i) + ".example.net by mx.example.org with ESMTP id " +
            std::string(40, 'q') + "\r\n";
  return text;
}

TEST(MessageHeaderFileTest, ReadsPastTheFirstBufferAndIntoTheBody) {
  test::ScratchDir dir;
  const std::string padding(40000, 'b');
  const struct {
    std::string text;
    const char* subject;
    int attachments;
  } cases[] = {
      {Received(200) + "Subject: late\r\n\r\nbody\r\n", "late", 0},
      {"Content-Type: multipart/mixed\r\nSubject: m\r\n\r\n" + padding + "\r\nContent-Disposition: attachment\r\n",
       "m", 1},
      {"Content-Type: multipart/mixed\r\nSubject: n\r\n\r\n" + padding + "\r\n", "n", 0},
  };
  for (const auto& c : cases) {
    test::WriteFile(dir / "m.MAI", c.text);
    auto info = std::make_unique<MessageHeaderInfo>();
    ASSERT_EQ(ParseHeaders(dir / "M.mai", *info, {}), 1);
    EXPECT_STREQ(info->subject, c.subject);
    EXPECT_EQ(info->hasAttachments, c.attachments) << c.subject;
    EXPECT_EQ(info->size, static_cast<int32_t>(c.text.size()));
  }
}

TEST(MessageHeaderFileTest, AFileHeldExclusivelyIsNotRead) {
  test::ScratchDir dir;
  const std::string path = dir / "held.MAI";
  test::WriteFile(path, "Subject: held\r\n\r\n");
  auto info = std::make_unique<MessageHeaderInfo>();
  {
    test::HolderProcess holder("exclusive", path);
    ASSERT_EQ(holder.Line(), "ok");
    EXPECT_EQ(ParseHeaders(path, *info, {}), 0);
  }
  ASSERT_EQ(ParseHeaders(path, *info, {}), 1);
  EXPECT_STREQ(info->subject, "held");
}

}  // namespace
}  // namespace tw
