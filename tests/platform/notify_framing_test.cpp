// Taking a notification message off a connection: whole messages, and the
// refusals of oversized, split and slow ones, piece by piece and over a
// real socket pair.
#include "platform/notify_framing.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "platform/notify_socket.h"

namespace tw::platform {
namespace {

constexpr FrameLimits kLimits{100, 10, 1000};

TEST(NotifyFramingTest, PiecesMakeAMessageUntilTheCloseAndEveryRefusalIsFinal) {
  MessageFrame whole;
  for (const char* piece : {"[TW_NOTIFY]\t", "", "7\tS\tCOMMIT", "\r\n\r\n"})
    EXPECT_EQ(TakeArrival(whole, Arrival::kPiece, piece, 5, kLimits), FrameResult::kIncomplete);
  EXPECT_EQ(TakeArrival(whole, Arrival::kClose, {}, 900, kLimits), FrameResult::kComplete);
  EXPECT_EQ(whole.message, "[TW_NOTIFY]\t7\tS\tCOMMIT\r\n\r\n");
  EXPECT_EQ(whole.pieces, 3u) << "an empty read is no piece";

  // Oversized: refused at the piece that passes the limit, which is not
  // kept, however much more comes.
  MessageFrame large;
  EXPECT_EQ(TakeArrival(large, Arrival::kPiece, std::string(60, 'a'), 0, kLimits), FrameResult::kIncomplete);
  EXPECT_EQ(TakeArrival(large, Arrival::kPiece, std::string(41, 'b'), 0, kLimits), FrameResult::kTooLarge);
  EXPECT_EQ(large.message, std::string(60, 'a'));
  EXPECT_EQ(TakeArrival(large, Arrival::kPiece, std::string(1 << 20, 'c'), 0, kLimits), FrameResult::kTooLarge);
  EXPECT_EQ(TakeArrival(large, Arrival::kClose, {}, 0, kLimits), FrameResult::kTooLarge);
  EXPECT_EQ(large.message.size(), 60u);
  MessageFrame exact;
  TakeArrival(exact, Arrival::kPiece, std::string(100, 'a'), 0, kLimits);
  EXPECT_EQ(TakeArrival(exact, Arrival::kClose, {}, 0, kLimits), FrameResult::kComplete);

  // Split: the eleventh piece is refused, small as the message is.
  MessageFrame split;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(TakeArrival(split, Arrival::kPiece, "x", 1, kLimits), FrameResult::kIncomplete);
  EXPECT_EQ(TakeArrival(split, Arrival::kPiece, "x", 1, kLimits), FrameResult::kTooManyPieces);
  EXPECT_EQ(TakeArrival(split, Arrival::kClose, {}, 1, kLimits), FrameResult::kTooManyPieces);
  EXPECT_EQ(split.message, std::string(10, 'x'));

  // Slow: silence, a piece or a close after the time ran out.
  for (const Arrival late : {Arrival::kPiece, Arrival::kClose}) {
    MessageFrame slow;
    TakeArrival(slow, Arrival::kPiece, "abc", 1000, kLimits);
    EXPECT_EQ(TakeArrival(slow, late, "def", 1001, kLimits), FrameResult::kTooSlow);
    EXPECT_EQ(slow.message, "abc");
  }
  MessageFrame silent;
  EXPECT_EQ(TakeArrival(silent, Arrival::kSilence, {}, 0, kLimits), FrameResult::kTooSlow);
  MessageFrame broken;
  EXPECT_EQ(TakeArrival(broken, Arrival::kFailure, {}, 0, kLimits), FrameResult::kBroken);
  EXPECT_STREQ(FrameRefusal(FrameResult::kTooManyPieces), "split into too many pieces");
}

// A connected pair: the reader's end as a listener gets it, and the peer's.
struct SocketPair {
  SocketPair() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
    reader = NotifyConnection(fds[0]);
    peer = fds[1];
  }
  ~SocketPair() { close(peer); }
  void Send(const std::string& text) const { ASSERT_EQ(send(peer, text.data(), text.size(), 0), ssize_t(text.size())); }
  NotifyConnection reader;
  int peer = -1;
};

TEST(NotifyFramingTest, ConnectionsGiveTheMessageOrARefusalWithoutWaitingOut) {
  std::string message;
  {
    SocketPair pair;
    for (const char* piece : {"imap\n", "[TW_NOTIFY]\t1\t", "S\tCOMMIT\r\n\r\n"}) pair.Send(piece);
    shutdown(pair.peer, SHUT_WR);
    EXPECT_EQ(pair.reader.ReadMessage(message, {100, 10, 60000}), FrameResult::kComplete);
    std::string protocol, rest;
    ASSERT_TRUE(SplitRelayedMessage(message, protocol, rest));
    EXPECT_EQ(protocol, "imap");
    EXPECT_EQ(rest, "[TW_NOTIFY]\t1\tS\tCOMMIT\r\n\r\n");
  }
  {
    // The peer never closes: the size alone ends the read.
    SocketPair pair;
    pair.Send(std::string(150, 'a'));
    EXPECT_EQ(pair.reader.ReadMessage(message, {100, 10, 60000}), FrameResult::kTooLarge);
    EXPECT_LE(message.size(), 100u);
  }
  {
    // Nothing comes and the peer stays: the time-out ends the read.
    SocketPair pair;
    pair.Send("[TW_NOTIFY]");
    EXPECT_EQ(pair.reader.ReadMessage(message, {100, 10, 1}), FrameResult::kTooSlow);
  }
  EXPECT_EQ(NotifyConnection().ReadMessage(message, kLimits), FrameResult::kBroken);
  std::string protocol, rest;
  EXPECT_FALSE(SplitRelayedMessage("\n[TW_NOTIFY]", protocol, rest));
  EXPECT_FALSE(SplitRelayedMessage("imap", protocol, rest));
}

}  // namespace
}  // namespace tw::platform
