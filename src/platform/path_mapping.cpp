#include "platform/path_mapping.h"

#include <sys/stat.h>

#include <array>

#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/name_cache.h"

namespace tw::platform {

namespace {

// The files the store keeps beside its items, each with the one spelling it
// is created and opened under.
constexpr std::array<std::string_view, 24> kLibraryFiles = {
    "_index.xml",     "_index.blk",     "_index.dat",     "_index.xml.bak", "_index.xml.bad",
    "_index.jnl",     "_groups.xml",    "_groups.blk",    "_groups.jnl",    "_CHANGE.DTY",
    "_FOLDER.DAT",    "_DIRSIZE.TMP",   "_folder.xml",    "_folder.dty",    "_folder.blk",
    "_activity.tab",  "_activity.blk",  "_activity.tmp",  "_srchidx.upd",   "_srchidx.dty",
    "_Shares.xml",    "_Access.XML",    "_pending.dlv",   "_index.xml.tmp"};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

bool IsForbiddenByte(unsigned char c, bool wildcardsAllowed) {
  if (c < 0x20) return true;
  switch (c) {
    case '"':
    case ':':
    case '<':
    case '>':
    case '|':
    case '\\':
    case '/':
      return true;
    case '*':
    case '?':
      return !wildcardsAllowed;
    default:
      return false;
  }
}

bool IsValidComponent(std::string_view name, bool wildcardsAllowed) {
  if (name.empty()) return false;
  for (char c : name)
    if (IsForbiddenByte(static_cast<unsigned char>(c), wildcardsAllowed)) return false;
  return true;
}

bool EntryExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.empty() ? "." : path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string JoinPrefix(const detail::SplitPath& sp, size_t count) {
  std::string out = sp.absolute ? "/" : "";
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out += '/';
    out += sp.parts[i];
  }
  return out;
}

std::string Finish(std::string path, const detail::SplitPath& sp) {
  if (sp.trailingSeparator && !sp.parts.empty()) path += '/';
  return path;
}

// Spells the library's own file names canonically; they are then used
// exactly as they are and never looked for in other spellings.
void Canonicalise(detail::SplitPath& sp) {
  for (auto& part : sp.parts) {
    std::string_view canonical = CanonicalLibraryFileName(part);
    if (!canonical.empty()) part = std::string(canonical);
  }
}

// A writer's own temporary of a library file ("_FOLDER.DAT.<pid>.<tid>.tmp"):
// only its writer names it, and always as written, so it is never looked
// for in other spellings (which in a large folder means listing it).
bool IsLibraryTemporary(std::string_view name) {
  if (name.size() < 4 || !detail::EqualsIgnoreCase(name.substr(name.size() - 4), ".tmp")) return false;
  for (std::string_view canonical : kLibraryFiles)
    if (name.size() > canonical.size() && name[canonical.size()] == '.' &&
        detail::EqualsIgnoreCase(name.substr(0, canonical.size()), canonical))
      return true;
  return false;
}

// Finds each component that does not exist as written without regard to
// case, from the deepest directory that does exist downwards.
std::string Resolve(detail::SplitPath& sp) {
  const size_t n = sp.parts.size();
  std::string full = JoinPrefix(sp, n);
  if (n == 0 || EntryExists(full)) return Finish(full, sp);

  // The deepest prefix that is an existing directory.
  size_t k = n - 1;
  while (k > 0 && !IsDirectory(JoinPrefix(sp, k))) --k;
  std::string current = JoinPrefix(sp, k);
  if (k == 0 && !IsDirectory(current)) return Finish(full, sp);

  for (size_t i = k; i < n; ++i) {
    const std::string& part = sp.parts[i];
    std::string candidate = detail::JoinPath(current, part);
    // Component k as written is known not to be a directory; it may still
    // be a file, and components below k have not been looked at yet.
    if (i + 1 < n || i > k) {
      if (EntryExists(candidate)) {
        if (i + 1 < n && !IsDirectory(candidate)) break;
        current = std::move(candidate);
        continue;
      }
    }
    if (IsDotName(part) || !CanonicalLibraryFileName(part).empty() || IsLibraryTemporary(part)) break;
    std::string found = detail::FindNameIgnoringCase(current.empty() ? std::string(".") : current, part);
    if (found.empty()) break;
    sp.parts[i] = found;
    current = detail::JoinPath(current, found);
    if (i + 1 < n && !IsDirectory(current)) break;
  }
  return Finish(JoinPrefix(sp, n), sp);
}

}  // namespace

namespace detail {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

int CompareIgnoreCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(FoldCase(a[i]));
    unsigned char y = static_cast<unsigned char>(FoldCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

SplitPath Split(std::string_view path) {
  SplitPath sp;
  sp.absolute = !path.empty() && IsSeparator(path.front());
  sp.trailingSeparator = !path.empty() && IsSeparator(path.back());
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    if (i > start) sp.parts.emplace_back(path.substr(start, i - start));
  }
  return sp;
}

uint32_t CheckStorePath(std::string_view path, bool pattern) {
  if (path.empty()) return kErrorPathNotFound;
  SplitPath sp = Split(path);
  for (size_t i = 0; i < sp.parts.size(); ++i) {
    const std::string& part = sp.parts[i];
    if (IsDotName(part)) continue;
    if (!IsValidComponent(part, pattern && i + 1 == sp.parts.size())) return kErrorInvalidName;
  }
  size_t length = sp.absolute ? 1 : 0;
  for (const auto& part : sp.parts) {
    if (part.size() > kMaxComponentLength) return kErrorFilenameTooLong;
    length += part.size() + 1;
  }
  if (length > kMaxSystemPathLength) return kErrorFilenameTooLong;
  return kErrorSuccess;
}

bool MapPath(std::string_view path, std::string& systemPath) {
  uint32_t error = CheckStorePath(path, false);
  if (error != kErrorSuccess) {
    SetLastError(error);
    return false;
  }
  systemPath = ToSystemPath(path);
  return true;
}

bool MapPathAsWritten(std::string_view path, std::string& systemPath) {
  // One pass without splitting into strings: scans call this per file.
  // The errors and their order are CheckStorePath's: 3 for an empty path,
  // an invalid name (123) before a length (206).
  if (path.empty()) {
    SetLastError(kErrorPathNotFound);
    return false;
  }
  systemPath.clear();
  systemPath.reserve(path.size());
  const bool absolute = IsSeparator(path.front());
  if (absolute) systemPath += '/';
  size_t length = absolute ? 1 : 0;
  bool invalid = false, tooLong = false, any = false;
  for (size_t i = 0; i < path.size();) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    const size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    if (i == start) break;
    const std::string_view part = path.substr(start, i - start);
    if (!IsDotName(part) && !IsValidComponent(part, false)) invalid = true;
    if (part.size() > kMaxComponentLength) tooLong = true;
    length += part.size() + 1;
    const std::string_view canonical = CanonicalLibraryFileName(part);
    if (any) systemPath += '/';
    systemPath.append(canonical.empty() ? part : canonical);
    any = true;
  }
  if (invalid || tooLong || length > kMaxSystemPathLength) {
    SetLastError(invalid ? kErrorInvalidName : kErrorFilenameTooLong);
    return false;
  }
  if (any && IsSeparator(path.back())) systemPath += '/';
  return true;
}

bool MapNewName(std::string_view path, std::string& systemPath) {
  uint32_t error = CheckStorePath(path, false);
  if (error != kErrorSuccess) {
    SetLastError(error);
    return false;
  }
  SplitPath sp = Split(path);
  Canonicalise(sp);
  if (sp.parts.empty()) {
    systemPath = Resolve(sp);
    return true;
  }
  std::string last = std::move(sp.parts.back());
  sp.parts.pop_back();
  const bool trailing = sp.trailingSeparator;
  sp.trailingSeparator = false;
  systemPath = JoinPath(Resolve(sp), last);
  if (trailing) systemPath += '/';
  return true;
}

bool MapPattern(std::string_view pattern, std::string& systemDirectory, std::string& namePattern) {
  uint32_t error = CheckStorePath(pattern, true);
  if (error != kErrorSuccess) {
    SetLastError(error);
    return false;
  }
  SplitPath sp = Split(pattern);
  if (sp.trailingSeparator || sp.parts.empty()) {
    // "dir\" names no entry to look for.
    namePattern.clear();
  } else {
    namePattern = sp.parts.back();
    sp.parts.pop_back();
  }
  sp.trailingSeparator = false;
  Canonicalise(sp);
  systemDirectory = Resolve(sp);
  return true;
}

std::string ParentDirectory(std::string_view systemPath) {
  while (systemPath.size() > 1 && systemPath.back() == '/') systemPath.remove_suffix(1);
  size_t slash = systemPath.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(systemPath.substr(0, slash));
}

std::string_view LastComponent(std::string_view systemPath) {
  while (!systemPath.empty() && systemPath.back() == '/') systemPath.remove_suffix(1);
  size_t slash = systemPath.rfind('/');
  return slash == std::string_view::npos ? systemPath : systemPath.substr(slash + 1);
}

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string out;
  out.reserve(directory.size() + name.size() + 1);
  out.append(directory);
  if (!out.empty() && out.back() != '/') out += '/';
  out.append(name);
  return out;
}

uint32_t MissingEntryError(std::string_view systemPath) {
  return IsDirectory(ParentDirectory(systemPath)) ? kErrorFileNotFound : kErrorPathNotFound;
}

namespace {
// ".<name>.<pid>.<16 hex digits>.tmp": the private file a create-new open
// makes before linking it to its name; left behind only by a killed process.
bool IsCreateNewTemporary(std::string_view name) {
  constexpr std::string_view kSuffix = ".tmp";
  constexpr size_t kHexDigits = 16;
  if (name.size() < 1 + 1 + 1 + 1 + 1 + kHexDigits + kSuffix.size() || name[0] != '.') return false;
  if (name.substr(name.size() - kSuffix.size()) != kSuffix) return false;
  name.remove_suffix(kSuffix.size());
  const std::string_view hex = name.substr(name.size() - kHexDigits);
  for (char c : hex) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  name.remove_suffix(kHexDigits);
  if (name.back() != '.') return false;
  name.remove_suffix(1);
  size_t digits = 0;
  while (!name.empty() && name.back() >= '0' && name.back() <= '9') {
    name.remove_suffix(1);
    ++digits;
  }
  return digits > 0 && name.size() > 1 && name.back() == '.';
}
}  // namespace

bool IsBookkeepingName(std::string_view name) {
  if (IsCreateNewTemporary(name)) return true;
  if (name.substr(0, kCreationTimeFile.size()) != kCreationTimeFile) return false;
  return name.size() == kCreationTimeFile.size() || name[kCreationTimeFile.size()] == '.';
}

}  // namespace detail

std::string ToSystemPath(std::string_view path) {
  detail::SplitPath sp = detail::Split(path);
  Canonicalise(sp);
  // Too long to exist: keep it as written and let the system call say so.
  size_t length = 0;
  for (const auto& part : sp.parts) {
    if (part.size() > detail::kMaxComponentLength) return Finish(JoinPrefix(sp, sp.parts.size()), sp);
    length += part.size() + 1;
  }
  if (length > detail::kMaxSystemPathLength) return Finish(JoinPrefix(sp, sp.parts.size()), sp);
  return Resolve(sp);
}

bool IsValidFileName(std::string_view name) { return IsValidComponent(name, false); }

std::string_view CanonicalLibraryFileName(std::string_view name) {
  for (std::string_view canonical : kLibraryFiles)
    if (detail::EqualsIgnoreCase(canonical, name)) return canonical;
  return {};
}

}  // namespace tw::platform
