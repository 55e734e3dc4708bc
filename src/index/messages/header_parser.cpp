#include "index/messages/header_parser.h"

#include <cstring>

#include "calendar/header_dates.h"
#include "index/messages/header_line_reader.h"
#include "index/messages/message_header.h"

namespace tw {
namespace {


constexpr size_t kPriorityDigits = 64;

// The header fields that continuation lines may extend.
enum class Field { None, To, Cc, ReplyTo, From, Subject, Categories };

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Starts with `prefix`, in any case. Headers are nearly always written as
// the prefix is, so letters are folded only where the bytes differ.
bool Is(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (text[i] != prefix[i] && FoldCase(text[i]) != FoldCase(prefix[i])) return false;
  return true;
}

bool StartsWithBlank(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

// The value after the first ":" with blanks and tabs skipped.
std::string_view AfterColon(std::string_view line) {
  size_t at = line.find(':');
  if (at == std::string_view::npos) return {};
  ++at;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  return line.substr(at);
}

// The line as C text sees it: up to a NUL byte.
std::string_view UpToNul(std::string_view raw) {
  const void* nul = std::memchr(raw.data(), '\0', raw.size());
  return nul == nullptr ? raw : raw.substr(0, static_cast<const char*>(nul) - raw.data());
}

// Without its CR LF or lone LF.
std::string_view StripLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') {
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  }
  return line;
}

// An unsigned decimal at the start of `text` (strtoul rules, saturating).
uint32_t LeadingUnsigned(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  uint64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10 + static_cast<uint64_t>(text[at] - '0');
    if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(value);
}

int32_t LeadingInt(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  int64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10 + (text[at] - '0');
    if (value > 0x7FFFFFFF) break;
  }
  if (value > 0x7FFFFFFF) return negative ? INT32_MIN : INT32_MAX;
  return static_cast<int32_t>(negative ? -value : value);
}

class HeaderParser {
 public:
  HeaderParser(MessageHeaderInfo& info, const HeaderParseOptions& options) : info_(info), options_(options) {}

  void Run(HeaderLineReader& reader) {
    if (options_.clearInitialFlags) info_.initialFlags.clear();
    std::string_view raw;
    for (int lines = 0; lines < kHeaderLineCount && reader.Next(raw); ++lines) {
      if (raw[0] == '\r' || raw[0] == '\n') {
        if (options_.keepHeaderText) CutAtHeaderEnd();
        break;
      }
      const std::string_view text = reader.MayHoldNul() ? UpToNul(raw) : raw;
      if (options_.keepHeaderText) info_.headerText.append(text);
      const std::string_view line = StripLineEnd(text);
      Line(line);
    }
    if (msHasAttach_) info_.hasAttachments = 1;
    if (info_.hasAttachments == 1 && !confirmed_) info_.hasAttachments = BodyHasAttachment(reader) ? 1 : 0;
  }

 private:
  void CutAtHeaderEnd() {
    const size_t end = info_.headerText.find("\r\n\r\n");
    if (end != std::string::npos) info_.headerText.resize(end);
  }

  void Line(std::string_view line) {
    if (open_ != Field::None) {
      if (StartsWithBlank(line)) {
        Continue(line.substr(1));
        return;
      }
      open_ = Field::None;
    }
    if (receivedPending_) {
      if (StartsWithBlank(line)) {
        const size_t semicolon = line.find(';');
        if (semicolon != std::string_view::npos) {
          SetReceived(line.substr(semicolon + 1));
          receivedPending_ = false;
        }
        return;
      }
      receivedPending_ = false;
    }
    Header(line);
  }

  // A header whose value continuation lines may extend.
  void OpenText(Field field, std::string& text, std::string_view value) {
    text.assign(value);
    open_ = field;
  }
  void OpenBounded(Field field, char* text, size_t capacity, std::string_view value) {
    SetBounded(text, capacity, value);
    open_ = field;
  }

  void Continue(std::string_view more) {
    switch (open_) {
      case Field::To: info_.to.append(more); break;
      case Field::Cc: info_.cc.append(more); break;
      case Field::Categories: info_.categories.append(more); break;
      case Field::ReplyTo: AppendBounded(info_.replyTo, sizeof info_.replyTo, more); break;
      case Field::From: AppendBounded(info_.from, sizeof info_.from, more); break;
      case Field::Subject: AppendBounded(info_.subject, sizeof info_.subject, more); break;
      case Field::None: break;
    }
  }

  void SetReceived(std::string_view date) {
    IsoDateFromMessageDate(date, info_.receivedDate, sizeof info_.receivedDate);
  }

  // Header names are matched at the start of the line in any case; the first
  // letter picks the few names worth comparing.
  void Header(std::string_view line) {
    if (line.empty()) return;
    auto rest = [&](std::string_view prefix) { return line.substr(prefix.size()); };
    switch (FoldCase(line[0])) {
      case 't':
        if (Is(line, "To:")) OpenText(Field::To, info_.to, AfterColon(line));
        break;
      case 'c':
        if (Is(line, "CC:"))
          OpenText(Field::Cc, info_.cc, AfterColon(line));
        else if (Is(line, "Categories:"))
          OpenText(Field::Categories, info_.categories, AfterColon(line));
        else if (Is(line, "Content-Type: "))
          ContentType(rest("Content-Type: "));
        else if (Is(line, "Content-Disposition: "))
          ContentDisposition(rest("Content-Disposition: "));
        break;
      case 'r':
        if (Is(line, "reply-to:"))
          OpenBounded(Field::ReplyTo, info_.replyTo, sizeof info_.replyTo, AfterColon(line));
        else if (Is(line, "Received: "))
          Received(rest("Received: "));
        break;
      case 's':
        if (Is(line, "sender:")) {
          if (info_.from[0] == '\0') OpenBounded(Field::From, info_.from, sizeof info_.from, AfterColon(line));
        } else if (Is(line, "Subject:")) {
          OpenBounded(Field::Subject, info_.subject, sizeof info_.subject, AfterColon(line));
        }
        break;
      case 'f':
        if (Is(line, "From:")) {
          const std::string_view value = AfterColon(line);
          OpenBounded(Field::From, info_.from, sizeof info_.from, value);
          if (value.empty()) SetBounded(info_.fromFallback, sizeof info_.fromFallback, "Unknown");
        }
        break;
      case 'd':
        if (Is(line, "Date: ")) Date(rest("Date: "));
        break;
      case 'm':
        if (Is(line, "Message-ID: ")) SetBounded(info_.messageId, sizeof info_.messageId, rest("Message-ID: "));
        break;
      case 'x':
        XHeader(line);
        break;
      default:
        break;
    }
  }

  void XHeader(std::string_view line) {
    auto rest = [&](std::string_view prefix) { return line.substr(prefix.size()); };
    if (Is(line, "X-Read: 1")) {
      info_.read = 1;
      if (options_.seenFromXRead) AddFlagWord(info_.initialFlags, "SEEN");
    } else if (Is(line, "X-UID: ")) {
      if (options_.checkUids) ReadUid(rest("X-UID: "));
    } else if (Is(line, "X-TW-Class: ")) {
      SetBounded(info_.messageClass, sizeof info_.messageClass, rest("X-TW-Class: "));
    } else if (Is(line, "X-TWTempFlags: ")) {
      info_.initialFlags.assign(rest("X-TWTempFlags: "));
    } else if (Is(line, "X-Priority: ")) {
      const int32_t priority = LeadingInt(rest("X-Priority: ").substr(0, kPriorityDigits));
      info_.priority = priority < 1 ? 3 : priority;
    } else if (Is(line, "X-MS-Has-Attach: yes")) {
      msHasAttach_ = true;
    }
  }

  void ContentType(std::string_view type) {
    if (Is(type, "multipart/mixed"))
      info_.hasAttachments = 1;
    else if (Is(type, "multipart/alternative") && options_.alternativeHasAttachments)
      info_.hasAttachments = 1;
    else
      info_.hasAttachments = 0;
  }

  void ContentDisposition(std::string_view value) {
    if (!Is(value, "attachment")) return;
    info_.hasAttachments = 1;
    confirmed_ = true;
  }

  // The message date, and the received date while no Received: gave one.
  void Date(std::string_view value) {
    IsoDateFromMessageDate(value, info_.messageDate, sizeof info_.messageDate);
    if (info_.receivedDate[0] == '\0') SetBounded(info_.receivedDate, sizeof info_.receivedDate, info_.messageDate);
  }

  // Only the first Received: header with a date counts; the date may follow
  // on a continuation line.
  void Received(std::string_view value) {
    if (info_.receivedDate[0] != '\0') return;
    const size_t semicolon = value.find(';');
    if (semicolon != std::string_view::npos)
      SetReceived(value.substr(semicolon + 1));
    else
      receivedPending_ = true;
  }

  // "validity.uid": the UID counts only when the validity is the expected one.
  void ReadUid(std::string_view value) {
    const size_t dot = value.find('.');
    if (dot == std::string_view::npos) return;
    if (LeadingUnsigned(value.substr(0, dot)) == info_.expectedUidValidity)
      info_.uidFromFile = LeadingUnsigned(value.substr(dot + 1));
  }

  // An attachment announced by the content type counts only when some body
  // line declares one.
  static bool BodyHasAttachment(HeaderLineReader& reader) {
    std::string_view line;
    while (reader.Next(line))
      if (Is(line, "Content-Disposition: attachment")) return true;
    return false;
  }

  MessageHeaderInfo& info_;
  const HeaderParseOptions& options_;
  Field open_ = Field::None;
  bool receivedPending_ = false;
  bool confirmed_ = false;
  bool msHasAttach_ = false;
};

}  // namespace

void ParseHeaderLines(HeaderLineReader& reader, MessageHeaderInfo& info, const HeaderParseOptions& options) {
  HeaderParser(info, options).Run(reader);
}

}  // namespace tw
