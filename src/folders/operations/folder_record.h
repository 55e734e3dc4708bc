// What a caller's FolderRecord names: its texts, bounded, and the directory
// it resolves to. A record whose names would lead outside the place it
// names is refused before anything is touched.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "twstore.h"

namespace tw {

// A top-level path: "", "\\" or "/".
inline bool AtTopLevel(std::string_view path) { return path.empty() || path == "\\" || path == "/"; }

// "\Public", "/Public" or "Public" in any letter case: the public tree's
// root, which folder operations refuse.
bool NamesPublicRoot(std::string_view path);

// Gives a top-level record's name its standard spelling ("deleted items"
// -> "Deleted Items").
void StandardiseTopLevelName(FolderRecord& record);

// A record field's text, up to its NUL or the field's end.
template <size_t N>
std::string_view RecordText(const char (&field)[N]) {
  size_t length = 0;
  while (length < N && field[length] != '\0') ++length;
  return std::string_view(field, length);
}

// Copies `text` into a record field, cut to fit with its NUL.
template <size_t N>
void SetRecordText(char (&field)[N], std::string_view text) {
  const size_t length = text.size() < N - 1 ? text.size() : N - 1;
  text.copy(field, length);
  field[length] = '\0';
}

// True when the mailbox and postoffice are single names, the path stays
// below the mailbox (or is a special prefix) and the name, when given, is a
// single name.
bool IsSafeFolderRecord(const FolderRecord& record);

// The mailbox's own directory under the mail root ("%s\%s\MAILROOT\%s");
// none when the names are refused.
std::optional<std::string> MailboxRoot(const FolderRecord& record);

}  // namespace tw
