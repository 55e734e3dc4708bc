#include "formats/mbox_writer.h"

#include "formats/ascii_text.h"
#include "formats/mbox_from_line.h"

namespace tw::formats {
namespace {

constexpr std::string_view kQuotes = ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";

}  // namespace

std::string_view LineEndOf(std::string_view start) {
  const size_t newline = start.find('\n');
  return newline != std::string_view::npos && newline > 0 && start[newline - 1] == '\r' ? "\r\n" : "\n";
}

void MboxWriter::Put(std::string_view bytes) {
  if (ok_ && !bytes.empty()) ok_ = out_(bytes);
}

void MboxWriter::PutFlagFields() {
  std::string status;
  if (flags_.seen) status += 'R';
  if (!flags_.recent) status += 'O';
  std::string extra;
  if (flags_.answered) extra += 'A';
  if (flags_.deleted) extra += 'D';
  if (flags_.flagged) extra += 'F';
  if (flags_.draft) extra += 'T';
  if (!status.empty()) Put("Status: " + status + lineEnd_);
  if (!extra.empty()) Put("X-Status: " + extra + lineEnd_);
}

bool MboxWriter::BeginMessage(const MboxOutgoing& message) {
  lineEnd_ = message.lineEnd == "\r\n" ? "\r\n" : "\n";
  flags_ = message.flags;
  inHeader_ = true;
  droppingField_ = false;
  lineOpen_ = false;
  scanner_ = LineScanner();
  Put(MboxFromLine(message.sender, message.time) + lineEnd_);
  return ok_;
}

bool MboxWriter::MessageBytes(std::string_view bytes) {
  scanner_.Feed(bytes, *this);
  return ok_;
}

bool MboxWriter::EndMessage() {
  scanner_.Finish(*this);
  if (lineOpen_) Put(lineEnd_);
  if (inHeader_) PutFlagFields();
  Put(lineEnd_);
  return ok_;
}

bool MboxWriter::WriteMessage(std::string_view text, std::string_view sender, int64_t time,
                              const MessageFlags& flags) {
  MboxOutgoing message;
  message.sender = sender;
  message.time = time;
  message.flags = flags;
  message.lineEnd = LineEndOf(text);
  BeginMessage(message);
  MessageBytes(text);
  return EndMessage();
}

void MboxWriter::OnLineHead(const LineHead& head) {
  dropping_ = false;
  // A last line of only "\r" becomes a blank line with the line end the
  // writer adds: it ends the header too.
  const bool becomesBlank = head.quotes == 0 && head.complete && head.bytes == "\r" && lineEnd_ == "\n";
  if (inHeader_ && head.quotes == 0) {
    if (head.IsBlank() || becomesBlank) {
      PutFlagFields();
      inHeader_ = false;
    } else if ((droppingField_ && !head.bytes.empty() && IsBlank(head.bytes[0])) ||
               StartsWithAsciiNoCase(head.bytes, "Status:") || StartsWithAsciiNoCase(head.bytes, "X-Status:")) {
      dropping_ = true;
      return;
    }
  }
  uint64_t quotes = head.quotes + (head.StartsWith("From ") ? 1 : 0);
  while (quotes > 0) {
    const size_t n = quotes < kQuotes.size() ? static_cast<size_t>(quotes) : kQuotes.size();
    Put(kQuotes.substr(0, n));
    quotes -= n;
  }
  Put(head.bytes);
  lineOpen_ = head.bytes.empty() || head.bytes.back() != '\n';
}

void MboxWriter::OnLineRest(std::string_view bytes) {
  if (dropping_) return;
  Put(bytes);
  lineOpen_ = bytes.back() != '\n';
}

void MboxWriter::OnLineEnd() { droppingField_ = dropping_; }

}  // namespace tw::formats
