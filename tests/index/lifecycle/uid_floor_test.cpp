// A damaged or lost index never makes the folder give a UID out twice:
// complete elements before the damage keep their UIDs and flags, and every
// other message gets a UID above all the folder handed out before.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/messages/folder_cache_files.h"
#include "support/inbox_fixture.h"

namespace tw {
namespace {

using test::IndexSwitches;
using test::Listing;

constexpr uint32_t kDelivered = 4;

// Four messages, two of them with changed flags.
Listing Populate(test::InboxFixture& inbox) {
  for (const char* id : {"1.MAI", "2.MAI", "3.MAI", "4.MAI"}) EXPECT_EQ(inbox.Deliver(id), 1);
  EXPECT_EQ(inbox.Update("2.MAI", "+\\SEEN"), 1);
  EXPECT_EQ(inbox.Update("3.MAI", "+\\FLAGGED"), 1);
  return inbox.Read();
}

int32_t Reindex(test::InboxFixture& inbox) {
  auto record = std::make_unique<STOREINDEXTYPE>();
  const int32_t opened = inbox.Open(*record, 2);
  ReleaseRecord(*record);
  return opened;
}

// Every message is listed; the ones in `kept` as before, the others with
// distinct UIDs above everything handed out before.
void ExpectRebuilt(const Listing& before, const Listing& after, const std::vector<std::string>& kept,
                   const std::string& what) {
  ASSERT_EQ(after.size(), before.size()) << what;
  std::set<uint32_t> fresh;
  for (const auto& [id, item] : before) {
    const auto& now = after.at(id);
    if (std::find(kept.begin(), kept.end(), id) != kept.end()) {
      EXPECT_EQ(now, item) << what << ": " << id << " should keep its UID and flags";
    } else {
      EXPECT_GT(now.first, kDelivered) << what << ": " << id << " reuses a UID";
      EXPECT_TRUE(fresh.insert(now.first).second) << what << ": " << id << " shares a UID";
    }
  }
}

class DamagedIndex : public ::testing::TestWithParam<IndexSwitches> {};

TEST_P(DamagedIndex, TruncationKeepsTheCompleteElementsBeforeTheCut) {
  test::InboxFixture inbox;
  inbox.Use(GetParam());
  const Listing before = Populate(inbox);
  const std::string good = test::ReadFile(inbox.File("_index.xml"));
  const std::string counters = test::ReadFile(inbox.File("_FOLDER.DAT"));

  // Cut points: none of the file, inside the root tag, after the root tag,
  // then the middle and the end of every element.
  struct Cut {
    size_t at;
    std::vector<std::string> kept;
  };
  std::vector<Cut> cuts = {{0, {}}, {10, {}}, {good.find('>') + 1, {}}};
  std::vector<std::string> complete;
  for (size_t start = good.find("<ELEMENT"); start != std::string::npos; start = good.find("<ELEMENT", start + 1)) {
    const size_t end = good.find("</ELEMENT>", start) + 10;
    cuts.push_back({(start + end) / 2, complete});
    const size_t idAt = good.find("ID=\"", start) + 4;
    complete.push_back(good.substr(idAt, good.find('"', idAt) - idAt));
    cuts.push_back({end, complete});
  }
  ASSERT_EQ(complete.size(), kDelivered);

  for (const Cut& cut : cuts) {
    test::WriteFile(inbox.File("_FOLDER.DAT"), counters);
    test::WriteFile(inbox.File("_index.xml"), good.substr(0, cut.at));
    std::filesystem::remove(inbox.File("_index.xml.bad"));
    ASSERT_EQ(Reindex(inbox), 1) << "cut at " << cut.at;
    ExpectRebuilt(before, inbox.Read(), cut.kept, "cut at " + std::to_string(cut.at));
    EXPECT_GE(inbox.FolderDat().counters[FolderDetails::kLastUid], kDelivered);
  }
}

// A rebuild by hand (mode 2), and the open a service makes (modes 1 and 4),
// which never fails for a damaged file: it is set aside and the index
// rebuilt, the elements before the damage keeping UIDs and flags.
TEST_P(DamagedIndex, AFlippedByteKeepsTheElementsBeforeIt) {
  for (const uint32_t mode : {2u, 1u, 4u}) {
    const std::string what = "mode " + std::to_string(mode);
    test::InboxFixture inbox;
    inbox.Use(GetParam());
    const Listing before = Populate(inbox);
    std::string text = test::ReadFile(inbox.File("_index.xml"));
    // The third element's start tag no longer names an element.
    const size_t third = text.find("<ELEMENT", text.find("<ELEMENT", text.find("<ELEMENT") + 1) + 1);
    text[third + 5] = 'X';
    test::WriteFile(inbox.File("_index.xml"), text);
    const Listing after = inbox.Read(mode);
    std::vector<std::string> kept;
    for (const auto& [id, item] : before)
      if (text.substr(0, third).find("ID=\"" + id + "\"") != std::string::npos) kept.push_back(id);
    ASSERT_EQ(kept.size(), 2u);
    ExpectRebuilt(before, after, kept, what);
    EXPECT_EQ(inbox.Read(5), after) << what << ": the rebuilt index was saved";
    if (mode == 2) continue;
    EXPECT_EQ(test::ReadFile(inbox.File("_index.xml.bad")), text) << what;
    uint32_t highest = 0;
    for (const auto& [id, item] : after) highest = std::max(highest, item.first);
    EXPECT_EQ(inbox.Deliver("5.MAI"), 1);
    EXPECT_GT(inbox.Read().at("5.MAI").first, highest) << what;
  }
}

// A backup written while the folder was empty must not send UIDs back: the
// damaged file's elements are worth more than an older copy that has fewer.
TEST(UidFloor, ABackupWithFewerItemsThanTheSalvageIsNotRestored) {
  test::InboxFixture inbox;
  inbox.Use({.backup = true});
  test::WriteFile(inbox.File("_index.xml.bak"), "<BASEELEMENT LASTUID=\"0\"></BASEELEMENT>\r\n");
  const Listing before = Populate(inbox);
  test::WriteFile(inbox.File("_index.xml.bak"), "<BASEELEMENT LASTUID=\"0\"></BASEELEMENT>\r\n");
  std::string text = test::ReadFile(inbox.File("_index.xml"));
  text.resize(text.find("<ELEMENT", text.find("<ELEMENT", text.find("<ELEMENT") + 1) + 1) + 3);
  test::WriteFile(inbox.File("_index.xml"), text);
  const Listing after = inbox.Read(1);
  std::vector<std::string> kept;
  for (const auto& [id, item] : before)
    if (text.find("ID=\"" + id + "\"") != std::string::npos) kept.push_back(id);
  ASSERT_EQ(kept.size(), 2u);
  ExpectRebuilt(before, after, kept, "older backup");
  EXPECT_EQ(test::ReadFile(inbox.File("_index.xml.bad")), text);
  EXPECT_NE(inbox.Log().find("not restored"), std::string::npos) << inbox.Log();
}

TEST_P(DamagedIndex, ALostIndexIsNeverOverwrittenByADelivery) {
  test::InboxFixture inbox;
  inbox.Use(GetParam());
  for (const char* id : {"1.MAI", "2.MAI", "3.MAI"}) ASSERT_EQ(inbox.Deliver(id), 1);
  std::filesystem::remove(inbox.File("_index.xml"));

  EXPECT_EQ(inbox.Deliver("4.MAI"), 1) << "the message is stored; the rebuild indexes it";
  EXPECT_FALSE(test::PathExists(inbox.File("_index.xml")));
  EXPECT_TRUE(test::PathExists(inbox.File("_CHANGE.DTY")));
  EXPECT_EQ(inbox.Update("1.MAI", "+\\SEEN"), 0);
  EXPECT_EQ(inbox.Remove("1.MAI"), 0);
  EXPECT_FALSE(test::PathExists(inbox.File("_index.xml"))) << "a removal must not write an empty index";
  EXPECT_EQ(inbox.FolderDat().counters[FolderDetails::kLastUid], 3u);

  const Listing after = inbox.Read(1);  // the open finds the folder dirty and rebuilds it
  ASSERT_EQ(after.size(), 4u);
  for (const auto& [id, item] : after) EXPECT_GT(item.first, 3u) << id;
  EXPECT_EQ(inbox.FolderDat().counters[FolderDetails::kLastUid], 7u);
}

// A UID or LASTUID that is not a number within 1..4294967294 is damage:
// never wrapped round, never read as a huge number.
TEST_P(DamagedIndex, NumbersThatAreNoUidsAreDamage) {
  test::InboxFixture inbox;
  inbox.Use(GetParam());
  const Listing before = Populate(inbox);
  const std::string good = test::ReadFile(inbox.File("_index.xml"));
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  const size_t lastUidAt = good.find("LASTUID=\"") + 9;
  const std::string lastUid = good.substr(lastUidAt, good.find('"', lastUidAt) - lastUidAt);
  for (const char* bad : {"-5", "4294967295", "4294967296", "x1ffffffff", "12ab"}) {
    std::string text = replaced(good, "LASTUID=\"" + lastUid + "\"", std::string("LASTUID=\"") + bad + "\"");
    text = replaced(text, "ID=\"2.MAI\" UID=\"2\"", std::string("ID=\"2.MAI\" UID=\"") + bad + "\"");
    text = replaced(text, "ID=\"3.MAI\" UID=\"3\"", "ID=\"3.MAI\" UID=\"-3\"");
    test::WriteFile(inbox.File("_index.xml"), text);
    const Listing after = inbox.Read(1);
    ASSERT_EQ(after.size(), before.size()) << bad;
    EXPECT_EQ(after.at("1.MAI"), before.at("1.MAI")) << bad;
    EXPECT_EQ(after.at("4.MAI"), before.at("4.MAI")) << bad;
    for (const char* renumbered : {"2.MAI", "3.MAI"}) {
      EXPECT_GT(after.at(renumbered).first, kDelivered) << bad << " " << renumbered;
      EXPECT_LT(after.at(renumbered).first, 100u) << bad << " " << renumbered;
      EXPECT_EQ(after.at(renumbered).second, before.at(renumbered).second) << bad << " keeps its flags";
    }
    EXPECT_NE(after.at("2.MAI").first, after.at("3.MAI").first) << bad;
  }
}

TEST(UidFloor, TheBackupsLastUidIsAFloor) {
  test::InboxFixture inbox;
  inbox.Use({.backup = true});
  test::WriteFile(inbox.File("_index.xml.bak"), "<BASEELEMENT LASTUID=\"x00000009\"></BASEELEMENT>\r\n");
  inbox.WriteMessage("a.MAI");
  inbox.WriteMessage("b.MAI");
  ASSERT_EQ(Reindex(inbox), 1);
  const Listing after = inbox.Read();
  EXPECT_EQ(after.at("a.MAI").first, 10u);
  EXPECT_EQ(after.at("b.MAI").first, 11u);
}

TEST(UidFloor, AnImplausibleFloorIsReportedAndIgnored) {
  test::InboxFixture inbox;
  std::string counters(52, '\0');
  counters[44 + 3] = '\x90';  // word 11 = 0x90000000
  test::WriteFile(inbox.File("_FOLDER.DAT"), counters);
  inbox.WriteMessage("a.MAI");
  ASSERT_EQ(Reindex(inbox), 1);
  EXPECT_EQ(inbox.Read().at("a.MAI").first, 1u);
  EXPECT_NE(inbox.Log().find("UID floor candidate 2415919104 from _FOLDER.DAT ignored for "), std::string::npos)
      << inbox.Log();
}

// The last UID is used: an insert fails whole, and nothing marks the folder
// for a rebuild that would only run out again.
TEST(UidFloor, NoUidBeyondTheLastOneAndNothingChanges) {
  test::InboxFixture inbox;
  const std::string full = "<BASEELEMENT LASTUID=\"xfffffffe\"></BASEELEMENT>\r\n";
  test::WriteFile(inbox.File("_index.xml"), full);
  EXPECT_EQ(inbox.Deliver("a.MAI"), 0);
  EXPECT_FALSE(test::PathExists(inbox.File("_CHANGE.DTY")));
  EXPECT_EQ(test::ReadFile(inbox.File("_index.xml")), full);
}

TEST(UidFloor, FolderCountersNeverLowerTheLastUid) {
  test::InboxFixture inbox;
  FolderDetails details;
  details.counters[FolderDetails::kItems] = 2;
  details.counters[FolderDetails::kLastUid] = 7;
  ASSERT_TRUE(WriteFolderDatFile(inbox.File("_FOLDER.DAT"), details));
  details.counters[FolderDetails::kLastUid] = 3;
  details.counters[FolderDetails::kItems] = 1;
  ASSERT_TRUE(WriteFolderDatFile(inbox.File("_FOLDER.DAT"), details));
  EXPECT_EQ(inbox.FolderDat().counters[FolderDetails::kLastUid], 7u);
  EXPECT_EQ(inbox.FolderDat().counters[FolderDetails::kItems], 1u);
  for (const auto& entry : std::filesystem::directory_iterator(inbox.Dir()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Serialisers, DamagedIndex,
                         ::testing::Values(IndexSwitches{}, IndexSwitches{.streamLoad = false, .streamSave = false},
                                           IndexSwitches{.streamLoad = false, .streamSave = false, .backup = true}),
                         [](const auto& info) {
                           return std::string(info.param.streamSave ? "Stream" : "Document") +
                                  (info.param.backup ? "WithBackup" : "");
                         });

}  // namespace
}  // namespace tw
