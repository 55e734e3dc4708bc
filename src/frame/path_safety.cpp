#include "frame/path_safety.h"

namespace tw {

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasDrivePrefix(std::string_view s) { return s.find(':') != std::string_view::npos; }

bool HasParentComponent(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (path.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}
}  // namespace

bool IsSafeStoreName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find('\0') != std::string_view::npos || HasDrivePrefix(name)) return false;
  for (char c : name) {
    if (IsSeparator(c)) return false;
  }
  return true;
}

bool IsSafeFolderPath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos || HasDrivePrefix(path)) return false;
  return !HasParentComponent(path);
}

}  // namespace tw
