#include "index/items/text_arena.h"

#include <gtest/gtest.h>

#include "index/items/index_item_property_container.h"
#include "index/items/sorted_store_index.h"

#include <string>
#include <vector>

namespace tw {
namespace {

// Views handed out stay valid and unchanged while later texts fill new
// blocks, from the heap and mapped ones alike, and a text larger than any
// block gets one of its own.
TEST(TextArenaTest, KeptTextsStayPutAcrossBlocks) {
  TextArena arena;
  std::vector<std::pair<std::string, std::string_view>> kept;
  for (int i = 0; i < 200000; ++i) {
    std::string text = "value-" + std::to_string(i) + std::string(static_cast<size_t>(i % 97), 'x');
    const std::string_view view = arena.Keep(text);
    kept.emplace_back(std::move(text), view);
  }
  const std::string huge(9 * 1024 * 1024, 'h');
  const std::string_view hugeView = arena.Keep(huge);
  EXPECT_TRUE(arena.Keep("").empty());
  size_t total = huge.size();
  for (const auto& [text, view] : kept) {
    ASSERT_EQ(view, text);
    total += text.size();
  }
  EXPECT_EQ(hugeView, huge);
  EXPECT_GE(arena.BytesHeld(), total);
  EXPECT_LT(arena.BytesHeld(), total * 2 + 9 * 1024 * 1024);
  arena.Clear();
  EXPECT_EQ(arena.BytesHeld(), 0u);
  EXPECT_EQ(arena.Keep("again"), "again");
}

// A load builds its containers in the index's arena with the slots they
// need: one that later takes a property past them moves its slots to the
// heap, keeps every value, and is freed by delete like any other; removed
// ones stay readable until the index is emptied.
TEST(TextArenaTest, ContainersInTheArenaGrowAndLastUntilTheIndexLetsGo) {
  SORTEDSTOREINDEXTYPE index;
  for (int i = 1; i <= 3; ++i) {
    auto* item = IndexItemPropertyContainer::NewIn(index.loadedText, 2);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(item) % alignof(IndexItemPropertyContainer), 0u);
    item->SetTextView(kKeyId, index.loadedText.Keep("item-" + std::to_string(i) + ".MAI"));
    item->SetNumber(kKeyUid, i);
    ASSERT_TRUE(index.InsertAtEnd(item));
  }
  IndexItemPropertyContainer* second = index.FindByUid(2);
  second->SetText("TEST_ARENA_LATE_NAME", "a value set after the load, in a slot past the arena's");
  EXPECT_EQ(second->GetText("ID"), "item-2.MAI");
  EXPECT_EQ(second->GetText("TEST_ARENA_LATE_NAME"), "a value set after the load, in a slot past the arena's");
  EXPECT_EQ(second->GetNumber(kPropSeq), 2);

  ASSERT_TRUE(index.RemoveById("item-2.MAI"));
  EXPECT_EQ(second->GetText("ID"), "item-2.MAI") << "removed items stay until UnInit";
  EXPECT_EQ(index.FindByUid(3)->GetNumber(kPropSeq), 2);

  auto* refused = IndexItemPropertyContainer::NewIn(index.loadedText, 1);
  refused->SetText(kKeyId, "item-1.MAI");
  EXPECT_FALSE(index.InsertAtEnd(refused));
  delete refused;
  index.UnInit();
  EXPECT_EQ(index.loadedText.BytesHeld(), 0u);
  EXPECT_EQ(index.Count(), 0u);
}

}  // namespace
}  // namespace tw
