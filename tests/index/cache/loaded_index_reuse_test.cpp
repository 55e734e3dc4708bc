// Direct operations that reuse the index this process kept from its last
// operation on the folder: the reused index must be the file's, and any
// change made elsewhere in between must be seen.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "frame/store_paths.h"
#include "index/cache/loaded_index_store.h"
#include "index/file/store_index_serialiser.h"
#include "platform/files.h"
#include "support/inbox_fixture.h"
#include "support/twstore_run.h"

namespace tw {
namespace {

class LoadedIndexReuse : public ::testing::Test {
 protected:
  std::string IndexFile() { return InFolder(inbox_.IndexPath(), "_index.xml"); }

  // What the kept index holds, put back as it was; empty when nothing is
  // kept for the folder's file as it is now.
  test::Listing Kept() {
    platform::FileStamp stamp;
    if (!platform::GetFileStamp(IndexFile(), stamp)) return {};
    auto index = LoadedIndexStore::Process().TakeCurrent(IndexFile(), stamp);
    if (!index) return {};
    test::Listing items;
    for (const auto* item : index->Sequence())
      items[item->GetText("ID")] = {static_cast<uint32_t>(item->GetNumber("UID")), item->GetText("FLAGSTATUS")};
    LoadedIndexStore::Process().Keep(IndexFile(), std::move(index), stamp);
    return items;
  }

  test::CliRun Twstore(const std::string& args) {
    return test::RunTwstore(inbox_.RegistryFile(), args + " --postoffice PO --mailbox bob");
  }

  test::InboxFixture inbox_;
};

TEST_F(LoadedIndexReuse, AKeptIndexEqualsAFreshLoadAfterEveryDirectOperation) {
  std::mt19937 random(7);
  const char* changes[] = {"+\\SEEN", "-\\SEEN", "+\\FLAGGED", "\\ANSWERED", "-\\RECENT", "SIZE=77"};
  int next = 0, reused = 0;
  for (int step = 0; step < 120; ++step) {
    const std::string some = std::to_string(random() % (next + 1)) + ".MAI";
    switch (random() % 4) {
      case 0:
      case 1:
        ASSERT_EQ(inbox_.Deliver(std::to_string(next++) + ".MAI", random() % 2 ? "\\SEEN" : ""), 1);
        break;
      case 2:
        inbox_.Update(some + "," + std::to_string(random() % (next + 1)) + ".MAI", changes[random() % 6]);
        break;
      default:
        inbox_.Remove(some);
        break;
    }
    const test::Listing kept = Kept();
    if (kept.empty()) continue;
    ++reused;
    ASSERT_EQ(kept, inbox_.Read(5)) << "after step " << step;
  }
  EXPECT_GT(reused, 60) << "the operations kept too few indexes to check";
}

TEST_F(LoadedIndexReuse, ChangesByAnotherProcessBetweenTwoCallsAreKept) {
  for (const char* name : {"a.MAI", "b.MAI", "c.MAI"}) ASSERT_EQ(inbox_.Deliver(name, "\\FLAGGED"), 1);
  for (int round = 0; round < 6; ++round) {
    // Same length as the flags they replace: the file keeps its size.
    const std::string flags = round % 2 ? "\\FLAGGED" : "\\DELETED";
    ASSERT_EQ(inbox_.Update("a.MAI", round % 2 ? "-\\SEEN" : "+\\SEEN"), 1);
    ASSERT_FALSE(Kept().empty());
    const test::CliRun flag = Twstore("flag --ids b.MAI --change '" + flags + "'");
    ASSERT_EQ(flag.status, 0) << flag.output;
    inbox_.WriteMessage("d" + std::to_string(round) + ".MAI");
    const std::string path = inbox_.File("d" + std::to_string(round) + ".MAI");
    const test::CliRun deliver = Twstore("deliver " + path);
    ASSERT_EQ(deliver.status, 0) << deliver.output;
    ASSERT_EQ(inbox_.Update("c.MAI", round % 2 ? "-\\ANSWERED" : "+\\ANSWERED"), 1);

    const test::Listing read = inbox_.Read(5);
    EXPECT_EQ(read.at("b.MAI").second, flags) << "round " << round;
    EXPECT_EQ(read.size(), 4u + round) << "round " << round;
    EXPECT_EQ(Kept(), read) << "round " << round;
  }
}

TEST_F(LoadedIndexReuse, NoIndexIsKeptWithTheStoreTurnedOff) {
  LoadedIndexStore::Process().SetCapacity(0);
  ASSERT_EQ(inbox_.Deliver("a.MAI"), 1);
  ASSERT_EQ(inbox_.Update("a.MAI", "+\\SEEN"), 1);
  EXPECT_EQ(LoadedIndexStore::Process().Size(), 0u);
  EXPECT_EQ(inbox_.Read(5).at("a.MAI").second, "\\RECENT \\SEEN");
}

}  // namespace
}  // namespace tw
