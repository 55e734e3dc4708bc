#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "calendar/named_time_zones.h"
#include "calendar/time_zone_offsets.h"
#include "frame/providers.h"
#include "support/local_time.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

using test::LocalTime;

TEST(NamedTimeZonesTest, ZoneValuesInTheWindowsForm) {
  TimeZoneValue pacific;
  ASSERT_TRUE(CAL_TimeZoneOffsetsByTZName("Pacific Standard Time", 2024, pacific));
  EXPECT_EQ(pacific.bias, 480);
  EXPECT_EQ(pacific.standardBias, 0);
  EXPECT_EQ(pacific.daylightBias, -60);
  EXPECT_EQ(pacific.standardDate.month, 11);
  EXPECT_EQ(pacific.standardDate.dayOfWeek, 0);
  EXPECT_EQ(pacific.standardDate.day, 1);
  EXPECT_EQ(pacific.standardDate.hour, 2);
  EXPECT_EQ(pacific.daylightDate.month, 3);
  EXPECT_EQ(pacific.daylightDate.day, 2);

  TimeZoneValue india;
  ASSERT_TRUE(CAL_TimeZoneOffsetsByTZName("India Standard Time", 2024, india));
  EXPECT_EQ(india.bias, -330);
  EXPECT_EQ(india.daylightDate.month, 0);

  TimeZoneValue none;
  EXPECT_FALSE(CAL_TimeZoneOffsetsByTZName("Nowhere Standard Time", 2024, none));
  EXPECT_FALSE(CAL_TimeZoneOffsetsByTZName("Pacific Standard Time", 1600, none));
}

TEST(NamedTimeZonesTest, ARecordFromAValueFollowsTheRegistryForm) {
  TimeZoneValue value;
  value.bias = -60;
  value.daylightBias = -60;
  value.standardDate = {0, 10, 0, 5, 3, 0, 0, 0};
  value.daylightDate = {0, 3, 0, 5, 2, 0, 0, 0};
  const TimeZoneRecord record = RecordFromTimeZoneValue("W. Europe Standard Time", value);
  EXPECT_EQ(record.standard.offsetFrom, "+0200");
  EXPECT_EQ(record.standard.offsetTo, "+0100");
  EXPECT_EQ(record.daylight.offsetTo, "+0200");
  EXPECT_EQ(VCalendar_GetTZChangeOver(record.standard, 2024)->day, 27);
  EXPECT_EQ(VCalendar_GetApplicableOffsetString(record, LocalTime(2024, 7, 1, 12)), "+0200");

  value.daylightDate = {};
  const TimeZoneRecord fixed = RecordFromTimeZoneValue("Fixed", value);
  EXPECT_EQ(fixed.daylight.offsetTo, "");
  EXPECT_EQ(VCalendar_GetApplicableOffsetString(fixed, LocalTime(2024, 7, 1, 12)), "+0100");

  value.bias = INT32_MIN;  // hostile values stay within a day
  EXPECT_EQ(RecordFromTimeZoneValue("Wild", value).standard.offsetTo, "+2359");
}

TEST(NamedTimeZonesTest, NamedZonesFollowTheRulesOfEachYear) {
  const auto eastern = TimeZoneFromName("Eastern Standard Time");
  ASSERT_TRUE(eastern);
  EXPECT_EQ(eastern->name, "Eastern Standard Time");
  EXPECT_EQ(eastern->systemZone, "America/New_York");
  // 20 March: standard time under the rules before 2007, daylight after.
  EXPECT_EQ(VCalendar_GetApplicableOffsetString(*eastern, LocalTime(2006, 3, 20, 12)), "-0500");
  EXPECT_EQ(VCalendar_GetApplicableOffsetString(*eastern, LocalTime(2007, 3, 20, 12)), "-0400");
  EXPECT_EQ(VCalendar_GetApplicableOffsetString(*eastern, LocalTime(2055, 3, 20, 12)), "-0400");
  const auto mexico = TimeZoneFromName("Central Standard Time (Mexico)");
  ASSERT_TRUE(mexico);
  EXPECT_EQ(VCalendar_GetApplicableOffsetString(*mexico, LocalTime(2022, 7, 1, 12)), "-0500");
  EXPECT_EQ(VCalendar_GetApplicableOffsetString(*mexico, LocalTime(2024, 7, 1, 12)), "-0600");
  EXPECT_EQ(VCAL_ApplyTimeZoneSection("20240701T120000", *TimeZoneFromName("Europe/Berlin")),
            "20240701T120000+0200");
  EXPECT_FALSE(TimeZoneFromName("Nowhere Standard Time"));
  EXPECT_FALSE(TimeZoneFromName(""));
  // Built once per zone and year.
  EXPECT_EQ(NamedTimeZoneForYear("America/New_York", 2031), NamedTimeZoneForYear("America/New_York", 2031));
  EXPECT_EQ(NamedTimeZoneForYear("Nowhere/City", 2031), nullptr);
}

// Services convert dates on many threads at once: each must get the
// offsets one thread alone gets while the cache fills around it.
TEST(NamedTimeZonesTest, ThreadsShareTheCacheAndGetTheirOwnAnswers) {
  const std::vector<std::string> names = {"Eastern Standard Time", "AUS Eastern Standard Time", "India Standard Time",
                                          "Europe/Berlin", "Central Standard Time (Mexico)"};
  auto offsets = [&](size_t first) {
    std::vector<std::string> seen;
    for (size_t k = 0; k < names.size(); ++k) {
      const auto zone = TimeZoneFromName(names[(first + k) % names.size()]);
      for (int year = 2000; year <= 2060; year += 3) {
        for (int month : {1, 4, 7, 10})
          seen.push_back(zone ? VCalendar_GetApplicableOffsetString(*zone, LocalTime(year, month, 15, 12)) : "?");
      }
    }
    return seen;
  };
  std::vector<std::vector<std::string>> results(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < results.size(); ++t) threads.emplace_back([&, t] { results[t] = offsets(t); });
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < results.size(); ++t) {
    std::vector<std::string> alone = offsets(t);
    EXPECT_EQ(results[t], alone) << "thread " << t;
  }
}

class MailboxTimeZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UnloadProviders();
    ASSERT_TRUE(EnsureOptionProvider());
  }
  void TearDown() override { UnloadProviders(); }
  void SetZone(const std::string& name) {
    ASSERT_TRUE(SetStoreOption(kOptionScopeMailbox, MailboxOptionObject("PO", "bob"), "TimeZone", name));
  }
  test::MailRoot mail_{"", "/POSTOFFICES"};
};

TEST_F(MailboxTimeZoneTest, TheOptionNamesTheZone) {
  EXPECT_FALSE(VCAL_GetMailboxTimeZone("PO", "bob"));
  SetZone("Pacific Standard Time");
  const auto zone = VCAL_GetMailboxTimeZone("PO", "bob");
  ASSERT_TRUE(zone);
  EXPECT_EQ(zone->name, "Pacific Standard Time");
  EXPECT_EQ(VCAL_ApplyTimeZoneSection("20240115T090000", *zone), "20240115T090000-0800");
  SetZone("Asia/Kolkata");
  EXPECT_EQ(VCAL_ApplyTimeZoneSection("20240115T090000", *VCAL_GetMailboxTimeZone("PO", "bob")),
            "20240115T090000+0530");
  SetZone("Mars Standard Time");
  EXPECT_FALSE(VCAL_GetMailboxTimeZone("PO", "bob"));
  EXPECT_FALSE(VCAL_GetMailboxTimeZone("PO", "alice"));
}

TEST_F(MailboxTimeZoneTest, AnEventTakesItsBlockThenItsTzidThenTheMailbox) {
  SetZone("Tokyo Standard Time");
  const std::string block =
      "BEGIN:VTIMEZONE\nTZID:Custom\nBEGIN:STANDARD\nTZOFFSETTO:+0300\nEND:STANDARD\nEND:VTIMEZONE\n";
  EXPECT_EQ(TimeZoneForEvent(block, "Custom", "PO", "bob")->standard.offsetTo, "+0300");
  EXPECT_EQ(TimeZoneForEvent(block, "\"America/Chicago\"", "PO", "bob")->systemZone, "America/Chicago");
  EXPECT_EQ(TimeZoneForEvent(block, "W. Europe Standard Time", "PO", "bob")->systemZone, "Europe/Berlin");
  EXPECT_EQ(TimeZoneForEvent(block, "Somewhere Else", "PO", "bob")->name, "Tokyo Standard Time");
  EXPECT_EQ(TimeZoneForEvent(block, "", "PO", "bob")->name, "Tokyo Standard Time");
}

}  // namespace
}  // namespace tw
