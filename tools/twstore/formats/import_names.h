// The store file name ("*.MAI") of an imported message, made from a key
// that names its source, so that importing the same source again gives the
// same name (and the caller can skip a message it already has).
//
// The name holds at most 63 characters with ".MAI", only A-Z a-z 0-9 "."
// and "_", never "," or "-", and does not start with "_". When the key had
// to change to fit (other bytes replaced by "_", cut, a leading "_" or a
// dot-only stem), or it holds capital letters (the store matches names
// without regard to case, so "aB" and "Ab" would meet), "_" and 8 hex
// digits of the key's 32-bit FNV-1a hash follow the stem: distinct keys get
// distinct names up to a collision of that hash.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::formats {

inline constexpr size_t kImportNameLimit = 63;

uint32_t Fnv1a32(std::string_view bytes);

std::string ImportFileName(std::string_view sourceKey);

// Keys. Maildir: the unique part of the file name (without the info, which
// changes with the flags). mbox: the file's stem, the message's ordinal
// from 1, and a hash of `identity` (its "From " line and first bytes), so a
// rewritten mbox does not pass for the one imported. A single .eml file:
// its stem.
std::string MaildirSourceKey(std::string_view fileName);
std::string MboxSourceKey(std::string_view mboxStem, uint64_t ordinal, std::string_view identity);
std::string EmlSourceKey(std::string_view fileStem);

}  // namespace tw::formats
