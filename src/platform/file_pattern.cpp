#include "platform/files.h"
#include "platform/path_mapping.h"

namespace tw::platform {

namespace {

// '*' and '?' glob without regard to case. Keeps only the last star as a
// backtracking point, so the cost stays proportional to pattern times name
// length whatever the pattern.
bool Glob(std::string_view pattern, std::string_view name) {
  size_t p = 0;
  size_t s = 0;
  size_t starP = std::string_view::npos;
  size_t starS = 0;
  while (s < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starS = s;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || detail::FoldCase(pattern[p]) == detail::FoldCase(name[s]))) {
      ++p;
      ++s;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      s = ++starS;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesPattern(std::string_view pattern, std::string_view name) {
  if (Glob(pattern, name)) return true;
  if (name.find('.') != std::string_view::npos) return false;
  // A name without a dot has an empty extension: "x.*" and "x." match "x".
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
    return Glob(pattern.substr(0, pattern.size() - 2), name);
  if (!pattern.empty() && pattern.back() == '.') return Glob(pattern.substr(0, pattern.size() - 1), name);
  return false;
}

}  // namespace tw::platform
