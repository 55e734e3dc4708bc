// A stream save that updates the index file in place goes through a
// journal: cut short at any byte, by a kill or by a failed write, it leaves
// a file that loads with the items of before the save or of after it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "index/file/document_serialiser.h"
#include "index/file/stream_serialiser.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "platform/write_cut.h"
#include "support/inbox_fixture.h"
#include "support/index_fixture.h"

namespace tw {
namespace {

using test::AddItem;
using test::IndexFolder;
using test::PathExists;
using test::ReadFile;
using test::WriteFile;

// ID -> "UID FLAGSTATUS".
using ItemSet = std::map<std::string, std::string>;

ItemSet SetOf(const SORTEDSTOREINDEXTYPE& index) {
  ItemSet items;
  for (const auto* item : index.Sequence())
    items[item->GetText("ID")] = std::to_string(item->GetNumber("UID")) + " " + item->GetText("FLAGSTATUS");
  return items;
}

ItemSet SetOf(const test::Listing& listing) {
  ItemSet items;
  for (const auto& [id, entry] : listing) items[id] = std::to_string(entry.first) + " " + entry.second;
  return items;
}

// Runs `body` in a child process; its wait status. The child ends with
// _Exit: nothing of this process is torn down twice.
int InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) std::_Exit(body());
  int status = -1;
  if (pid > 0) waitpid(pid, &status, 0);
  return status;
}

bool CutShort(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == platform::kWriteCutExitCode; }

// Six items saved whole; the update changes the flags of b (the tail is
// rewritten from b on), removes c (a dead mark in place, then carried along
// in the tail as the gap after b) and adds g.
class UpdateInPlace {
 public:
  explicit UpdateInPlace(const std::vector<std::pair<std::string, uint32_t>>& settings = {},
                         uint32_t folderType = 0)
      : folder(settings), type_(folderType), name_(type_ == kFolderTypeGroups ? "_groups" : "_index") {
    SORTEDSTOREINDEXTYPE writer;
    writer.SetLoadLevel(3);
    for (const char* id : {"a.MAI", "b.MAI", "c.MAI", "d.MAI", "e.MAI", "f.MAI"})
      AddItem(writer, {{"ID", id}, {"FLAGSTATUS", "\\RECENT"}});
    EXPECT_EQ(Save(writer), 1);
    before = folder.Read(IndexName());
    SORTEDSTOREINDEXTYPE loaded;
    EXPECT_EQ(Load(loaded), 3);
    beforeSet = SetOf(loaded);

    SORTEDSTOREINDEXTYPE updated;
    Prepare(updated);
    EXPECT_EQ(Save(updated), 1);
    after = folder.Read(IndexName());
    EXPECT_NE(after.find("<ELEMENT ID=\"-----\" UID=\"-\">"), std::string::npos) << "an update in place";
    SORTEDSTOREINDEXTYPE reloaded;
    EXPECT_EQ(Load(reloaded), 3);
    afterSet = SetOf(reloaded);
    EXPECT_EQ(afterSet.size(), 6u);
    EXPECT_EQ(afterSet.count("c.MAI"), 0u);
    EXPECT_EQ(afterSet["b.MAI"], "2 \\SEEN \\FLAGGED");
    Reset();
  }

  std::string IndexName() const { return name_ + ".xml"; }
  std::string JournalName() const { return name_ + ".jnl"; }
  bool JournalLeft() const { return PathExists(folder.File(JournalName())); }

  void Reset() {
    folder.Write(before, IndexName());
    std::remove(folder.File(JournalName()).c_str());
  }
  // The index as the file holds it, with the update made in memory.
  void Prepare(SORTEDSTOREINDEXTYPE& index) {
    ASSERT_EQ(Load(index), 3);
    index.FindById("b.MAI")->SetText("FLAGSTATUS", "\\SEEN \\FLAGGED");
    ASSERT_TRUE(index.RemoveById("c.MAI"));
    ASSERT_NE(AddItem(index, {{"ID", "g.MAI"}, {"FLAGSTATUS", "\\RECENT"}}), nullptr);
  }
  int32_t Save(SORTEDSTOREINDEXTYPE& index) {
    return StreamXMLStoreIndexSerialiser().SerialiseHook(index, folder.path(), type_);
  }
  int32_t Load(SORTEDSTOREINDEXTYPE& index, bool document = false) {
    if (document) return MSXMLStoreIndexSerialiser(true).Deserialise(index, folder.path(), type_, 3, {});
    return StreamXMLStoreIndexSerialiser().Deserialise(index, folder.path(), type_, 3, {});
  }
  // The units of the write seam the update takes from start to end.
  uint64_t Units() {
    SORTEDSTOREINDEXTYPE index;
    Prepare(index);
    platform::ArmWriteCut(UINT64_MAX, platform::WriteCutAction::Count);
    const int32_t saved = Save(index);
    const uint64_t units = platform::WriteCutUnitsUsed();
    platform::DisarmWriteCut();
    EXPECT_EQ(saved, 1);
    Reset();
    return units;
  }
  size_t LogCount(const std::string& text) const {
    size_t count = 0;
    for (const std::string& line : folder.Log()) count += line.find(text) != std::string::npos;
    return count;
  }

  IndexFolder folder;
  std::string before, after;
  ItemSet beforeSet, afterSet;

 private:
  uint32_t type_;
  std::string name_;
};

// Stopped at a unit of the write seam, the save changes nothing on disk
// any more: what a kill there leaves. (Real kills: the record test below.)
TEST(IndexJournalTest, AKillAtAnyByteOfAnUpdateLeavesTheFileOfBeforeOrAfterIt) {
  UpdateInPlace update;
  const uint64_t units = update.Units();
  ASSERT_GT(units, update.after.size());
  std::vector<int64_t> journalSizes;  // -1: no journal
  std::vector<bool> afterSave;
  for (uint64_t cut = 0; cut < units; ++cut) {
    SCOPED_TRACE("stopped after " + std::to_string(cut) + " of " + std::to_string(units));
    update.Reset();
    SORTEDSTOREINDEXTYPE pending;
    update.Prepare(pending);
    platform::ArmWriteCut(cut, platform::WriteCutAction::Stop);
    EXPECT_EQ(update.Save(pending), cut + 1 < units ? 0 : 1) << "only a save whose changes were all made succeeds";
    platform::DisarmWriteCut();
    journalSizes.push_back(update.JournalLeft() ? static_cast<int64_t>(update.folder.Read(update.JournalName()).size())
                                                : -1);

    // Either serialiser's load completes or drops the journal.
    SORTEDSTOREINDEXTYPE loaded;
    ASSERT_EQ(update.Load(loaded, cut % 2 == 1), 3);
    EXPECT_FALSE(update.JournalLeft());
    const std::string file = update.folder.Read(update.IndexName());
    afterSave.push_back(file == update.after);
    if (afterSave.back()) {
      EXPECT_EQ(SetOf(loaded), update.afterSet);
    } else {
      EXPECT_EQ(file, update.before);
      EXPECT_EQ(SetOf(loaded), update.beforeSet);
    }
  }
  // The journal is made first and its bytes are the first written; stopped
  // inside it, the journal is dropped and the file is as it was; stopped
  // after it, the journal is completed.
  const int64_t whole = journalSizes.back();
  ASSERT_GT(whole, 0);
  EXPECT_EQ(journalSizes[0], -1);
  for (uint64_t cut = 1; cut < units; ++cut) {
    EXPECT_EQ(journalSizes[cut], std::min<int64_t>(static_cast<int64_t>(cut) - 1, whole)) << cut;
    EXPECT_EQ(afterSave[cut], static_cast<int64_t>(cut) - 1 >= whole) << cut;
  }
  EXPECT_FALSE(afterSave[0]);
  EXPECT_EQ(update.LogCount("Discarded the index journal"), static_cast<size_t>(whole));
  EXPECT_EQ(update.LogCount("Completed the index journal"), units - 1 - static_cast<size_t>(whole));
}

// A save that writes the whole file writes it beside the index and renames
// it over: stopped anywhere, the index is the old file or the new one.
TEST(IndexJournalTest, AKillAtAnyByteOfAWholeRewriteLeavesTheFileOfBeforeOrAfterIt) {
  UpdateInPlace update;
  auto prepareWhole = [&](SORTEDSTOREINDEXTYPE& index) {
    update.Prepare(index);
    index.rewriteInFull = true;
  };
  SORTEDSTOREINDEXTYPE counted;
  prepareWhole(counted);
  platform::ArmWriteCut(UINT64_MAX, platform::WriteCutAction::Count);
  ASSERT_EQ(update.Save(counted), 1);
  const uint64_t units = platform::WriteCutUnitsUsed();
  platform::DisarmWriteCut();
  const std::string whole = update.folder.Read(update.IndexName());
  ASSERT_NE(whole, update.before);
  bool sawBefore = false;
  for (uint64_t cut = 0; cut <= units; ++cut) {
    SCOPED_TRACE("stopped after " + std::to_string(cut) + " of " + std::to_string(units));
    update.Reset();
    SORTEDSTOREINDEXTYPE pending;
    prepareWhole(pending);
    platform::ArmWriteCut(cut, platform::WriteCutAction::Stop);
    update.Save(pending);
    platform::DisarmWriteCut();
    const std::string file = update.folder.Read(update.IndexName());
    if (file != whole) {
      EXPECT_EQ(file, update.before);
    }
    sawBefore |= file == update.before;
    SORTEDSTOREINDEXTYPE loaded;
    EXPECT_EQ(update.Load(loaded), 3);
  }
  EXPECT_TRUE(sawBefore);
}

TEST(IndexJournalTest, ALoadCutShortWhileItCompletesAJournalIsFinishedByTheNextLoad) {
  UpdateInPlace update;
  const uint64_t units = update.Units();
  // The save stopped right after its journal was whole: nothing in place yet.
  auto stopSave = [&](uint64_t cut) {
    update.Reset();
    SORTEDSTOREINDEXTYPE pending;
    update.Prepare(pending);
    platform::ArmWriteCut(cut, platform::WriteCutAction::Stop);
    update.Save(pending);
    platform::DisarmWriteCut();
  };
  stopSave(units - 1);
  const std::string journal = update.folder.Read(update.JournalName());
  stopSave(1 + journal.size());
  ASSERT_EQ(update.folder.Read(update.JournalName()), journal);
  ASSERT_EQ(update.folder.Read(update.IndexName()), update.before);

  for (uint64_t cut = 0;; ++cut) {
    SCOPED_TRACE("load stopped after " + std::to_string(cut));
    update.Reset();
    update.folder.Write(journal, update.JournalName());
    SORTEDSTOREINDEXTYPE first;
    platform::ArmWriteCut(cut, platform::WriteCutAction::Stop);
    update.Load(first);
    platform::DisarmWriteCut();
    // Until its last unit, the deletion of the journal, the load leaves it.
    const bool finished = !update.JournalLeft();
    SORTEDSTOREINDEXTYPE second;
    ASSERT_EQ(update.Load(second), 3);
    EXPECT_FALSE(update.JournalLeft());
    EXPECT_EQ(update.folder.Read(update.IndexName()), update.after);
    EXPECT_EQ(SetOf(second), update.afterSet);
    if (finished) {
      // Every byte in place, the truncate and the deletion.
      EXPECT_EQ(cut, units - 1 - journal.size());
      break;
    }
  }
}

TEST(IndexJournalTest, AWriteThatFailsPartWayLeavesAFileThatLoads) {
  // A contact-groups index has its journal of its own; it goes with
  // flushing on (each flush waits for the disk: fewer cuts).
  for (const uint32_t type : {kFolderTypeMail, kFolderTypeGroups}) {
    SCOPED_TRACE("folder type " + std::to_string(type));
    const bool groups = type == kFolderTypeGroups;
    UpdateInPlace update({{"Flush Index Journal", groups ? 1u : 0u}}, type);
    const uint64_t units = update.Units();
    bool failedInJournal = false;
    bool failedInPlace = false;
    for (uint64_t cut = 0; cut <= units; cut += groups ? 23 : 3) {
      SCOPED_TRACE("failed after " + std::to_string(cut) + " of " + std::to_string(units));
      update.Reset();
      SORTEDSTOREINDEXTYPE pending;
      update.Prepare(pending);
      const size_t failuresBefore = update.LogCount("Failed to serialise index");
      platform::ArmWriteCut(cut, platform::WriteCutAction::Fail);
      const int32_t saved = update.Save(pending);
      platform::DisarmWriteCut();
      EXPECT_FALSE(PathExists(update.folder.File(groups ? "_index.jnl" : "_groups.jnl")));

      const bool journalLeft = update.JournalLeft();
      const std::string file = update.folder.Read(update.IndexName());
      if (saved == 1) {
        EXPECT_EQ(file, update.after);
        EXPECT_FALSE(journalLeft);
      } else {
        EXPECT_EQ(update.LogCount("Failed to serialise index"), failuresBefore + 1) << "the save reports it";
        // Without a journal nothing was written in place.
        if (!journalLeft) {
          EXPECT_EQ(file, update.before);
        }
        failedInPlace |= journalLeft;
        failedInJournal |= !journalLeft;
      }
      SORTEDSTOREINDEXTYPE loaded;
      ASSERT_EQ(update.Load(loaded), 3);
      EXPECT_FALSE(update.JournalLeft());
      const ItemSet items = SetOf(loaded);
      EXPECT_EQ(items, journalLeft || saved == 1 ? update.afterSet : update.beforeSet);
      EXPECT_EQ(update.folder.Read(update.IndexName()), journalLeft || saved == 1 ? update.after : update.before);
    }
    EXPECT_TRUE(failedInJournal) << "some cuts fell into the journal";
    EXPECT_TRUE(failedInPlace) << "some cuts fell into the writes in place";
  }
}

// Builds a journal as the save writes one: the writes, then the end record
// and the checksum of everything before it.
struct JournalBytes {
  std::string bytes = "TWIXJNL1";
  uint32_t count = 0;

  static std::string Number(uint64_t value, int size) {
    std::string out;
    for (int i = 0; i < size; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
  }
  JournalBytes& Write(uint64_t offset, const std::string& data, uint64_t claimedLength = UINT64_MAX) {
    bytes += "W" + Number(offset, 8) + Number(claimedLength == UINT64_MAX ? data.size() : claimedLength, 4) + data;
    ++count;
    return *this;
  }
  std::string End(uint64_t finalLength, int64_t countDelta = 0, uint32_t crcDelta = 0) const {
    const std::string body = bytes + "E" + Number(finalLength, 8) + Number(count + countDelta, 4);
    return body + Number(Crc32(0, body) + crcDelta, 4);
  }
};

TEST(IndexJournalTest, AJournalIsAppliedOnlyWhenWholeAndWithinBounds) {
  // The checksum is the CRC-32 of zip, also when taken piece by piece.
  EXPECT_EQ(Crc32(0, "123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32(Crc32(0, "1234"), "56789abcdefghijklmnopq"), Crc32(0, "123456789abcdefghijklmnopq"));

  UpdateInPlace update;
  const uint64_t size = update.before.size();
  const struct {
    const char* name;
    std::string journal;
    const char* reason;  // nullptr: applied
  } cases[] = {
      {"whole", JournalBytes().Write(23, "00000009").End(0), nullptr},
      {"whole, cutting the file", JournalBytes().Write(23, "00000009").Write(33, "</BASEELEMENT>\r\n").End(49),
       nullptr},
      {"empty", "", "it is cut short"},
      {"not a journal", std::string(64, 'x'), "it is not an index journal"},
      {"cut short", JournalBytes().Write(23, "00000009").End(0).substr(0, 40), "its checksum does not match"},
      {"one byte changed", [] {
         std::string j = JournalBytes().Write(23, "00000009").End(0);
         j[30] ^= 1;
         return j;
       }(), "its checksum does not match"},
      {"write in the fixed part of the root tag", JournalBytes().Write(3, "EVIL").End(0),
       "a write lies outside the bounds"},
      {"write beyond 2 GiB", JournalBytes().Write(0x7FFFFFF0, std::string(32, 'x')).End(0),
       "a write lies outside the bounds"},
      {"length past the end", JournalBytes().Write(23, "00000009", 0xFFFFFFF0).End(0), "runs past its end"},
      {"count that does not match", JournalBytes().Write(23, "00000009").End(0, 1), "count of writes"},
      {"final length beyond the file", JournalBytes().Write(23, "00000009").End(size + 100), "final length lies beyond"},
      {"final length too small", JournalBytes().Write(23, "00000009").End(20), "final length is outside"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    update.Reset();
    update.folder.Write(c.journal, update.JournalName());
    SORTEDSTOREINDEXTYPE loaded;
    ASSERT_EQ(update.Load(loaded), 3);
    EXPECT_FALSE(update.JournalLeft());
    const std::string file = update.folder.Read(update.IndexName());
    const std::vector<std::string> log = update.folder.Log();
    ASSERT_FALSE(log.empty());
    if (c.reason == nullptr) {
      EXPECT_EQ(loaded.LastUid(), 9u);
      EXPECT_EQ(file.substr(0, 33), "<BASEELEMENT LASTUID=\"x00000009\">");
      EXPECT_NE(log.back().find("Completed the index journal"), std::string::npos) << log.back();
    } else {
      EXPECT_EQ(file, update.before);
      EXPECT_EQ(SetOf(loaded), update.beforeSet);
      EXPECT_NE(log.back().find("Discarded the index journal"), std::string::npos) << log.back();
      EXPECT_NE(log.back().find(c.reason), std::string::npos) << log.back();
    }
  }
  // Without the index file it belongs to, a journal is of no use.
  std::remove(update.folder.File(update.IndexName()).c_str());
  update.folder.Write(JournalBytes().Write(23, "00000009").End(0), update.JournalName());
  SORTEDSTOREINDEXTYPE none;
  update.Save(none);
  EXPECT_FALSE(update.JournalLeft());
  EXPECT_NE(update.folder.LogText().find("the index file it belongs to is missing"), std::string::npos);
}

TEST(IndexJournalTest, OpensAndRescansCompleteTheJournalOfAKilledRecordSave) {
  test::InboxFixture inbox;
  for (const char* id : {"1.MAI", "2.MAI", "3.MAI", "4.MAI", "5.MAI"}) ASSERT_EQ(inbox.Deliver(id), 1);
  const std::string indexFile = inbox.File("_index.xml");
  const std::string before = ReadFile(indexFile);
  const ItemSet beforeSet = SetOf(inbox.Read());

  // Opens the Inbox, changes two flags and saves the record in a child
  // process, with the write seam armed there.
  auto saveInChild = [&](uint64_t budget, platform::WriteCutAction action) {
    auto record = std::make_unique<STOREINDEXTYPE>();
    EXPECT_EQ(inbox.Open(*record, 5), 1);
    inbox.SetFlags(*record, "3.MAI", "\\SEEN");
    inbox.SetFlags(*record, "5.MAI", "\\FLAGGED");
    const int status = InChild([&] {
      platform::ArmWriteCut(budget, action);
      const int32_t saved = SaveRecord(*record);
      const uint64_t used = platform::WriteCutUnitsUsed();
      platform::DisarmWriteCut();
      std::ofstream(inbox.File("units.txt")) << used;
      return saved == 1 ? 0 : 1;
    });
    ReleaseRecord(*record);
    return status;
  };
  ASSERT_EQ(saveInChild(UINT64_MAX, platform::WriteCutAction::Count), 0);
  const uint64_t units = std::stoull(ReadFile(inbox.File("units.txt")));
  const ItemSet afterSet = SetOf(inbox.Read());
  ASSERT_NE(afterSet, beforeSet);

  bool sawBefore = false;
  bool sawAfter = false;
  for (uint64_t cut = 0; cut < units; cut += std::max<uint64_t>(1, units / 50)) {
    SCOPED_TRACE("killed after " + std::to_string(cut) + " of " + std::to_string(units));
    WriteFile(indexFile, before);
    std::remove(inbox.File("_index.jnl").c_str());
    ASSERT_TRUE(CutShort(saveInChild(cut, platform::WriteCutAction::Exit)));
    // The killed holder's block; how blocks of dead holders go is tested
    // with the blocks.
    std::remove(inbox.File("_index.blk").c_str());
    // An open loads the index (mode 5); a reindex (mode 2) loads it in the
    // mail-folder scan and then walks the message files.
    const ItemSet items = SetOf(inbox.Read(cut % 2 == 0 ? 5 : 2));
    EXPECT_FALSE(PathExists(inbox.File("_index.jnl")));
    if (items == afterSet) {
      sawAfter = true;
    } else {
      EXPECT_EQ(items, beforeSet);
      EXPECT_FALSE(sawAfter) << "a whole journal is never lost";
      sawBefore = true;
    }
  }
  EXPECT_TRUE(sawBefore);
  EXPECT_TRUE(sawAfter);
}

}  // namespace
}  // namespace tw
