// Index files written by either serialiser are plain XML: an independent
// parser reads the same values.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "index/file/document_serialiser.h"
#include "index/file/stream_serialiser.h"
#include "support/index_fixture.h"

namespace tw {
namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char digits[3];
  for (unsigned char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    out += digits;
  }
  return out;
}

const test::Values kItems[] = {
    {{"ID", "00000001.MAI"}, {"SUBJECT", "Fish & chips <today> \"quoted\" 'single'"}, {"FROM", "José <j@x.org>"}},
    {{"ID", "00000002.MAI"}, {"SUBJECT", "\xE4\xB8\xAD\xE6\x96\x87 and ]]> too"}, {"FLAGSTATUS", "\\SEEN \\RECENT"}},
    {{"ID", "00000003.MAI"}, {"SUBJECT", "&amp; stays literal"}, {"SIZE", "1234"}},
};

TEST(IndexFileInteropTest, BothSerialisersWriteWhatAnXmlParserReads) {
  if (std::system("python3 -c 'import xml.etree.ElementTree' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3 is not available";
  test::IndexFolder folder;
  SORTEDSTOREINDEXTYPE index;
  index.SetLoadLevel(3);
  for (const auto& values : kItems) ASSERT_NE(test::AddItem(index, values), nullptr);

  std::string expected;
  const struct {
    const char* name;
    bool stream;
  } writers[] = {{"stream", true}, {"document", false}};
  std::string files;
  for (const auto& w : writers) {
    const std::string sub = folder.path() + "/" + w.name;
    test::MakeDirs(sub);
    if (w.stream) ASSERT_EQ(StreamXMLStoreIndexSerialiser().SerialiseHook(index, sub, 0), 1);
    else ASSERT_EQ(MSXMLStoreIndexSerialiser(false).SerialiseHook(index, sub, 0), 1);
    const std::string path = sub + "/_index.xml";
    files += " '" + path + "'";
    expected += path + "\troot\tBASEELEMENT\tx00000003\n";
    index.ForEachInSequence([&](const IndexItemPropertyContainer& item) {
      const auto all = item.GetAll();
      expected += path + "\t" + all.at("ID") + "\tUID\t" + all.at("UID") + "\n";
      for (const auto& [name, value] : all)
        if (name != "ID" && name != "UID" && name != "SEQ") expected += path + "\t" + all.at("ID") + "\t" + name + "\t" + Hex(value) + "\n";
    });
  }
  const std::string listing = folder.path() + "/listing.txt";
  const std::string command =
      "python3 '" TW_SOURCE_DIR "/tests/index/file/scripts/etree_values.py' '" + listing + "'" + files;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(test::ReadFile(listing), expected);

  // And each serialiser reads what the other wrote.
  SORTEDSTOREINDEXTYPE fromStream, fromDocument;
  ASSERT_EQ(MSXMLStoreIndexSerialiser(true).Deserialise(fromStream, folder.path() + "/stream", 0, 3, {}), 3);
  ASSERT_EQ(StreamXMLStoreIndexSerialiser().Deserialise(fromDocument, folder.path() + "/document", 0, 3, {}), 3);
  EXPECT_EQ(test::Items(fromStream), test::Items(index));
  EXPECT_EQ(test::Items(fromDocument), test::Items(index));
}

}  // namespace
}  // namespace tw
