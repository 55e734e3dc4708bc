// Maildir++ folder directories and the store's folder paths.
//
// The Maildir++ root is the store's "Inbox"; a sub-folder is a directory
// ".Sub" or ".Sub.Deeper" ("." separates levels) and becomes the store
// folder "Sub" or "Sub\Deeper": a sibling of Inbox, as most servers show
// Maildir++ folders. ".INBOX" (any case) is the store's Inbox itself, and
// ".INBOX.Sub" becomes "Inbox\Sub"; export writes "Inbox\Sub" back so.
//
// Names: both sides hold modified UTF-7 (modified_utf7.h) of one Unicode
// name, each with the characters it cannot hold encoded. The store form
// encodes what the folder index would rename (control bytes, DEL, non-ASCII,
// '"' '*' ':' '<' '>' '?' '|' '\') and "/"; the Maildir++ form encodes
// non-ASCII, control bytes, "." and "/", as Maildir++ servers write their
// names. A Maildir++ name that is not modified UTF-7 but well-formed UTF-8
// (servers set to raw UTF-8 names, or an "&" typed by hand) is taken as the
// Unicode name itself. A store name that is not modified UTF-7 is likewise
// its own Unicode name (so "R&D" exports as "R&-D").
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace tw::formats {

inline constexpr std::string_view kInboxFolder = "Inbox";

// A directory under the Maildir++ root that holds a folder: ".name", not
// "." or "..".
bool IsMaildirFolderDirectory(std::string_view directoryName);

// The store folder path for a directory under the Maildir++ root ("" for
// the root itself). nullopt for directories that are not Maildir++ folders,
// empty levels (".a..b", ".a."), levels naming "." or "..", and names that
// are neither modified UTF-7 nor UTF-8.
std::optional<std::string> StoreFolderFromMaildir(std::string_view directoryName);

// The Maildir++ directory name for a store folder path ("\" or "/"
// separated): "" for Inbox, ".Sub.Deeper" for "Sub\Deeper". nullopt for
// empty paths or levels, levels "." or "..", or bytes that are not UTF-8.
std::optional<std::string> MaildirFromStoreFolder(std::string_view storePath);

// One level's name in each form, from and to its Unicode (UTF-8) name.
std::optional<std::string> StoreFolderNameFromUnicode(std::string_view name);
std::optional<std::string> MaildirFolderNameFromUnicode(std::string_view name);
// The Unicode name of one level; raw text when it is not modified UTF-7.
std::optional<std::string> UnicodeFromFolderName(std::string_view name);

}  // namespace tw::formats
