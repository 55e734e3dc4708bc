#include "folders/properties/body_walk.h"

#include <cstring>
#include <string>

#include "common/text.h"

namespace tw {
namespace {

// A line buffer of 2048 bytes holds 2047 and the terminator.
constexpr size_t kLineLimit = 2047;

enum class WalkState {
  kFileHeader = 0,
  kMixed = 1,        // inside "multipart/mixed", before its first part
  kAlternative = 2,  // inside "multipart/alternative" or "multipart/related"
  kPartHeader = 3,
  // The header of a part of the kind asked for.
  kWantedPlain = 20,
  kWantedHtml = 21,
  kWantedCalendar = 22,
};

bool IsWanted(WalkState state) {
  return state == WalkState::kWantedPlain || state == WalkState::kWantedHtml || state == WalkState::kWantedCalendar;
}

struct WantedPart {
  std::string_view contentType;
  WalkState state;
};

WantedPart WantedPartOf(BodyPartKind kind) {
  switch (kind) {
    case BodyPartKind::kPlainText:
      return {"text/plain", WalkState::kWantedPlain};
    case BodyPartKind::kHtml:
      return {"text/html", WalkState::kWantedHtml};
    case BodyPartKind::kCalendar:
      break;
  }
  return {"text/calendar", WalkState::kWantedCalendar};
}

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

class BodyWalk {
 public:
  BodyWalk(HeaderLineReader& lines, BodyPartKind kind, ChunkBuffer& text)
      : lines_(lines), wanted_(WantedPartOf(kind)), text_(text) {}

  bool Run() {
    std::string_view raw;
    while (NextLine(raw)) {
      const std::string_view line = WithoutLineBreak(raw);
      if (line.empty()) {
        if (IsWanted(state_)) return CollectPart();
        switch (state_) {
          case WalkState::kMixed:
            if (!boundary_.empty() && SkipToBoundary()) state_ = WalkState::kPartHeader;
            break;
          case WalkState::kAlternative:
            state_ = WalkState::kPartHeader;
            break;
          case WalkState::kFileHeader:
            // The file's header ended without a container: its body is the
            // text, whatever content type the file gave itself.
            return CollectToEnd();
          default:  // a part's header goes on
            break;
        }
        continue;
      }
      HeaderLine(line);
    }
    // The part asked for was never reached (or its header never ended).
    return false;
  }

 private:
  bool NextLine(std::string_view& line) {
    if (!lines_.Next(line, kLineLimit)) return false;
    line = UpToNul(line);
    return true;
  }

  // The lines of a part's header (and of the file's), and of the text
  // between parts: the container and content-type words move the walk on.
  void HeaderLine(std::string_view line) {
    if (ContainsNoCase(line, "multipart/related")) state_ = WalkState::kAlternative;
    const size_t contentType = FindNoCase(line, "content-type:");
    if (contentType != std::string_view::npos &&
        ContainsNoCase(line.substr(contentType + std::strlen("content-type:")), wanted_.contentType))
      state_ = wanted_.state;
    if (ContainsNoCase(line, "multipart/mixed")) {
      // A container nested in a part has its own boundary.
      if (state_ == WalkState::kPartHeader) boundary_.clear();
      state_ = WalkState::kMixed;
    }
    if (ContainsNoCase(line, "multipart/alternative")) {
      if (state_ == WalkState::kMixed || state_ == WalkState::kAlternative || state_ == WalkState::kPartHeader)
        boundary_.clear();
      state_ = WalkState::kAlternative;
    } else if (state_ == WalkState::kFileHeader) {
      // The file's own header takes a boundary only with its container.
      return;
    }
    if (boundary_.empty()) boundary_ = BoundaryParameter(line);
  }

  // Reads on to the line that opens the container's first part.
  bool SkipToBoundary() {
    std::string_view raw;
    while (NextLine(raw))
      if (WithoutLineBreak(raw).find(boundary_) != std::string_view::npos) return true;
    return false;
  }

  // The lines up to the next boundary line (not taken), or to the end of
  // the file when there is no boundary.
  bool CollectPart() {
    if (boundary_.empty()) return CollectToEnd();
    std::string_view raw;
    while (NextLine(raw) && WithoutLineBreak(raw).find(boundary_) == std::string_view::npos)
      if (!Append(raw)) break;
    text_.Flush();
    return true;
  }

  // Every following line. A body running to the end of the file is found
  // only when it has a line: an empty one is no body.
  bool CollectToEnd() {
    bool any = false;
    std::string_view raw;
    while (NextLine(raw)) {
      any = true;
      if (!Append(raw)) break;
    }
    text_.Flush();
    return any;
  }

  // False once the text has reached the longest that can be handed out.
  bool Append(std::string_view raw) {
    if (raw.size() > kLongestBodyText - collected_) {
      raw = raw.substr(0, kLongestBodyText - collected_);
      text_.Append(raw);
      collected_ = kLongestBodyText;
      return false;
    }
    text_.Append(raw);
    collected_ += raw.size();
    return true;
  }

  HeaderLineReader& lines_;
  WantedPart wanted_;
  ChunkBuffer& text_;
  WalkState state_ = WalkState::kFileHeader;
  std::string boundary_;
  size_t collected_ = 0;
};

}  // namespace

std::string_view UpToNul(std::string_view raw) {
  const void* nul = std::memchr(raw.data(), '\0', raw.size());
  return nul == nullptr ? raw : raw.substr(0, static_cast<const char*>(nul) - raw.data());
}

std::string_view WithoutLineBreak(std::string_view line) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") return line.substr(0, line.size() - 2);
  if (!line.empty() && line.back() == '\n') return line.substr(0, line.size() - 1);
  return line;
}

BodyPartKind BodyPartKindFor(std::string_view propertyName) {
  if (EqualsNoCase(propertyName, "PR_BODY")) return BodyPartKind::kPlainText;
  if (EqualsNoCase(propertyName, "PR_BODY_HTML")) return BodyPartKind::kHtml;
  return BodyPartKind::kCalendar;
}

std::string_view BoundaryParameter(std::string_view line) {
  for (size_t at = FindNoCase(line, "boundary"); at != std::string_view::npos;
       at = FindNoCase(line, "boundary", at + 1)) {
    size_t i = at + std::strlen("boundary");
    while (i < line.size() && IsBlankOrTab(line[i])) ++i;
    if (i >= line.size() || line[i] != '=') continue;
    ++i;
    while (i < line.size() && IsBlankOrTab(line[i])) ++i;
    std::string_view value = line.substr(i);
    if (!value.empty() && value.front() == '"') {
      value.remove_prefix(1);
      value = value.substr(0, value.find('"'));
    } else {
      value = value.substr(0, value.find_first_of("; \t\r\n"));
    }
    return value;
  }
  return {};
}

bool WalkBody(HeaderLineReader& lines, BodyPartKind kind, ChunkBuffer& text) {
  return BodyWalk(lines, kind, text).Run();
}

bool WalkBodyText(std::string_view file, BodyPartKind kind, ChunkBuffer& text) {
  HeaderLineReader lines(file);
  return WalkBody(lines, kind, text);
}

}  // namespace tw
