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

// A rule as "standard minutes", then "/daylight minutes" and each change
// as month.week.weekday@seconds when it has daylight time; "bad" when it
// does not read.
std::string Rule(std::string_view text) {
  const auto rule = ReadPosixZoneRule(text);
  if (!rule) return "bad";
  std::string out = std::to_string(rule->standardMinutes);
  if (!rule->hasDaylight) return out;
  for (const PosixRuleDate& d : {rule->toDaylight, rule->toStandard})
    out += " " + std::to_string(d.month) + "." + std::to_string(d.week) + "." + std::to_string(d.weekday) + "@" +
           std::to_string(d.seconds);
  return out + " /" + std::to_string(rule->daylightMinutes);
}

TEST(PosixZoneRuleTest, ReadsTheFinalRuleForms) {
  const std::pair<const char*, const char*> cases[] = {
      {"EST5EDT,M3.2.0,M11.1.0", "-300 3.2.0@7200 11.1.0@7200 /-240"},
      {"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", "-120 3.5.0@-3600 10.5.0@0 /-60"},
      {"IST-5:30", "330"},
      {"<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", "630 10.1.0@7200 4.1.0@7200 /660"},
      // The day-of-year forms, no rule and a bad month read as no daylight time.
      {"XXX3YYY,J60,J300", "-180"},
      {"EST5EDT", "-300"},
      {"EST5EDT,M13.1.0,M11.1.0", "-300"},
      {"", "bad"}, {"E5", "bad"}, {"EST", "bad"}, {"EST999", "bad"}, {"<+01", "bad"}, {"EST5:99", "bad"},
  };
  for (const auto& [text, rule] : cases) EXPECT_EQ(Rule(text), rule) << text;
}

TEST(PosixZoneRuleTest, RuleDays) {
  EXPECT_EQ(PosixRuleDay({3, 2, 0, 7200}, 2024), 10);
  EXPECT_EQ(PosixRuleDay({3, 5, 0, 7200}, 2024), 31);
  EXPECT_EQ(PosixRuleDay({2, 5, 4, 7200}, 2024), 29);
  EXPECT_EQ(PosixRuleDay({2, 5, 4, 7200}, 2023), 23);
}

// A year's rules as "standard/daylight minutes, standard date, daylight
// date", each date month.week.weekday@hour; "none" when there are none.
std::string Rules(std::string_view zone, int year) {
  const auto rules = ZoneYearRulesFromSystem(zone, year);
  if (!rules) return "none";
  const auto date = [](const ZoneChangeDate& d) {
    return std::to_string(d.month) + "." + std::to_string(d.week) + "." + std::to_string(d.dayOfWeek) + "@" +
           std::to_string(d.hour);
  };
  return std::to_string(rules->standardMinutes) + "/" + std::to_string(rules->daylightMinutes) + " " +
         date(rules->standardDate) + " " + date(rules->daylightDate);
}

TEST(ZoneRulesTest, EachYearHasItsOwnChangeOvers) {
  const struct {
    const char* zone;
    int year;
    const char* rules;
  } cases[] = {
      // Standard time from the daylight clock's 02:00.
      {"America/New_York", 2006, "-300/-240 10.5.0@2 4.1.0@2"},
      {"America/New_York", 2007, "-300/-240 11.1.0@2 3.2.0@2"},
      // Past the file's listed transitions, the final rule.
      {"America/New_York", 2050, "-300/-240 11.1.0@2 3.2.0@2"},
      // Daylight time ended after 2022.
      {"America/Mexico_City", 2022, "-360/-300 10.5.0@2 4.1.0@2"},
      {"America/Mexico_City", 2023, "-360/-360 0.0.0@0 0.0.0@0"},
      {"Asia/Kolkata", 2040, "330/330 0.0.0@0 0.0.0@0"},
      // From +03 to +04 for good on 27 March 2011: the year starts (Saturday
      // 1 January 00:00) with the other section.
      {"Europe/Moscow", 2011, "240/180 3.4.0@2 1.1.6@0"},
      {"Nowhere/City", 2020, "none"},
      {"Europe/Berlin", 0, "none"},
      {"Europe/Berlin", 10000, "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(Rules(c.zone, c.year), c.rules) << c.zone << " " << c.year;
}

}  // namespace
}  // namespace tw::platform
