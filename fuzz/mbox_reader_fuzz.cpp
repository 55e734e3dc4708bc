// An mbox of any bytes: the reader passes the same messages whatever the
// pieces it is fed in, never more bytes than it was given, and what the
// writer makes of those messages reads back to the same texts and flags.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formats/mbox_reader.h"
#include "formats/mbox_writer.h"

namespace {

using tw::formats::MboxEnvelope;
using tw::formats::MboxQuoting;
using tw::formats::MessageFlags;

struct Message {
  MboxEnvelope envelope;
  std::string text;
  MessageFlags flags;
};

class Sink : public tw::formats::MboxSink {
 public:
  void BeginMessage(const MboxEnvelope& envelope) override {
    if (open) std::abort();
    messages.push_back({envelope, {}, {}});
    open = true;
  }
  void MessageBytes(std::string_view bytes) override {
    if (!open) std::abort();
    messages.back().text += bytes;
  }
  void EndMessage(const MessageFlags& flags) override {
    if (!open) std::abort();
    messages.back().flags = flags;
    open = false;
  }
  std::vector<Message> messages;
  bool open = false;
};

std::vector<Message> Read(std::string_view mbox, size_t piece, MboxQuoting quoting) {
  Sink sink;
  tw::formats::MboxReader reader(sink, quoting);
  for (size_t at = 0; at < mbox.size(); at += piece) reader.Feed(mbox.substr(at, piece));
  reader.Finish();
  if (sink.open || reader.MessageCount() != sink.messages.size()) std::abort();
  return sink.messages;
}

bool SameMessages(const std::vector<Message>& a, const std::vector<Message>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].text != b[i].text || !(a[i].flags == b[i].flags) || a[i].envelope.sender != b[i].envelope.sender ||
        a[i].envelope.time != b[i].envelope.time) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the quoting and the piece size; the rest is the mbox.
  const uint8_t options = data[0];
  const std::string_view mbox(reinterpret_cast<const char*>(data) + 1, size - 1);
  const MboxQuoting quoting = options & 1 ? MboxQuoting::Mboxo : MboxQuoting::Mboxrd;
  const size_t piece = (options >> 1) + 1;

  const std::vector<Message> whole = Read(mbox, mbox.size() + 1, quoting);
  if (!SameMessages(whole, Read(mbox, piece, quoting))) std::abort();
  size_t total = 0;
  for (const Message& m : whole) total += m.text.size();
  if (total > mbox.size()) std::abort();

  std::string written;
  tw::formats::MboxWriter writer([&written](std::string_view bytes) {
    written += bytes;
    return true;
  });
  for (const Message& m : whole) {
    if (!writer.WriteMessage(m.text, m.envelope.sender, m.envelope.time.value_or(0), m.flags)) std::abort();
  }
  const std::vector<Message> again = Read(written, piece, MboxQuoting::Mboxrd);
  if (again.size() != whole.size()) std::abort();
  for (size_t i = 0; i < whole.size(); ++i) {
    std::string expected = whole[i].text;
    // mbox cannot end a message without a line end; the writer adds one.
    if (!expected.empty() && expected.back() != '\n') expected += tw::formats::LineEndOf(expected);
    if (again[i].text != expected) std::abort();
    if (!(again[i].flags == whole[i].flags)) std::abort();
    if (whole[i].envelope.time && again[i].envelope.time != whole[i].envelope.time) std::abort();
  }
  return 0;
}
