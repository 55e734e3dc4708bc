#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/exception.h"
#include "index/items/index_item.h"
#include "index/items/sorted_store_index.h"
#include "support/test_support.h"

namespace tw {
namespace {

IndexItemPropertyContainer* Item(const std::string& id, int32_t uid = 0, const std::string& flags = "") {
  auto* c = new IndexItemPropertyContainer();
  c->SetText("ID", id);
  if (uid != 0) c->SetNumber("UID", uid);
  if (!flags.empty()) c->SetText("FLAGSTATUS", flags);
  return c;
}

// Inserts and hands ownership to the index, or frees the refused item.
bool Add(SORTEDSTOREINDEXTYPE& index, IndexItemPropertyContainer* c) {
  IndexItem handle(c, true);
  if (!index.InsertAtEnd(c)) return false;
  handle.Disown();
  return true;
}

TEST(IndexSortedStore, UidAssignmentAndLastUid) {
  SORTEDSTOREINDEXTYPE index;
  struct Step { const char* id; int32_t uid; uint32_t wantUid; uint32_t wantLastUid; };
  for (const Step& s : {Step{"a.MAI", 0, 1, 1}, Step{"b.MAI", 500, 500, 500}, Step{"c.MAI", 0, 501, 501},
                        Step{"d.MAI", 200, 200, 501}}) {
    ASSERT_TRUE(Add(index, Item(s.id, s.uid))) << s.id;
    ASSERT_NE(index.FindById(s.id), nullptr);
    EXPECT_EQ(index.FindById(s.id)->GetNumber("UID"), static_cast<int32_t>(s.wantUid)) << s.id;
    EXPECT_EQ(index.FindByUid(s.wantUid), index.FindById(s.id));
    EXPECT_EQ(index.LastUid(), s.wantLastUid) << s.id;
  }
  EXPECT_EQ(index.FindById("A.MAI"), nullptr) << "IDs are case-sensitive";
  EXPECT_EQ(index.Sequence().back()->GetText("SEQ"), "4");
  EXPECT_EQ(index.LowestUid(), 1u);
}

TEST(IndexSortedStore, DuplicateIdOrUidIsRefusedAndLeavesBothOrders) {
  SORTEDSTOREINDEXTYPE index;
  ASSERT_TRUE(Add(index, Item("a.MAI", 5)));
  EXPECT_FALSE(Add(index, Item("a.MAI")));
  EXPECT_EQ(index.Count(), 1u);
  EXPECT_FALSE(Add(index, Item("b.MAI", 5)));
  EXPECT_EQ(index.Count(), 1u);
  EXPECT_EQ(index.FindById("b.MAI"), nullptr) << "the ID must be taken back out";
  EXPECT_EQ(index.FindByUid(5)->GetText("ID"), "a.MAI");
  EXPECT_TRUE(Add(index, Item("b.MAI", 6))) << "the refused ID is free again";
  EXPECT_EQ(index.Sequence().size(), 2u);
}

TEST(IndexSortedStore, RemoveRenumbersDenselyAndKeepsRemovedItems) {
  SORTEDSTOREINDEXTYPE index;
  for (const char* id : {"1.MAI", "2.MAI", "3.MAI"}) ASSERT_TRUE(Add(index, Item(id)));
  IndexItemPropertyContainer* second = index.FindById("2.MAI");
  index.SetLowestUid(2);
  EXPECT_TRUE(index.RemoveById("2.MAI"));
  EXPECT_FALSE(index.RemoveById("2.MAI"));
  EXPECT_EQ(index.LowestUid(), 2u) << "only a save forgets the changes below and above a removed item";
  ASSERT_EQ(index.Sequence().size(), 2u);
  EXPECT_EQ(index.Sequence()[0]->GetText("ID"), "1.MAI");
  EXPECT_EQ(index.Sequence()[0]->GetText("SEQ"), "1");
  EXPECT_EQ(index.Sequence()[1]->GetText("ID"), "3.MAI");
  EXPECT_EQ(index.Sequence()[1]->GetText("SEQ"), "2");
  EXPECT_EQ(index.FindById("2.MAI"), nullptr);
  EXPECT_EQ(index.FindByUid(2), nullptr);
  ASSERT_EQ(index.Removed().size(), 1u);
  EXPECT_EQ(second->GetText("ID"), "2.MAI") << "a removed item stays readable until UnInit";

  index.UnInit();
  EXPECT_EQ(index.Count(), 0u);
  EXPECT_TRUE(index.Sequence().empty());
  EXPECT_TRUE(index.Removed().empty());
  EXPECT_EQ(index.LastUid(), 0u);
}

TEST(IndexSortedStore, ChangedKeysAreRefiled) {
  SORTEDSTOREINDEXTYPE index;
  ASSERT_TRUE(Add(index, Item("old.MAI", 4)));
  ASSERT_TRUE(Add(index, Item("other.MAI", 8)));
  index.FindById("old.MAI")->SetText("ID", "new-name-longer-than-inline.MAI");
  EXPECT_EQ(index.FindById("old.MAI"), nullptr);
  ASSERT_NE(index.FindById("new-name-longer-than-inline.MAI"), nullptr);
  index.FindByUid(4)->SetNumber("UID", 40);
  EXPECT_EQ(index.FindByUid(4), nullptr);
  EXPECT_EQ(index.FindByUid(40), index.FindById("new-name-longer-than-inline.MAI"));
}

TEST(IndexSortedStore, FolderDetailsCountFlagsInUidOrder) {
  SORTEDSTOREINDEXTYPE index;
  // Inserted out of UID order: the first \SEEN in UID order is the first item.
  ASSERT_TRUE(Add(index, Item("c.MAI", 30, "\\seen")));
  ASSERT_TRUE(Add(index, Item("a.MAI", 10, "\\SEEN \\ANSWERED")));
  ASSERT_TRUE(Add(index, Item("b.MAI", 20, "\\RECENT")));
  const FolderDetails d = index.GetFolderDetails();
  const uint32_t want[FolderDetails::kCount] = {0, 0, 0, 1, 0, 1, 3, 2, 1, 0, 0, 30, 0};
  for (int i = 0; i < FolderDetails::kCount; ++i) EXPECT_EQ(d.counters[i], want[i]) << "counter " << i;
}

class CountingLoader : public IndexLoader {
 public:
  int32_t Load(SORTEDSTOREINDEXTYPE&, int32_t required) override {
    asked.push_back(required);
    if (fail) throw Exception("Out of memory", "Common\\Array", 540);
    return reach;
  }
  std::vector<int32_t> asked;
  int32_t reach = 3;
  bool fail = false;
};

TEST(IndexSortedStore, GetFolderDetailsReportsAndRethrows) {
  test::CapturedEvents events;
  SORTEDSTOREINDEXTYPE index;
  CountingLoader loader;
  loader.fail = true;
  index.SetLoader(&loader);
  EXPECT_THROW(index.GetFolderDetails(), Exception);
  const auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text2.rfind("SORTEDSTOREINDEXTYPE::GetFolderDetails handled an exception; session will be "
                                   "dropped.\nThe exception was: Out of memory\nThe exception occurred in : "
                                   "..\\SERVICES\\Library\\LIBStoreIndexType, line ",
                                   0),
            0u)
      << entries[0].text2;
}

// The by-ID order is a hash table that closes the gap a removal leaves by
// moving later entries back: after thousands of inserts, removals, refused
// duplicates and changed IDs in random order, every ID finds exactly the
// item a plain map says it should, short IDs (kept in the slot) and long
// ones alike.
TEST(IndexSortedStore, ByIdStaysExactThroughRemovalsAndChangedIds) {
  SORTEDSTOREINDEXTYPE index;
  std::map<std::string, IndexItemPropertyContainer*> model;
  std::mt19937 random(7);
  auto idOf = [](unsigned n) { return n % 3 == 0 ? std::to_string(n) : "message-" + std::to_string(n) + ".MAI"; };
  for (int round = 0; round < 6000; ++round) {
    const unsigned n = random() % 3000;
    const std::string id = idOf(n);
    switch (random() % 4) {
      case 0:
      case 1: {
        auto* c = Item(id);
        const bool added = Add(index, c);
        EXPECT_EQ(added, model.count(id) == 0) << id;
        if (added) model[id] = c;
        break;
      }
      case 2:
        EXPECT_EQ(index.RemoveById(id), model.erase(id) == 1) << id;
        break;
      default: {
        const auto found = model.find(id);
        const std::string to = idOf(n + 3000 + static_cast<unsigned>(round));
        if (found == model.end() || model.count(to) != 0) break;
        found->second->SetText("ID", to);
        model[to] = found->second;
        model.erase(found);
      }
    }
  }
  ASSERT_EQ(index.Count(), model.size());
  for (unsigned n = 0; n < 3000 + 6000 + 3000; ++n) {
    const auto found = model.find(idOf(n));
    ASSERT_EQ(index.FindLoadedById(idOf(n)), found == model.end() ? nullptr : found->second) << idOf(n);
  }
}

}  // namespace
}  // namespace tw
