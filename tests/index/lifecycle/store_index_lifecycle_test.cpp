#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/file_management.h"
#include "frame/settings.h"
#include "frame/store_paths.h"
#include "index/lifecycle/direct_operations.h"
#include "index/messages/folder_cache_files.h"
#include "index/file/serialisation_settings.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "support/holder_process.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

class StoreIndexLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSerialisationSettingsCache();
    test::MakeDirs(Sys(inbox_));
  }
  void TearDown() override { ResetSerialisationSettingsCache(); }
  static std::string Sys(const std::string& path) { return test::SystemPath(path); }
  void Deliver(const std::string& name, const std::string& headers) { test::PutMessage(inbox_, name, headers); }
  // A record for PO/bob/\Inbox, opened in `mode`.
  int32_t Open(STOREINDEXTYPE& record, uint32_t mode) {
    return test::OpenFolderRecord(record, "PO", "bob", "\\Inbox", mode);
  }
  std::string IdAt(STOREINDEXTYPE& record, size_t i) { return IndexOf(record).Sequence().at(i)->GetText("ID"); }

  test::MailRoot mail_{"\"Use XML Stream Index Deserialisation\"=dword:00000001\r\n"
                       "\"Use XML Stream Index Serialisation\"=dword:00000001\r\n"};
  std::string inbox_ = FolderDirectoryForIndex("PO", "bob", "\\Inbox");
  std::unique_ptr<STOREINDEXTYPE> record_ = std::make_unique<STOREINDEXTYPE>();
};

TEST_F(StoreIndexLifecycleTest, OpenRebuildsOnNewMailThenReuses) {
  STOREINDEXTYPE& r = *record_;
  Deliver("1.MAI", "From: a@b\r\nSubject: one");
  Deliver("2.MAI", "From: c@d\r\nSubject: two");
  const std::string mailbox = Sys(ParentDirectory(inbox_));
  test::WriteFile(mailbox + "/_3.NEW", "");
  test::WriteFile(mailbox + "/_7.NEW", "");
  ASSERT_EQ(Open(r, 1), 1);
  EXPECT_FALSE(test::PathExists(mailbox + "/_3.NEW"));
  EXPECT_FALSE(test::PathExists(mailbox + "/_7.NEW"));
  EXPECT_EQ(r.itemCount, 2u);
  EXPECT_EQ(r.lastUid, 2u);
  EXPECT_TRUE(test::PathExists(Sys(inbox_) + "/_index.xml"));
  EXPECT_EQ(OpenRecord(r, 0), 2) << "unchanged: the index in memory is reused";
  EXPECT_EQ(OpenRecord(r, 1), 2);

  // Flags survive a rebuild; new mail gets the next UID.
  IndexItem handle(IndexOf(r).FindById("1.MAI"), false);
  handle.Set("FLAGSTATUS", "\\SEEN");
  r.changed = 1;
  EXPECT_EQ(CommitRecord(r), 1);
  EXPECT_EQ(CommitRecord(r), 2) << "nothing left to commit";
  Deliver("3.MAI", "Subject: three");
  WriteChangeFlagIn(inbox_);
  ASSERT_EQ(OpenRecord(r, 1), 1);
  ASSERT_EQ(r.itemCount, 3u);
  EXPECT_EQ(IndexOf(r).FindById("1.MAI")->GetText("FLAGSTATUS"), "\\SEEN");
  EXPECT_EQ(IndexOf(r).FindById("1.MAI")->GetNumber("UID"), 1);
  EXPECT_EQ(IndexOf(r).FindById("3.MAI")->GetNumber("UID"), 3);
  FolderDetails details = test::FolderCounters(inbox_);
  EXPECT_EQ(details.counters[FolderDetails::kItems], 3u);
  ReleaseRecord(r);
}

TEST_F(StoreIndexLifecycleTest, OpenOfAMissingFolderFailsAndCreatesNothing) {
  STOREINDEXTYPE& r = *record_;
  std::memset(&r, 0, sizeof r);
  InitRecord(r);
  SetRecordText(r.folderPath, inbox_ + "\\nothere");
  EXPECT_EQ(OpenRecord(r, 1), 0);
  EXPECT_FALSE(test::PathExists(Sys(inbox_) + "/nothere"));
  ReleaseRecord(r);
}

TEST_F(StoreIndexLifecycleTest, SaveAfterAnotherWriterMarksTheFolderDirty) {
  STOREINDEXTYPE& r = *record_;
  Deliver("1.MAI", "Subject: one");
  ASSERT_EQ(Open(r, 2), 1);
  test::WriteFile(Sys(inbox_) + "/_index.xml", test::ReadFile(Sys(inbox_) + "/_index.xml") + " ");
  IndexItem(IndexOf(r).FindById("1.MAI"), false).Set("FLAGSTATUS", "\\FLAGGED");
  EXPECT_EQ(SaveRecord(r), 1);
  EXPECT_TRUE(test::PathExists(Sys(inbox_) + "/_CHANGE.DTY"));
  ReleaseRecord(r);
}

// A delivery opens the index only at its header, so a message inserted a
// second time is appended again; the next load keeps the first element.
TEST_F(StoreIndexLifecycleTest, AMessageInsertedTwiceStaysOneItemWithItsFirstUid) {
  for (const char* name : {"a.MAI", "b.MAI"}) Deliver(name, "Subject: x");
  ASSERT_EQ(DirectInsertItems("PO", "bob", "\\Inbox", "a.MAI", "\\FLAGGED"), 1);
  ASSERT_EQ(DirectInsertItems("PO", "bob", "\\Inbox", "b.MAI", ""), 1);
  DirectInsertItems("PO", "bob", "\\Inbox", "a.MAI", "");
  ASSERT_EQ(DirectInsertItems("PO", "bob", "\\Inbox", "a.MAI,a.MAI", ""), 1);
  STOREINDEXTYPE& r = *record_;
  ASSERT_EQ(Open(r, 5), 1);
  ASSERT_EQ(r.itemCount, 2u);
  EXPECT_EQ(IndexOf(r).FindById("a.MAI")->GetNumber("UID"), 1);
  EXPECT_EQ(IndexOf(r).FindById("a.MAI")->GetText("FLAGSTATUS"), "\\FLAGGED \\RECENT");
  EXPECT_EQ(IndexOf(r).FindById("b.MAI")->GetNumber("UID"), 2);
  // Removing it leaves no copy behind to come back.
  ReleaseRecord(r);
  ASSERT_EQ(DirectRemoveItems("PO", "bob", "\\Inbox", "a.MAI"), 1);
  ASSERT_EQ(Open(r, 5), 1);
  ASSERT_EQ(r.itemCount, 1u);
  EXPECT_EQ(IdAt(r, 0), "b.MAI");
  EXPECT_GT(r.lastUid, 2u) << "the UIDs the copies took are never given again";
  ReleaseRecord(r);
}

// One insert of several messages with flags of their own, as an import
// makes: each gets its entry, and only the seen ones count as seen.
TEST_F(StoreIndexLifecycleTest, AnInsertWithOneFlagEntryPerMessageCountsEachMessageByItsOwnFlags) {
  for (const char* name : {"a.MAI", "b.MAI", "c.MAI"}) Deliver(name, "Subject: x");
  ASSERT_EQ(DirectInsertItems("PO", "bob", "\\Inbox", "a.MAI,b.MAI,c.MAI", "\\SEEN,\\FLAGGED,\\SEEN \\ANSWERED"), 1);
  STOREINDEXTYPE& r = *record_;
  ASSERT_EQ(Open(r, 5), 1);
  EXPECT_EQ(IndexOf(r).FindById("a.MAI")->GetText("FLAGSTATUS"), "\\SEEN");
  EXPECT_EQ(IndexOf(r).FindById("b.MAI")->GetText("FLAGSTATUS"), "\\FLAGGED \\RECENT");
  EXPECT_EQ(IndexOf(r).FindById("c.MAI")->GetText("FLAGSTATUS"), "\\SEEN \\ANSWERED");
  ReleaseRecord(r);
  const FolderDetails details = test::FolderCounters(inbox_);
  EXPECT_EQ(details.counters[FolderDetails::kItems], 3u);
  EXPECT_EQ(details.counters[FolderDetails::kSeen], 2u);
}

TEST_F(StoreIndexLifecycleTest, ConcurrentDeliveriesLoseNothing) {
  constexpr int kProcesses = 3, kEach = 40;
  std::vector<std::unique_ptr<test::HolderProcess>> deliverers;
  for (int p = 0; p < kProcesses; ++p)
    deliverers.push_back(std::make_unique<test::HolderProcess>(std::vector<std::string>{
        "tw_deliver", "PO", "bob", "\\Inbox", std::to_string(kEach), "p" + std::to_string(p) + "-", "--wait"}));
  for (auto& d : deliverers) d->Send("go");
  for (auto& d : deliverers) EXPECT_EQ(d->Line(), "delivered 40 failed 0");
  STOREINDEXTYPE& r = *record_;
  ASSERT_EQ(Open(r, 5), 1);
  EXPECT_EQ(r.itemCount, static_cast<uint32_t>(kProcesses * kEach));
  uint32_t previous = 0;
  for (const auto* item : IndexOf(r).ByUid()) {
    EXPECT_GT(static_cast<uint32_t>(item->GetNumber("UID")), previous);
    previous = static_cast<uint32_t>(item->GetNumber("UID"));
  }
  FolderDetails details = test::FolderCounters(inbox_);
  EXPECT_EQ(details.counters[FolderDetails::kItems], static_cast<uint32_t>(kProcesses * kEach));
  ReleaseRecord(r);
}

}  // namespace
}  // namespace tw
