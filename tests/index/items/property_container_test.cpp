#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "index/items/index_item_property_container.h"
#include "index/items/property_registry.h"

namespace tw {
namespace {

// Value rules of both kinds, over the lengths the slot word handles
// differently (inline up to 7 bytes, heap beyond) and hostile bytes.
TEST(IndexPropertyContainer, ValueRules) {
  struct Case {
    const char* name;
    std::string text;  // set as text unless `number` is used
    bool useNumber;
    int32_t number;
    std::string wantText;
    int32_t wantNumber;
  };
  const std::string withNul("ab\0\xff" "cdefgh", 10);
  const Case cases[] = {
      {"SIZE", "", true, 1234, "1234", 1234},
      {"SIZE", "", true, -2147483647 - 1, "-2147483648", INT_MIN},
      // A UID is plain digits within 1..4294967294 or none at all.
      {"UID", "12", false, 0, "12", 12},
      {"UID", "3000000000", false, 0, "3000000000", -1294967296},
      {"UID", "12ab", false, 0, "0", 0},
      {"UID", "abc", false, 0, "0", 0},
      {"UID", "-5", false, 0, "0", 0},
      {"UID", "4294967295", false, 0, "0", 0},
      {"UID", "4294967296", false, 0, "0", 0},
      {"UID", "012", false, 0, "0", 0},
      {"SUBJECT", " -42xyz", false, 0, " -42xyz", -42},
      {"SUBJECT", "99999999999", false, 0, "99999999999", INT_MAX},
      {"SUBJECT", "", false, 0, "", 0},
      {"SUBJECT", "1234567", false, 0, "1234567", 1234567},
      {"SUBJECT", "12345678", false, 0, "12345678", 12345678},
      {"SUBJECT", withNul, false, 0, withNul, 0},
      {"SUBJECT", std::string(70000, 'q'), false, 0, std::string(70000, 'q'), 0},
  };
  for (const Case& c : cases) {
    IndexItemPropertyContainer item;
    if (c.useNumber) item.SetNumber(c.name, c.number);
    else item.SetText(c.name, c.text);
    EXPECT_TRUE(item.Has(c.name)) << c.name << " " << c.wantText.size();
    EXPECT_EQ(item.GetText(c.name), c.wantText) << c.name;
    EXPECT_EQ(item.GetNumber(c.name), c.wantNumber) << c.name << " " << c.wantText.substr(0, 20);
  }
}

TEST(IndexPropertyContainer, AbsentClearedAndIntegerSlotsInsideTheArray) {
  IndexItemPropertyContainer item;
  EXPECT_FALSE(item.Has("UID"));
  EXPECT_EQ(item.GetText("FROM"), "");
  EXPECT_EQ(item.GetNumber("FROM"), 0);
  item.SetText("FROM", "someone@example.com");
  EXPECT_TRUE(item.Has("UID")) << "an Integer slot inside the array counts as present";
  EXPECT_FALSE(item.Has("ID"));
  item.Clear("FROM");
  EXPECT_FALSE(item.Has("FROM"));
  EXPECT_EQ(item.GetText("FROM"), "");
}

}  // namespace
}  // namespace tw
