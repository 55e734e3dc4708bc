#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "index/items/index_item.h"
#include "index/items/item_record.h"

namespace tw {
namespace {

TEST(IndexItemHandle, FlagAwareSetDerivesRead) {
  struct Case { const char* flags; int32_t wantRead; };
  for (const Case& c : {Case{"\\Seen \\Answered", 1}, Case{"\\RECENT", 0}, Case{"\\flagged \\seen", 1}, Case{"", 0}}) {
    IndexItem item = IndexItem::New();
    item.SetPlain("READ", "7");
    EXPECT_TRUE(item.Set("FLAGSTATUS", c.flags));
    EXPECT_EQ(item.Container()->GetNumber("READ"), c.wantRead) << c.flags;
  }
  IndexItem item = IndexItem::New();
  item.SetNumber("READ", 1);
  EXPECT_TRUE(item.SetPlain("FLAGSTATUS", "\\RECENT"));
  EXPECT_EQ(item.Container()->GetNumber("READ"), 1) << "the plain set leaves READ alone";
  EXPECT_TRUE(item.SetPlain("TW_STATUS", "1"));
  EXPECT_FALSE(item.ClearStatus());
  IndexItem empty;
  EXPECT_FALSE(empty.Set("FLAGSTATUS", "\\SEEN"));
}

TEST(IndexItemRecord, CopiesByDetailLevelWithTruncation) {
  IndexItem item = IndexItem::New();
  std::string anyBytes(30000, '\0');
  for (size_t i = 0; i < anyBytes.size(); ++i) anyBytes[i] = static_cast<char>(1 + i % 255);
  for (const char* name : {"SUBJECT", "FLAGSTATUS", "FROM", "TO", "CC", "RECEIVED", "MESSAGEDATE"})
    item.SetPlain(name, anyBytes);
  item.SetPlain("SIZE", "4096 bytes");
  item.SetNumber("UID", 77);
  item.SetPlain("SEQ", "3");
  item.SetPlain("IDX", "9");

  auto record = std::make_unique<StoreItemRecord>();
  std::memset(record.get(), 0xAB, sizeof *record);
  auto before = std::make_unique<StoreItemRecord>(*record);

  ASSERT_TRUE(CopyItemToRecord(item.Container(), 7, *record));
  EXPECT_EQ(std::memcmp(record.get(), before.get(), sizeof *record), 0) << "other levels copy nothing";

  ASSERT_TRUE(CopyItemToRecord(item.Container(), 0, *record));
  EXPECT_EQ(std::strlen(record->flags), sizeof record->flags - 1);
  EXPECT_EQ(std::memcmp(record->flags, anyBytes.data(), sizeof record->flags - 1), 0);
  std::memcpy(before->flags, record->flags, sizeof record->flags);
  EXPECT_EQ(std::memcmp(record.get(), before.get(), sizeof *record), 0) << "level 0 changes only the flags";

  ASSERT_TRUE(CopyItemToRecord(item.Container(), 1, *record));
  struct Field { const char* name; const char* text; size_t size; };
  for (const Field& f : {Field{"subject", record->subject, sizeof record->subject},
                         Field{"from", record->from, sizeof record->from}, Field{"to", record->to, sizeof record->to},
                         Field{"cc", record->cc, sizeof record->cc},
                         Field{"received", record->received, sizeof record->received},
                         Field{"messageDate", record->messageDate, sizeof record->messageDate}}) {
    EXPECT_EQ(std::strlen(f.text), f.size - 1) << f.name;
    EXPECT_EQ(std::memcmp(f.text, anyBytes.data(), f.size - 1), 0) << f.name;
  }
  EXPECT_EQ(record->size, 4096u);
  EXPECT_EQ(record->attachments, 0u) << "absent numbers are cleared";
  EXPECT_EQ(record->importance, 0u);
  EXPECT_EQ(record->uid, 77u);
  EXPECT_EQ(record->seq, 3u);
  EXPECT_EQ(record->idx, 9u);
  EXPECT_EQ(static_cast<unsigned char>(record->reserved[0]), 0xABu) << "the reserved text is never written";

  IndexItem sparse = IndexItem::New();
  ASSERT_TRUE(CopyItemToRecord(sparse.Container(), 1, *record));
  EXPECT_STREQ(record->subject, "");
  EXPECT_STREQ(record->flags, "");
  EXPECT_EQ(record->size, 0u);
  EXPECT_FALSE(CopyItemToRecord(nullptr, 1, *record));
}


}  // namespace
}  // namespace tw
