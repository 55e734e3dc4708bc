#include <gtest/gtest.h>

#include <string>

#include "common/text.h"
#include "folders/property_map.h"

namespace tw {
namespace {

struct Row {
  const char* name;
  const char* indexName;
  uint32_t value;
  uint32_t storage;
  uint32_t longText;
};

const Row kCommonRows[] = {
    {"TW_ITEM_ID", "@ID", 8, 8, 0},
    {"TW_ITEM_CLASS", "!CLASS", 7, 1, 0},
    {"TW_ITEM_MODIFIEDDATE", "MODIFIEDDATE", 7, 1, 0},
};

const Row kMailRows[] = {
    {"PR_TW_MODIFIEDDATE", "MODIFIEDDATE", 8, 8, 0}, {"PR_TW_MESSAGEDATE", "MESSAGEDATE", 8, 8, 0},
    {"PR_TW_IMPORTANCE", "IMPORTANCE", 8, 8, 0},     {"PR_SENSITIVITY", "SENSITIVITY", 7, 8, 0},
    {"PR_TW_FLAGSTATUS", "FLAGSTATUS", 8, 8, 0},     {"PR_TW_ATTACHMENTS", "ATTACHMENTS", 8, 8, 0},
    {"PR_TW_FROM", "FROM", 8, 8, 0},                 {"PR_TW_TO", "TO", 8, 8, 0},
    {"PR_TW_CC", "CC", 8, 8, 0},                     {"PR_SUBJECT", "SUBJECT", 8, 8, 0},
    {"PR_TW_RECEIVED", "RECEIVED", 8, 8, 0},         {"PR_TW_READ", "READ", 8, 8, 0},
    {"PR_TW_STATE", "STATE", 8, 8, 0},               {"PR_TW_SIZE", "SIZE", 8, 8, 0},
    {"PR_TW_CLASS", "CLASS", 8, 8, 0},               {"PR_CATEGORIES", "CATEGORIES", 8, 8, 0},
};

const Row kFileRootRows[] = {
    {"PR_SUBJECT", "SUBJECT", 8, 8, 0},
    {"PR_MESSAGE_SIZE", "SIZE", 7, 1, 0},
    {"PR_BODY", "BODY", 8, 8, 1},
    {"PR_TW_ReadStatus", "READ", 7, 1, 0},
    {"PR_LAST_MODIFIED_DATE", "LASTMODIFIEDDATE", 3, 3, 2},
    {"PR_CREATED_DATE", "CREATEDDATE", 3, 3, 2},
    {"PR_LAST_ACCESSED_DATE", "LASTACCESSEDDATE", 3, 3, 2},
    {"PR_FILE_TYPE", "FILETYPE", 7, 1, 3},
};

// Found as written and in lower case, through the folder type's table.
void ExpectMapped(uint32_t kind, const Row& row) {
  for (const std::string& name : {std::string(row.name), ToLower(row.name)}) {
    const auto found = FindProperty(kind, name);
    ASSERT_TRUE(found.has_value()) << kind << " " << name;
    EXPECT_EQ(found->indexName, row.indexName) << name;
    EXPECT_EQ(found->valueType, row.value) << name;
    EXPECT_EQ(found->storageType, row.storage) << name;
    EXPECT_EQ(found->longText, row.longText) << name;
  }
}

TEST(PropertyMap, EveryMailAndCommonNameMapsForMailKinds) {
  for (uint32_t kind : {kKindMail, kKindMailLike}) {
    for (const Row& row : kCommonRows) ExpectMapped(kind, row);
    for (const Row& row : kMailRows) ExpectMapped(kind, row);
  }
  EXPECT_EQ(MailPropertyTable().count, std::size(kMailRows));
  EXPECT_EQ(CommonPropertyTable().count, std::size(kCommonRows));
}

TEST(PropertyMap, FileRootTableHasTheCommonNamesFirst) {
  for (const Row& row : kCommonRows) ExpectMapped(kKindFileRoot, row);
  for (const Row& row : kFileRootRows) ExpectMapped(kKindFileRoot, row);
  EXPECT_FALSE(FindProperty(kKindFileRoot, "PR_TW_FROM"));
}

TEST(PropertyMap, UnmappedNamesAndOtherKindsFindNothing) {
  for (const char* name : {"PR_UNKNOWN", "", "PR_SUBJECT ", "SUBJECT", "PR_BODY", "TW_MAILBOX"})
    EXPECT_FALSE(FindMailProperty(name)) << name;
  for (uint32_t kind : {1u, 2u, 3u, 5u, 26u, 54u, 0xFFFFFFFFu})
    EXPECT_FALSE(FindProperty(kind, "PR_SUBJECT")) << kind;
}

TEST(PropertyMap, ValueTypeSizes) {
  const uint32_t v = kVariableSize;
  const uint32_t sizes[] = {0, 1024, 1024, 8, 1024, 1024, 1024, 4, v, 8, 4, 0, 4, 0, v, v, v, 0};
  for (uint32_t code = 0; code < std::size(sizes); ++code) {
    EXPECT_EQ(ValueTypeSize(code), sizes[code]) << code;
    EXPECT_EQ(IsVariableValueType(code), sizes[code] == v) << code;
  }
  EXPECT_EQ(ValueTypeSize(0xFFFFFFFF), 0u);
  EXPECT_EQ(StoredName("@ID"), "ID");
  EXPECT_EQ(StoredName("!CLASS"), "!CLASS");
}

}  // namespace
}  // namespace tw
