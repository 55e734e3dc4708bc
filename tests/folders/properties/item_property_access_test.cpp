#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/text.h"
#include "folders/properties/item_property_access.h"
#include "calendar/date_texts.h"
#include "folders/properties/property_conversion.h"
#include "index/lifecycle/store_index_record.h"
#include "platform/files.h"

namespace tw {
namespace {

constexpr uint32_t kNone = kNoPropertyValue;
constexpr const char* kNoValue = "<none>";

// A handed-out value as text: texts as far as their NUL, wide texts with
// "w:", file times "ft:", integers "i:", doubles "d:", 32-bit words "u:".
std::string Describe(const void* data, uint32_t valueType) {
  if (data == nullptr) return kNoValue;
  const auto* bytes = static_cast<const unsigned char*>(data);
  switch (valueType) {
    case 3: {
      uint64_t v;
      std::memcpy(&v, bytes, 8);
      return "ft:" + std::to_string(v);
    }
    case 7: {
      int32_t v;
      std::memcpy(&v, bytes, 4);
      return "i:" + std::to_string(v);
    }
    case 9: {
      double v;
      std::memcpy(&v, bytes, 8);
      return FormatText(64, "d:%.4f", v);
    }
    case 10:
    case 12: {
      uint32_t v;
      std::memcpy(&v, bytes, 4);
      return "u:" + std::to_string(v);
    }
    case 15:
    case 16: {
      std::string text = "w:";
      for (char16_t unit; std::memcpy(&unit, bytes, 2), unit != 0; bytes += 2) text += static_cast<char>(unit);
      return text;
    }
    default:
      return reinterpret_cast<const char*>(data);
  }
}

struct Read {
  uint32_t result;
  std::string value;
  uint32_t length;
};

Read Get(IndexItem& item, std::string_view name, uint32_t valueType) {
  void* block = reinterpret_cast<void*>(1);
  uint32_t length = 99;
  const uint32_t result = GetItemProperty(item, name, &block, &length);
  Read read{result, Describe(block, valueType), length};
  std::free(block);
  return read;
}

// Conversions: the stored text fetched as `storage` and handed out as `value`.
TEST(PropertyConversion, StorageToValueTypes) {
  struct Case {
    const char* stored;
    uint32_t storage, value;
    std::string want;
    uint32_t length;
  };
  const std::string ft2014 = "ft:130384839000000000";  // 2014-03-05T09:05:00Z
  const Case cases[] = {
      // Texts.
      {"Hello", 8, 8, "Hello", 6}, {"Hello", 8, 14, "Hello", 6}, {"Hello", 8, 1, "Hello", 1024},
      {"Hello", 1, 1, "Hello", 1024}, {"Hello", 1, 8, "Hello", 6}, {"Hello", 2, 2, "Hello", 1024},
      {"Hello", 5, 5, "Hello", 1024}, {"abc", 1, 15, "w:abc", 4}, {"H\xe9", 8, 16, "w:H\xe9", 3},
      {"x", 16, 16, "w:x", 2}, {"Hello", 2, 1, kNoValue, 0}, {"Hello", 5, 8, kNoValue, 0},
      // Numbers and truth values read from text.
      {"42abc", 8, 7, "i:42", 4}, {"  -7", 1, 7, "i:-7", 4}, {"3.5", 1, 9, "d:3.5000", 8},
      {"TRUE", 1, 10, "u:1", 4}, {"true", 8, 10, "u:1", 4}, {"1", 1, 10, "u:1", 4},
      {"yes", 1, 10, "u:0", 4}, {"10", 1, 10, "u:0", 4}, {"0x10", 1, 12, "u:16", 4},
      {"17", 7, 1, "17", 1024}, {"-5", 7, 8, "-5", 3}, {"5", 7, 7, "i:5", 4}, {"5", 7, 9, kNoValue, 0},
      {"3.14159", 9, 1, "      3.14", 1024}, {"2.5", 9, 9, "d:2.5000", 8},
      {"true", 10, 1, "1", 1024}, {"no", 10, 1, "0", 1024}, {"1", 10, 10, "u:1", 4},
      // Dates.
      {"2014-03-05T09:05:00", 4, 3, ft2014, 8}, {"2014-03-05T09:05:00", 4, 4, "2014-03-05T09:05:00", 1024},
      {"2014-03-05", 4, 3, "ft:130384512000000000", 8}, {"20140305T090500Z", 11, 3, ft2014, 8},
      {"0", 6, 3, "ft:116444736000000000", 8}, {"1394010300", 6, 3, ft2014, 8},
      {"130384839000000000", 3, 3, ft2014, 8}, {"130384839000000000", 3, 4, "2014-03-05T09:05:00", 1024},
      {"130384839000000000", 3, 6, "1394010300", 1024}, {"2014-03-05T09:05:00", 3, 6, "1394010300", 1024},
      {"1601-01-01", 4, 3, "ft:0", 8},
      // No rule, or a text that is not of the type.
      {"2014-03-05T09:05:00", 4, 1, kNoValue, 0}, {"1394010300", 6, 1, kNoValue, 0},
      {"130384839000000000", 3, 1, kNoValue, 0}, {"Hello", 1, 4, kNoValue, 0},
      {"not a date", 3, 4, kNoValue, 0}, {"2014-13-05", 4, 3, kNoValue, 0}, {"1600-12-31", 4, 3, kNoValue, 0},
      {"Hello", 8, 11, kNoValue, 0}, {"Hello", 8, 13, kNoValue, 0}, {"x", 13, 13, kNoValue, 0},
  };
  for (const Case& c : cases) {
    IndexItemPropertyContainer item;
    item.SetText("P", c.stored);
    std::optional<ValueBlock> block = ReadPropertyValue(item, {"P", c.value, c.storage});
    const std::string label = std::string(c.stored) + " " + std::to_string(c.storage) + "->" + std::to_string(c.value);
    EXPECT_EQ(Describe(block ? block->Data() : nullptr, c.value), c.want) << label;
    EXPECT_EQ(block ? block->Length() : 0u, c.length) << label;
  }
  IndexItemPropertyContainer empty;
  EXPECT_FALSE(ReadPropertyValue(empty, {"P", 8, 8})) << "absent";
}

TEST(PropertyConversion, ModifiedDateIsReadAsADosDateAndBirthdaysMeanNoDate) {
  const uint32_t dos = platform::FileTimeToDosDateTime(130384839000000000ull);
  IndexItemPropertyContainer item;
  item.SetText("MODIFIEDDATE", std::to_string(dos));
  std::optional<ValueBlock> date = ReadPropertyValue(item, {"MODIFIEDDATE", 3, 3});
  ASSERT_TRUE(date);
  EXPECT_EQ(Describe(date->Data(), 3), "ft:" + std::to_string(platform::DosDateTimeToFileTime(dos)));
  std::optional<ValueBlock> asText = ReadPropertyValue(item, {"MODIFIEDDATE", 4, 3});
  ASSERT_TRUE(asText);
  EXPECT_EQ(Describe(asText->Data(), 4), IsoTextFromFileTime(platform::DosDateTimeToFileTime(dos)));

  const uint64_t noBirthday = 137919572470000000ull;  // 2147483647 s after 1970
  for (bool birthday : {false, true}) {
    auto stamp = ValueBlock::Allocate(8, 8);
    std::memcpy(stamp->Data(), &noBirthday, 8);
    auto text = ConvertStoredValue(std::move(*stamp), 3, 4, birthday);
    ASSERT_TRUE(text);
    EXPECT_EQ(Describe(text->Data(), 4), birthday ? "" : "2038-01-19T03:14:07");
    auto emptyText = ConvertStoredValue(std::move(*ValueBlock::Allocate(1024, 1024)), 4, 3, birthday);
    EXPECT_EQ(Describe(emptyText ? emptyText->Data() : nullptr, 3),
              birthday ? "ft:" + std::to_string(noBirthday) : kNoValue);
  }
}

class ItemPropertyAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    InitRecord(record_);
    CopyText(record_.postoffice, sizeof record_.postoffice, "PO");
    current().kind = kKindMail;
    CopyText(current().mailbox, kItemLocationSize, "bob");
  }
  void TearDown() override {
    ReleaseRecord(record_);
    delete static_cast<IndexItem*>(record_.currentItem);
  }
  IndexItem& current() { return CurrentItemOf(record_); }
  uint32_t Set(const char* id, const char* name, const char* value) {
    return SetItemProperty(&record_, nullptr, id, name, value);
  }
  IndexItemPropertyContainer* Find(const char* id) { return IndexOf(record_).FindById(id); }

  STOREINDEXTYPE record_{};
};

TEST_F(ItemPropertyAccess, SetOnARecordCreatesTheItemAndMarksIt) {
  EXPECT_EQ(Set("m1.msg", "PR_SUBJECT", "Hi"), 1u);
  IndexItemPropertyContainer* item = Find("m1.msg");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(current().Container(), item);
  EXPECT_EQ(item->GetText("SUBJECT"), "Hi");
  EXPECT_EQ(item->GetText("TW_STATUS"), "1");
  EXPECT_EQ(record_.changed, 1u);
  EXPECT_EQ(record_.itemCount, 1u);
  EXPECT_EQ(record_.lastUid, 1u);

  // An empty ID keeps the current item; a known ID points at that item.
  EXPECT_EQ(Set("", "pr_tw_from", "a@b"), 1u);
  EXPECT_EQ(item->GetText("FROM"), "a@b");
  EXPECT_EQ(Set("m2.msg", "PR_SUBJECT", "Two"), 1u);
  EXPECT_EQ(Set("m1.msg", "PR_TW_CC", "c@d"), 1u);
  EXPECT_EQ(current().Container(), item);
  EXPECT_EQ(IndexOf(record_).Count(), 2u);
  EXPECT_EQ(item->GetText("CC"), "c@d");
}

TEST_F(ItemPropertyAccess, FlagSideEffectUnlessTheNameStartsWithAt) {
  ASSERT_EQ(Set("m1.msg", "PR_TW_FLAGSTATUS", "\\Seen"), 1u);
  EXPECT_EQ(Find("m1.msg")->GetText("READ"), "1");
  // TW_ITEM_ID maps to "@ID": the ID changes, nothing else follows.
  ASSERT_EQ(Set("", "TW_ITEM_ID", "renamed.msg"), 1u);
  EXPECT_EQ(Find("m1.msg"), nullptr);
  ASSERT_NE(Find("renamed.msg"), nullptr);

  current().kind = kKindFileRoot;
  ASSERT_EQ(Set("f.txt", "@FLAGSTATUS", "\\Seen"), 1u);
  EXPECT_EQ(Find("f.txt")->GetText("FLAGSTATUS"), "\\Seen");
  EXPECT_EQ(Find("f.txt")->GetNumber("READ"), 0) << "no side effect";
  ASSERT_EQ(Set("f.txt", "FLAGSTATUS", "\\Seen"), 1u);
  EXPECT_EQ(Find("f.txt")->GetText("READ"), "1");
}

TEST_F(ItemPropertyAccess, SetsThatChangeNothing) {
  EXPECT_EQ(Set("m1.msg", "PR_NOT_MAPPED", "x"), 0u) << "mail takes mapped names only";
  EXPECT_EQ(Set("m1.msg", "SUBJECT", "x"), 0u);
  for (uint32_t kind : {kKindContacts, kKindCalendar, kKindTasks}) {
    current().kind = kind;
    EXPECT_EQ(Set("m1.msg", "PR_SUBJECT", "x"), 0u) << kind;
  }
  current().kind = kKindGroups;
  EXPECT_EQ(Set("", "MEMBERS", "x"), 0u) << "no ID and no item";
  EXPECT_EQ(Set("g1", "@", "x"), 0u) << "no name";
  EXPECT_EQ(IndexOf(record_).Count(), 0u);
  EXPECT_EQ(record_.changed, 0u);

  IndexItem loose;
  EXPECT_EQ(SetItemProperty(nullptr, &loose, "m1.msg", "PR_SUBJECT", "x"), 0u) << "no item, no record";
  EXPECT_EQ(SetItemProperty(nullptr, nullptr, "m1.msg", "PR_SUBJECT", "x"), 0u);
  IndexItem owned = IndexItem::New();
  EXPECT_EQ(SetItemProperty(nullptr, &owned, "", "PR_SUBJECT", "x"), 1u) << "an item without a record";
  EXPECT_EQ(owned.Container()->GetText("SUBJECT"), "x");
  EXPECT_EQ(owned.Container()->GetText("TW_STATUS"), "1");
}

TEST_F(ItemPropertyAccess, GetMapsConvertsAndFallsBackToTheLocation) {
  ASSERT_EQ(Set("m1.msg", "PR_SUBJECT", "Hello"), 1u);
  IndexItemPropertyContainer* item = Find("m1.msg");
  item->SetText("SENSITIVITY", "2");
  item->SetText("!CLASS", "5");
  struct Case {
    uint32_t kind;
    const char* name;
    uint32_t valueType;
    uint32_t result;
    std::string want;
    uint32_t length;
  };
  const Case cases[] = {
      {0, "PR_SUBJECT", 8, 2, "Hello", 6},         {25, "pr_subject", 8, 2, "Hello", 6},
      {0, "PR_SENSITIVITY", 7, 2, "i:2", 4},       {0, "TW_ITEM_CLASS", 7, 2, "i:5", 4},
      {0, "TW_ITEM_ID", 8, 2, "m1.msg", 7},        {0, "PR_TW_STATUS", 8, kNone, kNoValue, 0},
      {0, "PR_TW_FROM", 8, kNone, kNoValue, 0},    {0, "tw_mailbox", 8, 2, "bob", 4},
      {0, "TW_POSTOFFICE", 8, 2, "", 1},           {0, "TW_FOLDER_PATH", 8, 2, "", 1},
      {4, "PR_SUBJECT", 8, 2, "Hello", 6},         {4, "PR_BODY", 8, kNone, kNoValue, 0},
      {4, "TW_MAILBOX", 8, 2, "bob", 4},           {9, "PR_SUBJECT", 8, kNone, kNoValue, 0},
      {9, "TW_Folder", 8, 2, "", 1},               {1, "TW_MAILBOX", 8, 2, "bob", 4},
      {3, "PR_SUBJECT", 8, kNone, kNoValue, 0},    {54, "TW_MAILBOX", 8, 0, kNoValue, 0},
      {26, "PR_SUBJECT", 8, 0, kNoValue, 0},
  };
  for (const Case& c : cases) {
    current().kind = c.kind;
    const Read read = Get(current(), c.name, c.valueType);
    EXPECT_EQ(read.result, c.result) << c.kind << " " << c.name;
    EXPECT_EQ(read.value, c.want) << c.kind << " " << c.name;
    EXPECT_EQ(read.length, c.length) << c.kind << " " << c.name;
  }
  IndexItem loose;
  CopyText(loose.folderName, kItemLocationSize, "\\Inbox");
  EXPECT_EQ(Get(loose, "TW_FOLDER", 8).value, "\\Inbox") << "an empty handle still has its location";
}

}  // namespace
}  // namespace tw
