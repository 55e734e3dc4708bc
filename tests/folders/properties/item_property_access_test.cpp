#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/text.h"
#include "folders/properties/item_property_access.h"
#include "folders/properties/property_map.h"
#include "index/lifecycle/store_index_record.h"
#include "support/property_values.h"

namespace tw {
namespace {

constexpr uint32_t kNone = kNoPropertyValue;

struct Read {
  uint32_t result;
  std::string value;
  uint32_t length;
};

Read Get(IndexItem& item, std::string_view name, uint32_t valueType) {
  void* block = reinterpret_cast<void*>(1);
  uint32_t length = 99;
  const uint32_t result = GetItemProperty(item, name, &block, &length);
  Read read{result, DescribeValue(block, valueType), length};
  std::free(block);
  return read;
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
  item->SetText("STARTDATE", "0");
  item->SetText("COMPLETE", "true");
  item->SetText("PERCCOMP", "yes");
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
      {3, "PR_SUBJECT", 8, 2, "Hello", 6},         {3, "PR_BNP_StartDate", 3, 2, "ft:116444736000000000", 8},
      {3, "PR_BNP_Complete", 10, 2, "u:1", 4},     {3, "PR_BNP_PercentComplete", 9, 2, "d:0.0000", 8},
      {3, "PR_BNP_DueDate", 3, kNone, kNoValue, 0}, {3, "PR_BODY", 8, kNone, kNoValue, 0},
      {3, "PR_TW_FROM", 8, kNone, kNoValue, 0},    {3, "tw_mailbox", 8, 2, "bob", 4},
      {0, "PR_BNP_StartDate", 3, kNone, kNoValue, 0}, {54, "TW_MAILBOX", 8, 0, kNoValue, 0},
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
