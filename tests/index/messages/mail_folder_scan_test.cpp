#include "index/messages/mail_folder_scan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "index/messages/folder_cache_files.h"
#include "index/locking/index_file_blocking.h"
#include "index/file/index_save.h"
#include "index/messages/message_index_settings.h"
#include "index/messages/message_item.h"
#include "index/lifecycle/scan_folders.h"
#include "index/file/serialiser_choice.h"
#include "platform/files.h"
#include "support/holder_process.h"
#include "support/index_fixture.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

using test::Column;
using test::IndexFolder;
using test::Items;
using test::Message;
using test::Values;

// A folder whose registry values are read afresh.
class ScanFolder : public IndexFolder {
 public:
  explicit ScanFolder(const std::vector<std::pair<std::string, uint32_t>>& settings = {}) : IndexFolder(settings) {
    ResetMessageIndexSettings();
  }
  ~ScanFolder() { ResetMessageIndexSettings(); }

  int32_t Scan(SORTEDSTOREINDEXTYPE& index, int32_t reason = kScanExplicit) {
    return ScanMailFolder(index, path(), reason, false);
  }
  // The items of the saved index, in sequence order.
  std::vector<Values> Saved() const {
    SORTEDSTOREINDEXTYPE index;
    ChooseLoadSerialiser(path(), 0, false, false)->Deserialise(index, path(), 0, 3, {});
    return Items(index);
  }
  void Touch(const std::string& name, uint32_t dosTime) const {
    ASSERT_TRUE(platform::SetFileLastWriteTime(File(name), platform::DosDateTimeToFileTime(dosTime)));
  }
};

TEST(MailFolderScanTest, NewFilesBecomeItemsInNameOrder) {
  test::FastSleep fast;
  ScanFolder folder;
  const std::string name63 = std::string(59, 'n') + ".MAI";
  const std::string name64 = std::string(60, 'n') + ".MAI";
  const std::string a = Message("Subject: A\r\nX-Priority: 0\r\nFrom: ann@x", std::string(1500, 'x'));
  const std::string b = Message("Subject: B\r\nX-Read: 1\r\nX-Priority: 2");
  const std::string c = Message("Subject: long");
  folder.Write(a, "a.MAI");
  folder.Write(b, "b.MAI");
  folder.Write(c, name63);
  for (const char* skipped : {"_x.MAI", ".h.MAI", "c.txt"}) folder.Write(Message("Subject: no"), skipped);
  folder.Write(Message("Subject: no"), name64);
  test::MakeDirs(folder.File("d.MAI"));

  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(folder.Scan(index), 1);
  const std::vector<Values> items = folder.Saved();
  EXPECT_EQ(Column(items, "ID"), (std::vector<std::string>{"a.MAI", "b.MAI", name63}));
  EXPECT_EQ(Column(items, "UID"), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(Column(items, "FLAGSTATUS"), (std::vector<std::string>{"\\RECENT", "\\SEEN", "\\RECENT"}));
  EXPECT_EQ(Column(items, "READ"), (std::vector<std::string>{"0", "1", "0"}));
  EXPECT_EQ(Column(items, "IMPORTANCE"), (std::vector<std::string>{"3", "2", "3"}));
  EXPECT_EQ(Column(items, "STATE"), (std::vector<std::string>{"0", "0", "0"}));
  EXPECT_EQ(items[0].at("FROM"), "ann@x");
  EXPECT_EQ(Column(items, "SIZE"), (std::vector<std::string>{std::to_string(a.size()), std::to_string(b.size()),
                                                              std::to_string(c.size())}));
  EXPECT_EQ(folder.Read("_DIRSIZE.TMP"), std::to_string((a.size() + b.size() + c.size()) / 1024));
  EXPECT_FALSE(test::PathExists(folder.File("_CHANGE.DTY")));

  FolderDetails details;
  ASSERT_EQ(ReadFolderDatFile(folder.File("_FOLDER.DAT"), details), 52u);
  EXPECT_EQ(details.counters[FolderDetails::kItems], 3u);
  EXPECT_EQ(details.counters[FolderDetails::kSeen], 1u);
  EXPECT_EQ(details.counters[FolderDetails::kRecent], 2u);
  EXPECT_EQ(details.counters[FolderDetails::kLastUid], 3u);
  EXPECT_EQ(index.Count(), 3u);
  EXPECT_EQ(index.LastUid(), 3u);
}

TEST(MailFolderScanTest, ChangedFilesAreReadAgain) {
  test::FastSleep fast;
  ScanFolder folder;
  folder.Write(Message("Subject: old\r\nX-Priority: 5"), "a.MAI");
  folder.Write(Message("Subject: old"), "b.MAI");
  folder.Touch("a.MAI", 0x44650000);
  folder.Touch("b.MAI", 0x44650000);
  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(folder.Scan(index), 1);
  index.FindById("a.MAI")->SetText("FLAGSTATUS", "\\ANSWERED \\SEEN");
  index.FindById("b.MAI")->SetText("FLAGSTATUS", "\\ANSWERED");
  index.FindById("b.MAI")->SetText("MODIFIEDDATE", "0");
  ASSERT_TRUE(SaveIndexBlockHeld(index, folder.path(), 0));

  for (const char* name : {"a.MAI", "b.MAI"}) {
    folder.Write(Message("Subject: new one\r\nX-Priority: 1"), name);
    folder.Touch(name, 0x44660000);
  }
  SORTEDSTOREINDEXTYPE fresh;
  ASSERT_EQ(folder.Scan(fresh), 1);
  const std::vector<Values> items = folder.Saved();
  EXPECT_EQ(Column(items, "SUBJECT"), (std::vector<std::string>{"new one", "new one"}));
  EXPECT_EQ(Column(items, "MODIFIEDDATE"), (std::vector<std::string>{"1147535360", "1147535360"}));
  // Kept flags (and the old importance) on a dated item, everything anew on an undated one.
  EXPECT_EQ(Column(items, "FLAGSTATUS"), (std::vector<std::string>{"\\ANSWERED \\SEEN", "\\RECENT"}));
  EXPECT_EQ(Column(items, "READ"), (std::vector<std::string>{"1", "0"}));
  EXPECT_EQ(Column(items, "IMPORTANCE"), (std::vector<std::string>{"5", "1"}));
  EXPECT_EQ(Column(items, "UID"), (std::vector<std::string>{"1", "2"}));
}

TEST(MailFolderScanTest, MaximumIndexRowsCutsTheWalkShortOnlyBeyondTheLimit) {
  test::FastSleep fast;
  ScanFolder folder({{"Maximum Index Rows", 3}});
  for (const char* name : {"a.MAI", "b.MAI", "c.MAI", "_skipped.MAI"}) folder.Write(std::string(1024, 'x'), name);
  SORTEDSTOREINDEXTYPE exact;
  EXPECT_EQ(folder.Scan(exact), 1);
  EXPECT_EQ(exact.Count(), 3u) << "exactly the limit is a whole folder";
  EXPECT_TRUE(test::PathExists(folder.File("_index.xml")));
  EXPECT_FALSE(test::PathExists(folder.File("_CHANGE.DTY")));
  std::remove(folder.File("_index.xml").c_str());
  std::remove(folder.File("_FOLDER.DAT").c_str());

  for (const char* name : {"d.MAI", "e.MAI"}) folder.Write(std::string(1024, 'x'), name);
  SORTEDSTOREINDEXTYPE index;
  EXPECT_EQ(folder.Scan(index), 1);
  EXPECT_FALSE(test::PathExists(folder.File("_index.xml")));
  EXPECT_FALSE(test::PathExists(folder.File("_FOLDER.DAT")));
  EXPECT_EQ(folder.Read("_CHANGE.DTY"), "This file is a flag file that denotes that this folder has been changed");
  EXPECT_EQ(folder.Read("_DIRSIZE.TMP"), "3");
  EXPECT_EQ(index.Count(), 3u);
  EXPECT_FALSE(test::PathExists(folder.File("_index.blk")));
}

TEST(MailFolderScanTest, BrandingStripsUidAndFlagLinesOnly) {
  test::FastSleep fast;
  ScanFolder folder({{"UID Branding Enabled", 1}});
  const std::string validity = std::to_string(FolderUidValidity(folder.path()));
  const std::string body = "body\r\nX-UID: 1.2\r\n" + std::string(5000, 'b');
  folder.Write(Message("X-UID: " + validity + ".77\r\nSubject: s\r\nx-twtempflags: \\FLAGGED", body), "a.MAI");
  folder.Write(Message("Subject: plain"), "b.MAI");
  folder.Touch("b.MAI", 0x44650000);
  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(folder.Scan(index), 1);
  EXPECT_EQ(folder.Read("a.MAI"), Message("Subject: s", body));
  EXPECT_EQ(folder.Read("b.MAI"), Message("Subject: plain"));
  platform::FileInfo info;
  ASSERT_TRUE(platform::GetFileInfo(folder.File("b.MAI"), info));
  EXPECT_EQ(platform::FileTimeToDosDateTime(info.lastWriteTime), 0x44650000u);
  EXPECT_FALSE(test::PathExists(folder.File("_a.MAI")));
  EXPECT_FALSE(test::PathExists(folder.File("_b.MAI")));
  const std::vector<Values> items = folder.Saved();
  EXPECT_EQ(Column(items, "UID"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Column(items, "FLAGSTATUS"), (std::vector<std::string>{"\\FLAGGED \\RECENT", "\\RECENT"}));
  EXPECT_EQ(items[0].at("SIZE"), std::to_string(14 + body.size()));
  // The rewritten file matches its item: nothing to read again.
  SORTEDSTOREINDEXTYPE again;
  ASSERT_EQ(folder.Scan(again), 1);
  EXPECT_EQ(folder.Saved(), items);
}

TEST(MailFolderScanTest, VanishedFilesAndHeldBlocks) {
  test::FastSleep fast;
  ScanFolder folder;
  folder.Write(Message("Subject: here"), "a.MAI");
  std::filesystem::create_symlink(folder.File("nowhere"), folder.File("gone.MAI"));
  uintptr_t handle = 0;
  const std::string block = folder.File("_index.blk");
  ASSERT_EQ(WaitForAccessToIndexFileEx(block, kHeldBlock, &handle), 1u);
  SORTEDSTOREINDEXTYPE index;
  EXPECT_EQ(folder.Scan(index), 0);
  EXPECT_FALSE(test::PathExists(folder.File("_index.xml")));
  EXPECT_EQ(folder.Scan(index, kScanBlockHeld), 1);
  EXPECT_EQ(Column(folder.Saved(), "ID"), (std::vector<std::string>{"a.MAI"}));
  EXPECT_TRUE(test::PathExists(block));
  UnBlockIndexFileAccessEx(block, kHeldBlock, &handle);
  EXPECT_EQ(ScanMailFolder(index, "", kScanExplicit, false), 0);
}

// A message a writer still holds without sharing is left for the next scan,
// but its bytes count towards the folder's size.
TEST(MailFolderScanTest, AMessageItsWriterHoldsWaitsForTheNextScan) {
  test::FastSleep fast;
  ScanFolder folder;
  const std::string a = Message("Subject: here");
  const std::string b = Message("Subject: being written", std::string(3000, 'b'));
  folder.Write(a, "a.MAI");
  folder.Write(b, "b.MAI");
  {
    test::HolderProcess writer("exclusive", folder.File("b.MAI"));
    ASSERT_EQ(writer.Line(), "ok");
    SORTEDSTOREINDEXTYPE index;
    ASSERT_EQ(folder.Scan(index), 1);
    EXPECT_EQ(Column(folder.Saved(), "ID"), (std::vector<std::string>{"a.MAI"}));
    EXPECT_EQ(folder.Read("_DIRSIZE.TMP"), std::to_string((a.size() + b.size()) / 1024));
  }
  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(folder.Scan(index), 1);
  EXPECT_EQ(Column(folder.Saved(), "SUBJECT"), (std::vector<std::string>{"here", "being written"}));
}

TEST(MailFolderScanTest, LinksAndNamesTheIndexCannotKeepAreLeftOut) {
  test::FastSleep fast;
  ScanFolder folder;
  test::ScratchDir outside;
  const std::string secret = Message("Subject: outside", std::string(4096, 's'));
  test::WriteFile(outside / "secret.MAI", secret);
  test::WriteFile(outside / "sub/x.MAI", Message("Subject: below a link"));
  folder.Write(Message("Subject: inside"), "a.MAI");
  std::filesystem::create_symlink(outside / "secret.MAI", folder.File("out.MAI"));
  std::filesystem::create_symlink(folder.File("a.MAI"), folder.File("twin.MAI"));
  std::filesystem::create_symlink(outside / "sub", folder.File("sub.MAI"));
  const std::string notUtf8 = "n\xC3(\xFF.MAI";
  folder.Write(Message("Subject: odd name"), notUtf8);

  const std::string line = "Message file not indexed: its name is not valid UTF-8: " + folder.path() +
                           "\\n\\xC3(\\xFF.MAI\n";
  for (int scan = 0; scan < 2; ++scan) {
    SORTEDSTOREINDEXTYPE index;
    ASSERT_EQ(folder.Scan(index), 1);
    EXPECT_EQ(Column(folder.Saved(), "ID"), (std::vector<std::string>{"a.MAI"}));
    EXPECT_EQ(folder.Read("_DIRSIZE.TMP"), "0");
  }
  ASSERT_EQ(ScanFolders(folder.path()), 1);
  EXPECT_EQ(Column(folder.Saved(), "ID"), (std::vector<std::string>{"a.MAI"}));
  size_t reports = 0;
  for (const std::string& text : folder.Log()) reports += text.find(line) != std::string::npos;
  EXPECT_EQ(reports, 1u) << "once in the life of the process\n" << folder.LogText();
  EXPECT_EQ(test::ReadFile(outside / "secret.MAI"), secret);
}

TEST(MailFolderScanTest, LeftoversOfKilledWritersGoWhenAnHourOld) {
  test::FastSleep fast;
  ScanFolder folder;
  folder.Write(Message("Subject: kept"), "a.MAI");
  test::ScratchDir outside;
  const uint64_t now = platform::CurrentFileTime();
  const uint64_t hour = 3600ull * 10000000ull;
  auto put = [&](const std::string& name, uint64_t age) {
    folder.Write("x", name);
    ASSERT_TRUE(platform::SetFileLastWriteTime(folder.File(name), now - age)) << name;
  };
  const std::vector<std::string> stale = {"_index.xml.tmp", "_FOLDER.DAT.123.456.tmp", "_twstore-77-1.TMP",
                                          "_folder.xml.9.8.tmp",
                                          "_a.MAI", "._index.blk.4242.0123456789abcdef.tmp", ".twcreated.4242.1"};
  // Young ones may belong to a live writer; the others are no temporaries.
  const std::vector<std::string> young = {"_FOLDER.DAT.123.457.tmp", "_twstore-77-2.TMP",
                                          "._index.blk.4242.fedcba9876543210.tmp"};
  const std::vector<std::string> kept = {"_gone.MAI", "_twstore-x-1.TMP", "notes.tmp", "_FOLDER.DAT.tmp",
                                         "_index.xml.bak"};
  for (const std::string& name : stale) put(name, hour + 60 * 10000000ull);
  for (const std::string& name : young) put(name, hour - 60 * 10000000ull);
  for (const std::string& name : kept) put(name, 30 * 24 * hour);
  test::WriteFile(outside / "old.tmp", "x");
  ASSERT_TRUE(platform::SetFileLastWriteTime(outside / "old.tmp", now - 2 * hour));
  std::filesystem::create_symlink(outside / "old.tmp", folder.File("_twstore-77-3.TMP"));

  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(folder.Scan(index), 1);
  for (const std::string& name : stale) EXPECT_FALSE(test::PathExists(folder.File(name))) << name;
  for (const std::string& name : young) EXPECT_TRUE(test::PathExists(folder.File(name))) << name;
  for (const std::string& name : kept) EXPECT_TRUE(test::PathExists(folder.File(name))) << name;
  EXPECT_TRUE(std::filesystem::is_symlink(folder.File("_twstore-77-3.TMP")));
  EXPECT_TRUE(test::PathExists(outside / "old.tmp"));
  EXPECT_EQ(Column(folder.Saved(), "ID"), (std::vector<std::string>{"a.MAI"}));
}

TEST(MailFolderScanTest, IndexOneFile) {
  test::FastSleep fast;
  const struct {
    int32_t mode;
    const char* flags;
    bool clear;
    const char* header;
    Values expected;  // properties checked; "" means absent
  } cases[] = {
      {1, nullptr, false, "Subject: s", {{"FLAGSTATUS", "\\RECENT"}, {"READ", "0"}, {"SIZE", "20"}}},
      {1, "SIZE=1234", false, "Subject: s", {{"FLAGSTATUS", "\\RECENT"}, {"SIZE", "1234"}}},
      {2, "\\SEEN", false, "Subject: s", {{"FLAGSTATUS", "\\SEEN"}, {"READ", "1"}}},
      {1, "\\FLAGGED", false, "Subject: s", {{"FLAGSTATUS", "\\FLAGGED \\RECENT"}, {"READ", "0"}}},
      {1, "\\FLAGGED", true, "Subject: s", {{"FLAGSTATUS", "\\RECENT"}}},
      {1, "\\FLAGGED", true, "X-TWTempFlags: SIZE=9", {{"FLAGSTATUS", "\\RECENT"}, {"SIZE", "9"}}},
      {1, nullptr, false, "X-UID: 0.77", {{"UID", "1"}}},
      {0, "\\SEEN", false, "Subject: s", {{"UID", "1"}, {"ID", "m.MAI"}, {"SUBJECT", ""}, {"FLAGSTATUS", ""}}},
  };
  for (const auto& c : cases) {
    ScanFolder folder;
    folder.Write(Message(c.header), "m.MAI");
    SORTEDSTOREINDEXTYPE index;
    IndexItemPropertyContainer* item = IndexMessageFile(index, folder.path(), "m.MAI", c.mode, c.flags, c.clear);
    ASSERT_NE(item, nullptr) << c.header;
    EXPECT_EQ(index.FindById("m.MAI"), item);
    for (const auto& [name, value] : c.expected) EXPECT_EQ(item->GetText(name), value) << c.header << " " << name;
  }
  ScanFolder branded({{"UID Branding Enabled", 1}});
  branded.Write(Message("X-UID: 0.77"), "m.MAI");
  SORTEDSTOREINDEXTYPE index;
  ASSERT_NE(IndexMessageFile(index, branded.path(), "m.MAI", 1, nullptr, false), nullptr);
  EXPECT_EQ(index.FindById("m.MAI")->GetText("UID"), "77");
  EXPECT_EQ(IndexMessageFile(index, branded.path(), "m.MAI", 1, nullptr, false), nullptr);
  EXPECT_EQ(IndexMessageFile(index, branded.path(), "missing.MAI", 1, nullptr, false), nullptr);
  const std::string name64 = std::string(60, 'n') + ".MAI";
  branded.Write("", name64);
  EXPECT_EQ(IndexMessageFile(index, branded.path(), name64, 1, nullptr, false), nullptr);
  EXPECT_EQ(IndexMessageFile(index, branded.path(), "..\\m.MAI", 1, nullptr, false), nullptr);
  EXPECT_EQ(index.LastUid(), 77u);
}

TEST(MailFolderScanTest, ScanFoldersAndTheReconcileWalkTheFiles) {
  test::FastSleep fast;
  ScanFolder folder;
  folder.Write(Message("Subject: a"), "a.MAI");
  folder.Write(Message("Subject: b"), "b.MAI");
  EXPECT_EQ(ScanFolders(folder.path()), 1);
  EXPECT_EQ(Column(folder.Saved(), "SUBJECT"), (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(test::PathExists(folder.File("_index.blk")));
  EXPECT_EQ(ScanFolders(""), 0);

  folder.Write(Message("Subject: c"), "c.MAI");
  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(ChooseLoadSerialiser(folder.path(), 0, true, true)->Deserialise(index, folder.path(), 0, 3, {}), 3);
  EXPECT_EQ(Column(Items(index), "UID"), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(MailFolderScanTest, UidValidityIsTheFolderCreationTime) {
  ScanFolder folder;
  platform::FindHandle find;
  platform::FindData dot;
  ASSERT_TRUE(find.First(folder.File("*"), dot));
  ASSERT_EQ(dot.name, ".");
  EXPECT_EQ(FolderUidValidity(folder.path()), static_cast<uint32_t>(dot.creationTime));
  EXPECT_EQ(FolderUidValidity(folder.File("missing")), 0u);
}

}  // namespace
}  // namespace tw
