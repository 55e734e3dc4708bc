// A batch delivery, as an import makes it: several messages put in place
// under their own names and indexed by one insert, each with its own flags
// and time; a name that is taken already leaves that file alone.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "frame/store_paths.h"
#include "index/lifecycle/message_delivery.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/messages/pending_deliveries.h"
#include "platform/files.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

class MessageBatchTest : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(Sys(inbox_)); }
  static std::string Sys(const std::string& path) { return test::SystemPath(path); }
  BatchMessage Message(const std::string& name, const std::string& flags, uint64_t fileTime, const std::string& text) {
    const std::string temporary = "_import-" + name + ".TMP";
    test::WriteFile(Sys(inbox_) + "/" + temporary, text);
    return BatchMessage{temporary, name, flags, fileTime};
  }

  test::MailRoot mail_;
  std::string inbox_ = FolderDirectoryForIndex("PO", "bob", "\\Inbox");
};

TEST_F(MessageBatchTest, PlacesAndIndexesEachMessageWithItsOwnFlagsAndTime) {
  const uint64_t april2020 = platform::FileTimeFromUnix(1586000000);
  test::WriteFile(Sys(inbox_) + "/TAKEN.mai", "Subject: already here\r\n\r\nold\r\n");
  const std::vector<BatchMessage> batch = {
      Message("one.MAI", "\\SEEN", april2020, "Subject: one\r\n\r\n1\r\n"),
      Message("taken.MAI", "\\FLAGGED", 0, "Subject: new\r\n\r\nnew\r\n"),
      Message("two.MAI", "\\FLAGGED \\DRAFT", 0, "Subject: two\r\n\r\n2\r\n"),
      Message("bad,name.MAI", "", 0, "Subject: comma\r\n\r\n"),
  };
  const std::vector<DeliveryResult> results = DeliverMessageBatch({"PO", "bob", "\\Inbox"}, batch);
  ASSERT_EQ(results.size(), 4u);
  EXPECT_EQ(results[0].outcome, InsertOutcome::Indexed);
  EXPECT_TRUE(results[1].existed);
  EXPECT_FALSE(results[1].placed);
  EXPECT_EQ(results[2].outcome, InsertOutcome::Indexed);
  EXPECT_FALSE(results[3].placed);
  EXPECT_EQ(test::ReadFile(Sys(inbox_) + "/TAKEN.mai"), "Subject: already here\r\n\r\nold\r\n")
      << "a name taken in another letter case is taken";
  for (const BatchMessage& message : batch)
    EXPECT_FALSE(test::PathExists(Sys(inbox_) + "/" + message.temporaryName)) << "no temporary stays";
  EXPECT_FALSE(HasPendingDeliveries(inbox_));

  platform::FileInfo info;
  ASSERT_TRUE(platform::GetFileInfo(inbox_ + "\\one.MAI", info));
  EXPECT_EQ(platform::UnixFromFileTime(info.lastWriteTime), 1586000000);

  auto record = std::make_unique<STOREINDEXTYPE>();
  ASSERT_EQ(test::OpenFolderRecord(*record, "PO", "bob", "\\Inbox", 5), 1);
  EXPECT_EQ(record->itemCount, 2u) << "the file that was there already is not indexed by the batch";
  EXPECT_EQ(IndexOf(*record).FindById("one.MAI")->GetText("FLAGSTATUS"), "\\SEEN");
  EXPECT_EQ(IndexOf(*record).FindById("two.MAI")->GetText("FLAGSTATUS"), "\\FLAGGED \\DRAFT \\RECENT");
  EXPECT_LT(IndexOf(*record).FindById("one.MAI")->GetNumber("UID"),
            IndexOf(*record).FindById("two.MAI")->GetNumber("UID"));
  ReleaseRecord(*record);
}

TEST_F(MessageBatchTest, MoreThanABatchHoldsIsRefusedWhole) {
  std::vector<BatchMessage> batch;
  for (size_t i = 0; i <= kMostMessagesPerBatch; ++i)
    batch.push_back(Message("m" + std::to_string(i) + ".MAI", "", 0, "Subject: x\r\n\r\n"));
  const std::vector<DeliveryResult> results = DeliverMessageBatch({"PO", "bob", "\\Inbox"}, batch);
  for (const DeliveryResult& result : results) EXPECT_FALSE(result.placed);
  EXPECT_FALSE(test::PathExists(Sys(inbox_) + "/m0.MAI"));
  EXPECT_FALSE(test::PathExists(Sys(inbox_) + "/" + batch.back().temporaryName));
}

}  // namespace
}  // namespace tw
