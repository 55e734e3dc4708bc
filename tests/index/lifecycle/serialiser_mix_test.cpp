// Sequences that cross the two serialisers and the direct operations: each
// serialiser is right alone; these catch state kept by one and trusted by
// another.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "frame/settings.h"
#include "frame/store_paths.h"
#include "index/file/serialisation_settings.h"
#include "index/items/index_item.h"
#include "index/lifecycle/direct_operations.h"
#include "index/lifecycle/index_removal.h"
#include "index/lifecycle/scan_folders.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/messages/folder_cache_files.h"
#include "index/messages/message_item.h"
#include "support/test_support.h"

namespace tw {
namespace {

struct Switches {
  bool streamLoad;
  bool streamSave;
  bool oldFormat = true;  // the document writer's decimal LASTUID
};

std::string SwitchText(const Switches& s) {
  return std::string("\"Use XML Stream Index Deserialisation\"=dword:0000000") + (s.streamLoad ? "1" : "0") +
         "\r\n\"Use XML Stream Index Serialisation\"=dword:0000000" + (s.streamSave ? "1" : "0") +
         "\r\n\"MSXML Index Serialisation Produces Old Format\"=dword:0000000" + (s.oldFormat ? "1" : "0") + "\r\n";
}

class SerialiserMixTest : public ::testing::Test {
 protected:
  void Use(Switches switches) {
    registry_ = std::make_unique<test::ScopedRegistry>(test::RegistryWithMailRoot(root_, SwitchText(switches)));
    SetSettings(ReadStoreSettings());
    ResetSerialisationSettingsCache();
    inbox_ = Sys(FolderDirectoryForIndex("PO", "bob", "\\Inbox"));
    test::MakeDirs(inbox_);
  }
  void TearDown() override {
    SetSettings({});
    ResetSerialisationSettingsCache();
  }
  static std::string Sys(std::string path) {
    for (char& c : path)
      if (c == '\\') c = '/';
    return path;
  }
  void WriteMessage(const std::string& name) {
    test::WriteFile(inbox_ + "/" + name, "From: a@b\r\nSubject: " + name + "\r\n\r\nbody\r\n");
  }
  void Deliver(const std::string& name) {
    WriteMessage(name);
    ASSERT_EQ(DirectInsertItems("PO", "bob", "\\Inbox", name, ""), 1) << name;
  }
  int32_t Open(STOREINDEXTYPE& record, uint32_t mode) {
    std::memset(&record, 0, sizeof record);
    InitRecord(record);
    SetRecordText(record.postoffice, "PO");
    SetRecordText(record.mailbox, "bob");
    SetRecordText(record.folder, "\\Inbox");
    SetRecordPaths(record);
    return OpenRecord(record, mode);
  }
  void SetFlags(STOREINDEXTYPE& record, const std::string& id, const std::string& flags) {
    IndexItem handle(IndexOf(record).FindById(id), false);
    ASSERT_TRUE(handle.Set("FLAGSTATUS", flags)) << id;
    record.changed = 1;
  }
  // ID -> (UID, FLAGSTATUS) as a fresh reader sees them.
  std::map<std::string, std::pair<uint32_t, std::string>> Listing() {
    auto record = std::make_unique<STOREINDEXTYPE>();
    EXPECT_EQ(Open(*record, 5), 1);
    std::map<std::string, std::pair<uint32_t, std::string>> items;
    for (const auto* item : IndexOf(*record).Sequence())
      items[item->GetText("ID")] = {static_cast<uint32_t>(item->GetNumber("UID")), item->GetText("FLAGSTATUS")};
    ReleaseRecord(*record);
    return items;
  }
  // The UID attributes in file order.
  std::vector<std::string> UidsInFile() {
    const std::string text = test::ReadFile(inbox_ + "/_index.xml");
    std::vector<std::string> uids;
    static const std::regex uid("<ELEMENT ID=\"[^\"]*\" UID=\"([0-9]+)\"");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), uid); it != std::sregex_iterator(); ++it)
      uids.push_back((*it)[1]);
    return uids;
  }
  FolderDetails FolderDat() {
    FolderDetails details;
    ReadFolderDatFile(inbox_ + "/_FOLDER.DAT", details);
    return details;
  }

  test::ScratchDir dir_;
  std::string root_ = dir_.path() + "\\POSTOFFICES";
  std::unique_ptr<test::ScopedRegistry> registry_;
  std::string inbox_;
  test::FastSleep fastSleep_;
};

TEST_F(SerialiserMixTest, ARemovalKeepsTheOtherUnsavedChanges) {
  Use({true, true});
  Deliver("1.MAI");
  Deliver("2.MAI");
  Deliver("3.MAI");
  auto record = std::make_unique<STOREINDEXTYPE>();
  ASSERT_EQ(Open(*record, 1), 1);
  SetFlags(*record, "1.MAI", "\\SEEN");
  SetFlags(*record, "2.MAI", "\\FLAGGED");
  WriteMessage("4.MAI");
  ASSERT_NE(IndexMessageFile(IndexOf(*record), record->folderPath, "4.MAI", 1, "", false), nullptr);
  ASSERT_TRUE(RemoveFromIndex(IndexOf(*record), "1.MAI", nullptr, nullptr));
  ASSERT_EQ(SaveRecord(*record), 1);
  ReleaseRecord(*record);
  const auto items = Listing();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items.count("1.MAI"), 0u);
  EXPECT_EQ(items.at("2.MAI").second, "\\FLAGGED");
  EXPECT_EQ(items.at("4.MAI").first, 4u);
  EXPECT_EQ(UidsInFile(), (std::vector<std::string>{"2", "3", "4"}));
}

TEST_F(SerialiserMixTest, DocumentLoadThenStreamSaveWritesEachItemOnce) {
  Use({false, true});
  Deliver("1.MAI");
  Deliver("2.MAI");
  Deliver("3.MAI");
  for (const char* flag : {"\\SEEN", "\\ANSWERED"}) {
    auto record = std::make_unique<STOREINDEXTYPE>();
    ASSERT_EQ(Open(*record, 5), 1);
    SetFlags(*record, "2.MAI", flag);
    ASSERT_EQ(SaveRecord(*record), 1);
    ReleaseRecord(*record);
    EXPECT_EQ(UidsInFile(), (std::vector<std::string>{"1", "2", "3"})) << "after setting " << flag;
  }
  EXPECT_EQ(Listing().at("2.MAI").second, "\\ANSWERED");
}

TEST_F(SerialiserMixTest, ADeliveryWithStreamLoadAndDocumentSaveKeepsEveryItem) {
  Use({true, false, false});  // a header the stream reader can stop at
  Deliver("1.MAI");
  Deliver("2.MAI");
  Deliver("3.MAI");
  const auto items = Listing();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items.at("1.MAI").first, 1u);
  EXPECT_EQ(items.at("3.MAI").first, 3u);
  EXPECT_EQ(FolderDat().counters[FolderDetails::kItems], 3u);
}

TEST_F(SerialiserMixTest, ScanFoldersWritesTheFolderCounters) {
  for (const Switches switches : {Switches{true, true}, Switches{false, false}}) {
    Use(switches);
    std::remove((inbox_ + "/_FOLDER.DAT").c_str());
    WriteMessage("1.MAI");
    WriteMessage("2.MAI");
    test::WriteFile(inbox_ + "/3.MAI", "From: a@b\r\nX-Read: 1\r\n\r\nbody\r\n");
    ASSERT_EQ(ScanFolders(FolderDirectoryForIndex("PO", "bob", "\\Inbox")), 1);
    const FolderDetails details = FolderDat();
    EXPECT_EQ(details.counters[FolderDetails::kItems], 3u);
    EXPECT_EQ(details.counters[FolderDetails::kSeen], 1u);
    EXPECT_EQ(details.counters[FolderDetails::kLastUid], 3u);
  }
}

}  // namespace
}  // namespace tw
