#include <gtest/gtest.h>

#include <string>

#include "index/file/document_serialiser.h"
#include "index/file/reconcile_scans.h"
#include "index/file/index_save.h"
#include "index/file/serialiser_choice.h"
#include "index/file/stream_serialiser.h"
#include "index/file/unindexed_serialiser.h"
#include "support/index_fixture.h"

namespace tw {
namespace {

using test::AddItem;
using test::IndexFolder;

constexpr char kCorrupt[] = "<BASEELEMENT LASTUID=\"x00000002\"><ELEMENT ID=\"a\" UID=\"1\">";
const std::vector<std::pair<std::string, uint32_t>> kStreamBoth = {{"Use XML Stream Index Deserialisation", 1},
                                                                   {"Use XML Stream Index Serialisation", 1}};

std::string Describe(const StoreIndexSerialiser* s) {
  if (s == nullptr) return "";
  if (const auto* u = dynamic_cast<const UnindexedStoreIndexSerialiser*>(s)) return "Unindexed(" + Describe(u->Inner()) + ")";
  if (dynamic_cast<const StreamXMLStoreIndexSerialiser*>(s)) return "Stream";
  if (dynamic_cast<const MSXMLStoreIndexSerialiser*>(s)) return "Document";
  if (dynamic_cast<const NullStoreIndexDeserialiser*>(s)) return "Null";
  return "?";
}

void WriteIndex(const IndexFolder& folder, const std::vector<const char*>& ids) {
  SORTEDSTOREINDEXTYPE index;
  index.SetLoadLevel(3);
  for (const char* id : ids) AddItem(index, {{"ID", id}, {"FLAGSTATUS", "\\SEEN"}});
  ASSERT_EQ(StreamXMLStoreIndexSerialiser().SerialiseHook(index, folder.path(), 0), 1);
}

TEST(SerialiserChoiceTest, ByFilesSwitchesAndFolderType) {
  const struct {
    bool streamLoad, indexFile, changeMarker, reconcile, force;
    uint32_t type, calendarReIndex;
    const char* expected;
  } cases[] = {
      {false, true, false, true, false, 0, 0, "Document"},
      {true, true, false, true, false, 0, 0, "Stream"},
      {true, true, true, true, false, 0, 0, "Unindexed(Stream)"},
      {true, true, true, false, false, 0, 0, "Stream"},
      {true, true, false, false, true, 0, 0, "Unindexed(Stream)"},
      {true, false, false, true, false, 0, 0, "Unindexed()"},
      {true, false, false, false, false, 0, 0, "Null"},
      {true, false, false, false, true, 0, 0, "Unindexed(Null)"},
      {true, true, false, false, false, 2, 1, "Unindexed(Stream)"},
      {true, false, false, false, false, 2, 1, "Unindexed(Null)"},
      {true, true, false, false, false, 3, 1, "Stream"},
  };
  for (const auto& c : cases) {
    IndexFolder folder({{"Use XML Stream Index Deserialisation", c.streamLoad ? 1u : 0u},
                        {"Calendar ReIndex Mode", c.calendarReIndex}});
    if (c.indexFile) WriteIndex(folder, {});
    if (c.changeMarker) test::WriteFile(folder.File("_CHANGE.DTY"), "");
    const auto chosen = ChooseLoadSerialiser(folder.path(), c.type, c.reconcile, c.force);
    EXPECT_EQ(Describe(chosen.get()), c.expected) << "case " << (&c - cases);
  }
  {
    IndexFolder defaults;
    EXPECT_EQ(Describe(ChooseSaveSerialiser().get()), "Document");
    EXPECT_EQ(MinimumOpenLevel(), 3);
  }
  IndexFolder stream(kStreamBoth);
  EXPECT_EQ(Describe(ChooseSaveSerialiser().get()), "Stream");
  EXPECT_EQ(MinimumOpenLevel(), 1);
}

TEST(SerialiserRecoveryTest, BackupIsMadeAndRestored) {
  auto settings = kStreamBoth;
  settings.emplace_back("Backup Index", 1);
  IndexFolder folder(settings);
  WriteIndex(folder, {"a", "b"});
  for (const char* item : {"a", "b"}) folder.Write("", item);  // a restored message whose file is gone is dropped
  const std::string good = folder.Read();
  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(StreamXMLStoreIndexSerialiser().Deserialise(index, folder.path(), 0, 3, {}), 3);
  EXPECT_EQ(folder.Read("_index.xml.bak"), good) << "a complete load keeps a backup";

  folder.Write(kCorrupt);
  SORTEDSTOREINDEXTYPE recovered;
  EXPECT_EQ(StreamXMLStoreIndexSerialiser().Deserialise(recovered, folder.path(), 0, 3, {}), 3);
  EXPECT_EQ(recovered.Count(), 2u);
  EXPECT_EQ(folder.Read("_index.xml.bad"), kCorrupt);
  EXPECT_EQ(folder.Read(), good) << "the reconciled backup is written back";
  EXPECT_NE(folder.LogText().find("Failed to deserialise index: " + folder.path() +
                                  ". Successfully loaded recovery index.\n"),
            std::string::npos)
      << folder.LogText();
}

TEST(SerialiserRecoveryTest, WithoutBackupTheCorruptFileBecomesTheBadCopy) {
  auto settings = kStreamBoth;
  settings.emplace_back("Backup Index", 1);
  IndexFolder folder(settings);
  folder.Write(kCorrupt);
  SORTEDSTOREINDEXTYPE index;
  EXPECT_EQ(StreamXMLStoreIndexSerialiser().Deserialise(index, folder.path(), 0, 3, {}), 0);
  EXPECT_FALSE(test::PathExists(folder.File()));
  EXPECT_EQ(folder.Read("_index.xml.bad"), kCorrupt);
  EXPECT_EQ(folder.Log().back(), "[twstore_tests] Failed to deserialise index: " + folder.path() +
                                     ". Unable to find recovery index. Recovering Index (there may be some flag loss)\n");

  // Quiet loads report nothing and touch no file.
  folder.Write(kCorrupt);
  const size_t logged = folder.Log().size();
  EXPECT_EQ(StreamXMLStoreIndexSerialiser().Deserialise(index, folder.path(), 0, 3, {0, false, true}), 0);
  EXPECT_EQ(folder.Log().size(), logged);
  EXPECT_TRUE(test::PathExists(folder.File()));
}

TEST(ReconcileTest, RebuildsFromItemFilesAndSavesInFull) {
  IndexFolder folder(kStreamBoth);
  WriteIndex(folder, {"a"});
  test::WriteFile(folder.File("_CHANGE.DTY"), "");
  Reconcile().mail = [](SORTEDSTOREINDEXTYPE& index, const std::string& path) {
    AddItem(index, {{"ID", "new.MAI"}, {"SUBJECT", "scanned"}});
    return SaveIndexBlockHeld(index, path, 0);
  };
  const auto chosen = ChooseLoadSerialiser(folder.path(), 0, true, false);
  SORTEDSTOREINDEXTYPE index;
  EXPECT_EQ(chosen->Deserialise(index, folder.path(), 0, 1, {0, true, false}), 3);
  Reconcile().mail = nullptr;
  EXPECT_FALSE(test::PathExists(folder.File("_CHANGE.DTY")));
  EXPECT_EQ(index.Count(), 2u);
  EXPECT_NE(folder.Read().find("<SUBJECT>scanned</SUBJECT>"), std::string::npos) << "saved at once";
  EXPECT_FALSE(index.rewriteInFull);
  EXPECT_EQ(index.LowestUid(), 0u);

  EXPECT_EQ(UnindexedStoreIndexSerialiser(nullptr, false).Deserialise(index, folder.path(), 7, 3, {}), 0);
  EXPECT_EQ(folder.Log().front(), "[twstore_tests] UnindexedStoreIndexSerialiser::DeserialiseHook called with "
                                  "invalid message class (7) for " + folder.path());
}

TEST(ReconcileTest, CalendarFilesAreReadOnlyWithAReader) {
  IndexFolder folder(kStreamBoth);
  const std::string item = folder.File("1.CAL");
  test::WriteFile(item, "junk BEGIN:VCALENDAR\r\nSUMMARY:x\r\nend:vcalendar trailing");
  SORTEDSTOREINDEXTYPE index;
  EXPECT_EQ(UnindexedStoreIndexSerialiser(nullptr, false).Deserialise(index, folder.path(), 2, 3, {}), 3);
  EXPECT_TRUE(test::PathExists(item)) << "no reader: the walk leaves appointments alone";

  static std::string seen;
  Reconcile().readCalendarText = [](IndexItemPropertyContainer& it, std::string_view text, uint32_t) {
    seen = std::string(text);
    it.SetText("SUBJECT", "from calendar");
  };
  EXPECT_EQ(UnindexedStoreIndexSerialiser(nullptr, false).Deserialise(index, folder.path(), 2, 3, {}), 3);
  Reconcile().readCalendarText = nullptr;
  EXPECT_FALSE(test::PathExists(item));
  EXPECT_EQ(seen, "BEGIN:VCALENDAR\r\nSUMMARY:x\r\nend:vcalendar");
  ASSERT_EQ(index.Count(), 1u);
  EXPECT_EQ(index.Sequence()[0]->GetText("ID"), "1.CAL");
}

TEST(IndexLoaderTest, EnsureLoadedReadsTheFolderUnderItsBlock) {
  IndexFolder folder(kStreamBoth);
  WriteIndex(folder, {"a", "b", "c"});
  SORTEDSTOREINDEXTYPE index;
  index.folderPath = folder.path();
  ASSERT_TRUE(index.EnsureLoaded(3));
  EXPECT_EQ(index.Count(), 3u);
  EXPECT_FALSE(test::PathExists(folder.File("_index.blk")));

  SORTEDSTOREINDEXTYPE empty;
  empty.folderPath = folder.path() + "/missing";
  EXPECT_FALSE(empty.EnsureLoaded(3)) << "a folder that is not there has no block to take";
  SORTEDSTOREINDEXTYPE nowhere;
  EXPECT_FALSE(nowhere.EnsureLoaded(1)) << "no folder path: nothing is loaded";
}

}  // namespace
}  // namespace tw
