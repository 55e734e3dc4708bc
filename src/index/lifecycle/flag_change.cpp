#include "index/lifecycle/flag_change.h"

#include "common/text.h"

namespace tw {
namespace {

constexpr size_t kMaxListEntries = 1000;

std::string Flagged(std::string_view word) {
  return !word.empty() && word[0] == '\\' ? std::string(word) : "\\" + std::string(word);
}

// Removes every blank-separated word equal to `word`; returns how many.
int RemoveWord(std::string& flags, const std::string& word) {
  std::string kept;
  int removed = 0;
  size_t at = 0;
  while (at < flags.size()) {
    const size_t end = std::min(flags.find(' ', at), flags.size());
    const std::string_view current(flags.data() + at, end - at);
    if (!current.empty()) {
      if (EqualsNoCase(current, word)) {
        ++removed;
      } else {
        if (!kept.empty()) kept += ' ';
        kept += current;
      }
    }
    at = end + 1;
  }
  if (removed > 0) flags = kept;
  return removed;
}

}  // namespace

bool ApplyFlagChange(std::string& flags, std::string_view change, FolderDetails* counters) {
  bool changed = false;
  bool first = true;
  size_t at = 0;
  while (at < change.size()) {
    const size_t end = std::min(change.find(' ', at), change.size());
    const std::string_view token = change.substr(at, end - at);
    at = end + 1;
    if (token.empty()) continue;
    const bool signedToken = token[0] == '+' || token[0] == '-';
    if (first && !signedToken) flags.clear();
    first = false;
    const std::string_view word = signedToken ? token.substr(1) : token;
    if (word.empty()) continue;
    int delta = 0;
    if (token[0] == '-') {
      delta = -RemoveWord(flags, Flagged(word));
    } else if (!ContainsNoCase(flags, word)) {
      if (!flags.empty()) flags += ' ';
      flags += Flagged(word);
      delta = 1;
    }
    if (delta == 0) continue;
    changed = true;
    if (counters == nullptr) continue;
    auto add = [&](int slot) {
      counters->counters[slot] = static_cast<uint32_t>(static_cast<int32_t>(counters->counters[slot]) + delta);
    };
    if (ContainsNoCase(token, "SEEN")) add(FolderDetails::kSeen);
    if (ContainsNoCase(token, "FLAGGED")) add(FolderDetails::kFlagged);
    if (ContainsNoCase(token, "ANSWERED")) add(FolderDetails::kAnswered);
  }
  return changed;
}

std::vector<std::string> SplitPositionalList(std::string_view list) {
  std::vector<std::string> entries;
  size_t at = 0;
  while (at <= list.size() && entries.size() < kMaxListEntries) {
    const size_t end = std::min(list.find(',', at), list.size());
    entries.emplace_back(list.substr(at, end - at));
    at = end + 1;
  }
  return entries;
}

std::vector<std::string> SplitIdList(std::string_view list) {
  std::vector<std::string> ids = SplitPositionalList(list);
  std::erase_if(ids, [](const std::string& id) { return id.empty(); });
  return ids;
}

}  // namespace tw
