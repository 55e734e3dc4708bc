#include <gtest/gtest.h>

#include <string>

#include "folders/property_map.h"

namespace tw {
namespace {

// A few names of each table, found without regard to case; the tables
// themselves are data, and the record tests read and write through them.
TEST(PropertyMap, NamesMapByFolderKindWithoutRegardToCase) {
  const struct {
    uint32_t kind;
    const char* name;
    const char* indexName;
    uint32_t value, storage, longText;
  } rows[] = {
      {kKindMail, "TW_ITEM_ID", "@ID", 8, 8, 0},           {kKindMailLike, "pr_tw_flagstatus", "FLAGSTATUS", 8, 8, 0},
      {kKindMail, "PR_SENSITIVITY", "SENSITIVITY", 7, 8, 0}, {kKindFileRoot, "TW_ITEM_CLASS", "!CLASS", 7, 1, 0},
      {kKindFileRoot, "PR_BODY", "BODY", 8, 8, 1},         {kKindFileRoot, "pr_created_date", "CREATEDDATE", 3, 3, 2},
  };
  for (const auto& row : rows) {
    const auto found = FindProperty(row.kind, row.name);
    ASSERT_TRUE(found.has_value()) << row.kind << " " << row.name;
    EXPECT_EQ(found->indexName, row.indexName) << row.name;
    EXPECT_EQ(found->valueType, row.value) << row.name;
    EXPECT_EQ(found->storageType, row.storage) << row.name;
    EXPECT_EQ(found->longText, row.longText) << row.name;
  }
  EXPECT_FALSE(FindProperty(kKindFileRoot, "PR_TW_FROM"));
}

TEST(PropertyMap, UnmappedNamesAndOtherKindsFindNothing) {
  for (const char* name : {"PR_UNKNOWN", "", "PR_SUBJECT ", "SUBJECT", "PR_BODY", "TW_MAILBOX"})
    EXPECT_FALSE(FindMailProperty(name)) << name;
  for (uint32_t kind : {1u, 2u, 3u, 5u, 26u, 54u, 0xFFFFFFFFu})
    EXPECT_FALSE(FindProperty(kind, "PR_SUBJECT")) << kind;
}

TEST(PropertyMap, StoredNamesLoseTheirAtSign) {
  EXPECT_EQ(StoredName("@ID"), "ID");
  EXPECT_EQ(StoredName("!CLASS"), "!CLASS");
}

}  // namespace
}  // namespace tw
