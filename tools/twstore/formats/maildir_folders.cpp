#include "formats/maildir_folders.h"

#include <vector>

#include "formats/ascii_text.h"
#include "formats/modified_utf7.h"

namespace tw::formats {
namespace {

// The characters the folder index renames, and the store paths' separators.
bool StoreMustEncode(char c) {
  switch (c) {
    case '"': case '*': case ':': case '<': case '>': case '?': case '|': case '\\': case '/':
      return true;
    default:
      return false;
  }
}

bool MaildirMustEncode(char c) { return c == '.' || c == '/'; }

bool IsUsableLevel(std::string_view name) { return !name.empty() && name != "." && name != ".."; }

std::vector<std::string_view> SplitLevels(std::string_view path, std::string_view separators) {
  std::vector<std::string_view> levels;
  size_t start = 0;
  while (true) {
    const size_t at = path.find_first_of(separators, start);
    levels.push_back(path.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return levels;
    start = at + 1;
  }
}

}  // namespace

bool IsMaildirFolderDirectory(std::string_view directoryName) {
  return directoryName.size() > 1 && directoryName[0] == '.' && directoryName != "..";
}

std::optional<std::string> UnicodeFromFolderName(std::string_view name) {
  if (std::optional<std::string> decoded = DecodeModifiedUtf7(name)) return decoded;
  if (!IsWellFormedUtf8(name)) return std::nullopt;
  return std::string(name);
}

std::optional<std::string> StoreFolderNameFromUnicode(std::string_view name) {
  if (!IsUsableLevel(name)) return std::nullopt;
  return EncodeModifiedUtf7(name, StoreMustEncode);
}

std::optional<std::string> MaildirFolderNameFromUnicode(std::string_view name) {
  if (!IsUsableLevel(name)) return std::nullopt;
  return EncodeModifiedUtf7(name, MaildirMustEncode);
}

std::optional<std::string> StoreFolderFromMaildir(std::string_view directoryName) {
  if (directoryName.empty()) return std::string(kInboxFolder);
  if (!IsMaildirFolderDirectory(directoryName)) return std::nullopt;
  std::string path;
  bool first = true;
  for (const std::string_view level : SplitLevels(directoryName.substr(1), ".")) {
    const std::optional<std::string> unicode = UnicodeFromFolderName(level);
    if (!unicode || !IsUsableLevel(*unicode)) return std::nullopt;
    std::optional<std::string> storeName =
        first && EqualsAsciiNoCase(*unicode, "INBOX") ? std::string(kInboxFolder) : StoreFolderNameFromUnicode(*unicode);
    if (!storeName) return std::nullopt;
    if (!first) path += '\\';
    path += *storeName;
    first = false;
  }
  return path;
}

std::optional<std::string> MaildirFromStoreFolder(std::string_view storePath) {
  std::vector<std::string> names;
  for (const std::string_view level : SplitLevels(storePath, "\\/")) {
    if (!IsUsableLevel(level)) return std::nullopt;
    std::optional<std::string> unicode = UnicodeFromFolderName(level);
    if (!unicode || !IsUsableLevel(*unicode)) return std::nullopt;
    names.push_back(std::move(*unicode));
  }
  // Inbox is the root, however its name is spelt or encoded.
  const bool underInbox = EqualsAsciiNoCase(names[0], kInboxFolder);
  if (underInbox && names.size() == 1) return std::string();
  std::string directory;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::optional<std::string> maildirName =
        i == 0 && underInbox ? std::string("INBOX") : MaildirFolderNameFromUnicode(names[i]);
    if (!maildirName) return std::nullopt;
    directory += '.';
    directory += *maildirName;
  }
  return directory;
}

}  // namespace tw::formats
