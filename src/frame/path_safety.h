// Names that callers give (postoffice, mailbox, folder path) must not lead
// outside the place they name. Roots the operator configures are trusted.
#pragma once
#include <string_view>

namespace tw {

// A postoffice or mailbox name: one non-empty directory name, no separator,
// no NUL, not "." or "..", no drive prefix.
bool IsSafeStoreName(std::string_view name);

// A folder path below a mailbox (or a tree prefix such as "$FILEROOT/x"):
// no NUL, no ".." component, no drive prefix. A leading "\" or "/" is
// allowed: it is relative to the mailbox.
bool IsSafeFolderPath(std::string_view path);

}  // namespace tw
