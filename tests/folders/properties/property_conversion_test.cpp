#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>

#include "calendar/date_texts.h"
#include "folders/properties/property_conversion.h"
#include "folders/properties/property_map.h"
#include "folders/properties/property_types.h"
#include "platform/files.h"
#include "support/property_values.h"

namespace tw {
namespace {

// One stored text fetched as storage type S and handed out as value type V.
struct Rule {
  std::string stored;
  uint32_t storage, value;
  std::string want;
  uint32_t length;
};

struct Converted {
  std::string value;
  uint32_t length;
};

Converted Convert(const std::string& stored, uint32_t storage, uint32_t value, bool birthday = false) {
  IndexItemPropertyContainer item;
  item.SetText("P", stored);
  std::optional<ValueBlock> block = ReadPropertyValue(item, {"P", value, storage}, birthday);
  return {DescribeValue(block ? block->Data() : nullptr, value), block ? block->Length() : 0};
}

void ExpectRules(std::initializer_list<Rule> rules) {
  for (const Rule& r : rules) {
    const Converted got = Convert(r.stored, r.storage, r.value);
    const std::string label = "\"" + r.stored + "\" " + std::to_string(r.storage) + "->" + std::to_string(r.value);
    EXPECT_EQ(got.value, r.want) << label;
    EXPECT_EQ(got.length, r.length) << label;
  }
}

TEST(PropertyConversion, Texts) {
  const std::string longText(3000, 'x');
  ExpectRules({
      {"Hello", 8, 8, "Hello", 6}, {"Hello", 8, 14, "Hello", 6}, {"", 8, 8, "", 1},
      {"Hello", 14, 14, "Hello", 6}, {"Hello", 8, 1, "Hello", 1024}, {"Hello", 1, 1, "Hello", 1024},
      {"Hello", 1, 8, "Hello", 6}, {"Hello", 2, 2, "Hello", 1024}, {"Hello", 5, 5, "Hello", 1024},
      {longText, 8, 8, longText, 3001}, {longText, 1, 1, longText.substr(0, 1023), 1024},
      {longText, 8, 1, longText.substr(0, 1023), 1024},
      // 2 and 5 only to themselves; 8-bit text to none of the date types.
      {"Hello", 2, 1, kNoValue, 0}, {"Hello", 2, 5, kNoValue, 0}, {"Hello", 5, 8, kNoValue, 0},
      {"Hello", 1, 2, kNoValue, 0}, {"Hello", 1, 3, kNoValue, 0}, {"Hello", 1, 4, kNoValue, 0},
      {"Hello", 1, 5, kNoValue, 0}, {"Hello", 1, 6, kNoValue, 0}, {"0", 8, 3, kNoValue, 0},
      {"Hello", 8, 2, kNoValue, 0}, {"Hello", 8, 6, kNoValue, 0},
  });
  IndexItemPropertyContainer empty;
  EXPECT_FALSE(ReadPropertyValue(empty, {"P", 8, 8})) << "absent";
}

TEST(PropertyConversion, NumbersAndTruthValues) {
  ExpectRules({
      // atol rules.
      {"42abc", 8, 7, "i:42", 4}, {"  -7", 1, 7, "i:-7", 4}, {"x", 1, 7, "i:0", 4},
      {"99999999999", 1, 7, "i:2147483647", 4}, {"-99999999999", 8, 7, "i:-2147483648", 4},
      // strtod rules.
      {"3.5", 1, 9, "d:3.5000", 8}, {" -2.25e1x", 8, 9, "d:-22.5000", 8}, {"+4", 1, 9, "d:4.0000", 8},
      {"+-4", 1, 9, "d:0.0000", 8}, {"abc", 1, 9, "d:0.0000", 8}, {".5", 1, 9, "d:0.5000", 8},
      {"1e-400", 1, 9, "d:0.0000", 8}, {"-0.0000000001e-399", 1, 9, "d:-0.0000", 8}, {"1e400", 1, 9, "d:inf", 8},
      {"-" + std::string(400, '9'), 1, 9, "d:-inf", 8},
      // "TRUE" in any case or exactly "1".
      {"TRUE", 1, 10, "u:1", 4}, {"true", 8, 10, "u:1", 4}, {"1", 1, 10, "u:1", 4}, {"yes", 1, 10, "u:0", 4},
      {"10", 1, 10, "u:0", 4}, {" 1", 1, 10, "u:0", 4}, {"", 1, 10, "u:0", 4},
      {"0x10", 1, 12, "u:16", 4}, {" 0X1f", 8, 12, "u:31", 4}, {"42", 8, 12, "u:42", 4}, {"010", 1, 12, "u:10", 4},
      {"-1", 1, 12, "u:4294967295", 4}, {"4294967296", 1, 12, "u:4294967295", 4}, {"0x", 1, 12, "u:0", 4},
      {"--5", 1, 12, "u:0", 4},
      // From numbers to text.
      {"17", 7, 1, "17", 1024}, {"-5", 7, 8, "-5", 3}, {"5", 7, 7, "i:5", 4}, {"5", 7, 9, kNoValue, 0},
      {"5", 7, 14, kNoValue, 0}, {"3.14159", 9, 1, "      3.14", 1024}, {"0.125", 9, 1, "      0.12", 1024},
      {"-1234567.891", 9, 1, "-1234567.89", 1024}, {"1e20", 9, 1, "100000000000000000000.00", 1024},
      {"2.5", 9, 9, "d:2.5000", 8}, {"2.5", 9, 7, kNoValue, 0},
      {"true", 10, 1, "1", 1024}, {"no", 10, 1, "0", 1024}, {"1", 10, 10, "u:1", 4}, {"1", 10, 7, kNoValue, 0},
  });
}

// The index's texts are the same in every process: a comma locale changes
// neither how a number is read nor how it is written.
TEST(PropertyConversion, NumbersIgnoreTheLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  const Converted text = Convert("3.14159", 9, 1);
  IndexItemPropertyContainer item;
  item.SetText("P", "1234.5");
  std::optional<ValueBlock> number = ReadPropertyValue(item, {"P", 9, 1});
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(text.value, "      3.14");
  ASSERT_TRUE(number);
  double value = 0;
  std::memcpy(&value, number->Data(), sizeof value);
  EXPECT_EQ(value, 1234.5);
}

TEST(PropertyConversion, Dates) {
  const std::string ft2014 = "ft:130384839000000000";  // 2014-03-05T09:05:00Z
  const std::string ft1970 = "ft:116444736000000000";
  ExpectRules({
      {"2014-03-05T09:05:00", 4, 3, ft2014, 8}, {"2014-03-05T09:05:00", 4, 4, "2014-03-05T09:05:00", 1024},
      {"2014-03-05", 4, 3, "ft:130384512000000000", 8}, {"20140305T090500Z", 11, 3, ft2014, 8},
      {"1601-01-01", 4, 3, "ft:0", 8}, {"0", 6, 3, ft1970, 8}, {"1394010300", 6, 3, ft2014, 8},
      {"1394010300", 6, 6, "1394010300", 1024}, {"-11644473600", 6, 3, "ft:0", 8},
      {"130384839000000000", 3, 3, ft2014, 8}, {"130384839000000000", 3, 4, "2014-03-05T09:05:00", 1024},
      {"130384839000000000", 3, 6, "1394010300", 1024}, {"2014-03-05T09:05:00", 3, 6, "1394010300", 1024},
      // No rule, or a text that is not of the type.
      {"2014-03-05T09:05:00", 4, 1, kNoValue, 0}, {"2014-03-05T09:05:00", 4, 2, kNoValue, 0},
      {"2014-03-05T09:05:00", 4, 5, kNoValue, 0}, {"1394010300", 6, 1, kNoValue, 0},
      {"1394010300", 6, 2, kNoValue, 0}, {"1394010300", 6, 4, kNoValue, 0}, {"1394010300", 6, 5, kNoValue, 0},
      {"130384839000000000", 3, 1, kNoValue, 0}, {"130384839000000000", 3, 2, kNoValue, 0},
      {"130384839000000000", 3, 5, kNoValue, 0}, {"not a date", 3, 4, kNoValue, 0},
      {"2014-13-05", 4, 3, kNoValue, 0}, {"1600-12-31", 4, 3, kNoValue, 0}, {"-11644473601", 6, 3, kNoValue, 0},
  });

  // MODIFIEDDATE keeps an MS-DOS date and time.
  const uint32_t dos = platform::FileTimeToDosDateTime(130384839000000000ull);
  const uint64_t dosFileTime = platform::DosDateTimeToFileTime(dos);
  EXPECT_EQ(Convert(std::to_string(dos), 3, 3).value, "ft:" + std::to_string(dosFileTime));
  EXPECT_EQ(Convert(std::to_string(dos), 3, 4).value, IsoTextFromFileTime(dosFileTime));

  // A task's start date of "0" is the first second of 1970.
  const std::optional<PropertyDescriptor> start = FindProperty(kKindTasks, "pr_bnp_startdate");
  ASSERT_TRUE(start);
  IndexItemPropertyContainer task;
  task.SetText("STARTDATE", "0");
  std::optional<ValueBlock> date = ReadPropertyValue(task, *start);
  ASSERT_TRUE(date);
  uint64_t fileTime = 0;
  std::memcpy(&fileTime, date->Data(), sizeof fileTime);
  EXPECT_EQ(IsoTextFromFileTime(fileTime), "1970-01-01T00:00:00");
}

// 2147483647 seconds after 1970 is a birthday's "no date", both ways.
TEST(PropertyConversion, BirthdayNoDate) {
  const uint64_t noBirthday = 137919572470000000ull;
  for (bool birthday : {false, true}) {
    auto stamp = ValueBlock::Allocate(8, 8);
    std::memcpy(stamp->Data(), &noBirthday, 8);
    auto text = ConvertStoredValue(std::move(*stamp), 3, 4, birthday);
    ASSERT_TRUE(text);
    EXPECT_EQ(DescribeValue(text->Data(), 4), birthday ? "" : "2038-01-19T03:14:07");
    EXPECT_EQ(text->Length(), 1024u);
    auto emptyText = ConvertStoredValue(std::move(*ValueBlock::Allocate(1024, 1024)), 4, 3, birthday);
    EXPECT_EQ(DescribeValue(emptyText ? emptyText->Data() : nullptr, 3),
              birthday ? "ft:" + std::to_string(noBirthday) : kNoValue);
    // Any other date is an ordinary date.
    const uint64_t other = noBirthday - 10000000;
    auto otherStamp = ValueBlock::Allocate(8, 8);
    std::memcpy(otherStamp->Data(), &other, 8);
    auto otherText = ConvertStoredValue(std::move(*otherStamp), 3, 4, birthday);
    ASSERT_TRUE(otherText);
    EXPECT_EQ(DescribeValue(otherText->Data(), 4), "2038-01-19T03:14:06");
  }
}

// The UTF-8 of the index as UTF-16 units, length in units with the 0 unit.
TEST(PropertyConversion, WideTexts) {
  struct Case {
    std::string stored;
    uint32_t storage, value;
    std::u16string want;
  };
  const Case cases[] = {
      {"abc", 1, 15, u"abc"},
      {"", 1, 15, u""},
      {"H\xc3\xa9", 8, 16, u"H\u00e9"},
      {"\xe2\x82\xac 5", 1, 15, u"\u20ac 5"},
      {"a\xf0\x9f\x98\x80z", 8, 16, u"a\xD83D\xDE00z"},  // U+1F600: a surrogate pair
      {"\xf4\x8f\xbf\xbf", 16, 16, u"\xDBFF\xDFFF"},       // U+10FFFF
      // Bytes outside a well-formed sequence read as Latin-1, one unit each.
      {"H\xe9", 1, 15, u"H\u00e9"},
      {"\x80x", 1, 15, u"\u0080x"},
      {"\xc0\xaf", 1, 15, u"\u00c0\u00af"},              // overlong "/"
      {"\xe0\x80\xaf", 1, 15, u"\u00e0\u0080\u00af"},    // overlong "/"
      {"\xe2\x82" "A", 1, 15, u"\u00e2\u0082A"},         // cut short
      {"\xed\xa0\x80", 1, 15, u"\u00ed\u00a0\u0080"},    // a surrogate
      {"\xf4\x90\x80\x80", 1, 15, u"\u00f4\u0090\u0080\u0080"},  // above U+10FFFF
      {"\xf0\x9f\x98", 8, 16, u"\u00f0\u009f\u0098"},    // four-byte form cut at the end
      {"\xf5\xff", 1, 15, u"\u00f5\u00ff"},
  };
  for (const Case& c : cases) {
    IndexItemPropertyContainer item;
    item.SetText("P", c.stored);
    std::optional<ValueBlock> block = ReadPropertyValue(item, {"P", c.value, c.storage});
    ASSERT_TRUE(block) << c.stored;
    const size_t units = c.want.size() + 1;
    EXPECT_EQ(block->Length(), units) << c.stored;
    ASSERT_EQ(block->Size(), units * sizeof(char16_t)) << c.stored;
    std::u16string got(c.want.size(), u'\0');
    std::memcpy(got.data(), block->Data(), got.size() * sizeof(char16_t));
    EXPECT_TRUE(got == c.want) << c.stored;
    char16_t last = 1;
    std::memcpy(&last, block->Data() + c.want.size() * sizeof(char16_t), sizeof last);
    EXPECT_EQ(last, 0) << c.stored;
  }
  EXPECT_EQ(Convert("x", 16, 1).value, kNoValue);
  EXPECT_EQ(Convert("x", 15, 8).value, kNoValue);
}

// Value types without a size hand out nothing, whatever the storage.
TEST(PropertyConversion, TypesWithoutASize) {
  for (uint32_t value : {0u, 11u, 13u, 99u})
    for (uint32_t storage : {1u, 3u, 8u, 11u, 13u, 99u}) {
      EXPECT_EQ(Convert("20140305T090500Z", storage, value).value, kNoValue) << storage << "->" << value;
      EXPECT_EQ(ValueTypeSize(value), 0u);
    }
}

std::optional<PropertyDescriptor> ContactRows(std::string_view name) {
  if (name == "PR_BIRTHDAY") return PropertyDescriptor{"BIRTHDAY", kValueDateText, kValueFileTime};
  if (name == "PR_BOTH") return PropertyDescriptor{"BOTH", kValueDouble, kValueText};
  return std::nullopt;
}

std::optional<PropertyDescriptor> CalendarRows(std::string_view name) {
  if (name == "PR_BOTH") return PropertyDescriptor{"BOTH", kValueTruth, kValueText};
  if (name == "PR_SUBJECT") return PropertyDescriptor{"SUMMARY", kValueWideFrom8, kValueText};
  if (name == "PR_LOCATION") return PropertyDescriptor{"LOCATION", kValueWideText, kValueLongText};
  return std::nullopt;
}

TEST(PropertyTypes, ValueTypeByFolderType) {
  struct Case {
    const char* name;
    uint32_t folderType, want;
  };
  const Case plain[] = {
      {"PR_SENSITIVITY", 0, 7}, {"pr_subject", 0, 8}, {"TW_ITEM_CLASS", 0, 7}, {"PR_NOT_MAPPED", 0, 1},
      {"PR_BNP_Complete", 0, 1},
      {"PR_BNP_PercentComplete", 3, 9}, {"PR_BNP_COMPLETE", 3, 10}, {"PR_BNP_StartDate", 3, 3},
      {"PR_BNP_vCalendar_UNICODE", 3, 15}, {"PR_BODY", 3, 8}, {"PR_BNP_RecurrenceMonthOfYear", 3, 7},
      {"TW_ITEM_ID", 3, 8}, {"PR_TW_FROM", 3, 1},
      {"PR_LAST_MODIFIED_DATE", 4, 3}, {"PR_FILE_TYPE", 4, 7}, {"PR_TW_FROM", 4, 1},
      // No contact or calendar table yet: only the common names.
      {"PR_SUBJECT", 1, 1}, {"PR_SUBJECT", 2, 1}, {"TW_ITEM_MODIFIEDDATE", 2, 7},
      // Other types: mail, contacts, calendar; else 0.
      {"PR_NOT_MAPPED", 9, 0}, {"PR_SENSITIVITY", 9, 7}, {"PR_TW_FROM", 25, 8}, {"PR_BNP_Complete", 25, 0},
      {"PR_FILE_TYPE", 54, 0}, {"TW_ITEM_ID", 54, 8},
  };
  for (const Case& c : plain) EXPECT_EQ(PropertyValueType(c.name, c.folderType), c.want) << c.name << " " << c.folderType;

  const KindPropertyLookups previous = SetKindPropertyLookups({ContactRows, CalendarRows});
  const Case withTables[] = {
      {"PR_BIRTHDAY", 1, 4}, {"PR_BOTH", 1, 9}, {"PR_LOCATION", 1, 1}, {"TW_ITEM_CLASS", 1, 7},
      {"PR_BOTH", 2, 10}, {"PR_SUBJECT", 2, 15}, {"PR_BIRTHDAY", 2, 1},
      {"PR_SUBJECT", 25, 8}, {"PR_BIRTHDAY", 25, 4}, {"PR_BOTH", 25, 9}, {"PR_LOCATION", 25, 16},
      {"PR_LOCATION", 0, 1}, {"PR_NOT_MAPPED", 25, 0},
  };
  for (const Case& c : withTables)
    EXPECT_EQ(PropertyValueType(c.name, c.folderType), c.want) << c.name << " " << c.folderType;
  SetKindPropertyLookups(previous);
  EXPECT_EQ(PropertyValueType("PR_BOTH", 25), 0u) << "restored";

  const std::optional<PropertyDescriptor> vCalendar = FindTaskProperty("PR_BNP_vCalendar_UNICODE");
  ASSERT_TRUE(vCalendar);
  EXPECT_EQ(vCalendar->indexName, "VCALENDAR");
  EXPECT_EQ(vCalendar->storageType, kValueText);
  EXPECT_EQ(vCalendar->longText, kLongTextBody);
}

}  // namespace
}  // namespace tw
