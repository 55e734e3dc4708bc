#include <gtest/gtest.h>

#include "frame/settings.h"
#include "index/locking/block_settings.h"
#include "index/locking/calendar_block.h"
#include "support/test_support.h"

namespace tw {
namespace {

class IndexBlockCalendar : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetBlockSettingsCache();
    ResetCalendarBlockSeen();
    StoreSettings settings;
    settings.blockFileBase = dir_.path();
    SetSettings(settings);
  }
  void TearDown() override {
    SetSettings({});
    ResetCalendarBlockSeen();
  }
  test::ScratchDir dir_;
  test::FastSleep sleep_;
  test::ScopedRegistry registry_{test::RegistryKey("Providers") + test::DwordValue("Write Wait Timeout", 3) +
                                 test::DwordValue("UnBlock Timeout", 2) + test::DwordValue("Read Wait Timeout", 2)};
};

TEST_F(IndexBlockCalendar, CreateWaitsThenBreaksAndReadersBreakStaleBlocks) {
  const std::string file = dir_ / "alice.BLK";
  EXPECT_FALSE(CalendarBlockExists("alice"));
  ASSERT_EQ(CreateCalendarBlock("alice"), 1u);
  EXPECT_TRUE(test::PathExists(file));
  EXPECT_EQ(DeleteCalendarBlock("alice"), 1u);
  EXPECT_EQ(test::FastSleep::Calls(), 0u);

  // A block left behind that names no owner: the writer waits past "Write
  // Wait Timeout", then breaks it and takes it.
  test::WriteFile(file, "");
  ASSERT_EQ(CreateCalendarBlock("alice"), 1u);
  EXPECT_EQ(test::FastSleep::Calls(), 4u);
  EXPECT_TRUE(CalendarBlockExists("alice"));

  // A reader breaks such a block once more than "Read Wait Timeout" seconds
  // passed.
  test::WriteFile(file, "");
  WaitWhileCalendarBlocked("alice");
  EXPECT_FALSE(test::PathExists(file));
  EXPECT_EQ(test::FastSleep::Calls(), 7u);
  EXPECT_TRUE(CalendarBlockExists("alice")) << "once a block was seen, every later answer is yes";

  EXPECT_EQ(DeleteCalendarBlock("alice"), 0u);
  EXPECT_EQ(CreateCalendarBlock("../escape"), 0u);
  EXPECT_FALSE(test::PathExists(dir_.path() + "/../escape.BLK"));
}

}  // namespace
}  // namespace tw
