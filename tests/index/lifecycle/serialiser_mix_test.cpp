// Sequences that cross the two serialisers and the direct operations: each
// serialiser is right alone; these catch state kept by one and trusted by
// another.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "frame/store_paths.h"
#include "index/lifecycle/index_removal.h"
#include "index/lifecycle/scan_folders.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/messages/message_item.h"
#include "support/inbox_fixture.h"

namespace tw {
namespace {

using test::IndexSwitches;

TEST(SerialiserMix, ARemovalKeepsTheOtherUnsavedChanges) {
  test::InboxFixture inbox;
  for (const char* id : {"1.MAI", "2.MAI", "3.MAI"}) ASSERT_EQ(inbox.Deliver(id), 1);
  auto record = std::make_unique<STOREINDEXTYPE>();
  ASSERT_EQ(inbox.Open(*record, 1), 1);
  inbox.SetFlags(*record, "1.MAI", "\\SEEN");
  inbox.SetFlags(*record, "2.MAI", "\\FLAGGED");
  inbox.WriteMessage("4.MAI");
  ASSERT_NE(IndexMessageFile(IndexOf(*record), record->folderPath, "4.MAI", 1, "", false), nullptr);
  ASSERT_TRUE(RemoveFromIndex(IndexOf(*record), "1.MAI", nullptr, nullptr));
  ASSERT_EQ(SaveRecord(*record), 1);
  ReleaseRecord(*record);

  const test::Listing items = inbox.Read();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items.count("1.MAI"), 0u);
  EXPECT_EQ(items.at("2.MAI").second, "\\FLAGGED");
  EXPECT_EQ(items.at("4.MAI").first, 4u);
  EXPECT_EQ(inbox.UidsInFile(), (std::vector<uint32_t>{2, 3, 4}));
}

TEST(SerialiserMix, DocumentLoadThenStreamSaveWritesEachItemOnce) {
  test::InboxFixture inbox;
  inbox.Use({.streamLoad = false, .streamSave = true});
  for (const char* id : {"1.MAI", "2.MAI", "3.MAI"}) ASSERT_EQ(inbox.Deliver(id), 1);
  for (const char* flag : {"\\SEEN", "\\ANSWERED"}) {
    auto record = std::make_unique<STOREINDEXTYPE>();
    ASSERT_EQ(inbox.Open(*record, 5), 1);
    inbox.SetFlags(*record, "2.MAI", flag);
    ASSERT_EQ(SaveRecord(*record), 1);
    ReleaseRecord(*record);
    EXPECT_EQ(inbox.UidsInFile(), (std::vector<uint32_t>{1, 2, 3})) << "after setting " << flag;
  }
  EXPECT_EQ(inbox.Read().at("2.MAI").second, "\\ANSWERED");
}

TEST(SerialiserMix, ADeliveryWithStreamLoadAndDocumentSaveKeepsEveryItem) {
  test::InboxFixture inbox;
  // A new-format header, at which the stream reader could stop.
  inbox.Use({.streamLoad = true, .streamSave = false, .oldFormat = false});
  for (const char* id : {"1.MAI", "2.MAI", "3.MAI"}) ASSERT_EQ(inbox.Deliver(id), 1);
  const test::Listing items = inbox.Read();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items.at("1.MAI").first, 1u);
  EXPECT_EQ(items.at("3.MAI").first, 3u);
  EXPECT_EQ(inbox.FolderDat().counters[FolderDetails::kItems], 3u);
}

TEST(SerialiserMix, ScanFoldersWritesTheFolderCounters) {
  for (const IndexSwitches switches : {IndexSwitches{}, IndexSwitches{.streamLoad = false, .streamSave = false}}) {
    test::InboxFixture inbox;
    inbox.Use(switches);
    inbox.WriteMessage("1.MAI");
    inbox.WriteMessage("2.MAI");
    inbox.WriteMessage("3.MAI", "X-Read: 1");
    ASSERT_EQ(ScanFolders(inbox.IndexPath()), 1);
    const FolderDetails details = inbox.FolderDat();
    EXPECT_EQ(details.counters[FolderDetails::kItems], 3u);
    EXPECT_EQ(details.counters[FolderDetails::kSeen], 1u);
    EXPECT_EQ(details.counters[FolderDetails::kLastUid], 3u);
  }
}

}  // namespace
}  // namespace tw
