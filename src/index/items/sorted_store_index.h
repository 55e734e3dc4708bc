// The in-memory index of one folder: its items in sequence order (SEQ is
// position + 1), by UID and by ID, with LASTUID, the lowest changed UID and
// the load level that the index-file loader reached.
//
// Ownership: once inserted, a container belongs to the index. Removing it
// moves it to the removed list, where it stays (so that handles to it stay
// valid) until UnInit or destruction frees it. The index takes no lock of
// its own: the callers serialise access to one index.
//
// The by-UID order is a sorted vector (8 bytes an item): UIDs are handed out
// in ascending order, so inserts append; an insert below the highest UID
// moves the tail. The by-ID order is a hash table (ItemIdTable). Both hold
// the containers themselves and read the keys from them, so a container tells its owner before and after its ID or
// UID changes; it is then re-filed (and left out of that order if the new
// key is taken).
#pragma once
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "index/items/folder_details.h"
#include "index/items/index_item_property_container.h"
#include "index/items/item_id_table.h"
#include "index/items/text_arena.h"
#include "platform/files.h"

namespace tw {

class SORTEDSTOREINDEXTYPE;

inline constexpr const char* kStoreIndexTypeSource = "..\\SERVICES\\Library\\LIBStoreIndexType";

// The last UID an item may be given: one more would read back as 0 or -1
// in the places that hold UIDs as signed numbers.
inline constexpr uint32_t kHighestUid = 0xFFFFFFFEu;

// Brings an index up to a load level from its index file.
class IndexLoader {
 public:
  virtual ~IndexLoader() = default;
  // Loads with the index's stored location and options; returns the level
  // reached.
  virtual int32_t Load(SORTEDSTOREINDEXTYPE& index, int32_t requiredLevel) = 0;
};

// Loads nothing: reports the level already held.
class NullIndexLoader : public IndexLoader {
 public:
  int32_t Load(SORTEDSTOREINDEXTYPE& index, int32_t requiredLevel) override;
};

// The loader an index uses unless it is given another: the index file's
// serialisers, which live above the items and fill this in.
IndexLoader& DefaultIndexLoader();

// Kept from the last load for a later reload.
struct IndexLoadOptions {
  bool useLoaded = false;       // succeed at once when something is loaded
  bool blockHeld = false;       // the caller already holds the block file
  uint32_t verifyFiles = 0;
  bool reconcileAllowed = false;  // also the delete-change-marker flag
  bool forceReconcile = false;
  bool notQuiet = false;
};

class SORTEDSTOREINDEXTYPE {
 public:
  using Container = IndexItemPropertyContainer;

  SORTEDSTOREINDEXTYPE() = default;
  ~SORTEDSTOREINDEXTYPE();
  SORTEDSTOREINDEXTYPE(const SORTEDSTOREINDEXTYPE&) = delete;
  SORTEDSTOREINDEXTYPE& operator=(const SORTEDSTOREINDEXTYPE&) = delete;

  // Where the index lives and how it was last loaded.
  void* ownerRecord = nullptr;  // the owning STOREINDEXTYPE, if any
  std::string folderPath;
  uint32_t folderType = 0;
  std::string postoffice;
  std::string mailbox;
  IndexLoadOptions loadOptions;
  uint64_t indexFileTime = 0;  // last-write time of the index file at the last load or save
  uint32_t indexFileSize = 0;  // its size then
  bool rewriteInFull = false;  // the next save writes the whole file
  // True when the items' file offsets were read from or written to the
  // index file as it is now; an in-place update relies on them.
  bool elementPlacesKnown = false;
  // The index file's stamp when this process last saved the index and it
  // has not changed in memory since; none otherwise. Only such an index may
  // be kept for later opens.
  std::optional<platform::FileStamp> savedStamp;
  // No new item gets a UID at or below this: UIDs the folder handed out
  // before its index was lost. Kept by Empty (a rebuild starts from it),
  // cleared by UnInit.
  uint32_t uidFloor = 0;
  std::string keyFilter;       // comma-separated IDs: when set, a load reads only those
  // Loaded texts that containers of this index refer to in place; freed
  // with the items.
  TextArena loadedText;

  int32_t LoadLevel() const { return loadLevel_; }
  void SetLoadLevel(int32_t level) { loadLevel_ = level; }
  uint32_t LastUid() const { return lastUid_; }
  void SetLastUid(uint32_t uid) { lastUid_ = uid; }
  uint32_t LowestUid() const { return lowestUid_; }
  void SetLowestUid(uint32_t uid) { lowestUid_ = uid; }
  // Lowers the lowest changed UID to `uid` (or sets it when it is 0).
  void NoteChangedUid(uint32_t uid) {
    if (lowestUid_ == 0 || lowestUid_ > uid) lowestUid_ = uid;
  }

  // Not owned; null restores the loader that loads nothing.
  void SetLoader(IndexLoader* loader);
  // True when the load level is (or is brought to) at least `level`.
  bool EnsureLoaded(int32_t level);

  // Gives a missing UID (LASTUID + 1) or raises LASTUID, then files the
  // container by ID and UID. Fails, leaving both orders as they were, when
  // the ID or the UID is taken. On success the index owns the container.
  bool Insert(Container* container);
  // Insert, then append to the sequence with SEQ = the new item count.
  bool InsertAtEnd(Container* container);
  // Room for `count` items in all orders, for a load that knows about how
  // many will come.
  void Reserve(size_t count);
  // A load about to insert an item with this ID lets the by-ID table start
  // fetching its place: inserts land all over it.
  void PrefetchId(std::string_view id) const { byId_.Prefetch(id); }
  // Moves the items to the removed list and renumbers SEQ 1, 2, 3, ...
  // True when at least one item was removed.
  bool RemoveIds(const std::set<std::string, std::less<>>& ids);
  bool RemoveById(std::string_view id);

  // Exact, case-sensitive; null when absent. The index keeps ownership.
  // FindById first loads every item; FindLoadedById looks only at what is
  // in memory.
  Container* FindById(std::string_view id);
  Container* FindLoadedById(std::string_view id);
  Container* FindByUid(uint32_t uid);
  // The first item in UID order whose UID is above `uid`; null when none.
  // `place` is where in that order the walk stood: when it still holds
  // `uid` the next item is found without a search. Set to the new place.
  Container* NextByUid(uint32_t uid, size_t& place);
  static uint32_t ItemUid(const Container& container);

  size_t Count() const { return byUid_.size(); }
  const std::vector<Container*>& Sequence() const { return sequence_; }
  const std::vector<Container*>& Removed() const { return removed_; }
  const std::vector<Container*>& ByUid() const { return byUid_; }
  template <typename Fn>
  void ForEachInSequence(Fn&& fn) const {
    for (Container* c : sequence_) fn(*c);
  }

  // Frees the removed items that the index file no longer holds (a save
  // marked or dropped them). For an index kept between uses that hands out
  // no handles: the removed list would otherwise only grow.
  void FreeSavedRemovals();

  // Gives SEQ 1, 2, 3, ... in ascending UID order.
  void ResequenceByUid();

  FolderDetails GetFolderDetails();
  // Frees every container and empties the index.
  void UnInit();
  // Frees every container and the loaded texts, keeping LASTUID and the
  // serialisation state: the empty index a load starts from.
  void Empty();

  // Called by a container of this index around a change of its ID or UID.
  void BeforeKeyChange(Container* container, int32_t slot);
  void AfterKeyChange(Container* container, int32_t slot);

 private:
  void FreeAll();
  // First position in the by-UID order whose UID is not below `uid`.
  std::vector<Container*>::iterator UidPosition(uint32_t uid);
  bool AddToUidOrder(Container* container);

  int32_t loadLevel_ = 0;
  uint32_t lastUid_ = 0;
  uint32_t lowestUid_ = 0;
  IndexLoader* loader_ = nullptr;
  std::vector<Container*> sequence_;
  std::vector<Container*> byUid_;  // ascending UID
  ItemIdTable byId_;
  std::vector<Container*> removed_;
};

}  // namespace tw
