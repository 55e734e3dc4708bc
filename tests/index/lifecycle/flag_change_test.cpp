#include <gtest/gtest.h>

#include <string>

#include "index/lifecycle/flag_change.h"

namespace tw {
namespace {

TEST(FlagChangeTest, AddsRemovesAndReplacesWithCounters) {
  const struct {
    const char* flags;
    const char* change;
    const char* expected;
    bool changed;
    int seen, flagged, answered;
  } cases[] = {
      {"\\SEEN \\FLAGGED", "-\\SEEN", "\\FLAGGED", true, -1, 0, 0},
      {"\\SEEN", "+\\SEEN", "\\SEEN", false, 0, 0, 0},
      {"\\seen", "+SEEN", "\\seen", false, 0, 0, 0},
      {"", "+FLAGGED", "\\FLAGGED", true, 0, 1, 0},
      {"\\RECENT", "\\ANSWERED \\SEEN", "\\ANSWERED \\SEEN", true, 1, 0, 1},
      {"\\SEEN \\SEEN \\RECENT", "-SEEN", "\\RECENT", true, -2, 0, 0},
      {"\\SEEN", "-\\FLAGGED", "\\SEEN", false, 0, 0, 0},
      {"\\SEEN", "", "\\SEEN", false, 0, 0, 0},
      {"\\SEEN", "  +\\FLAGGED   -\\SEEN ", "\\FLAGGED", true, -1, 1, 0},
      {"\\SEEN", "+ -", "\\SEEN", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.flags) + " with " + c.change);
    std::string flags = c.flags;
    FolderDetails counters;
    counters.counters[FolderDetails::kSeen] = 10;
    EXPECT_EQ(ApplyFlagChange(flags, c.change, &counters), c.changed);
    EXPECT_EQ(flags, c.expected);
    EXPECT_EQ(static_cast<int>(counters.counters[FolderDetails::kSeen]), 10 + c.seen);
    EXPECT_EQ(static_cast<int>(counters.counters[FolderDetails::kFlagged]), c.flagged);
    EXPECT_EQ(static_cast<int>(counters.counters[FolderDetails::kAnswered]), c.answered);
  }
}

TEST(FlagChangeTest, ListsDropEmptyIdsAndStopAtAThousand) {
  EXPECT_EQ(SplitIdList(",a,,b,"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitPositionalList("\\SEEN,,x"), (std::vector<std::string>{"\\SEEN", "", "x"}));
  std::string many;
  for (int i = 0; i < 1500; ++i) many += std::to_string(i) + ",";
  EXPECT_EQ(SplitIdList(many).size(), 1000u);
  EXPECT_EQ(SplitIdList(many).back(), "999");
}

}  // namespace
}  // namespace tw
