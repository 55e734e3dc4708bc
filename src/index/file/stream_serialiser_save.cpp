#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/file_management.h"
#include "index/file/index_file_format.h"
#include "index/file/index_journal.h"
#include "index/file/serialisation_log.h"
#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "index/file/stream_serialiser.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/sleep.h"

namespace tw {
namespace {

constexpr int kOpenAttempts = 20;
constexpr uint32_t kOpenRetryMs = 2000;
constexpr size_t kFlushAt = 1024 * 1024;
constexpr int64_t kGapCheckedFrom = 10;
constexpr std::string_view kElementStart = "<ELEMENT";
constexpr std::string_view kElementEnd = "</ELEMENT>";

using Container = IndexItemPropertyContainer;

struct ItemPlace {
  int64_t offset = 0;  // 0: never written
  int64_t length = 0;
  int64_t End() const { return offset + length; }
};

ItemPlace PlaceOf(const Container* item) { return {item->FileOffset(), item->ElementLength()}; }

// Where a save's bytes go: straight into a file written whole, into the
// journal for an update in place.
class SaveOutput {
 public:
  SaveOutput(platform::FileHandle& file, IndexJournal* journal) : file_(file), journal_(journal) {}

  void WriteAt(int64_t offset, std::string_view bytes) {
    if (journal_ != nullptr) {
      journal_->Add(offset, bytes);
      return;
    }
    if (!file_.Seek(offset, platform::SeekFrom::Begin) || !file_.Write(bytes.data(), bytes.size())) {
      ReportStreamContention(false, __LINE__);
      failed_ = true;
    }
  }
  bool Journaled() const { return journal_ != nullptr; }
  // A direct write went wrong: the file written whole must not replace the index.
  bool Failed() const { return failed_; }

 private:
  platform::FileHandle& file_;
  IndexJournal* journal_;
  bool failed_ = false;
};

// Writes the tail of the file from one position on, in pieces; a piece
// written in place goes out only when no gap that is still to be read lies
// under it.
class TailWriter {
 public:
  TailWriter(SaveOutput& out, int64_t position) : out_(out), position_(position) {}

  std::string& Pending() { return pending_; }
  int64_t Position() const { return position_ + static_cast<int64_t>(pending_.size()); }

  void FlushIfClear(int64_t nextRead) {
    // Journaled writes reach the file only once the save is complete.
    if (pending_.size() >= kFlushAt && (out_.Journaled() || Position() <= nextRead)) Flush();
  }
  void Flush() {
    if (pending_.empty()) return;
    out_.WriteAt(position_, pending_);
    position_ += static_cast<int64_t>(pending_.size());
    pending_.clear();
  }

 private:
  SaveOutput& out_;
  int64_t position_;
  std::string pending_;
};

// Where the root end tag starts in the file on disk (-1 when not found).
int64_t RootEndOnDisk(platform::FileHandle& file) {
  const int64_t size = file.Size();
  if (size < 0) return -1;
  const int64_t tail = std::min<int64_t>(size, 31);
  std::string bytes(static_cast<size_t>(tail), '\0');
  size_t got = 0;
  if (!file.Seek(size - tail, platform::SeekFrom::Begin) || !file.Read(bytes.data(), bytes.size(), got)) {
    ReportStreamContention(false, __LINE__);
    return -1;
  }
  bytes.resize(got);
  if (size > static_cast<int64_t>(kRootEnd.size()) && std::string_view(bytes).ends_with(kRootEnd))
    return size - static_cast<int64_t>(kRootEnd.size());
  const size_t found = bytes.rfind(kRootEndTag);
  return found == std::string::npos ? -1 : size - tail + static_cast<int64_t>(found);
}

platform::FileHandle OpenForWriting(const std::string& path, bool update) {
  platform::FileHandle file;
  for (int attempt = 0; attempt < kOpenAttempts && !file.IsOpen(); ++attempt) {
    if (attempt > 0) platform::Sleep(kOpenRetryMs);
    file = platform::OpenFile(path, platform::Access::ReadWrite, platform::Share::None,
                              update ? platform::Disposition::OpenExisting : platform::Disposition::CreateAlways);
  }
  return file;
}

class StreamSave {
 public:
  StreamSave(SORTEDSTOREINDEXTYPE& index, std::string path) : index_(index), path_(std::move(path)) {}
  int32_t Run();

 private:
  bool FullyLoaded() const { return index_.LoadLevel() == kLevelFull && index_.keyFilter.empty(); }
  // Every item an update would leave in place below the first changed UID
  // has its file offset, and the offsets came from this file.
  bool PlacesKnown() const;
  // False when an element was not where it was written.
  bool MarkRemovedDead(platform::FileHandle& file, SaveOutput& out);
  void WriteElements(platform::FileHandle& file, SaveOutput& out, size_t first, int64_t position);
  // A write before the tail; in an update, later reads see it.
  void Put(SaveOutput& out, int64_t offset, std::string_view bytes);
  // Reads the file as the writes put so far leave it.
  bool ReadAt(platform::FileHandle& file, int64_t offset, std::string& bytes);
  bool ReadAt(platform::FileHandle& file, int64_t offset, char* data, size_t size, size_t& got);
  // Copies the bytes of elements not in memory that follow `item` in the
  // file, a piece at a time, behind its element.
  void CopyGap(platform::FileHandle& file, TailWriter& tail, int64_t from, int64_t length, const Container& item,
               bool nextHasOffset);
  // Makes an update's writes through its journal; 1 when they were made.
  int32_t Finish(platform::FileHandle& file, IndexJournal& journal, uint64_t finalLength);
  int64_t RootEnd(platform::FileHandle& file) {
    if (rootEnd_ == -2) rootEnd_ = RootEndOnDisk(file);
    return rootEnd_;
  }
  void ReportGap(bool startsAsElement, bool endsAsElement, const Container& item, bool nextHasOffset);

  SORTEDSTOREINDEXTYPE& index_;
  std::string path_;
  bool update_ = false;
  int64_t rootEnd_ = -2;  // not looked for yet
  int64_t endOfFile_ = 0;
  std::vector<std::pair<int64_t, std::string>> put_;
  std::vector<Container*> markedDead_;
};

void StreamSave::Put(SaveOutput& out, int64_t offset, std::string_view bytes) {
  out.WriteAt(offset, bytes);
  if (update_) put_.emplace_back(offset, std::string(bytes));
}

bool StreamSave::ReadAt(platform::FileHandle& file, int64_t offset, std::string& bytes) {
  size_t got = 0;
  const bool ok = ReadAt(file, offset, bytes.data(), bytes.size(), got);
  bytes.resize(got);
  return ok;
}

bool StreamSave::ReadAt(platform::FileHandle& file, int64_t offset, char* data, size_t size, size_t& got) {
  got = 0;
  const bool ok = file.Seek(offset, platform::SeekFrom::Begin) && file.Read(data, size, got);
  if (!ok) ReportStreamContention(false, __LINE__);
  // The file itself changes only when the journal is applied.
  const int64_t end = offset + static_cast<int64_t>(got);
  for (const auto& [at, written] : put_) {
    const int64_t from = std::max(at, offset);
    const int64_t to = std::min(at + static_cast<int64_t>(written.size()), end);
    if (from < to) std::memcpy(data + (from - offset), written.data() + (from - at), static_cast<size_t>(to - from));
  }
  return ok;
}

int32_t StreamSave::Finish(platform::FileHandle& file, IndexJournal& journal, uint64_t finalLength) {
  const JournalOutcome outcome = journal.Commit(file, finalLength);
  if (outcome != JournalOutcome::Discarded) {
    // A whole journal makes the marks, now or at the next load: a later save
    // must not mark whatever comes to lie there.
    for (Container* item : markedDead_) item->SetFilePlace(0, 0);
  }
  if (outcome == JournalOutcome::Completed) return 1;
  // The places given to the items are not those of the file on disk.
  index_.elementPlacesKnown = false;
  return 0;
}

bool StreamSave::MarkRemovedDead(platform::FileHandle& file, SaveOutput& out) {
  bool allMarked = true;
  for (Container* item : index_.Removed()) {
    if (item->FileOffset() <= 0) continue;
    char scratch[16];
    const std::string expected = "<ELEMENT ID=\"" + std::string(item->TextView(kKeyId, scratch)) + "\" UID=\"" +
                                 std::string(item->TextView(kKeyUid, scratch)) + "\"";
    // Marked only where the element still is as it was written.
    std::string found(expected.size(), '\0');
    if (!ReadAt(file, item->FileOffset(), found) || found != expected) {
      allMarked = false;
      continue;
    }
    std::string mark = "<ELEMENT ID=\"";
    mark.append(item->TextView(kKeyId, scratch).size(), '-');
    mark += "\" UID=\"";
    mark.append(item->TextView(kKeyUid, scratch).size(), '-');
    Put(out, item->FileOffset(), mark);
    markedDead_.push_back(item);
  }
  return allMarked;
}

void StreamSave::CopyGap(platform::FileHandle& file, TailWriter& tail, int64_t from, int64_t length,
                         const Container& item, bool nextHasOffset) {
  std::string& pending = tail.Pending();
  bool startsAsElement = false;
  bool endsAsElement = false;
  for (int64_t done = 0; done < length;) {
    const size_t piece = static_cast<size_t>(std::min<int64_t>(length - done, static_cast<int64_t>(kFlushAt)));
    const size_t before = pending.size();
    pending.resize(before + piece);
    size_t got = 0;
    ReadAt(file, from + done, pending.data() + before, piece, got);
    pending.resize(before + got);
    if (done == 0) startsAsElement = std::string_view(pending).substr(before).starts_with(kElementStart);
    done += static_cast<int64_t>(got);
    if (got < piece || done >= length) {
      endsAsElement = got == piece && std::string_view(pending).ends_with(kElementEnd);
      break;
    }
    tail.FlushIfClear(from + done);
  }
  if (length > kGapCheckedFrom) ReportGap(startsAsElement, endsAsElement, item, nextHasOffset);
}

void StreamSave::ReportGap(bool startsAsElement, bool endsAsElement, const Container& item, bool nextHasOffset) {
  if (!update_) return;
  char scratch[16];
  const std::string id(item.TextView(kKeyId, scratch));
  if (!startsAsElement)
    WriteSerialisationLog("Corrupting index " + path_ + ". Gap after " + id +
                          " does not start at the start of an element.");
  if (!endsAsElement)
    WriteSerialisationLog("Corrupting index " + path_ + ". Gap " + (nextHasOffset ? "before" : "after") + " " + id +
                          " does not end at the end of an element.");
}

void StreamSave::WriteElements(platform::FileHandle& file, SaveOutput& out, size_t first, int64_t position) {
  const std::vector<Container*>& items = index_.ByUid();
  auto properties = StoredProperties();
  // A name no XML parser reads (a damaged file may have given one) would make
  // the file unreadable to the document serialiser: such a property is dropped.
  std::erase_if(properties, [](const auto& entry) { return !IsXmlName(entry.first); });
  const bool validUtf8 = IndexRequiresValidUtf8();
  const bool fullyLoaded = FullyLoaded();

  // The lowest place a gap still to be read starts, from each item on.
  std::vector<int64_t> nextRead(items.size() - first + 1, INT64_MAX);
  for (size_t i = items.size(); i-- > first;) {
    const ItemPlace place = PlaceOf(items[i]);
    nextRead[i - first] = std::min(nextRead[i - first + 1], place.offset > 0 ? place.End() : INT64_MAX);
  }

  TailWriter tail(out, position);
  uint32_t previousUid = first > 0 ? static_cast<uint32_t>(items[first - 1]->GetNumber(kKeyUid)) : 0;
  for (size_t i = first; i < items.size(); ++i) {
    Container& item = *items[i];
    const uint32_t uid = static_cast<uint32_t>(item.GetNumber(kKeyUid));
    if (i > first && uid <= previousUid)
      WriteSerialisationLog("Serialisation Issue: UID incorrectly ordered at " + std::to_string(uid) + ".\n");
    previousUid = uid;

    const ItemPlace old = PlaceOf(&item);
    int64_t gapLength = 0;
    bool nextHasOffset = false;
    if (update_ && old.offset > 0) {
      const Container* next = i + 1 < items.size() ? items[i + 1] : nullptr;
      nextHasOffset = next != nullptr && next->FileOffset() > 0;
      int64_t gapEnd = -1;
      if (nextHasOffset) gapEnd = next->FileOffset();
      else if (!fullyLoaded) gapEnd = RootEnd(file);
      gapLength = std::max<int64_t>(0, gapEnd - old.End());
    }

    const int64_t at = tail.Position();
    std::string& pending = tail.Pending();
    const size_t before = pending.size();
    AppendElement(pending, item, properties, validUtf8);
    item.SetFilePlace(static_cast<int32_t>(at), static_cast<uint32_t>(pending.size() - before));
    if (gapLength > 0) CopyGap(file, tail, old.End(), gapLength, item, nextHasOffset);
    tail.FlushIfClear(nextRead[i - first + 1]);
  }
  tail.Pending() += kRootEnd;
  tail.Flush();
  endOfFile_ = tail.Position();
}

bool StreamSave::PlacesKnown() const {
  if (!index_.elementPlacesKnown) return false;
#ifdef NDEBUG
  // A save places every item it writes, and an insert marks its own UID as
  // changed, so the items below the lowest changed UID of an index whose
  // places are known all have theirs. The walk that proves it touches every
  // item (0.3 ms for 100,000): checked builds make it on every save.
  return true;
#else
  const uint32_t lowest = index_.LowestUid();
  const std::vector<Container*>& items = index_.ByUid();
  const auto end = lowest == 0 ? items.end()
                               : std::lower_bound(items.begin(), items.end(), lowest, [](const Container* c, uint32_t uid) {
                                   return static_cast<uint32_t>(c->GetNumber(kKeyUid)) < uid;
                                 });
  return std::all_of(items.begin(), end, [](const Container* item) { return item->FileOffset() > 0; });
#endif
}

int32_t StreamSave::Run() {
  platform::FileInfo info;
  const bool exists = platform::GetFileInfo(path_, info);
  if (exists) {
    if (info.lastWriteTime != index_.indexFileTime || static_cast<uint32_t>(info.size) != index_.indexFileSize) {
      if (!FullyLoaded()) {
        WriteSerialisationLog("Index file modified since load (" + path_ +
                              "). Index was not fully loaded: aborting save.");
        return 0;
      }
      index_.rewriteInFull = true;
    }
  } else {
    if (!FullyLoaded()) return 0;
    index_.rewriteInFull = true;
  }
  if (exists && !index_.rewriteInFull && !PlacesKnown()) {
    // An update writes from the first changed element on and keeps the
    // rest where it lies: without the places it would append a second copy.
    if (!FullyLoaded()) {
      WriteSerialisationLog("Failed to serialise index: " + path_ +
                            ". Items in memory have no place in the file, and the index was not fully loaded.\n");
      return 0;
    }
    index_.rewriteInFull = true;
  }

  if (index_.rewriteInFull && !FullyLoaded()) {
    WriteSerialisationLog("Failed to serialise index: " + path_ +
                          ". The index must be written in full but was not fully loaded.\n");
    return 0;
  }
  const bool removals = std::any_of(index_.Removed().begin(), index_.Removed().end(),
                                    [](const Container* c) { return c->FileOffset() > 0; });
  if (!index_.rewriteInFull && index_.LowestUid() == 0 && !removals) return 1;

  const std::string folder = ParentDirectory(path_);
  if (!FileExists(folder)) {
    WriteSerialisationLog("Failed to serialise index: " + path_ +
                          ". The folder does not exist, so the index file could not be written.\n");
    return 0;
  }
  update_ = exists && !index_.rewriteInFull;
  // A file written whole goes beside the index and is renamed over it: a
  // kill never leaves half of it in the index's place.
  const std::string whole = path_ + ".tmp";
  platform::FileHandle file = OpenForWriting(update_ ? path_ : whole, update_);
  if (!file.IsOpen()) {
    WriteSerialisationLog("Failed to serialise index: " + path_ +
                          ". A File Access error occurred when opening the file (was retried for 40 seconds). "
                          "No data can be written.\n");
    return 0;
  }

  // An update goes into the journal first: a save cut short anywhere leaves
  // a file that the next load completes or that is as it was.
  IndexJournal journal(path_);
  if (update_ && !journal.Begin()) {
    WriteSerialisationLog("Failed to serialise index: " + path_ + ". The journal " + JournalPathFor(path_) +
                          " could not be created (" + platform::ErrorMessage(platform::GetLastError()) +
                          "). No data was written.\n");
    return 0;
  }
  SaveOutput out(file, update_ ? &journal : nullptr);
  put_.clear();
  markedDead_.clear();

  if (update_) {
    Put(out, static_cast<int64_t>(kLastUidOffset), FormatLastUidDigits(index_.LastUid()));
    if (!MarkRemovedDead(file, out) && FullyLoaded()) {
      journal.Discard();
      file.Close();
      index_.rewriteInFull = true;
      return Run();
    }
  } else {
    out.WriteAt(0, FormatRootStart(index_.LastUid()));
    for (Container* item : index_.Removed()) item->SetFilePlace(0, 0);
  }

  if (!index_.rewriteInFull && index_.LowestUid() == 0) return Finish(file, journal, 0);  // the header and dead marks

  const std::vector<Container*>& items = index_.ByUid();
  size_t first = 0;
  int64_t position = static_cast<int64_t>(kRootStartLength);
  if (update_) {
    const uint32_t lowest = index_.LowestUid();
    first = static_cast<size_t>(
        std::lower_bound(items.begin(), items.end(), lowest,
                         [](const Container* c, uint32_t uid) { return static_cast<uint32_t>(c->GetNumber(kKeyUid)) < uid; }) -
        items.begin());
    // The first changed item may be new; the rewrite then starts where the
    // first written item after it lies, or at the root end tag.
    auto written = std::find_if(items.begin() + static_cast<ptrdiff_t>(first), items.end(),
                                [](const Container* c) { return c->FileOffset() > 0; });
    position = written != items.end() ? (*written)->FileOffset() : RootEnd(file);
    // Without the root end tag the file cannot be extended safely; a fully
    // loaded index can still be written whole, a partial one must not be.
    const bool rootEndNeeded = written == items.end() || !FullyLoaded();
    if (rootEndNeeded && RootEnd(file) < static_cast<int64_t>(kRootStartLength)) {
      if (!FullyLoaded()) {
        Finish(file, journal, 0);  // the header and the dead marks still go in
        WriteSerialisationLog("Failed to serialise index: " + path_ +
                              ". The root element end tag was not found, so the index file could not be updated.\n");
        return 0;
      }
      journal.Discard();
      file.Close();
      index_.rewriteInFull = true;
      return Run();
    }
  }
  WriteElements(file, out, first, position);
  if (update_) return Finish(file, journal, static_cast<uint64_t>(endOfFile_));
  if (!out.Failed() && FlushIndexJournal() && !file.Flush()) ReportStreamContention(false, __LINE__);
  file.Close();
  if (!out.Failed() && platform::ReplaceFile(whole, path_)) return 1;
  WriteSerialisationLog("Failed to serialise index: " + path_ + ". It could not be written whole (" +
                        platform::ErrorMessage(platform::GetLastError()) + "); the file is as it was.\n");
  platform::DeleteFile(whole);
  return 0;
}

}  // namespace

void ReportStreamContention(bool bad, int line) {
  WriteSerialisationLog(std::string("Warning. File contention occurred when accessing index file (") +
                        (bad ? "bad" : "fail") + ")." + "Contention in Function: " + kSerialisationSource +
                        ", Module Line: " + std::to_string(line));
}

int32_t StreamXMLStoreIndexSerialiser::SerialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder,
                                                     uint32_t folderType) {
  const std::string path = InFolder(folder, IndexFileName(folderType));
  // A journal another save left is applied first; one that cannot be must
  // not be overwritten by this save's.
  if (CompletePendingJournal(path) == JournalOutcome::Failed) {
    WriteSerialisationLog("Failed to serialise index: " + path +
                          ". The journal of an earlier save could not be completed.\n");
    return 0;
  }
  const int32_t written = StreamSave(index, path).Run();
  if (written == 1) index.elementPlacesKnown = true;
  return written;
}

}  // namespace tw
