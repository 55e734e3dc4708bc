#include "formats/mbox_reader.h"

#include "formats/ascii_text.h"

namespace tw::formats {
namespace {

constexpr std::string_view kQuotes = ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

MboxReader::Kind MboxReader::Classify(const LineHead& head) const {
  const bool from = head.StartsWith("From ");
  if (head.quotes == 0 && from && (firstLine_ || previousBlank_ || !inMessage_)) return Kind::Separator;
  if (!inMessage_) return Kind::Leading;
  if (head.IsBlank()) return Kind::Blank;
  if (inHeader_ && head.quotes == 0) {
    if (droppingField_ && !head.bytes.empty() && IsBlank(head.bytes[0])) return Kind::Dropped;
    if (StartsWithAsciiNoCase(head.bytes, "Status:") || StartsWithAsciiNoCase(head.bytes, "X-Status:")) {
      return Kind::FlagField;
    }
  }
  return Kind::Text;
}

void MboxReader::EmitQuotes(uint64_t count) {
  while (count > 0) {
    const size_t n = count < kQuotes.size() ? static_cast<size_t>(count) : kQuotes.size();
    sink_.MessageBytes(kQuotes.substr(0, n));
    count -= n;
  }
}

void MboxReader::EmitPendingBlank() {
  if (pendingBlank_.empty()) return;
  sink_.MessageBytes(pendingBlank_);
  pendingBlank_.clear();
}

void MboxReader::EndMessage() {
  if (!inMessage_) return;
  pendingBlank_.clear();
  flags_.recent = !sawOld_;
  sink_.EndMessage(flags_);
  inMessage_ = false;
}

void MboxReader::OnLineHead(const LineHead& head) {
  kind_ = Classify(head);
  switch (kind_) {
    case Kind::Separator:
      fromLine_ = head.bytes;
      break;
    case Kind::Leading:
      leading_ += head.quotes + head.bytes.size();
      break;
    case Kind::Blank:
      EmitPendingBlank();
      pendingBlank_ = head.bytes;
      break;
    case Kind::FlagField:
      flagField_ = head.bytes;
      break;
    case Kind::Dropped:
      break;
    case Kind::Text: {
      EmitPendingBlank();
      uint64_t quotes = head.quotes;
      if (quotes > 0 && head.StartsWith("From ") && (quoting_ == MboxQuoting::Mboxrd || quotes == 1)) --quotes;
      EmitQuotes(quotes);
      sink_.MessageBytes(head.bytes);
      break;
    }
  }
}

void MboxReader::OnLineRest(std::string_view bytes) {
  switch (kind_) {
    case Kind::Separator:
      if (fromLine_.size() < kFromLineLimit) fromLine_.append(bytes.substr(0, kFromLineLimit - fromLine_.size()));
      break;
    case Kind::Leading:
      leading_ += bytes.size();
      break;
    case Kind::FlagField:
      if (flagField_.size() < kFlagValueLimit) flagField_.append(bytes.substr(0, kFlagValueLimit - flagField_.size()));
      break;
    case Kind::Text:
      sink_.MessageBytes(bytes);
      break;
    case Kind::Blank:  // a blank line is complete in its head
    case Kind::Dropped:
      break;
  }
}

void MboxReader::TakeFlags() {
  const std::string_view field = WithoutLineEnd(flagField_);
  const size_t colon = field.find(':');
  const bool status = LowerAscii(field[0]) == 's';
  for (const char c : field.substr(colon + 1)) {
    if (status) {
      if (c == 'R') flags_.seen = true;
      if (c == 'O') sawOld_ = true;
    } else {
      if (c == 'A') flags_.answered = true;
      if (c == 'F') flags_.flagged = true;
      if (c == 'T') flags_.draft = true;
      if (c == 'D') flags_.deleted = true;
    }
  }
}

void MboxReader::OnLineEnd() {
  firstLine_ = false;
  previousBlank_ = kind_ == Kind::Blank;
  droppingField_ = kind_ == Kind::FlagField || kind_ == Kind::Dropped;
  switch (kind_) {
    case Kind::Separator:
      EndMessage();
      inMessage_ = true;
      inHeader_ = true;
      flags_ = MessageFlags();
      sawOld_ = false;
      ++messages_;
      sink_.BeginMessage(ParseMboxFromLine(WithoutLineEnd(fromLine_)));
      break;
    case Kind::Blank:
      inHeader_ = false;
      break;
    case Kind::FlagField:
      TakeFlags();
      break;
    default:
      break;
  }
}

void MboxReader::Finish() {
  scanner_.Finish(*this);
  EndMessage();
}

}  // namespace tw::formats
