// Case-insensitive name lookups in directories, answered from a small cache
// of directory listings so that a folder of 100,000 entries is not re-read on
// every lookup. A listing is trusted while the directory's identity, its
// modification time (nanoseconds) and its change time stay the same; a
// listing taken within a few clock ticks of the directory's last
// modification (or of a modification time in the future) is re-read on its
// next use, since a change in the same tick would leave the modification
// time as it was. When the cached listing is not current, a large directory
// is not listed again for a name with few letters: each of its spellings is
// looked up instead ("_CHANGE.DTY" is 512 lookups, a folder of 100,000
// messages 100,000 entries).
// Internal to src/platform/.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform::detail {

// The spelling under which `name` exists in `directory` without regard to
// letter case: the exact one when present, else the first in byte order.
// Empty when no spelling exists or the directory cannot be read.
std::string FindNameIgnoringCase(const std::string& directory, std::string_view name);

// Every spelling of `name` present in `directory`.
std::vector<std::string> FindAllCases(const std::string& directory, std::string_view name);

// Drops the cached listing of `directory` (after this process created,
// renamed or deleted an entry in it).
void ForgetDirectory(const std::string& directory);

// For tests: how many directory listings have been read, and a way to start
// from an empty cache.
uint64_t DirectoryScanCount();
void ClearDirectoryCache();

}  // namespace tw::platform::detail
