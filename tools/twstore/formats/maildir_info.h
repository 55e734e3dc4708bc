// The info part of a Maildir message file name: "unique:2,FLAGS".
//
// Accepted separators: ":" (the usual one) and "!" (used where the file
// system refuses ":"). A ":" is a separator wherever it is the last one in
// the name; a "!" only when "2," follows it, since "!" is otherwise a legal
// byte of the unique part. Info of another version ("1,...") carries no
// flags. Flag letters: S seen, R answered, F flagged, T deleted (trashed),
// D draft; other letters (P passed, lowercase keywords a-z, anything else)
// are kept aside and ignored.
//
// Export writes every message to cur/ with a ":2," info, even without flags:
// the one directory and the explicit info round-trip through any reader.
#pragma once
#include <string>
#include <string_view>

#include "formats/store_flags.h"

namespace tw::formats {

enum class MaildirSubdir { New, Cur };

struct MaildirFileName {
  std::string_view unique;  // before the separator; the whole name without one
  std::string_view info;    // after the separator ("2,FS"); empty without one
  bool hasInfo = false;
};

MaildirFileName SplitMaildirFileName(std::string_view fileName);

struct MaildirImportFlags {
  MessageFlags flags;
  std::string ignoredLetters;  // in the order they appear
};

// The store flags of a message file found in `from`. A message in new/, or
// in cur/ without S, is also recent: nobody has read it yet.
MaildirImportFlags FlagsFromMaildirName(std::string_view fileName, MaildirSubdir from);

// The flag letters for store flags text, in ASCII order ("FS"); \RECENT and
// unknown words have no letter.
std::string MaildirLettersFromStoreFlags(std::string_view storeFlags);

// "unique" + separator + "2," + letters: the export file name in cur/.
std::string MaildirExportName(std::string_view unique, std::string_view storeFlags, char separator = ':');

}  // namespace tw::formats
