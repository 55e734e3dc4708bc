// The item calls as a service uses them: open counting and piggybacking in
// both affinity modes, walks, property reads and sets, item changes, saves,
// and what each leaves on disk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "folders/cache/index_cache.h"
#include "frame/library_lifecycle.h"
#include "frame/thread_state.h"
#include "index/cache/loaded_index_store.h"
#include "platform/event_log.h"
#include "support/inbox_fixture.h"
#include "folders/items/item_calls.h"

namespace tw {
namespace {

using test::InboxFixture;
using test::PathExists;
using test::ReadFile;

constexpr const char* kInbox = "\\Inbox";

// The exported names over the cores the library exports them from.
uint32_t StoreFolder_Open(const char* p, const char* m, const char* f, uint32_t type, int32_t mode) {
  return OpenFolder(p, m, f, type, mode);
}
uint32_t StoreFolder_OpenItem(const char* p, const char* m, const char* f, const char* id, uint32_t type) {
  return OpenItem(p, m, f, id, type);
}
uint32_t StoreFolder_Close() { return CloseFolder(); }
uint32_t StoreFolder_FindClose() { return FindClose(); }
uint32_t StoreFolder_Save(uint32_t) { return SaveFolder(); }
uint32_t Store_Save(uint32_t) { return SaveAllFolders(); }
uint32_t StoreFolder_FindFirstItem() { return FindFirstItem(); }
uint32_t StoreFolder_FindNextItem() { return FindNextItem(); }
uint32_t StoreFolder_SelectItem(const char* id) { return SelectItem(id); }
uint32_t StoreFolder_SelectItemByField(const char* n, const char* v) { return SelectItemByField(n, v, false); }
uint32_t StoreFolder_SelectItemByField_Ex(const char* n, const char* v, uint32_t exact) {
  return SelectItemByField(n, v, exact != 0);
}
uint32_t StoreFolder_CreateItem(const char* id) { return CreateItem(id); }
uint32_t StoreFolder_DeleteItem(const char* id) { return DeleteItem(id); }
uint32_t StoreFolder_CommitItem() { return CommitItem(); }
uint32_t StoreItem_GetProperty(const char* n, void** v, uint32_t* l) { return GetCurrentItemProperty(n, v, l); }
uint32_t StoreItem_SetProperty(const char* id, const char* n, const char* v) {
  return SetCurrentItemProperty(id, n, v);
}
void StoreItem_FreeProperty(void* v) { std::free(v); }
void StoreLibrary_SetAffinity(uint32_t mode) { SetThreadAffinity(mode == 1); }

// A property read as text ("<0>" for result 0, "<none>" for no value).
std::string Get(const char* name) {
  void* value = nullptr;
  uint32_t length = 0;
  const uint32_t result = StoreItem_GetProperty(name, &value, &length);
  if (result == 0) return "<0>";
  if (result != 2 || value == nullptr) return "<none>";
  std::string text(static_cast<const char*>(value), length > 0 ? length - 1 : 0);
  StoreItem_FreeProperty(value);
  return text;
}

// The IDs a walk visits.
std::vector<std::string> Walk() {
  std::vector<std::string> ids;
  for (uint32_t more = StoreFolder_FindFirstItem(); more == 1; more = StoreFolder_FindNextItem())
    ids.push_back(Get("TW_ITEM_ID"));
  return ids;
}

class ItemAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(StoreLibraryInit(), 1u);
    StoreLibrary_SetAffinity(1);
    for (const char* id : {"a.mai", "b.mai", "c.mai"}) ASSERT_EQ(inbox_.Deliver(id), 1);
    LoadedIndexStore::Process().Clear();
  }
  void TearDown() override {
    while (CachedRecordCount() > 0 && ExistingThreadStoreIndex() && ExistingThreadStoreIndex()->openIndex)
      StoreFolder_Close();
    StoreLibrary_SetAffinity(1);
    LoadedIndexStore::Process().Clear();
  }
  uint32_t Open(int32_t mode = 1) { return StoreFolder_Open("PO", "bob", kInbox, 0, mode); }

  InboxFixture inbox_;
};

TEST_F(ItemAccess, NestedOpensShareOneRecordUntilTheLastClose) {
  EXPECT_EQ(Open(), 1u);
  EXPECT_EQ(Open(), 2u);
  EXPECT_EQ(CachedRecordCount(), 1u);
  EXPECT_EQ(StoreFolder_Close(), 1u);
  EXPECT_EQ(Walk(), (std::vector<std::string>{"a.mai", "b.mai", "c.mai"})) << "still open after one close";
  EXPECT_EQ(StoreFolder_Close(), 1u);
  EXPECT_EQ(CachedRecordCount(), 0u);
  EXPECT_EQ(StoreFolder_FindFirstItem(), 0u);
  EXPECT_EQ(Get("PR_SUBJECT"), "<0>") << "no open index";
  EXPECT_EQ(StoreFolder_Close(), 1u) << "a close without an open does nothing";

  EXPECT_EQ(Open(200), 2u) << "mode 200 loads nothing";
  EXPECT_EQ(StoreFolder_FindFirstItem(), 0u);
  EXPECT_EQ(Open(), 2u);
  StoreFolder_FindClose();
  EXPECT_EQ(CachedRecordCount(), 0u) << "a find-close lets go of every nested open";
  EXPECT_EQ(StoreFolder_Open(nullptr, "bob", kInbox, 0, 1), 0u);
  EXPECT_EQ(StoreFolder_Open("PO", "bob", "\\NoSuchFolder\\..\\..\\x", 0, 1), 0u);
  EXPECT_EQ(CachedRecordCount(), 0u) << "a failed open leaves nothing cached";
}

TEST_F(ItemAccess, WalkReadsMappedPropertiesAndLocations) {
  ASSERT_EQ(Open(), 1u);
  ASSERT_EQ(StoreFolder_FindFirstItem(), 1u);
  EXPECT_EQ(Get("PR_SUBJECT"), "a.mai");
  EXPECT_EQ(Get("pr_tw_from"), "a@b");
  EXPECT_EQ(Get("tw_mailbox"), "bob");
  EXPECT_EQ(Get("TW_FOLDER"), kInbox);
  EXPECT_EQ(Get("PR_NO_SUCH_NAME"), "<none>");
  void* value = reinterpret_cast<void*>(1);
  uint32_t length = 7;
  EXPECT_EQ(StoreItem_GetProperty("TW_MAILBOX", &value, &length), 2u);
  EXPECT_EQ(length, 4u) << "the length counts the terminating NUL";
  StoreItem_FreeProperty(value);

  EXPECT_EQ(StoreFolder_SelectItem("c.mai"), 1u);
  EXPECT_EQ(Get("PR_SUBJECT"), "c.mai");
  EXPECT_EQ(StoreFolder_SelectItem("zzz"), 0u);
  EXPECT_EQ(StoreFolder_SelectItemByField("SUBJECT", "B.MAI"), 1u);
  EXPECT_EQ(Get("TW_ITEM_ID"), "b.mai");
  EXPECT_EQ(StoreFolder_SelectItemByField_Ex("SUBJECT", "C.MAI", 1), 0u) << "exact comparison";
  EXPECT_EQ(StoreFolder_SelectItemByField_Ex("SUBJECT", "c.mai", 1), 1u);

  EXPECT_EQ(Walk().size(), 3u);
  EXPECT_EQ(StoreFolder_FindNextItem(), 0u) << "after the end";
  EXPECT_EQ(StoreFolder_FindNextItem(), 0u);

  // A walk goes on by UID past items that leave and arrive under it.
  ASSERT_EQ(StoreFolder_FindFirstItem(), 1u);
  ASSERT_EQ(StoreFolder_DeleteItem("b.mai"), 1u);
  ASSERT_EQ(StoreFolder_CreateItem("d.mai"), 1u);
  ASSERT_EQ(StoreFolder_SelectItem("a.mai"), 1u) << "selecting leaves the walk where it was";
  ASSERT_EQ(StoreFolder_FindNextItem(), 1u);
  EXPECT_EQ(Get("TW_ITEM_ID"), "c.mai");
  ASSERT_EQ(StoreFolder_FindNextItem(), 1u);
  EXPECT_EQ(Get("TW_ITEM_ID"), "d.mai");
  EXPECT_EQ(StoreFolder_FindNextItem(), 0u);
}

TEST_F(ItemAccess, SetMarksTheFolderAndSaveWritesTheChangeWithoutStatus) {
  ASSERT_EQ(Open(), 1u);
  std::remove((inbox_.Dir() + "/_CHANGE.DTY").c_str());
  ASSERT_EQ(StoreFolder_SelectItem("b.mai"), 1u);
  EXPECT_EQ(StoreItem_SetProperty("", "PR_TW_FLAGSTATUS", "\\SEEN \\FLAGGED"), 1u);
  EXPECT_EQ(Get("PR_TW_READ"), "1") << "READ follows FLAGSTATUS";
  EXPECT_EQ(StoreItem_SetProperty("", "PR_TW_FLAGSTATUS", "\\FLAGGED"), 1u);
  EXPECT_EQ(Get("PR_TW_READ"), "0");
  EXPECT_TRUE(PathExists(inbox_.Dir() + "/_CHANGE.DTY"));
  EXPECT_EQ(StoreItem_SetProperty("", "PR_NOT_MAPPED", "x"), 0u);
  EXPECT_EQ(StoreItem_SetProperty("../../escape", "PR_SUBJECT", "x"), 0u) << "a hostile ID is never made";

  EXPECT_EQ(StoreFolder_Save(0), 1u);
  const std::string index = ReadFile(inbox_.File("_index.xml"));
  EXPECT_NE(index.find("\\FLAGGED"), std::string::npos);
  EXPECT_EQ(index.find("TW_STATUS"), std::string::npos) << "written-back items lose their status";
  EXPECT_EQ(index.find("escape"), std::string::npos);
  StoreFolder_Close();
  EXPECT_EQ(inbox_.Read()["b.mai"].second, "\\FLAGGED");
}

TEST_F(ItemAccess, CreateDeleteAndCommitStayInsideTheFolder) {
  test::WriteFile(inbox_.Dir() + "/../keep.mai", "outside");
  ASSERT_EQ(Open(), 1u);
  EXPECT_EQ(StoreFolder_CreateItem("b.mai"), 1u) << "an existing item becomes current";
  EXPECT_EQ(Get("PR_SUBJECT"), "b.mai");
  EXPECT_EQ(StoreFolder_CreateItem("new.mai"), 1u);
  EXPECT_EQ(Get("TW_ITEM_ID"), "new.mai");
  EXPECT_EQ(StoreFolder_CreateItem(""), 0u);
  EXPECT_EQ(StoreFolder_CreateItem("..\\keep.mai"), 0u);
  EXPECT_EQ(StoreFolder_DeleteItem("..\\keep.mai"), 0u);
  EXPECT_EQ(StoreFolder_DeleteItem("../keep.mai"), 0u);
  EXPECT_TRUE(PathExists(inbox_.Dir() + "/../keep.mai"));

  EXPECT_EQ(StoreFolder_CommitItem(), 0u) << "the new item has no changes";
  EXPECT_EQ(StoreItem_SetProperty("", "PR_TW_FLAGSTATUS", "\\DRAFT"), 1u);
  EXPECT_EQ(StoreFolder_CommitItem(), 1u);
  EXPECT_EQ(StoreFolder_CommitItem(), 0u) << "written back once";

  EXPECT_EQ(StoreFolder_DeleteItem("a.mai"), 1u);
  EXPECT_FALSE(PathExists(inbox_.File("a.mai")));
  EXPECT_EQ(StoreFolder_DeleteItem("a.mai"), 0u);
  StoreFolder_Save(0);
  StoreFolder_Close();
  const auto listing = inbox_.Read();
  EXPECT_EQ(listing.count("a.mai"), 0u);
  EXPECT_EQ(listing.at("new.mai").second, "\\DRAFT");
}

TEST_F(ItemAccess, AnOpenedItemIsNeverSavedAsTheFolderIndex) {
  std::string debug;
  platform::SetDebugSink([&](const std::string& text) { debug += text; });
  EXPECT_EQ(StoreFolder_OpenItem("PO", "bob", kInbox, "b.mai", 0), 1u);
  EXPECT_EQ(StoreFolder_OpenItem("PO", "bob", kInbox, "b.mai", 0), 2u);
  platform::SetDebugSink({});
  EXPECT_NE(debug.find("StoreFolder_OpenItem::Piggybacking Index\n"), std::string::npos);
  EXPECT_NE(debug.find("StoreFolder_OpenItem::Loading Item from Backend into CurrentFolderItem"), std::string::npos);
  EXPECT_EQ(Get("tw_postoffice"), "PO");

  const std::string before = ReadFile(inbox_.File("_index.xml"));
  EXPECT_EQ(StoreItem_SetProperty("b.mai", "PR_SUBJECT", "changed"), 1u);
  EXPECT_EQ(StoreFolder_Save(0), 1u);
  EXPECT_EQ(Store_Save(0), 1u);
  EXPECT_EQ(ReadFile(inbox_.File("_index.xml")), before);
  StoreFolder_Close();
  EXPECT_EQ(inbox_.Read().size(), 3u);
}

TEST_F(ItemAccess, StoreSaveCommitsEveryCachedFolder) {
  ASSERT_EQ(Open(), 1u);
  ASSERT_EQ(StoreItem_SetProperty("c.mai", "PR_TW_FLAGSTATUS", "\\ANSWERED"), 1u);
  std::thread([] {
    ASSERT_EQ(StoreFolder_Open("PO", "bob", kInbox, 0, 1), 1u) << "own record with affinity on";
    EXPECT_EQ(CachedRecordCount(), 2u);
    EXPECT_EQ(Store_Save(0), 1u);
    StoreFolder_Close();
  }).join();
  EXPECT_EQ(CachedRecordCount(), 1u);
  StoreFolder_Close();
  EXPECT_EQ(inbox_.Read()["c.mai"].second, "\\ANSWERED");
}

// With affinity off every thread holds the one record; each close lowers
// only the caller's own count, so no thread can pull the record away from
// another.
TEST_F(ItemAccess, SharedRecordOutlivesEveryCloseButItsHoldersLast) {
  StoreLibrary_SetAffinity(0);
  ASSERT_EQ(Open(), 1u);
  ASSERT_EQ(StoreFolder_SelectItem("a.mai"), 1u);
  ASSERT_EQ(StoreItem_SetProperty("", "PR_TW_FLAGSTATUS", "\\SEEN"), 1u);
  std::thread([] {
    EXPECT_EQ(StoreFolder_Open("PO", "bob", kInbox, 0, 1), 1u);
    EXPECT_EQ(CachedRecordCount(), 1u) << "the same record";
    EXPECT_EQ(StoreFolder_SelectItem("a.mai"), 1u);
    EXPECT_EQ(Get("PR_TW_FLAGSTATUS"), "\\SEEN") << "the open kept the other thread's unsaved change";
    StoreFolder_Close();
    StoreFolder_Close();
    StoreFolder_Close();
  }).join();
  EXPECT_EQ(CachedRecordCount(), 1u) << "the other thread's closes left this thread's hold";
  EXPECT_EQ(Get("PR_TW_FLAGSTATUS"), "\\SEEN");
  std::thread([] {
    EXPECT_EQ(StoreFolder_Open("PO", "bob", kInbox, 0, 1), 1u);
    // The thread ends holding the record: its hold goes with it.
  }).join();
  EXPECT_EQ(Walk().size(), 3u);
  StoreFolder_Save(0);
  StoreFolder_Close();
  EXPECT_EQ(CachedRecordCount(), 0u);
  EXPECT_EQ(inbox_.Read()["a.mai"].second, "\\SEEN");
}

// Another thread's open loads a shared record again when its file changed;
// the first thread's current item and walk go on over the new items.
TEST_F(ItemAccess, AReloadUnderAnotherHolderMovesItsCurrentItem) {
  StoreLibrary_SetAffinity(0);
  ASSERT_EQ(Open(), 1u);
  ASSERT_EQ(StoreFolder_FindFirstItem(), 1u);
  ASSERT_EQ(StoreFolder_SelectItem("b.mai"), 1u);
  ASSERT_EQ(inbox_.Deliver("d.mai"), 1) << "the index file changes under the record";
  std::thread([] {
    EXPECT_EQ(StoreFolder_Open("PO", "bob", kInbox, 0, 1), 1u);
    EXPECT_EQ(Walk().size(), 4u) << "loaded again";
    StoreFolder_Close();
  }).join();
  EXPECT_EQ(Get("PR_SUBJECT"), "b.mai");
  ASSERT_EQ(StoreFolder_FindNextItem(), 1u);
  EXPECT_EQ(Get("TW_ITEM_ID"), "b.mai") << "the walk goes on after a.mai";
  EXPECT_EQ(Walk().size(), 4u);
}

TEST_F(ItemAccess, AThreadThatReleasesOrEndsGivesItsRecordBack) {
  std::thread([this] {
    ASSERT_EQ(Open(), 1u);
    ASSERT_EQ(Open(), 2u);
    EXPECT_EQ(StoreLibraryThreadRelease(), 1u);
    EXPECT_EQ(CachedRecordCount(), 0u) << "released with every nested open";
    EXPECT_EQ(Open(), 1u) << "and the thread can start again";
  }).join();
  EXPECT_EQ(CachedRecordCount(), 0u) << "a thread that ends holding a folder gives it back";
}

// Direct flag changes keep the folder's index; an open takes it without a
// load, and the last close of an unchanged record keeps it again.
TEST_F(ItemAccess, OpensShareTheIndexesKeptByDirectOperations) {
  ASSERT_EQ(inbox_.Update("a.mai", "+\\SEEN"), 1);
  ASSERT_EQ(inbox_.Update("b.mai", "+\\SEEN"), 1);
  ASSERT_EQ(LoadedIndexStore::Process().Size(), 1u) << "the second change of the folder keeps it";
  ASSERT_EQ(Open(), 1u);
  EXPECT_EQ(LoadedIndexStore::Process().Size(), 0u) << "taken by the open";
  EXPECT_EQ(Walk().size(), 3u);
  StoreFolder_Close();
  EXPECT_EQ(LoadedIndexStore::Process().Size(), 1u) << "kept again";
  test::WriteFile(inbox_.File("_index.xml"), ReadFile(inbox_.File("_index.xml")));
  ASSERT_EQ(Open(), 1u);
  EXPECT_EQ(LoadedIndexStore::Process().Size(), 0u) << "a rewritten file drops the kept index";
  EXPECT_EQ(Walk().size(), 3u);
}

}  // namespace
}  // namespace tw
