// The messages an MboxReader passes, collected whole for the tests.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "formats/mbox_reader.h"
#include "formats/mbox_writer.h"

namespace tw::formats::test {

struct ReadMessage {
  MboxEnvelope envelope;
  std::string text;
  MessageFlags flags;
};

class CollectingSink : public MboxSink {
 public:
  void BeginMessage(const MboxEnvelope& envelope) override {
    messages.push_back({envelope, {}, {}});
    open = true;
  }
  void MessageBytes(std::string_view bytes) override {
    if (!open) outside = true;
    if (!messages.empty()) messages.back().text += bytes;
  }
  void EndMessage(const MessageFlags& flags) override {
    messages.back().flags = flags;
    open = false;
  }
  std::vector<ReadMessage> messages;
  bool open = false;
  bool outside = false;  // bytes passed outside a message: a fault
};

// `mbox` fed in pieces of `piece` bytes (0: at once).
inline std::vector<ReadMessage> ReadMbox(std::string_view mbox, size_t piece = 0,
                                         MboxQuoting quoting = MboxQuoting::Mboxrd, uint64_t* leading = nullptr) {
  CollectingSink sink;
  MboxReader reader(sink, quoting);
  if (piece == 0) piece = mbox.size() + 1;
  for (size_t at = 0; at < mbox.size(); at += piece) reader.Feed(mbox.substr(at, piece));
  reader.Finish();
  if (leading != nullptr) *leading = reader.BytesBeforeFirstMessage();
  EXPECT_FALSE(sink.outside);
  EXPECT_EQ(reader.MessageCount(), sink.messages.size());
  return sink.messages;
}

inline std::string WriteMbox(const std::vector<ReadMessage>& messages) {
  std::string mbox;
  MboxWriter writer([&mbox](std::string_view bytes) {
    mbox += bytes;
    return true;
  });
  for (const ReadMessage& m : messages) {
    writer.WriteMessage(m.text, m.envelope.sender, m.envelope.time.value_or(0), m.flags);
  }
  return mbox;
}

}  // namespace tw::formats::test
