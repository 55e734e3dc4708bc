#include "index/items/sorted_store_index.h"

#include <algorithm>
#include <exception>

#include "common/text.h"
#include "frame/event_report.h"

namespace tw {
namespace {

uint32_t UidOf(const IndexItemPropertyContainer* c) { return static_cast<uint32_t>(c->GetNumber(kKeyUid)); }

std::string_view IdOf(const IndexItemPropertyContainer* c, char (&scratch)[16]) { return c->TextView(kKeyId, scratch); }

struct CountedFlags {
  bool seen = false, answered = false, flagged = false, recent = false;
};

// Which counted flags the text holds anywhere (any case), as a search for
// each would find them: every one begins with "\\", so only those places
// are looked at. A save counts every item, so this runs 100,000 times a
// save of a large folder.
CountedFlags ScanFlags(std::string_view text) {
  CountedFlags found;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\\') continue;
    const std::string_view rest = text.substr(at);
    found.seen = found.seen || StartsWithNoCase(rest, "\\SEEN");
    found.answered = found.answered || StartsWithNoCase(rest, "\\ANSWERED");
    found.flagged = found.flagged || StartsWithNoCase(rest, "\\FLAGGED");
    found.recent = found.recent || StartsWithNoCase(rest, "\\RECENT");
  }
  return found;
}

const PropertyKey& SeqKey() {
  static const PropertyKey key = PropertyRegistry::Process().Lookup(kPropSeq);
  return key;
}

}  // namespace

uint32_t SORTEDSTOREINDEXTYPE::ItemUid(const Container& container) { return UidOf(&container); }

SORTEDSTOREINDEXTYPE::Container* SORTEDSTOREINDEXTYPE::NextByUid(uint32_t uid, size_t& place) {
  if (uid == UINT32_MAX) return nullptr;
  size_t next = place + 1;
  if (place >= byUid_.size() || UidOf(byUid_[place]) != uid)
    next = static_cast<size_t>(UidPosition(uid + 1) - byUid_.begin());
  if (next >= byUid_.size()) return nullptr;
  place = next;
  return byUid_[next];
}

int32_t NullIndexLoader::Load(SORTEDSTOREINDEXTYPE& index, int32_t) { return index.LoadLevel(); }

std::vector<IndexItemPropertyContainer*>::iterator SORTEDSTOREINDEXTYPE::UidPosition(uint32_t uid) {
  if (byUid_.empty() || UidOf(byUid_.back()) < uid) return byUid_.end();
  return std::lower_bound(byUid_.begin(), byUid_.end(), uid,
                          [](const Container* c, uint32_t value) { return UidOf(c) < value; });
}

bool SORTEDSTOREINDEXTYPE::AddToUidOrder(Container* container) {
  const uint32_t uid = UidOf(container);
  const auto at = UidPosition(uid);
  if (at != byUid_.end() && UidOf(*at) == uid) return false;
  byUid_.insert(at, container);
  return true;
}

SORTEDSTOREINDEXTYPE::~SORTEDSTOREINDEXTYPE() { FreeAll(); }

void SORTEDSTOREINDEXTYPE::SetLoader(IndexLoader* loader) { loader_ = loader; }

bool SORTEDSTOREINDEXTYPE::EnsureLoaded(int32_t level) {
  if (loadLevel_ >= level) return true;
  IndexLoader& loader = loader_ != nullptr ? *loader_ : DefaultIndexLoader();
  loadLevel_ = loader.Load(*this, level);
  return loadLevel_ >= level;
}

bool SORTEDSTOREINDEXTYPE::Insert(Container* container) {
  if (container == nullptr) return false;
  uint32_t uid = UidOf(container);
  if (uid == 0) {
    if (lastUid_ < uidFloor) lastUid_ = uidFloor;
    if (lastUid_ >= kHighestUid) return false;  // UIDs are never reused
    uid = ++lastUid_;
    container->SetNumber(kKeyUid, static_cast<int32_t>(uid));
  } else if (uid > lastUid_) {
    lastUid_ = uid;
  }
  if (!byId_.Insert(container)) return false;
  if (!AddToUidOrder(container)) {
    byId_.Erase(container);
    return false;
  }
  container->SetOwner(this);
  NoteChangedUid(uid);
  return true;
}

void SORTEDSTOREINDEXTYPE::Reserve(size_t count) {
  byId_.Reserve(count);
  byUid_.reserve(count);
  sequence_.reserve(count);
}

bool SORTEDSTOREINDEXTYPE::InsertAtEnd(Container* container) {
  if (!Insert(container)) return false;
  sequence_.push_back(container);
  container->SetNumber(SeqKey(), static_cast<int32_t>(sequence_.size()));
  return true;
}

bool SORTEDSTOREINDEXTYPE::RemoveIds(const std::set<std::string, std::less<>>& ids) {
  EnsureLoaded(2);  // what is in memory is worked on even if the load falls short
  bool removed = false;
  for (const std::string& id : ids) {
    Container* c = byId_.Find(id);
    if (c == nullptr) continue;
    // The lowest changed UID stays: other changes below or above it are
    // still unsaved, and only a save may forget them.
    removed_.push_back(c);
    byId_.Erase(c);
    c->SetOwner(nullptr);  // marks it for the by-UID pass below
    removed = true;
  }
  if (removed) std::erase_if(byUid_, [this](const Container* c) { return c->Owner() != this; });
  uint32_t seq = 0;
  auto kept = sequence_.begin();
  for (Container* c : sequence_) {
    char scratch[16];
    if (ids.find(IdOf(c, scratch)) != ids.end()) continue;
    c->SetNumber(SeqKey(), static_cast<int32_t>(++seq));
    *kept++ = c;
  }
  sequence_.erase(kept, sequence_.end());
  return removed;
}

bool SORTEDSTOREINDEXTYPE::RemoveById(std::string_view id) { return RemoveIds({std::string(id)}); }

IndexItemPropertyContainer* SORTEDSTOREINDEXTYPE::FindById(std::string_view id) {
  EnsureLoaded(3);
  return FindLoadedById(id);
}

IndexItemPropertyContainer* SORTEDSTOREINDEXTYPE::FindLoadedById(std::string_view id) {
  return byId_.Find(id);
}

IndexItemPropertyContainer* SORTEDSTOREINDEXTYPE::FindByUid(uint32_t uid) {
  const auto found = UidPosition(uid);
  return found != byUid_.end() && UidOf(*found) == uid ? *found : nullptr;
}

void SORTEDSTOREINDEXTYPE::BeforeKeyChange(Container* container, int32_t slot) {
  if (slot == kKeyId.slot) {
    byId_.Erase(container);
  } else if (slot == kKeyUid.slot) {
    for (auto at = UidPosition(UidOf(container)); at != byUid_.end() && UidOf(*at) == UidOf(container); ++at) {
      if (*at == container) {
        byUid_.erase(at);
        break;
      }
    }
  }
}

void SORTEDSTOREINDEXTYPE::AfterKeyChange(Container* container, int32_t slot) {
  // A taken key leaves the item out of that order; it stays owned (UnInit
  // frees it through the sequence).
  if (slot == kKeyId.slot) byId_.Insert(container);
  if (slot == kKeyUid.slot) AddToUidOrder(container);
}

FolderDetails SORTEDSTOREINDEXTYPE::GetFolderDetails() {
  try {
    EnsureLoaded(3);
    FolderDetails details;
    uint32_t* n = details.counters;
    n[FolderDetails::kLastUid] = lastUid_;
    const PropertyKey flagKey = PropertyRegistry::Process().Lookup(kPropFlagStatus);
    char scratch[16];
    for (const Container* c : byUid_) {
      ++n[FolderDetails::kItems];
      const CountedFlags flags = ScanFlags(c->TextView(flagKey, scratch));
      if (flags.seen) {
        ++n[FolderDetails::kSeen];
        if (n[FolderDetails::kFirstSeen] == 0) n[FolderDetails::kFirstSeen] = n[FolderDetails::kItems];
      }
      if (flags.answered) ++n[FolderDetails::kAnswered];
      if (flags.flagged) ++n[FolderDetails::kFlagged];
      if (flags.recent) ++n[FolderDetails::kRecent];
    }
    return details;
  } catch (...) {
    ReportException("SORTEDSTOREINDEXTYPE::GetFolderDetails", kStoreIndexTypeSource, __LINE__,
                    std::current_exception());
    throw;
  }
}

void SORTEDSTOREINDEXTYPE::FreeAll() {
  // Every container the index owns is in one of these; an item whose key
  // was taken by another may be missing from an order, so gather them all.
  // The owner link marks each one gathered, so none is taken twice; removed
  // items have lost it already and are in no order.
  std::vector<Container*> all;
  all.reserve(sequence_.size());
  auto gather = [this, &all](Container* c) {
    if (c->Owner() != this) return;
    c->SetOwner(nullptr);
    all.push_back(c);
  };
  for (Container* c : sequence_) gather(c);
  for (Container* c : byUid_) gather(c);
  byId_.ForEach(gather);
  std::sort(removed_.begin(), removed_.end());
  removed_.erase(std::unique(removed_.begin(), removed_.end()), removed_.end());
  for (Container* c : removed_)
    if (c->Owner() == nullptr) all.push_back(c);
  sequence_.clear();
  removed_.clear();
  byUid_.clear();
  byId_.Clear();
  for (Container* c : all) delete c;
}

void SORTEDSTOREINDEXTYPE::FreeSavedRemovals() {
  std::sort(removed_.begin(), removed_.end());
  removed_.erase(std::unique(removed_.begin(), removed_.end()), removed_.end());
  std::erase_if(removed_, [](Container* c) {
    if (c->FileOffset() > 0) return false;
    delete c;
    return true;
  });
}

void SORTEDSTOREINDEXTYPE::ResequenceByUid() {
  sequence_.assign(byUid_.begin(), byUid_.end());
  int32_t seq = 0;
  for (Container* c : sequence_) c->SetNumber(SeqKey(), ++seq);
}

void SORTEDSTOREINDEXTYPE::Empty() {
  FreeAll();
  loadedText.Clear();
  lowestUid_ = 0;
  elementPlacesKnown = false;
  savedStamp.reset();
}

void SORTEDSTOREINDEXTYPE::UnInit() {
  try {
    FreeAll();
    loadedText.Clear();
    loadLevel_ = 0;
    lastUid_ = 0;
    lowestUid_ = 0;
    elementPlacesKnown = false;
    savedStamp.reset();
    uidFloor = 0;
  } catch (...) {
    ReportException("SORTEDSTOREINDEXTYPE::UnInit", kStoreIndexTypeSource, __LINE__, std::current_exception());
    throw;
  }
}

}  // namespace tw
