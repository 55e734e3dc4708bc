#include "formats/store_flags.h"

#include "formats/ascii_text.h"

namespace tw::formats {
namespace {

struct FlagWord {
  std::string_view word;
  bool MessageFlags::*member;
};

constexpr FlagWord kWords[] = {
    {"\\RECENT", &MessageFlags::recent},   {"\\SEEN", &MessageFlags::seen},
    {"\\ANSWERED", &MessageFlags::answered}, {"\\FLAGGED", &MessageFlags::flagged},
    {"\\DELETED", &MessageFlags::deleted}, {"\\DRAFT", &MessageFlags::draft},
};

}  // namespace

std::string StoreFlagsText(const MessageFlags& flags) {
  std::string text;
  for (const FlagWord& w : kWords) {
    if (!(flags.*w.member)) continue;
    if (!text.empty()) text += ' ';
    text += w.word;
  }
  return text;
}

MessageFlags ParseStoreFlags(std::string_view text) {
  MessageFlags flags;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    const std::string_view token = text.substr(start, i - start);
    for (const FlagWord& w : kWords) {
      if (EqualsAsciiNoCase(token, w.word)) flags.*w.member = true;
    }
  }
  return flags;
}

}  // namespace tw::formats
