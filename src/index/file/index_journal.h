// The journal of an in-place update of an index file. A stream save that
// changes `_index.xml` in place first writes every change it will make into
// `_index.jnl` beside it (`_groups.jnl` beside `_groups.xml`), then makes the
// changes, then deletes the journal. A process killed in between leaves
// either a journal cut short, written before anything in place was touched
// (it is dropped), or a whole one, which the next load applies again from
// the start: applying a journal twice gives the same file.
//
// Layout, numbers little-endian: "TWIXJNL1"; per write 'W', the offset in
// the index file (8 bytes), the length (4 bytes) and the bytes; then 'E', the
// index file's final length (8 bytes; 0: the length stays), the number of
// writes (4 bytes) and the CRC-32 of every byte before it (4 bytes).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_handle.h"

namespace tw {

// `_index.jnl` for `_index.xml`, `_groups.jnl` for `_groups.xml`.
std::string JournalPathFor(const std::string& indexPath);

enum class JournalOutcome {
  None,       // there was no journal
  Completed,  // applied to the index file and deleted
  Discarded,  // cut short or damaged (or of no use), and deleted
  Failed,     // could not be applied; it stays for the next load
};

// Run under the folder's block before the index file is read or replaced:
// completes a whole journal and deletes one that was cut short, each with a
// line in the serialisation log.
JournalOutcome CompletePendingJournal(const std::string& indexPath);

// Deletes the journal of an index file that is replaced by other means (a
// restored backup), so that it is never applied to the new file.
void DiscardJournal(const std::string& indexPath);

// Collects the writes of one in-place update; nothing reaches the index
// file before Commit. Dropped unless committed.
class IndexJournal {
 public:
  explicit IndexJournal(std::string indexPath);
  ~IndexJournal();
  IndexJournal(const IndexJournal&) = delete;
  IndexJournal& operator=(const IndexJournal&) = delete;

  // Creates the journal file; false (nothing written) when it cannot.
  bool Begin();
  // A failure shows at Commit.
  void Add(int64_t offset, std::string_view bytes);
  // Ends the journal (flushed first under "Flush Index Journal"), applies it
  // to `index`, sets the final length (0: unchanged) and deletes the journal.
  // Discarded: the journal could not be written, the index file is as it
  // was. Failed: the index file may be half updated; the journal stays.
  JournalOutcome Commit(platform::FileHandle& index, uint64_t finalLength);
  // Drops the journal: nothing was written in place.
  void Discard();

 private:
  void WriteOut();

  std::string indexPath_;
  std::string path_;
  platform::FileHandle file_;
  std::string buffer_;
  uint32_t crc_ = 0;
  uint32_t writes_ = 0;
  uint64_t writesEnd_ = 0;
  bool failed_ = false;
  bool open_ = false;
};

}  // namespace tw
