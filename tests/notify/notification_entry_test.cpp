// Activity lines and notification messages as texts: parsing, hostile
// input, formatting.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "notify/activity_file.h"
#include "notify/notification_entry.h"
#include "notify/notification_message.h"
#include "notify/notify_by_rpc.h"

namespace tw {
namespace {

constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();

TEST(NotificationEntry, ParsesHostileLines) {
  const std::string longText(1024, 'x');
  const std::string session256(256, 's');
  const struct {
    const char* name;
    std::string line;
    const char* server;
    const char* service;
    const char* protocol;
    const char* verb;
    int32_t port;
    int64_t clientValue;
    const char* folder;
    int64_t signal;
    std::string session;
  } cases[] = {
      {"full", "host\tIMAP-1\tX-LISTEN\tcd\t143\t-7\t/Inbox\t99\tS1", "host", "IMAP-1", "IMAP", "X-LISTEN", 143, -7,
       "/Inbox", 99, "S1"},
      {"empty fields", "\t\t\t\t\t\t\t\t", "", "", "", "", 0, 0, "", 0, ""},
      {"short line", "host\tPOP", "host", "POP", "POP", "", 0, 0, "", 0, ""},
      {"extra tabs end the ninth field", "a\tb\tc\td\t1\t2\tf\t3\tsess\tmore\tfields", "a", "b", "b", "c", 1, 2, "f",
       3, "sess"},
      {"leading digits only", "a\tb\tc\td\t12ab\t 34x\tf\t+5z\ts", "a", "b", "b", "c", 12, 34, "f", 5, "s"},
      {"non-numeric", "a\tb\tc\td\tport\tvalue\tf\tnone\ts", "a", "b", "b", "c", 0, 0, "f", 0, "s"},
      {"huge numbers saturate", "a\tb\tc\td\t99999999999\t99999999999999999999999\tf\t-99999999999999999999\ts", "a",
       "b", "b", "c", std::numeric_limits<int32_t>::max(), kMax64, "f", kMin64, "s"},
      {"text over capacity reads empty", longText + "\tS-" + longText + "\tv\td\t1\t1\tf\t1\t" + session256, "", "",
       "", "v", 1, 1, "f", 1, ""},
      {"protocol of 256 is empty", "h\t" + std::string(256, 'p') + "-x\tv\td\t1\t1\tf\t1\ts", "h", nullptr, "", "v",
       1, 1, "f", 1, "s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const NotificationEntry e = ParseActivityLine(c.line);
    EXPECT_EQ(e.server, c.server);
    if (c.service != nullptr) {
      EXPECT_EQ(e.service, c.service);
    }
    EXPECT_EQ(e.protocol, c.protocol);
    EXPECT_EQ(e.verb, c.verb);
    EXPECT_EQ(e.port, c.port);
    EXPECT_EQ(e.clientValue, c.clientValue);
    EXPECT_EQ(e.folder, c.folder);
    EXPECT_EQ(e.signalAddress, c.signal);
    EXPECT_EQ(e.sessionId, c.session);
    EXPECT_EQ(e.interested, 1);
    EXPECT_EQ(e.result, 0);
  }
}

TEST(NotificationEntry, ReadsPiecesInNotificationOrder) {
  // A 2000-character line arrives as two pieces; NUL cuts a piece; CR LF
  // and blank lines are line ends.
  std::string text = "n1\tS\tNOTE\nl1\tS\tX-LISTEN\r\n\n\nn2\tS\tx-listen\n" + std::string(2000, 'z') +
                     "\nl2\tS\tX-LISTEN" + '\0' + "hidden\nl3\tS\tX-LISTEN";
  FILE* stream = fmemopen(text.data(), text.size(), "r");
  ASSERT_NE(stream, nullptr);
  std::string order;
  for (const NotificationEntry& e : ReadActivityEntries(stream)) order += e.server.substr(0, 4) + " ";
  std::fclose(stream);
  EXPECT_EQ(order, "zzzz zzzz n2 n1 l1 l2 l3 ");
}

TEST(NotificationMessage, ParsesCommandsFieldsAndPayload) {
  const struct {
    const char* name;
    std::string text;
    bool valid;
    int32_t code;
    const char* mailbox;
    size_t lines;
  } cases[] = {
      {"commit", "[TW_NOTIFY]\t5\ts\tCOMMIT\r\n\r\n", true, kCommandCommit, "", 0},
      {"add", "[TW_NOTIFY]\t5\ts\tadd\tf5\tPO\tbob\tInbox\tf9\tm1\r\nm2\r\n\r\nignored", true, kCommandAdd, "bob", 2},
      {"end inside command", "[TW_NOTIFY]\t5\ts\tDEL\r\n\r\n\tf5\tPO\tbob\tInbox\tf9\tm1", true, kCommandDel, "", 0},
      {"no ninth tab", "[TW_NOTIFY]\t5\ts\tMOD\tf5\tPO\tbob", true, kCommandMod, "bob", 0},
      {"unclosed payload", "[TW_NOTIFY]\t5\ts\tNEW\t\tPO\tbob\t\t\tm1\r\nm2", true, kCommandNew, "bob", 2},
      {"other", "[TW_NOTIFY]\t5\ts\tPURGE", true, kCommandOther, "", 0},
      {"not a message", "[TW_NOTIF]\t5\ts\tADD", false, kCommandOther, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NotificationMessage m;
    EXPECT_EQ(ParseNotificationMessage(c.text, m), c.valid);
    EXPECT_EQ(m.code, c.code);
    if (c.valid) {
      EXPECT_EQ(m.signalAddress, 5);
    }
    EXPECT_EQ(m.Field(7), c.mailbox);
    EXPECT_EQ(m.payload.size(), c.lines);
  }
  std::string many = "[TW_NOTIFY]\t1\ts\tDEL\t\tPO\tbob\t\t\t";
  for (int i = 0; i < 1500; ++i) many += "m\r\n";
  NotificationMessage m;
  ASSERT_TRUE(ParseNotificationMessage(many, m));
  EXPECT_EQ(m.payload.size(), kMaxPayloadLines);
  for (const char* name : {"ADD", "mod", "Del", "NEW", "commit", "NFY", "bdel"})
    EXPECT_NE(NotificationCommandCode(name), kCommandOther) << name;
  EXPECT_EQ(NotificationCommandCode("BDEL"), 102);
}

}  // namespace
}  // namespace tw
