#include "formats/maildir_info.h"

#include <algorithm>

namespace tw::formats {
namespace {

struct Letter {
  char letter;
  bool MessageFlags::*member;
};

// In ASCII order: Maildir readers expect the letters sorted.
constexpr Letter kLetters[] = {
    {'D', &MessageFlags::draft}, {'F', &MessageFlags::flagged}, {'R', &MessageFlags::answered},
    {'S', &MessageFlags::seen},  {'T', &MessageFlags::deleted},
};

}  // namespace

MaildirFileName SplitMaildirFileName(std::string_view fileName) {
  MaildirFileName parts;
  size_t at = fileName.rfind(':');
  if (at == std::string_view::npos) {
    at = fileName.rfind("!2,");
  }
  if (at == std::string_view::npos) {
    parts.unique = fileName;
    return parts;
  }
  parts.unique = fileName.substr(0, at);
  parts.info = fileName.substr(at + 1);
  parts.hasInfo = true;
  return parts;
}

MaildirImportFlags FlagsFromMaildirName(std::string_view fileName, MaildirSubdir from) {
  MaildirImportFlags result;
  const MaildirFileName parts = SplitMaildirFileName(fileName);
  if (parts.hasInfo && parts.info.substr(0, 2) == "2,") {
    for (const char c : parts.info.substr(2)) {
      const Letter* known = std::find_if(std::begin(kLetters), std::end(kLetters),
                                         [c](const Letter& l) { return l.letter == c; });
      if (known != std::end(kLetters)) {
        result.flags.*known->member = true;
      } else {
        result.ignoredLetters += c;
      }
    }
  }
  result.flags.recent = from == MaildirSubdir::New || !result.flags.seen;
  return result;
}

std::string MaildirLettersFromStoreFlags(std::string_view storeFlags) {
  const MessageFlags flags = ParseStoreFlags(storeFlags);
  std::string letters;
  for (const Letter& l : kLetters) {
    if (flags.*l.member) letters += l.letter;
  }
  return letters;
}

std::string MaildirExportName(std::string_view unique, std::string_view storeFlags, char separator) {
  std::string name(unique);
  name += separator;
  name += "2,";
  name += MaildirLettersFromStoreFlags(storeFlags);
  return name;
}

}  // namespace tw::formats
