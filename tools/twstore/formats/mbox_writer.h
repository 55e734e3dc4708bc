// Writes messages as mboxrd, streaming like the reader: "From <sender>
// <asctime UTC>", the message with every line that is ">" any number of
// times and then "From " given one more ">", Status: and X-Status: for the
// flags at the end of the header (any the message had are left out), and a
// blank line after it.
//
// Line ends: the message's own pass through; the lines the writer adds use
// the line end given for the message (LineEndOf finds it from its first
// bytes). A message whose last line has no line end gets one: mbox cannot
// keep a message's end without it, so that message reads back one line end
// longer.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "formats/line_scanner.h"
#include "formats/store_flags.h"

namespace tw::formats {

struct MboxOutgoing {
  std::string_view sender;  // empty: MAILER-DAEMON
  int64_t time = 0;         // Unix seconds
  MessageFlags flags;
  std::string_view lineEnd = "\n";
};

// "\r\n" when the first line of `start` ends so, else "\n".
std::string_view LineEndOf(std::string_view start);

class MboxWriter : private LineClient {
 public:
  // `out` receives the mbox bytes; it returns false on a failed write,
  // which every later call then reports.
  explicit MboxWriter(std::function<bool(std::string_view)> out) : out_(std::move(out)) {}
  bool BeginMessage(const MboxOutgoing& message);
  bool MessageBytes(std::string_view bytes);
  bool EndMessage();

  // One whole message, its line end found from its text.
  bool WriteMessage(std::string_view text, std::string_view sender, int64_t time, const MessageFlags& flags);

 private:
  void OnLineHead(const LineHead& head) override;
  void OnLineRest(std::string_view bytes) override;
  void OnLineEnd() override;
  void Put(std::string_view bytes);
  void PutFlagFields();

  std::function<bool(std::string_view)> out_;
  LineScanner scanner_;
  bool ok_ = true;
  bool inHeader_ = false;
  bool dropping_ = false;       // the current line is a Status field or its continuation
  bool droppingField_ = false;  // the previous line was
  bool lineOpen_ = false;       // the last line written has no line end yet
  std::string lineEnd_;
  MessageFlags flags_;
};

}  // namespace tw::formats
