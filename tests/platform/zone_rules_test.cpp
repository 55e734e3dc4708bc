#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix_zone_rule.h"
#include "platform/windows_zones.h"
#include "platform/zone_rules.h"

namespace tw::platform {
namespace {

TEST(WindowsZonesTest, WindowsNamesMapToSystemZones) {
  EXPECT_EQ(SystemZoneIdFromName("Pacific Standard Time"), "America/Los_Angeles");
  EXPECT_EQ(SystemZoneIdFromName("W. Europe Standard Time"), "Europe/Berlin");
  EXPECT_EQ(SystemZoneIdFromName("Central Standard Time (Mexico)"), "America/Mexico_City");
  // ICU answers old ids; the system has them or an equivalent.
  EXPECT_TRUE(SystemZoneExists(SystemZoneIdFromName("India Standard Time")));
  EXPECT_TRUE(SystemZoneExists(SystemZoneIdFromName("FLE Standard Time")));
  // IANA ids are taken as they are.
  EXPECT_EQ(SystemZoneIdFromName("Europe/Berlin"), "Europe/Berlin");
  EXPECT_EQ(SystemZoneIdFromName("UTC"), "UTC");
}

TEST(WindowsZonesTest, UnknownAndHostileNamesAreUnknown) {
  for (const std::string& name : std::vector<std::string>{"", "Nowhere Standard Time", "../../etc/passwd",
                                 "posix/Europe/Berlin", std::string(300, 'A'), std::string("Europe/Berlin\0x", 15),
                                 std::string("\xff\xfe", 2)})
    EXPECT_EQ(SystemZoneIdFromName(name), "") << name;
}

TEST(PosixZoneRuleTest, ReadsTheFinalRuleForms) {
  const auto us = ReadPosixZoneRule("EST5EDT,M3.2.0,M11.1.0");
  ASSERT_TRUE(us);
  EXPECT_EQ(us->standardMinutes, -300);
  EXPECT_EQ(us->daylightMinutes, -240);
  EXPECT_TRUE(us->hasDaylight);
  EXPECT_EQ(us->toDaylight.month, 3);
  EXPECT_EQ(us->toDaylight.week, 2);
  EXPECT_EQ(us->toDaylight.seconds, 7200);

  const auto nuuk = ReadPosixZoneRule("<-02>2<-01>,M3.5.0/-1,M10.5.0/0");
  ASSERT_TRUE(nuuk);
  EXPECT_EQ(nuuk->standardMinutes, -120);
  EXPECT_EQ(nuuk->toDaylight.seconds, -3600);
  EXPECT_EQ(nuuk->toStandard.seconds, 0);

  const auto india = ReadPosixZoneRule("IST-5:30");
  ASSERT_TRUE(india);
  EXPECT_EQ(india->standardMinutes, 330);
  EXPECT_FALSE(india->hasDaylight);

  const auto lordHowe = ReadPosixZoneRule("<+1030>-10:30<+11>-11,M10.1.0,M4.1.0");
  ASSERT_TRUE(lordHowe);
  EXPECT_EQ(lordHowe->daylightMinutes, 660);

  // The day-of-year forms read as no daylight time.
  EXPECT_FALSE(ReadPosixZoneRule("XXX3YYY,J60,J300")->hasDaylight);
  EXPECT_FALSE(ReadPosixZoneRule("EST5EDT")->hasDaylight);
  for (const char* bad : {"", "E5", "EST", "EST999", "<+01", "EST5:99"})
    EXPECT_FALSE(ReadPosixZoneRule(bad)) << bad;
  EXPECT_FALSE(ReadPosixZoneRule("EST5EDT,M13.1.0,M11.1.0")->hasDaylight);
}

TEST(PosixZoneRuleTest, RuleDays) {
  EXPECT_EQ(PosixRuleDay({3, 2, 0, 7200}, 2024), 10);
  EXPECT_EQ(PosixRuleDay({3, 5, 0, 7200}, 2024), 31);
  EXPECT_EQ(PosixRuleDay({2, 5, 4, 7200}, 2024), 29);
  EXPECT_EQ(PosixRuleDay({2, 5, 4, 7200}, 2023), 23);
}

TEST(ZoneRulesTest, EachYearHasItsOwnChangeOvers) {
  const auto y2006 = ZoneYearRulesFromSystem("America/New_York", 2006);
  ASSERT_TRUE(y2006);
  EXPECT_EQ(y2006->standardMinutes, -300);
  EXPECT_EQ(y2006->daylightMinutes, -240);
  EXPECT_EQ(y2006->daylightDate.month, 4);
  EXPECT_EQ(y2006->daylightDate.week, 1);
  EXPECT_EQ(y2006->standardDate.month, 10);
  EXPECT_EQ(y2006->standardDate.week, 5);
  EXPECT_EQ(y2006->standardDate.hour, 2);  // the daylight clock's 02:00
  const auto y2007 = ZoneYearRulesFromSystem("America/New_York", 2007);
  EXPECT_EQ(y2007->daylightDate.month, 3);
  EXPECT_EQ(y2007->daylightDate.week, 2);
  EXPECT_EQ(y2007->standardDate.month, 11);
  // Past the file's listed transitions, the final rule.
  const auto y2050 = ZoneYearRulesFromSystem("America/New_York", 2050);
  EXPECT_EQ(y2050->daylightDate.month, 3);
  EXPECT_EQ(y2050->daylightDate.week, 2);
  EXPECT_EQ(y2050->daylightDate.dayOfWeek, 0);
}

TEST(ZoneRulesTest, ZonesWithoutOrEndingDaylightTime) {
  const auto mexico2023 = ZoneYearRulesFromSystem("America/Mexico_City", 2023);
  ASSERT_TRUE(mexico2023);
  EXPECT_EQ(mexico2023->standardMinutes, -360);
  EXPECT_EQ(mexico2023->daylightDate.month, 0);
  EXPECT_EQ(mexico2023->standardDate.month, 0);
  EXPECT_EQ(ZoneYearRulesFromSystem("America/Mexico_City", 2022)->daylightDate.month, 4);
  EXPECT_EQ(ZoneYearRulesFromSystem("Asia/Kolkata", 2040)->standardMinutes, 330);
  EXPECT_FALSE(ZoneYearRulesFromSystem("Nowhere/City", 2020));
  EXPECT_FALSE(ZoneYearRulesFromSystem("Europe/Berlin", 0));
  EXPECT_FALSE(ZoneYearRulesFromSystem("Europe/Berlin", 10000));
}

TEST(ZoneRulesTest, AYearWithOneChangeStartsWithTheOtherSection) {
  // Moscow moved from +03 to +04 for good on 27 March 2011.
  const auto moscow = ZoneYearRulesFromSystem("Europe/Moscow", 2011);
  ASSERT_TRUE(moscow);
  EXPECT_EQ(moscow->daylightDate.month, 1);
  EXPECT_EQ(moscow->daylightDate.week, 1);
  EXPECT_EQ(moscow->daylightDate.hour, 0);
  EXPECT_EQ(moscow->daylightMinutes, 180);
  EXPECT_EQ(moscow->standardMinutes, 240);
  EXPECT_EQ(moscow->standardDate.month, 3);
}

}  // namespace
}  // namespace tw::platform
