#include "support/index_model.h"

#include "index/cache/loaded_index_store.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "common/text.h"
#include "index/file/document_serialiser.h"
#include "index/file/store_index_serialiser.h"
#include "index/file/stream_serialiser.h"
#include "index/items/index_item.h"
#include "index/lifecycle/direct_operations.h"
#include "index/lifecycle/index_removal.h"
#include "index/lifecycle/scan_folders.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/locking/block_settings.h"
#include "index/messages/message_item.h"
#include "support/crash_model.h"
#include "support/inbox_fixture.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace tw::test {
namespace {

using Flags = std::set<std::string>;  // upper-case flag words

bool NoCaseLess(const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; }

std::vector<std::string> Split(const std::string& text, char separator, bool keepEmpty) {
  std::vector<std::string> parts;
  for (size_t at = 0; at <= text.size();) {
    const size_t end = std::min(text.find(separator, at), text.size());
    std::string part = text.substr(at, end - at);
    if (keepEmpty || !part.empty()) parts.push_back(part);
    at = end + 1;
  }
  return parts;
}

std::string Name(uint32_t message) {
  char text[32];
  std::snprintf(text, sizeof text, "%08u.MAI", message);
  return text;
}

std::string IdList(const std::vector<uint32_t>& messages) {
  std::string ids;
  for (uint32_t m : messages) ids += (ids.empty() ? "" : ",") + Name(m);
  return ids;
}

struct Message {
  uint32_t uid = 0;
  Flags flags;
};

// What the folder holds: per ID its UID and flags, and LASTUID.
struct FolderModel {
  std::map<std::string, Message> items;
  uint32_t lastUid = 0;
};

// (UID, ID) of every item, in UID order.
std::vector<std::pair<uint32_t, std::string>> ByUid(const FolderModel& model) {
  std::vector<std::pair<uint32_t, std::string>> byUid;
  for (const auto& [id, m] : model.items) byUid.emplace_back(m.uid, id);
  std::sort(byUid.begin(), byUid.end());
  return byUid;
}

struct Failure {
  std::string kind;
  std::string message;
};

[[noreturn]] void Fail(const std::string& kind, const std::string& message) { throw Failure{kind, message}; }

// The documented counter rules of `_FOLDER.DAT` on a signed view.
struct Counters {
  int64_t word[FolderDetails::kCount] = {};
  static Counters From(const FolderDetails& d) {
    Counters c;
    for (int i = 0; i < FolderDetails::kCount; ++i) c.word[i] = static_cast<int32_t>(d.counters[i]);
    return c;
  }
  // A negative item count is 0; words 1, 3, 7, 8 and 9 stay within 0 and the item count.
  void Normalise() {
    if (word[FolderDetails::kItems] < 0) word[FolderDetails::kItems] = 0;
    for (int i : {1, 3, 7, 8, 9}) word[i] = std::clamp<int64_t>(word[i], 0, word[FolderDetails::kItems]);
  }
  FolderDetails Details() const {
    FolderDetails d;
    for (int i = 0; i < FolderDetails::kCount; ++i) d.counters[i] = static_cast<uint32_t>(word[i]);
    return d;
  }
};

std::string Words(const FolderDetails& d) {
  std::string text;
  for (int i = 0; i < FolderDetails::kCount; ++i) text += (i ? " " : "") + std::to_string(d.counters[i]);
  return text;
}

// The flag grammar: "+\W" adds, "-\W" removes every copy, a first unsigned
// word replaces; the counters follow each word added (+1) or removed.
void ApplyChange(Flags& flags, const std::string& change, Counters& counters) {
  bool first = true;
  for (const std::string& token : Split(change, ' ', false)) {
    const bool signedToken = token[0] == '+' || token[0] == '-';
    if (first && !signedToken) flags.clear();
    first = false;
    std::string word = signedToken ? token.substr(1) : token;
    if (word.empty()) continue;
    if (word[0] != '\\') word = "\\" + word;
    word = ToUpper(word);
    int delta = 0;
    if (token[0] == '-') {
      delta = -static_cast<int>(flags.erase(word));
    } else if (flags.insert(word).second) {
      delta = 1;
    }
    if (delta == 0) continue;
    if (ContainsNoCase(token, "SEEN")) counters.word[FolderDetails::kSeen] += delta;
    if (ContainsNoCase(token, "FLAGGED")) counters.word[FolderDetails::kFlagged] += delta;
    if (ContainsNoCase(token, "ANSWERED")) counters.word[FolderDetails::kAnswered] += delta;
  }
}

// Words 3-8 and 11 as a fully loaded index gives them, from the model.
FolderDetails DetailsOf(const FolderModel& model) {
  FolderDetails d;
  uint32_t* n = d.counters;
  n[FolderDetails::kLastUid] = model.lastUid;
  for (const auto& [uid, id] : ByUid(model)) {
    const Flags& flags = model.items.at(id).flags;
    ++n[FolderDetails::kItems];
    if (flags.count("\\SEEN")) {
      ++n[FolderDetails::kSeen];
      if (n[FolderDetails::kFirstSeen] == 0) n[FolderDetails::kFirstSeen] = n[FolderDetails::kItems];
    }
    if (flags.count("\\ANSWERED")) ++n[FolderDetails::kAnswered];
    if (flags.count("\\FLAGGED")) ++n[FolderDetails::kFlagged];
    if (flags.count("\\RECENT")) ++n[FolderDetails::kRecent];
  }
  return d;
}

std::string MessageFileText(uint32_t message, bool big) {
  std::string text = "From: sender" + std::to_string(message) + "@example.com\r\n";
  if (big) {
    text += "To: first@example.com,\r\n";
    for (int line = 0; line < 16; ++line) {
      std::string folded = " ";
      while (folded.size() < 1900) folded += "r" + std::to_string(line) + "@example.com,";
      text += folded + "\r\n";
    }
  }
  text += "Subject: message " + std::to_string(message) + "\r\n\r\nbody " + std::to_string(message) + "\r\n";
  return text;
}

class Runner {
 public:
  explicit Runner(const ModelRunOptions& options) : options_(options) {
    const ModelSwitches& s = options.switches;
    inbox_.Use({.streamLoad = s.streamLoad, .streamSave = s.streamSave, .oldFormat = s.oldFormat, .backup = s.backup},
               options.maximumIndexRows != 0 ? DwordValue("Maximum Index Rows", options.maximumIndexRows) : "");
    ResetBlockSettingsCache();
    LoadedIndexStore::Process().SetCapacity(options.keepLoadedIndexes ? 16 : 0);
  }
  ~Runner() {
    CloseSession();
    ResetBlockSettingsCache();
  }

  ModelResult Run(const std::vector<ModelStep>& steps) {
    ModelResult result;
    const bool trace = std::getenv("TW_MODEL_TRACE") != nullptr;
    for (size_t i = 0; i < steps.size() && !result.failed; ++i) {
      if (trace) std::fprintf(stderr, "step %zu: %s\n", i + 1, steps[i].Describe().c_str());
      Failure failure;
      try {
        Do(steps[i]);
        CheckReaders();
        continue;
      } catch (const Failure& f) {
        failure = f;
      } catch (const std::exception& e) {
        failure = {"exception", e.what()};
      } catch (...) {
        failure = {"exception", "an exception that is not a std::exception"};
      }
      result = {true, i, failure.kind, failure.message, 0};
    }
    result.largestIndexFile = largest_;
    return result;
  }

 private:
  std::string Sys(const std::string& name) const { return inbox_.File(name); }
  bool IndexExists() const { return PathExists(Sys("_index.xml")); }
  bool ChangeMarked() const {
    for (const auto& entry : fs::directory_iterator(inbox_.Dir()))
      if (ToUpper(entry.path().filename().string()) == "_CHANGE.DTY") return true;
    return false;
  }
  std::vector<std::string> MessageFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(inbox_.Dir())) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 4 && ToUpper(name.substr(name.size() - 4)) == ".MAI" && name[0] != '_' && name[0] != '.')
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NoCaseLess);
    return names;
  }
  // False when the file is there or the folder already holds as many
  // message files as a scan may take.
  bool WriteMessage(uint32_t message, bool big) {
    if (PathExists(Sys(Name(message)))) return false;
    if (options_.maximumIndexRows != 0 && MessageFiles().size() >= options_.maximumIndexRows) return false;
    WriteFile(Sys(Name(message)), MessageFileText(message, big));
    return true;
  }

  // A fresh record opened in `mode`, handed to `use` when the open
  // succeeded and released whatever happens; the open's result.
  template <typename Use>
  int32_t WithRecord(uint32_t mode, Use use) {
    auto record = std::make_unique<STOREINDEXTYPE>();
    const int32_t opened = inbox_.Open(*record, mode);
    struct Releaser {
      STOREINDEXTYPE& r;
      ~Releaser() { ReleaseRecord(r); }
    } releaser{*record};
    if (opened == 1) use(*record);
    return opened;
  }
  int32_t OpenOnce(uint32_t mode) {
    return WithRecord(mode, [](STOREINDEXTYPE&) {});
  }

  // A UID persisted for `id`: it must never have named another message, and
  // a UID new to the folder must lie above every UID handed out before.
  void RecordUid(uint32_t uid, const std::string& id) {
    const auto found = history_.find(uid);
    if (found != history_.end()) {
      if (found->second != id)
        Fail("uid-reuse", "UID " + std::to_string(uid) + " named " + found->second + " and now names " + id);
      return;
    }
    if (uid <= highest_)
      Fail("uid-reuse", "new UID " + std::to_string(uid) + " for " + id + " is not above the highest UID handed out (" +
                            std::to_string(highest_) + ")");
    history_[uid] = id;
    highest_ = uid;
  }
  void Persist(const FolderModel& model) {
    for (const auto& [uid, id] : ByUid(model)) RecordUid(uid, id);
    committed_ = model;
    highest_ = std::max(highest_, model.lastUid);
  }

  // A rebuild from the files: items whose file is gone are dropped (the
  // rebuild loads with file checks), unknown files get the next UIDs in
  // name order; then the counters are those of the whole folder.
  void Rebuilt(const std::string& what, const char* kind = "counters-scan") {
    FolderModel next = committed_;
    const std::vector<std::string> files = MessageFiles();
    std::erase_if(next.items, [&](const auto& item) {
      return !std::binary_search(files.begin(), files.end(), item.first, NoCaseLess);
    });
    for (const std::string& name : files)
      if (!next.items.count(name)) next.items[name] = Message{++next.lastUid, {"\\RECENT"}};
    Persist(next);
    CheckDatComputed(what, kind);
  }

  void Expect(const char* what, int64_t expected, int64_t actual) {
    if (expected != actual)
      Fail(std::string("result:") + what,
           std::string(what) + " returned " + std::to_string(actual) + ", expected " + std::to_string(expected));
  }

  void CloseSession() {
    if (!sessionOpen_) return;
    ReleaseRecord(*session_);
    sessionOpen_ = false;
  }

  void Do(const ModelStep& step) {
    using K = ModelStep::Kind;
    switch (step.kind) {
      case K::Deliver:
      case K::DeliverBig: return Deliver(step);
      case K::Update: return Update(step);
      case K::Remove: return Remove(step);
      case K::Open: return Open(step.mode);
      case K::SetFlags: return SetFlags(step);
      case K::Insert: return Insert(step);
      case K::RecordRemove: return RecordRemove(step);
      case K::Save: return Save(false);
      case K::Commit: return Save(true);
      case K::Release: return CloseSession();
      case K::Reindex: return Reindex("reindex");
      case K::ScanFolders:
        CloseSession();
        Expect("ScanFolders", 1, ScanFolders(inbox_.IndexPath()));
        return Rebuilt("ScanFolders", "counters-scanfolders");
      case K::Damage: return Damage(step);
    }
  }

  void Reindex(const char* what) {
    CloseSession();
    Expect(what, 1, OpenOnce(2));
    Rebuilt(what);
  }

  // A delivery into a folder whose index file is gone while other message
  // files lie there marks the folder dirty, and the next open's rebuild
  // leaves none of them out: that is checked as after damage.
  void OpenAfterLostIndex() {
    if (!ChangeMarked()) Fail("lost-message", "a delivery into a folder that lost its index left it clean");
    Expect("open mode 1 after a lost index", 1, OpenOnce(1));
  }

  // A delivery opens the index at its header and never reconciles.
  void Deliver(const ModelStep& step) {
    CloseSession();
    const bool indexLost = !IndexExists() && !MessageFiles().empty();
    std::vector<uint32_t> written;
    for (uint32_t m : step.messages)
      if (WriteMessage(m, step.kind == ModelStep::Kind::DeliverBig)) written.push_back(m);
    if (written.empty()) return;
    const Counters before = Counters::From(inbox_.FolderDat());
    const uint32_t highest = std::max(highest_, committed_.lastUid);
    Expect("deliver", 1, DirectInsertItems("PO", "bob", "\\Inbox", IdList(written), step.text));
    if (indexLost) {
      OpenAfterLostIndex();
      return Resolve(highest, {});
    }
    FolderModel next = committed_;
    const std::vector<std::string> positional = Split(step.text, ',', true);
    Counters after = before;
    for (size_t i = 0; i < written.size(); ++i) {
      std::string initial = i < positional.size() && positional[i].size() <= 254 ? positional[i] : "";
      Flags flags = {"\\RECENT"};
      if (!initial.empty() && ToUpper(initial).rfind("SIZE=", 0) != 0) {
        flags = FlagWordsOf(initial);
        flags.insert(ContainsNoCase(initial, "SEEN") ? "\\SEEN" : "\\RECENT");
      }
      next.items[Name(written[i])] = Message{++next.lastUid, flags};
      for (int w : {FolderDetails::kItems, 9, 10}) ++after.word[w];
      // Each message counts as seen by its own flags.
      if (std::any_of(flags.begin(), flags.end(), [](const std::string& word) { return ContainsNoCase(word, "SEEN"); }))
        ++after.word[FolderDetails::kSeen];
    }
    after.word[FolderDetails::kLastUid] = next.lastUid;
    after.Normalise();
    Persist(next);
    CheckDat(after, "counters-direct", "direct insert");
  }

  // Word 11 remembers the UIDs handed out: it never goes below the LASTUID
  // of the index file.
  void KeepLastUid(Counters& counters) const {
    int64_t& word = counters.word[FolderDetails::kLastUid];
    word = std::max<int64_t>(word, committed_.lastUid);
  }

  // A direct update or removal: `change` applies to each item named once.
  template <typename Change>
  void Direct(const ModelStep& step, const char* what, int32_t result, Counters counters, Change change) {
    Expect(what, 1, result);
    FolderModel next = committed_;
    std::set<std::string> wanted;
    for (uint32_t m : step.messages) wanted.insert(Name(m));
    for (const std::string& id : wanted)
      if (auto found = next.items.find(id); found != next.items.end()) change(next, found, counters);
    KeepLastUid(counters);
    counters.Normalise();
    if (step.kind == ModelStep::Kind::Remove && step.option == 1) RemoveFiles(step.messages);
    Persist(next);
    CheckDat(counters, "counters-direct", std::string("direct ") + what);
  }

  // A direct update or removal in a folder without an index but with message
  // files does nothing but mark the folder dirty (0); the next open rebuilds.
  bool RefusedWithoutIndex(const char* what, int32_t result, const std::vector<uint32_t>& deleted) {
    if (IndexExists() || MessageFiles().empty()) return false;
    Expect(what, 0, result);
    if (!ChangeMarked()) Fail("lost-message", std::string(what) + " without an index left the folder clean");
    RemoveFiles(deleted);
    const uint32_t highest = std::max(highest_, committed_.lastUid);
    Expect("open after a refused change", 1, OpenOnce(1));
    Resolve(highest, {});
    return true;
  }

  void Update(const ModelStep& step) {
    CloseSession();
    const Counters counters = Counters::From(inbox_.FolderDat());
    const bool flagChange = !step.text.empty() && ToUpper(step.text).rfind("SIZE=", 0) != 0;
    const int32_t result = inbox_.Update(IdList(step.messages), step.text);
    if (RefusedWithoutIndex("update", result, {})) return;
    Direct(step, "update", result, counters,
           [&](FolderModel&, auto found, Counters& c) {
             if (flagChange) ApplyChange(found->second.flags, step.text, c);
           });
  }

  void Remove(const ModelStep& step) {
    CloseSession();
    const Counters counters = Counters::From(inbox_.FolderDat());
    const int32_t result = inbox_.Remove(IdList(step.messages));
    if (RefusedWithoutIndex("remove", result, step.option == 1 ? step.messages : std::vector<uint32_t>{})) return;
    Direct(step, "remove", result, counters,
           [](FolderModel& next, auto found, Counters& c) {
             auto lower = [&](int slot) {
               if (c.word[slot] > 0) --c.word[slot];
             };
             const std::string flags = JoinFlagWords(found->second.flags);
             lower(FolderDetails::kItems);
             if (ContainsNoCase(flags, "SEEN")) lower(FolderDetails::kSeen);
             if (ContainsNoCase(flags, "RECENT")) lower(9), lower(10);
             next.items.erase(found);
           });
  }

  void RemoveFiles(const std::vector<uint32_t>& messages) {
    for (uint32_t m : messages) fs::remove(Sys(Name(m)));
  }

  void Open(uint32_t mode) {
    CloseSession();
    // Every mode but 5 lets the load reconcile a folder without an index or marked dirty.
    const bool rebuild = mode == 2 || (mode != 5 && (!IndexExists() || ChangeMarked()));
    session_ = std::make_unique<STOREINDEXTYPE>();
    const int32_t result = inbox_.Open(*session_, mode);
    sessionOpen_ = true;
    Expect("open", 1, result);
    if (rebuild) Rebuilt("open with rebuild");
    sessionModel_ = committed_;
    sessionChanged_ = false;
  }

  void Changed() {
    session_->changed = 1;
    sessionChanged_ = true;
  }

  void SetFlags(const ModelStep& step) {
    if (!sessionOpen_ || step.messages.empty()) return;
    const std::string id = Name(step.messages[0]);
    IndexItemPropertyContainer* item = IndexOf(*session_).FindById(id);
    auto found = sessionModel_.items.find(id);
    if ((item != nullptr) != (found != sessionModel_.items.end()))
      Fail("members", "the open record " + std::string(item ? "holds " : "lacks ") + id);
    if (item == nullptr) return;
    IndexItem(item, false).Set("FLAGSTATUS", step.text);
    Changed();
    found->second.flags = FlagWordsOf(step.text);
  }

  void Insert(const ModelStep& step) {
    if (!sessionOpen_ || step.messages.empty() || !WriteMessage(step.messages[0], false)) return;
    const std::string id = Name(step.messages[0]);
    SORTEDSTOREINDEXTYPE& index = IndexOf(*session_);
    const bool inserted = IndexMessageFile(index, session_->folderPath, id, 1, "", false) != nullptr;
    Expect("record insert", 1, inserted ? 1 : 0);
    session_->lastUid = index.LastUid();
    session_->itemCount = static_cast<uint32_t>(index.Count());
    Changed();
    sessionModel_.items[id] = Message{++sessionModel_.lastUid, {"\\RECENT"}};
  }

  void RecordRemove(const ModelStep& step) {
    if (!sessionOpen_) return;
    if (RemoveFromIndex(IndexOf(*session_), IdList(step.messages), nullptr, nullptr)) Changed();
    for (uint32_t m : step.messages) sessionModel_.items.erase(Name(m));
    if (step.option == 1) RemoveFiles(step.messages);
  }

  void Save(bool commit) {
    if (!sessionOpen_) return;
    Counters expected = Counters::From(inbox_.FolderDat());
    const bool counted = fs::exists(Sys("_FOLDER.DAT"));
    if (commit && !sessionChanged_) {
      Expect("commit", 2, CommitRecord(*session_));
      return CheckDat(expected, "counters-record", "a commit with nothing changed writes nothing");
    }
    Expect(commit ? "commit" : "save", 1, commit ? CommitRecord(*session_) : SaveRecord(*session_));
    sessionChanged_ = false;
    Persist(sessionModel_);
    if (commit) return CheckDatComputed("record commit");
    // A save into a folder without counters counts its items once.
    if (!counted) return CheckDatComputed("first record save");
    // Otherwise a save counts nothing, but _FOLDER.DAT learns the UIDs it handed out.
    KeepLastUid(expected);
    CheckDat(expected, "counters-record", "a save alone leaves the counters but LASTUID");
  }

  // Elements wholly before `cut` whose ID the folder holds.
  std::set<std::string> ElementsBefore(const std::string& content, size_t cut) const {
    std::set<std::string> ids;
    size_t at = 0;
    while ((at = content.find("<ELEMENT ID=\"", at)) != std::string::npos) {
      const size_t idStart = at + 13;
      const size_t idEnd = content.find('"', idStart);
      const size_t end = content.find("</ELEMENT>", at);
      if (idEnd == std::string::npos || end == std::string::npos || end + 10 > cut) break;
      ids.insert(content.substr(idStart, idEnd - idStart));
      at = end;
    }
    return ids;
  }

  void Damage(const ModelStep& step) {
    CloseSession();
    const std::string path = Sys("_index.xml");
    const std::string content = IndexExists() ? ReadFile(path) : "";
    const uint32_t before = std::max(highest_, committed_.lastUid);
    std::set<std::string> survivors;
    if (step.option == 0) {
      fs::remove(path);
    } else if (step.option == 1 && content.size() > 33) {
      const size_t cut = 33 + step.where % (content.size() - 33);
      survivors = ElementsBefore(content, cut);
      WriteFile(path, content.substr(0, cut));
    } else if (step.option == 2 && !content.empty()) {
      std::string flipped = content;
      flipped[step.where % flipped.size()] ^= static_cast<char>(0x80);
      WriteFile(path, flipped);
    } else if (step.option >= 3) {
      WriteFile(path, "");
    }
    // A corrupt file is only reported by a plain open; a rebuild repairs it.
    const uint32_t recovery = step.option != 0 ? step.mode % 2 : step.mode % 4;
    bool countersKnown = true;
    const bool lost = !IndexExists() && !MessageFiles().empty();
    if (recovery == 1) {
      Expect("ScanFolders after damage", 1, ScanFolders(inbox_.IndexPath()));
    } else if (recovery == 2) {
      Expect("open mode 1 after damage", 1, OpenOnce(1));
    } else if (recovery == 3 && !step.messages.empty() && WriteMessage(step.messages[0], false)) {
      countersKnown = false;
      Expect("deliver after damage", 1, DirectInsertItems("PO", "bob", "\\Inbox", Name(step.messages[0]), ""));
      if (lost) OpenAfterLostIndex();
    } else {
      // A reindex, or no room for a new message: the rebuild comes from a reindex.
      Expect("reindex after damage", 1, OpenOnce(2));
    }
    Resolve(before, survivors);
    if (countersKnown)
      CheckDatComputed("rebuild after damage", recovery == 1 ? "counters-scanfolders" : "counters-scan");
  }

  // After damage and a rebuild: every message file is indexed; elements
  // that survived keep UID and flags; any other UID is one the message had
  // before or a new one above every UID handed out before.
  void Resolve(uint32_t before, const std::set<std::string>& survivors) {
    FolderModel actual;
    const int32_t opened = WithRecord(5, [&](STOREINDEXTYPE& record) {
      actual.lastUid = record.lastUid;
      for (const auto* item : IndexOf(record).ByUid())
        actual.items[item->GetText("ID")] = Message{static_cast<uint32_t>(item->GetNumber("UID")),
                                                    FlagWordsOf(item->GetText("FLAGSTATUS"))};
    });
    if (opened != 1) Fail("damage-unreadable", "no reader could open the index after the rebuild");
    const std::vector<std::string> files = MessageFiles();
    const std::set<std::string> present(files.begin(), files.end());
    uint32_t top = 0;
    for (const std::string& name : files)
      if (!actual.items.count(name)) Fail("lost-message", name + " has a file but no item after the rebuild");
    for (const auto& [id, m] : actual.items) {
      top = std::max(top, m.uid);
      const auto known = committed_.items.find(id);
      if (!present.count(id) && known == committed_.items.end())
        Fail("ghost", id + " (UID " + std::to_string(m.uid) + ") is indexed but was removed and has no file");
      if (survivors.count(id) && known != committed_.items.end()) {
        if (m.uid != known->second.uid)
          Fail("survivor-uid", id + " survived the damage with UID " + std::to_string(known->second.uid) +
                                   " but now has UID " + std::to_string(m.uid));
        if (m.flags != known->second.flags)
          Fail("survivor-flags", id + " survived the damage with flags '" + JoinFlagWords(known->second.flags) +
                                     "' but now has '" + JoinFlagWords(m.flags) + "'");
        continue;
      }
      const auto said = history_.find(m.uid);
      if (m.uid <= before && (said == history_.end() || said->second != id))
        Fail("uid-reuse", id + " got UID " + std::to_string(m.uid) + " after the damage, not above " +
                              std::to_string(before) + (said == history_.end() ? "" : " (it named " + said->second + ")"));
    }
    if (actual.lastUid < top)
      Fail("lastuid", "LASTUID " + std::to_string(actual.lastUid) + " below the highest UID " + std::to_string(top));
    for (const auto& [uid, id] : ByUid(actual))
      if (history_.emplace(uid, id).second) highest_ = std::max(highest_, uid);
    committed_ = actual;
    highest_ = std::max(highest_, actual.lastUid);
  }

  void CheckDat(const Counters& expected, const char* kind, const std::string& what) {
    const FolderDetails actual = inbox_.FolderDat();
    const FolderDetails wanted = expected.Details();
    for (int i = 0; i < FolderDetails::kCount; ++i)
      if (actual.counters[i] != wanted.counters[i])
        Fail(kind, what + ": _FOLDER.DAT holds [" + Words(actual) + "], expected [" + Words(wanted) + "]");
  }

  // Words 3-8 and 11 equal what a fully loaded index and the model give.
  void CheckDatComputed(const std::string& what, const char* kind = "counters-scan") {
    const FolderDetails actual = inbox_.FolderDat();
    const FolderDetails model = DetailsOf(committed_);
    FolderDetails loaded;
    WithRecord(5, [&](STOREINDEXTYPE& record) { loaded = IndexOf(record).GetFolderDetails(); });
    for (int i : {3, 4, 5, 6, 7, 8, 11})
      if (actual.counters[i] != model.counters[i] || actual.counters[i] != loaded.counters[i])
        Fail(kind, what + ": _FOLDER.DAT holds [" + Words(actual) + "], a full load gives [" + Words(loaded) +
                       "], the model [" + Words(model) + "] (word " + std::to_string(i) + ")");
  }

  void Compare(const std::string& reader, const SORTEDSTOREINDEXTYPE& index, uint32_t lastUid) {
    std::string diff;
    for (const auto* item : index.ByUid()) {
      const std::string id = item->GetText("ID");
      const uint32_t uid = static_cast<uint32_t>(item->GetNumber("UID"));
      const auto m = committed_.items.find(id);
      if (m == committed_.items.end()) {
        diff += " extra " + id + " (UID " + std::to_string(uid) + ");";
        continue;
      }
      if (uid != m->second.uid)
        diff += " " + id + " UID " + std::to_string(uid) + " expected " + std::to_string(m->second.uid) + ";";
      const Flags flags = FlagWordsOf(item->GetText("FLAGSTATUS"));
      if (flags != m->second.flags)
        diff += " " + id + " flags '" + JoinFlagWords(flags) + "' expected '" + JoinFlagWords(m->second.flags) + "';";
    }
    for (const auto& [id, m] : committed_.items)
      if (const_cast<SORTEDSTOREINDEXTYPE&>(index).FindLoadedById(id) == nullptr)
        diff += " missing " + id + " (UID " + std::to_string(m.uid) + ");";
    if (lastUid != committed_.lastUid)
      diff += " LASTUID " + std::to_string(lastUid) + " expected " + std::to_string(committed_.lastUid) + ";";
    if (!diff.empty()) Fail("reader:" + reader, reader + " sees:" + diff);
  }

  // Every reader sees exactly the model, and the file holds each item once.
  void CheckReaders() {
    const bool indexFile = IndexExists();
    if (indexFile) largest_ = std::max<size_t>(largest_, fs::file_size(Sys("_index.xml")));
    ++checks_;
    const uint32_t mode = indexFile && !ChangeMarked() && checks_ % 2 == 0 ? 0 : 5;
    const std::string name = "record (mode " + std::to_string(mode) + ")";
    if (const int32_t opened = WithRecord(mode, [&](STOREINDEXTYPE& r) { Compare(name, IndexOf(r), r.lastUid); });
        opened != 1)
      Fail("reader:record", "a fresh record opened in mode " + std::to_string(mode) + " returned " +
                                std::to_string(opened));
    if (!indexFile) {
      if (!committed_.items.empty()) Fail("index-missing", "_index.xml is gone while the folder holds items");
      return;
    }
    const std::pair<std::string, std::unique_ptr<StoreIndexSerialiser>> readers[] = {
        {"stream", std::make_unique<StreamXMLStoreIndexSerialiser>()},
        {"document", std::make_unique<MSXMLStoreIndexSerialiser>(options_.switches.oldFormat)}};
    for (const auto& [reader, serialiser] : readers) {
      SORTEDSTOREINDEXTYPE index;
      if (serialiser->DeserialiseHook(index, inbox_.IndexPath(), kFolderTypeMail, kLevelFull, 0, true) < kLevelFull)
        Fail("reader:" + reader, "the " + reader + " serialiser cannot load the file");
      Compare("the " + reader + " serialiser", index, index.LastUid());
    }
    const std::string content = ReadFile(Sys("_index.xml"));
    std::map<std::string, int> seen;
    for (size_t at = 0; (at = content.find("<ELEMENT ID=\"", at)) != std::string::npos;) {
      at += 13;
      const std::string id = content.substr(at, content.find('"', at) - at);
      if (id.find_first_not_of('-') != std::string::npos && ++seen[id] == 2)
        Fail("duplicate-element", "_index.xml holds " + id + " more than once");
    }
  }

  ModelRunOptions options_;
  InboxFixture inbox_;
  FolderModel committed_;
  std::map<uint32_t, std::string> history_;
  uint32_t highest_ = 0;
  std::unique_ptr<STOREINDEXTYPE> session_;
  bool sessionOpen_ = false;
  FolderModel sessionModel_;
  bool sessionChanged_ = false;
  size_t largest_ = 0;
  uint64_t checks_ = 0;
};

const char* KindName(ModelStep::Kind kind) {
  static const char* const kNames[] = {"deliver",       "deliver-big",   "update",         "remove",
                                       "open",          "record-set-flags", "record-insert", "record-remove",
                                       "record-save",   "record-commit", "record-release", "reindex",
                                       "scanfolders",   "damage"};
  return kNames[static_cast<int>(kind)];
}

}  // namespace

ModelSwitches ModelSwitches::FromBits(unsigned bits) {
  return ModelSwitches{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

std::string ModelSwitches::Describe() const {
  return std::string("StreamSave=") + (streamSave ? "1" : "0") + " StreamLoad=" + (streamLoad ? "1" : "0") +
         " OldFormat=" + (oldFormat ? "1" : "0") + " Backup=" + (backup ? "1" : "0");
}

std::string ModelStep::Describe() const {
  std::string text = KindName(kind);
  const std::string ids = kind == Kind::DeliverBig ? std::to_string(messages.size()) + " messages " +
                                                          Name(messages.front()) + ".." + Name(messages.back())
                                                    : IdList(messages);
  switch (kind) {
    case Kind::Deliver:
    case Kind::DeliverBig: return text + " " + ids + (this->text.empty() ? "" : " flags '" + this->text + "'");
    case Kind::Update: return text + " " + ids + " change '" + this->text + "'";
    case Kind::Remove:
    case Kind::RecordRemove: return text + " " + ids + (option == 1 ? " (and delete the files)" : " (files stay)");
    case Kind::Open: return text + " mode " + std::to_string(mode);
    case Kind::SetFlags: return text + " " + ids + " FLAGSTATUS '" + this->text + "'";
    case Kind::Insert: return text + " " + ids;
    case Kind::Damage: {
      static const char* kinds[] = {"delete _index.xml", "truncate _index.xml", "flip a byte of _index.xml",
                                    "empty _index.xml"};
      static const char* recoveries[] = {"reindex", "ScanFolders", "open mode 1", "deliver"};
      const uint32_t recovery = option == 0 ? mode % 4 : mode % 2;
      std::string r = recoveries[recovery];
      if (recovery == 3) r += " " + ids;
      return text + ": " + kinds[option % 4] + (option == 1 || option == 2 ? " at " + std::to_string(where) : "") +
             ", then " + r;
    }
    default: return text;
  }
}

std::string DescribeSequence(const std::vector<ModelStep>& steps) {
  std::string text;
  for (size_t i = 0; i < steps.size(); ++i) text += "  " + std::to_string(i + 1) + ". " + steps[i].Describe() + "\n";
  return text;
}

std::vector<ModelStep> GenerateModelSequence(uint32_t seed, size_t count, bool big, uint32_t fileCap) {
  using K = ModelStep::Kind;
  std::mt19937 random(seed);
  auto below = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  std::vector<ModelStep> steps;
  std::vector<uint32_t> live;
  uint32_t next = 1;
  uint32_t files = 0;
  bool session = false;
  auto target = [&]() -> uint32_t {
    if (live.empty() || below(10) == 0) return next + 1000 + below(50);  // never delivered
    return live[below(static_cast<uint32_t>(live.size()))];
  };
  auto forget = [&](uint32_t m) { std::erase(live, m); };
  static const char* kChanges[] = {"+\\SEEN",  "-\\SEEN",           "+\\FLAGGED",      "-\\FLAGGED",
                                   "+\\ANSWERED -\\SEEN", "\\ANSWERED \\SEEN", "\\FLAGGED",  "+\\DELETED",
                                   "-\\RECENT", "+\\SEEN +\\FLAGGED", "SIZE=1234",      "+\\DRAFT -\\DELETED"};
  static const char* kWords[] = {"\\SEEN", "\\FLAGGED", "\\ANSWERED", "\\DELETED", "\\DRAFT", "\\RECENT"};
  static const char* kInitial[] = {"\\SEEN", "\\FLAGGED", "\\SEEN \\FLAGGED", "\\ANSWERED", "SIZE=777"};
  auto fresh = [&]() -> uint32_t {
    const uint32_t m = next++;
    if (fileCap == 0 || files < fileCap) {
      live.push_back(m);
      ++files;
    }
    return m;
  };
  while (steps.size() < count) {
    ModelStep s;
    if (big && steps.size() == 3) {
      s.kind = K::DeliverBig;
      for (int i = 0; i < 40; ++i) s.messages.push_back(fresh());
      steps.push_back(s);
      session = false;
      continue;
    }
    const uint32_t roll = below(100);
    if (session && roll < 85) {
      const uint32_t r = below(80);
      if (r < 28) {
        s.kind = K::SetFlags;
        s.messages = {target()};
        for (const char* w : kWords)
          if (below(3) == 0) s.text += std::string(s.text.empty() ? "" : " ") + w;
      } else if (r < 40) {
        s.kind = K::Insert;
        s.messages = {fresh()};
      } else if (r < 50) {
        s.kind = K::RecordRemove;
        s.option = below(2);
        s.messages = {target()};
        if (below(3) == 0) s.messages.push_back(target());
        for (uint32_t m : s.messages) forget(m);
      } else if (r < 60) {
        s.kind = K::Save;
      } else if (r < 74) {
        s.kind = K::Commit;
      } else {
        s.kind = K::Release;
        session = false;
      }
      steps.push_back(s);
      continue;
    }
    session = false;
    const uint32_t r = below(100);
    if (r < 24) {
      s.kind = K::Deliver;
      const uint32_t n = 1 + below(3);
      for (uint32_t i = 0; i < n; ++i) s.messages.push_back(fresh());
      const uint32_t f = below(6);
      if (f < 3) s.text = "";
      else if (n == 1) s.text = kInitial[below(5)];
      else s.text = below(2) ? "\\SEEN," : ",\\FLAGGED";
    } else if (r < 42) {
      s.kind = K::Update;
      const uint32_t n = 1 + below(3);
      for (uint32_t i = 0; i < n; ++i) s.messages.push_back(target());
      if (below(4) == 0 && !s.messages.empty()) s.messages.push_back(s.messages[0]);  // a duplicate
      s.text = kChanges[below(12)];
    } else if (r < 52) {
      s.kind = K::Remove;
      s.option = below(3) == 0 ? 0 : 1;
      s.messages = {target()};
      if (below(3) == 0) s.messages.push_back(target());
      for (uint32_t m : s.messages) forget(m);
    } else if (r < 82) {
      s.kind = K::Open;
      static const uint32_t modes[] = {1, 2, 4, 5, 0};
      s.mode = modes[below(5)];
      session = true;
    } else if (r < 87) {
      s.kind = K::Reindex;
    } else if (r < 92) {
      s.kind = K::ScanFolders;
    } else {
      s.kind = K::Damage;
      s.option = below(4);
      s.where = static_cast<uint32_t>(random());
      s.mode = below(4);
      s.messages = {fresh()};
    }
    steps.push_back(s);
  }
  return steps;
}

ModelResult RunModelSequence(const std::vector<ModelStep>& steps, const ModelRunOptions& options) {
  Runner runner(options);
  return runner.Run(steps);
}

std::vector<ModelStep> ShrinkModelSequence(const std::vector<ModelStep>& steps, const ModelRunOptions& options,
                                           const std::string& kind, size_t budget) {
  std::vector<ModelStep> current = steps;
  size_t runs = 0;
  // Keeps `candidate` (cut after its failing step) when it fails the same way.
  auto tryCandidate = [&](const std::vector<ModelStep>& candidate) {
    if (runs >= budget || candidate.empty()) return false;
    ++runs;
    const ModelResult r = RunModelSequence(candidate, options);
    if (!r.failed || r.kind != kind) return false;
    current.assign(candidate.begin(), candidate.begin() + static_cast<std::ptrdiff_t>(r.failedStep + 1));
    return true;
  };
  {
    const ModelResult r = RunModelSequence(current, options);
    if (r.failed) current.resize(r.failedStep + 1);
  }
  bool progress = true;
  while (progress && runs < budget) {
    progress = false;
    for (size_t chunk = std::max<size_t>(current.size() / 2, 1); chunk >= 1 && runs < budget; chunk /= 2) {
      for (size_t start = 0; start + chunk <= current.size() && runs < budget;) {
        std::vector<ModelStep> candidate(current.begin(), current.begin() + static_cast<std::ptrdiff_t>(start));
        candidate.insert(candidate.end(), current.begin() + static_cast<std::ptrdiff_t>(start + chunk), current.end());
        if (tryCandidate(candidate))
          progress = true;
        else
          start += chunk;
      }
      if (chunk == 1) break;
    }
    if (progress) continue;
    for (size_t i = 0; i + 1 < current.size() && !progress && runs < budget; ++i)
      for (size_t j = i + 1; j < current.size() && !progress && runs < budget; ++j) {
        std::vector<ModelStep> candidate;
        for (size_t k = 0; k < current.size(); ++k)
          if (k != i && k != j) candidate.push_back(current[k]);
        progress = tryCandidate(candidate);
      }
  }
  return current;
}

}  // namespace tw::test
