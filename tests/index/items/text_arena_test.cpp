#include "index/items/text_arena.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tw
