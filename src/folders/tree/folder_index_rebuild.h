// Rebuilds a folder's folder index from its sub-directories.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// The form of a sub-directory's name that the store can use: every control
// byte, every byte of 0x80 and above and every character the platform
// refuses in a name ('"', '*', ':', '<', '>', '?', '|', '\') becomes "_".
// Valid UTF-8 is no exception: the store's names are single bytes, and a
// name that is the same on every client is worth more than its accents.
std::string CleanFolderName(std::string_view name);

// Lists the sub-directories of `directory` (never symbolic links) into its
// "_folder.xml" and removes "_folder.dty". With `normalise` (the top level
// of a mailbox) the special folders get their standard spelling in the
// file. A directory whose name is not clean is renamed to the clean form;
// when that fails it is listed as the clean form plus " (Error)". 1 when
// the file was written, else 0.
uint32_t RebuildFolderIndex(const std::string& directory, bool normalise);

}  // namespace tw
