// Splits an mbox into its messages as a stream: the caller feeds the file in
// pieces of any size and receives each message in pieces; no message and
// no line is held whole, so messages of any size pass through.
//
// A message starts at a line beginning "From " that is the first line of
// the file or follows a blank line; before the first message any "From "
// line starts one (there is no body yet to belong to). A "From " line after
// a non-blank line stays body text. mboxcl's Content-Length is not trusted:
// files that carry it are written by tools that also quote "From ".
//
// Unquoting, by default mboxrd: one ">" comes off every line that is ">"
// any number of times and then "From ". mboxo quoting (">From " only) cannot
// be told apart from a ">From " the sender wrote; choose it only for files
// known to be mboxo.
//
// Line ends, LF or CRLF, pass as they are, byte for byte; the blank line
// before the next "From " line (or before the end of the file) separates
// messages and is not part of the message.
//
// Flags come from the header's Status: (R seen, O old: without O the
// message is recent) and X-Status: (A answered, F flagged, T draft, D
// deleted). Those lines, and their continuation lines, are left out of the
// message: they belong to the mbox, and export writes fresh ones.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/line_scanner.h"
#include "formats/mbox_from_line.h"
#include "formats/store_flags.h"

namespace tw::formats {

enum class MboxQuoting { Mboxrd, Mboxo };

class MboxSink {
 public:
  virtual ~MboxSink() = default;
  virtual void BeginMessage(const MboxEnvelope& envelope) = 0;
  virtual void MessageBytes(std::string_view bytes) = 0;
  virtual void EndMessage(const MessageFlags& flags) = 0;
};

class MboxReader : private LineClient {
 public:
  explicit MboxReader(MboxSink& sink, MboxQuoting quoting = MboxQuoting::Mboxrd) : sink_(sink), quoting_(quoting) {}
  void Feed(std::string_view bytes) { scanner_.Feed(bytes, *this); }
  // The end of the file: ends the last message.
  void Finish();

  uint64_t MessageCount() const { return messages_; }
  // Bytes before the first "From " line: not an mbox message, not passed
  // on. A file of nothing else is not an mbox.
  uint64_t BytesBeforeFirstMessage() const { return leading_; }

 private:
  enum class Kind { Separator, Text, FlagField, Dropped, Blank, Leading };
  static constexpr size_t kFromLineLimit = 1000;
  static constexpr size_t kFlagValueLimit = 64;

  void OnLineHead(const LineHead& head) override;
  void OnLineRest(std::string_view bytes) override;
  void OnLineEnd() override;
  Kind Classify(const LineHead& head) const;
  void EmitPendingBlank();
  void EndMessage();
  void EmitQuotes(uint64_t count);
  void TakeFlags();

  MboxSink& sink_;
  MboxQuoting quoting_;
  LineScanner scanner_;

  bool inMessage_ = false;
  bool inHeader_ = false;
  bool firstLine_ = true;
  bool previousBlank_ = false;
  bool droppingField_ = false;  // continuation lines of a Status field go too
  std::string pendingBlank_;    // the separator, unless more text follows
  Kind kind_ = Kind::Text;
  std::string fromLine_;
  std::string flagField_;       // a Status or X-Status line, bounded
  MessageFlags flags_;
  bool sawOld_ = false;
  uint64_t messages_ = 0;
  uint64_t leading_ = 0;
};

// Reads the mbox file at `path` through a bounded buffer. False when it
// cannot be opened or read (the platform's last error says why); messages
// passed before a read failure stay passed.
bool ReadMboxFile(std::string_view path, MboxReader& reader);

}  // namespace tw::formats
