// Internal helpers of the file calls: splitting, validating and mapping store
// paths. Not for use outside src/platform/.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform::detail {

inline constexpr size_t kMaxComponentLength = 255;
// PATH_MAX counts the terminating NUL.
inline constexpr size_t kMaxSystemPathLength = 4095;

inline char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// <0, 0, >0 like strcmp, ASCII letters compared without regard to case.
int CompareIgnoreCase(std::string_view a, std::string_view b);

// A path split at "\" and "/" with empty components dropped.
struct SplitPath {
  bool absolute = false;
  bool trailingSeparator = false;
  std::vector<std::string> parts;
};
SplitPath Split(std::string_view path);

// 0 when every component may name a file, else the Windows error: 3 for an
// empty path, 123 for a forbidden name, 206 for a component or a path that
// is too long. With `pattern`, '*' and '?' are allowed in the last component.
uint32_t CheckStorePath(std::string_view path, bool pattern);

// Validates and maps; false with the last error set when the path is invalid.
bool MapPath(std::string_view path, std::string& systemPath);

// Validates and spells the path as written (separators mapped, library
// file names canonical) without looking at the disk: the path MapPath gives
// whenever the entry exists as written. False with the last error set.
bool MapPathAsWritten(std::string_view path, std::string& systemPath);

// Validates and maps a path that is to name a new entry: its directories are
// found as ToSystemPath finds them, its last component is kept as written
// (library file names spelt canonically). False with the last error set.
bool MapNewName(std::string_view path, std::string& systemPath);

// Validates a find pattern ("dir\*.MAI") and maps its directory part; the
// name part is returned as written. False with the last error set.
bool MapPattern(std::string_view pattern, std::string& systemDirectory, std::string& namePattern);

// The directory holding a mapped path ("." when it has none).
std::string ParentDirectory(std::string_view systemPath);
// The last component of a mapped path, trailing separators ignored.
std::string_view LastComponent(std::string_view systemPath);
// `directory` + "/" + name, with "" standing for the working directory.
std::string JoinPath(std::string_view directory, std::string_view name);

// The error for a path that is not there: 2 when its directory exists,
// otherwise 3.
uint32_t MissingEntryError(std::string_view systemPath);

// The platform's own bookkeeping entries kept inside directories, hidden
// from every listing.
inline constexpr std::string_view kCreationTimeFile = ".twcreated";
bool IsBookkeepingName(std::string_view name);

}  // namespace tw::platform::detail
