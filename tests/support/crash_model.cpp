#include "support/crash_model.h"

#include <algorithm>
#include <vector>

#include "common/text.h"

namespace tw::test {
namespace {

constexpr size_t kMostUncertain = 12;  // operations whose outcome is open: 2^n readings are tried
constexpr size_t kDifferencesShown = 6;

std::vector<std::string> Words(const std::string& text) { return SplitText(text, ' '); }

std::string Options(const std::vector<FlagWords>& options) {
  std::string text;
  for (const FlagWords& flags : options) text += (text.empty() ? "'" : " or '") + JoinFlagWords(flags) + "'";
  return text;
}

// Operations that change the index.
bool ChangesIndex(const CrashOp& op) {
  switch (op.kind) {
    case CrashOp::Kind::Deliver: return !op.name.empty();
    case CrashOp::Kind::Update:
    case CrashOp::Kind::Remove: return true;
    case CrashOp::Kind::Record: return op.planned;
    default: return false;
  }
}

}  // namespace

FlagWords FlagWordsOf(const std::string& text) {
  FlagWords flags;
  for (const std::string& word : Words(text)) flags.insert(ToUpper(word));
  return flags;
}

std::string JoinFlagWords(const FlagWords& flags) {
  std::string text;
  for (const std::string& word : flags) text += (text.empty() ? "" : " ") + word;
  return text;
}

void ApplyFlagChange(FlagWords& flags, const std::string& change) {
  if (ToUpper(change).rfind("SIZE=", 0) == 0) return;
  bool first = true;
  for (const std::string& token : Words(change)) {
    const bool sign = token[0] == '+' || token[0] == '-';
    if (first && !sign) flags.clear();
    first = false;
    std::string word = sign ? token.substr(1) : token;
    if (word.empty()) continue;
    if (word[0] != '\\') word = "\\" + word;
    if (token[0] == '-')
      flags.erase(ToUpper(word));
    else
      flags.insert(ToUpper(word));
  }
}

FlagWords DeliveredFlags(const std::string& initial) {
  if (initial.empty()) return {"\\RECENT"};
  FlagWords flags = FlagWordsOf(initial);
  flags.insert(ContainsNoCase(initial, "SEEN") ? "\\SEEN" : "\\RECENT");
  return flags;
}

FolderDetails CountedDetails(const FolderView& view) {
  std::vector<std::pair<uint32_t, std::string>> byUid;
  for (const auto& [id, item] : view.items)
    byUid.emplace_back(item.uid, item.flagText.empty() ? JoinFlagWords(item.flags) : item.flagText);
  std::sort(byUid.begin(), byUid.end());
  FolderDetails d;
  uint32_t* n = d.counters;
  for (const auto& [uid, flags] : byUid) {
    ++n[FolderDetails::kItems];
    if (ContainsNoCase(flags, "\\SEEN")) {
      ++n[FolderDetails::kSeen];
      if (n[FolderDetails::kFirstSeen] == 0) n[FolderDetails::kFirstSeen] = n[FolderDetails::kItems];
    }
    if (ContainsNoCase(flags, "\\ANSWERED")) ++n[FolderDetails::kAnswered];
    if (ContainsNoCase(flags, "\\FLAGGED")) ++n[FolderDetails::kFlagged];
    if (ContainsNoCase(flags, "\\RECENT")) ++n[FolderDetails::kRecent];
  }
  n[FolderDetails::kLastUid] = view.lastUid;
  return d;
}

void CrashModel::Change(Expect& item, const std::vector<FlagWords>& flags) {
  if (!item.maybe) {
    item.flags = flags;
    return;
  }
  for (const FlagWords& f : flags)
    if (std::find(item.flags.begin(), item.flags.end(), f) == item.flags.end()) item.flags.push_back(f);
}

bool CrashModel::Fresh(uint32_t uid) const { return uid > highest_ && !history_.count(uid); }

std::optional<Violation> CrashModel::CheckUids(const FolderView& seen) const {
  std::map<uint32_t, std::string> named;
  uint32_t top = 0;
  for (const auto& [id, item] : seen.items) {
    const std::string uid = std::to_string(item.uid);
    top = std::max(top, item.uid);
    if (item.uid == 0) return Violation{"uid-missing", id + " is listed without a UID"};
    if (auto [at, added] = named.emplace(item.uid, id); !added)
      return Violation{"uid-duplicated", "UID " + uid + " names both " + at->second + " and " + id};
    const auto before = history_.find(item.uid);
    if (before != history_.end() && before->second != id)
      return Violation{"uid-reused", "UID " + uid + " named " + before->second + " and now names " + id};
    if (before == history_.end() && item.uid <= highest_)
      return Violation{"uid-reused", id + " has the new UID " + uid + ", not above the highest UID handed out (" +
                                         std::to_string(highest_) + ")"};
  }
  if (seen.lastUid < top)
    return Violation{"lastuid", "LASTUID " + std::to_string(seen.lastUid) + " is below the UID " + std::to_string(top)};
  return std::nullopt;
}

CrashModel::Expected CrashModel::Replay(const std::vector<CrashOp>& ops, const std::vector<bool>& applies) const {
  Expected expected;
  for (const auto& [id, item] : model_.items) expected[id] = Expect{false, item.uid, {item.flags}};
  std::set<std::string> files = files_;
  for (size_t i = 0; i < ops.size(); ++i) {
    const CrashOp& op = ops[i];
    const bool takes = op.Succeeded() || applies[i];
    // What a rebuild in the operation's open would index.
    if (op.MayRebuild())
      for (const std::string& name : files)
        if (!expected.count(name)) expected[name] = Expect{true, 0, {{"\\RECENT"}}, true};
    switch (op.kind) {
      case CrashOp::Kind::Deliver:
        if (op.name.empty()) break;
        files.insert(op.name);
        if (takes) expected[op.name] = Expect{true, 0, {DeliveredFlags(op.text)}};
        break;
      case CrashOp::Kind::Update:
        if (!takes) break;
        for (const std::string& id : std::set<std::string>(op.ids.begin(), op.ids.end()))
          if (auto found = expected.find(id); found != expected.end()) {
            std::vector<FlagWords> changed = found->second.flags;
            for (FlagWords& flags : changed) ApplyFlagChange(flags, op.text);
            Change(found->second, changed);
          }
        break;
      case CrashOp::Kind::Delete:
        if (op.Succeeded()) files.erase(op.ids.front());
        break;
      case CrashOp::Kind::Remove:
        if (takes)
          for (const std::string& id : op.ids) expected.erase(id);
        break;
      case CrashOp::Kind::Record:
        if (!takes || !op.planned) break;
        for (const auto& [id, text] : op.sets)
          if (auto found = expected.find(id); found != expected.end()) Change(found->second, {FlagWordsOf(text)});
        for (const std::string& id : op.removes) expected.erase(id);
        break;
      case CrashOp::Kind::Reindex:
      case CrashOp::Kind::Backup:
        break;
    }
  }
  return expected;
}

std::vector<Violation> CrashModel::Match(const Expected& expected, const FolderView& seen,
                                         const std::set<std::string>& files, const std::string& inFlightFile,
                                         const std::map<std::string, uint32_t>& lost) const {
  std::vector<Violation> found;
  for (const auto& [id, item] : seen.items) {
    const std::string uid = "UID " + std::to_string(item.uid);
    const auto want = expected.find(id);
    if (want == expected.end()) {
      if (!files.count(id)) {
        found.push_back({"ghost", id + " (" + uid + ") is listed, but it has no file and no item should be there"});
      } else if (!Fresh(item.uid)) {
        if (!lost.count(id) || lost.at(id) != item.uid)
          found.push_back({"removed-item-back", id + " was removed from the index but is listed with its old " + uid});
      } else if (item.flags != FlagWords{"\\RECENT"}) {
        found.push_back({"flags", id + " was indexed afresh (" + uid + ") with flags '" + JoinFlagWords(item.flags) +
                                      "', expected '\\RECENT'"});
      }
      continue;
    }
    const Expect& e = want->second;
    if (e.maybe && lost.count(id) && lost.at(id) == item.uid) continue;  // a lost item back with its own UID
    if (!e.fresh && item.uid != e.uid) {
      found.push_back({"uid-changed", id + " had UID " + std::to_string(e.uid) + " and now has " + uid});
    } else if (e.fresh && !Fresh(item.uid)) {
      found.push_back({"uid-not-new", id + " should have a UID never given before but has " + uid});
    }
    if (std::find(e.flags.begin(), e.flags.end(), item.flags) == e.flags.end())
      found.push_back({"flags", id + " (" + uid + ") has flags '" + JoinFlagWords(item.flags) + "', expected " +
                                    Options(e.flags)});
  }
  for (const auto& [id, e] : expected)
    if (!seen.items.count(id) && files.count(id))
      found.push_back(e.fresh ? Violation{"unlisted-file", id + " has a file but is not listed (a new message)"}
                              : Violation{"lost-item", id + " (UID " + std::to_string(e.uid) +
                                                           ") has a file but is no longer listed"});
  for (const std::string& name : files)
    if (!seen.items.count(name) && !expected.count(name))
      found.push_back({"unlisted-file", name + " has a file but is not listed (" +
                                            (name == inFlightFile ? "the delivery in flight put it there"
                                                                  : "no operation indexed it") +
                                            ")"});
  return found;
}

void CrashModel::Accept(const FolderView& seen, const std::set<std::string>& files) {
  // Items that vanished while their files stayed (only a run past a
  // failure gets here) may come back with their own UID.
  for (auto it = lost_.begin(); it != lost_.end();)
    it = files.count(it->first) && !seen.items.count(it->first) ? std::next(it) : lost_.erase(it);
  for (const auto& [id, item] : model_.items)
    if (files.count(id) && !seen.items.count(id)) lost_[id] = item.uid;
  model_ = seen;
  files_ = files;
  highest_ = std::max(highest_, seen.lastUid);
  for (const auto& [id, item] : seen.items) {
    history_.emplace(item.uid, id);
    highest_ = std::max(highest_, item.uid);
  }
}

std::optional<Violation> CrashModel::CheckRound(const CrashLog& log, const FolderView& seen,
                                                const std::set<std::string>& files) {
  std::optional<Violation> violation = Judge(log, seen, files);
  Accept(seen, files);
  return violation;
}

std::optional<Violation> CrashModel::Judge(const CrashLog& log, const FolderView& seen,
                                           const std::set<std::string>& files) const {
  std::vector<CrashOp> ops = log.ops;
  // A delivery killed before it could say its file's name: the file that is
  // new to the folder (a name may come back once its message is deleted).
  if (!ops.empty() && !ops.back().ended && ops.back().kind == CrashOp::Kind::Deliver) {
    std::set<std::string> known = files_;
    for (const CrashOp& op : ops) {
      if (op.kind == CrashOp::Kind::Deliver && !op.name.empty()) known.insert(op.name);
      if (op.kind == CrashOp::Kind::Delete && op.Succeeded()) known.erase(op.ids.front());
    }
    std::vector<std::string> fresh;
    for (const std::string& name : files)
      if (!known.count(name)) fresh.push_back(name);
    if (fresh.size() == 1) ops.back().name = fresh.front();
  }
  const std::string inFlightFile =
      !ops.empty() && !ops.back().ended && ops.back().kind == CrashOp::Kind::Deliver ? ops.back().name : "";
  if (auto violation = CheckUids(seen)) return violation;
  std::map<std::string, uint32_t> lost = lost_;
  for (const CrashOp& op : ops)
    if (op.kind == CrashOp::Kind::Delete && op.Succeeded()) lost.erase(op.ids.front());

  std::vector<size_t> open;  // operations that may or may not have taken effect
  for (size_t i = 0; i < ops.size(); ++i)
    if (ChangesIndex(ops[i]) && !ops[i].Succeeded() && open.size() < kMostUncertain) open.push_back(i);
  std::vector<Violation> closest;
  uint32_t closestReading = 0;
  for (uint32_t reading = 0; reading < (1u << open.size()); ++reading) {
    std::vector<bool> applies(ops.size(), false);
    for (size_t bit = 0; bit < open.size(); ++bit) applies[open[bit]] = (reading >> bit) & 1;
    std::vector<Violation> differences = Match(Replay(ops, applies), seen, files, inFlightFile, lost);
    if (differences.empty()) {
      closest.clear();
      break;
    }
    if (reading == 0 || differences.size() < closest.size()) {
      closest = std::move(differences);
      closestReading = reading;
    }
  }
  if (!closest.empty()) {
    std::string message = closest.front().message;
    for (size_t i = 1; i < closest.size() && i < kDifferencesShown; ++i) message += "; " + closest[i].message;
    if (closest.size() > kDifferencesShown)
      message += "; and " + std::to_string(closest.size() - kDifferencesShown) + " more";
    if (!open.empty()) {
      message += " (closest reading:";
      for (size_t bit = 0; bit < open.size(); ++bit)
        message += " #" + std::to_string(ops[open[bit]].number) +
                   ((closestReading >> bit) & 1 ? " took effect" : " did not take effect");
      message += ")";
    }
    return Violation{closest.front().kind, message};
  }

  // Messages delivered one after another get ascending UIDs (a name that
  // a later operation of the round deletes, removes or delivers again is
  // left out).
  std::map<std::string, size_t> lastTouched;
  for (size_t i = 0; i < ops.size(); ++i) {
    for (const std::string& id : ops[i].ids) lastTouched[id] = i;
    for (const std::string& id : ops[i].removes) lastTouched[id] = i;
    if (!ops[i].name.empty()) lastTouched[ops[i].name] = i;
  }
  const CrashOp* previous = nullptr;
  for (size_t i = 0; i < ops.size(); ++i) {
    const CrashOp& op = ops[i];
    if (op.kind != CrashOp::Kind::Deliver || !op.Succeeded() || lastTouched[op.name] != i ||
        !seen.items.count(op.name))
      continue;
    if (previous != nullptr && seen.items.at(op.name).uid <= seen.items.at(previous->name).uid)
      return Violation{"uid-order", op.name + " was delivered after " + previous->name + " but has the lower UID " +
                                        std::to_string(seen.items.at(op.name).uid)};
    previous = &op;
  }
  return std::nullopt;
}

}  // namespace tw::test
