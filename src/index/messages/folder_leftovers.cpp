#include "index/messages/folder_leftovers.h"

#include <string_view>

#include "common/text.h"
#include "index/file/store_index_serialiser.h"
#include "platform/files.h"

namespace tw {
namespace {

// Takes `prefix` (any case) off the front of `text`.
bool Strip(std::string_view& text, std::string_view prefix) {
  if (!StartsWithNoCase(text, prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// Takes one or more digits off the front of `text`.
bool StripDigits(std::string_view& text) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  text.remove_prefix(digits);
  return digits > 0;
}

// "<prefix><digits><separator><digits><suffix>", the letters in any case.
bool NumberedName(std::string_view name, std::string_view prefix, char separator, std::string_view suffix) {
  return Strip(name, prefix) && StripDigits(name) && Strip(name, std::string_view(&separator, 1)) &&
         StripDigits(name) && EqualsNoCase(name, suffix);
}

// The header clean-up's copy "_<name>.MAI" of a message that is still there:
// the copy replaces the message in one rename, so it is never the only one.
bool IsCleanupCopy(const std::string& folder, std::string_view name) {
  if (name.size() < 6 || name[0] != '_' || !EndsWithNoCase(name, ".MAI")) return false;
  const uint32_t attributes = platform::GetFileAttributes(InFolder(folder, std::string(name.substr(1))));
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) == 0;
}

bool IsFolderTemporary(const std::string& folder, std::string_view name) {
  return EqualsNoCase(name, "_index.xml.tmp") || NumberedName(name, "_FOLDER.DAT.", '.', ".tmp") ||
         NumberedName(name, "_folder.xml.", '.', ".tmp") ||
         NumberedName(name, "_pending.dlv.", '.', ".tmp") ||
         NumberedName(name, "_twstore-", '-', ".TMP") || IsCleanupCopy(folder, name);
}

}  // namespace

void RemoveFolderLeftovers(const std::string& folderPath) {
  const uint64_t now = platform::CurrentFileTime();
  if (folderPath.empty() || now < kLeftoverAge) return;
  platform::DeleteStaleFiles(folderPath, now - kLeftoverAge,
                             [&](std::string_view name) { return IsFolderTemporary(folderPath, name); });
}

}  // namespace tw
