#include <gtest/gtest.h>

#include <string>

#include "index/file/document_serialiser.h"
#include "index/file/stream_serialiser.h"
#include "support/index_fixture.h"

namespace tw {
namespace {

using test::AddItem;
using test::IndexFolder;
using test::Items;
using test::Values;

constexpr char kEmpty[] = "<BASEELEMENT LASTUID=\"x00000000\"></BASEELEMENT>\r\n";

int32_t Save(SORTEDSTOREINDEXTYPE& index, const IndexFolder& folder) {
  return StreamXMLStoreIndexSerialiser().SerialiseHook(index, folder.path(), 0);
}

int32_t Load(SORTEDSTOREINDEXTYPE& index, const IndexFolder& folder, int32_t level = 3, uint32_t verify = 0) {
  return StreamXMLStoreIndexSerialiser().Deserialise(index, folder.path(), 0, level, {verify, false, false});
}

// A saved index of three items, loaded back in full.
struct ThreeItems {
  IndexFolder folder;
  SORTEDSTOREINDEXTYPE index;
  explicit ThreeItems(const std::vector<std::pair<std::string, uint32_t>>& settings = {}) : folder(settings) {
    SORTEDSTOREINDEXTYPE writer;
    writer.SetLoadLevel(3);
    for (const char* id : {"a.MAI", "b.MAI", "c.MAI"})
      AddItem(writer, {{"ID", id}, {"SUBJECT", std::string("subject of ") + id}, {"FLAGSTATUS", "\\RECENT"}});
    EXPECT_EQ(Save(writer, folder), 1);
    EXPECT_EQ(Load(index, folder), 3);
  }
};

TEST(StreamSerialiserTest, WritesExactBytes) {
  const struct {
    const char* name;
    Values values;  // empty: no item
    uint32_t validUtf8;
    std::string expected;
  } cases[] = {
      {"empty", {}, 1, kEmpty},
      {"one item", {{"ID", "1.MAI"}, {"UID", "26"}, {"SUBJECT", "Hi"}}, 1,
       "<BASEELEMENT LASTUID=\"x0000001a\"><ELEMENT ID=\"1.MAI\" UID=\"26\"><READ>0</READ><SUBJECT>Hi</SUBJECT>"
       "</ELEMENT></BASEELEMENT>\r\n"},
      {"escaping", {{"ID", "e"}, {"UID", "1"}, {"SUBJECT", "a&b<c>d\x01"}}, 0,
       "<BASEELEMENT LASTUID=\"x00000001\"><ELEMENT ID=\"e\" UID=\"1\"><READ>0</READ>"
       "<SUBJECT>a&amp;b&lt;c&gt;d&#x1;</SUBJECT></ELEMENT></BASEELEMENT>\r\n"},
      {"address", {{"ID", "f"}, {"UID", "4"}, {"FROM", "\"A & B\" <ab@x>"}}, 1,
       "<BASEELEMENT LASTUID=\"x00000004\"><ELEMENT ID=\"f\" UID=\"4\">"
       "<FROM>\"A &amp; B\" &lt;ab@x&gt;</FROM><READ>0</READ></ELEMENT></BASEELEMENT>\r\n"},
      // Longer than the 16-byte blocks the escaping looks at: escapes in
      // several blocks, a tab, a '<' opening a block, then a control byte.
      {"long values",
       {{"ID", "g"}, {"UID", "5"}, {"FROM", "Ann Example <ann@x.org>, \"B & C\" <bc@x.org>\tD <d@x>"},
        {"SUBJECT", "0123456789abcdef<\x01"}},
       0,
       "<BASEELEMENT LASTUID=\"x00000005\"><ELEMENT ID=\"g\" UID=\"5\"><FROM>Ann Example &lt;ann@x.org&gt;, "
       "\"B &amp; C\" &lt;bc@x.org&gt;\tD &lt;d@x&gt;</FROM><READ>0</READ><SUBJECT>0123456789abcdef&lt;&#x1;</SUBJECT>"
       "</ELEMENT></BASEELEMENT>\r\n"},
      {"repaired UTF-8", {{"ID", "u"}, {"UID", "2"}, {"SUBJECT", "a\xFF\x01\x7F\xC3\xA9"}}, 1,
       "<BASEELEMENT LASTUID=\"x00000002\"><ELEMENT ID=\"u\" UID=\"2\"><READ>0</READ>"
       "<SUBJECT>a   \xC3\xA9</SUBJECT></ELEMENT></BASEELEMENT>\r\n"},
      {"outside the BMP", {{"ID", "p"}, {"UID", "3"}, {"SUBJECT", "\xF0\x9F\x98\x80\xEF\xBF\xBE"}}, 1,
       "<BASEELEMENT LASTUID=\"x00000003\"><ELEMENT ID=\"p\" UID=\"3\"><READ>0</READ>"
       "<SUBJECT>&#xd83d;&#xde00;&#xfffe;</SUBJECT></ELEMENT></BASEELEMENT>\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IndexFolder folder({{"Index Requires Valid UTF8", c.validUtf8}});
    SORTEDSTOREINDEXTYPE index;
    index.SetLoadLevel(3);
    if (!c.values.empty()) {
      ASSERT_NE(AddItem(index, c.values), nullptr);
    }
    ASSERT_EQ(Save(index, folder), 1);
    EXPECT_EQ(folder.Read(), c.expected);

    SORTEDSTOREINDEXTYPE loaded;
    ASSERT_EQ(Load(loaded, folder), 3);
    EXPECT_EQ(loaded.LastUid(), index.LastUid());
    if (c.validUtf8 == 0) {
      EXPECT_EQ(Items(loaded), Items(index)) << "reads back unchanged";
    }
  }
}

TEST(StreamSerialiserTest, LoadLevelsAndOffsets) {
  ThreeItems t;
  const std::string file = t.folder.Read();
  ASSERT_EQ(t.index.Count(), 3u);
  for (const auto* item : t.index.Sequence()) {
    const std::string element = file.substr(static_cast<size_t>(item->FileOffset()), item->ElementLength());
    EXPECT_TRUE(element.starts_with("<ELEMENT ID=\"" + item->GetText("ID"))) << element;
    EXPECT_TRUE(element.ends_with("</ELEMENT>"));
  }
  EXPECT_EQ(t.index.Sequence()[1]->GetText("SUBJECT"), "subject of b.MAI");

  SORTEDSTOREINDEXTYPE keys;
  ASSERT_EQ(Load(keys, t.folder, 2), 2);
  ASSERT_EQ(keys.Count(), 3u);
  EXPECT_EQ(keys.Sequence()[2]->GetText("SUBJECT"), "") << "keys only";
  EXPECT_EQ(keys.Sequence()[2]->GetNumber("UID"), 3);

  SORTEDSTOREINDEXTYPE header;
  ASSERT_EQ(Load(header, t.folder, 1), 1);
  EXPECT_EQ(header.Count(), 0u);
  EXPECT_EQ(header.LastUid(), 3u);
  EXPECT_EQ(header.indexFileSize, file.size());

  SORTEDSTOREINDEXTYPE filtered;
  filtered.keyFilter = "c.MAI,a.MAI";
  ASSERT_EQ(Load(filtered, t.folder), 3);
  ASSERT_EQ(filtered.Count(), 2u);
  EXPECT_EQ(filtered.Sequence()[1]->GetText("ID"), "c.MAI");
}

// The reader takes elements whole from a buffer of its own (256 KiB): an
// index larger than that has elements, tags and escaped values cut at every
// refill, and one element larger than the whole buffer.
TEST(StreamSerialiserTest, IndexesLargerThanTheReadBufferLoadWhole) {
  IndexFolder folder;
  SORTEDSTOREINDEXTYPE writer;
  writer.SetLoadLevel(3);
  for (int i = 0; i < 3000; ++i) {
    const std::string pad(static_cast<size_t>(i % 97), 'x');
    Values values{{"ID", std::to_string(100000 + i) + ".MAI"},
                  {"FROM", "A & B <a" + pad + "@b>"},
                  {"SUBJECT", "s" + pad},
                  {"SIZE", std::to_string(i)}};
    if (i == 1500) values["BODY"] = std::string(300 * 1024, 'b') + "<&>";
    ASSERT_NE(AddItem(writer, values), nullptr);
  }
  ASSERT_EQ(Save(writer, folder), 1);
  const std::string file = folder.Read();
  ASSERT_GT(file.size(), 3u * 256 * 1024);

  SORTEDSTOREINDEXTYPE loaded;
  ASSERT_EQ(Load(loaded, folder), 3);
  EXPECT_EQ(Items(loaded), Items(writer));
  for (const auto* item : loaded.Sequence()) {
    const std::string element = file.substr(static_cast<size_t>(item->FileOffset()), item->ElementLength());
    ASSERT_TRUE(element.starts_with("<ELEMENT ID=\"" + item->GetText("ID") + "\"")) << item->FileOffset();
    ASSERT_TRUE(element.ends_with("</ELEMENT>"));
  }
  loaded.rewriteInFull = true;
  ASSERT_EQ(Save(loaded, folder), 1);
  EXPECT_EQ(folder.Read(), file) << "written back byte for byte";

  SORTEDSTOREINDEXTYPE keys;
  ASSERT_EQ(Load(keys, folder, 2), 2);
  ASSERT_EQ(keys.Count(), 3000u);
  EXPECT_EQ(keys.Sequence()[2999]->GetText("ID"), "102999.MAI");
  EXPECT_EQ(keys.Sequence()[1500]->GetText("BODY"), "") << "keys only";
}

TEST(StreamSerialiserTest, SavesRewriteOnlyTheTail) {
  ThreeItems t;
  const std::string before = t.folder.Read();
  auto* last = t.index.Sequence()[2];
  const size_t lastOffset = static_cast<size_t>(last->FileOffset());
  last->SetText("FLAGSTATUS", "\\SEEN \\FLAGGED");
  ASSERT_EQ(Save(t.index, t.folder), 1);
  const std::string after = t.folder.Read();
  EXPECT_EQ(after.substr(0, lastOffset), before.substr(0, lastOffset)) << "nothing before the change is rewritten";
  EXPECT_NE(after.find("<FLAGSTATUS>\\SEEN \\FLAGGED</FLAGSTATUS>"), std::string::npos);

  // A new item appends from the old root end tag; the header changes in place.
  t.index.rewriteInFull = false;
  t.index.SetLowestUid(0);
  t.index.indexFileSize = static_cast<uint32_t>(after.size());
  t.index.indexFileTime = 0;
  AddItem(t.index, {{"ID", "d.MAI"}, {"SUBJECT", "new"}});
  SORTEDSTOREINDEXTYPE fresh;
  ASSERT_EQ(Load(fresh, t.folder), 3);
  AddItem(fresh, {{"ID", "d.MAI"}, {"SUBJECT", "new"}});
  ASSERT_EQ(Save(fresh, t.folder), 1);
  const std::string grown = t.folder.Read();
  EXPECT_EQ(grown.substr(33, after.size() - 16 - 33), after.substr(33, after.size() - 16 - 33));
  EXPECT_EQ(grown.substr(0, 33), "<BASEELEMENT LASTUID=\"x00000004\">");
  EXPECT_TRUE(grown.ends_with("<SUBJECT>new</SUBJECT></ELEMENT></BASEELEMENT>\r\n"));

  // Whatever was rewritten, a full write of the same index gives the same bytes.
  SORTEDSTOREINDEXTYPE reloaded;
  ASSERT_EQ(Load(reloaded, t.folder), 3);
  reloaded.rewriteInFull = true;
  ASSERT_EQ(Save(reloaded, t.folder), 1);
  EXPECT_EQ(t.folder.Read(), grown);
}

TEST(StreamSerialiserTest, RemovedItemsTurnDeadInPlace) {
  ThreeItems t;
  const std::string before = t.folder.Read();
  ASSERT_TRUE(t.index.RemoveById("b.MAI"));
  ASSERT_EQ(Save(t.index, t.folder), 1);
  const std::string after = t.folder.Read();
  EXPECT_EQ(after.size(), before.size());
  EXPECT_NE(after.find("<ELEMENT ID=\"-----\" UID=\"-\"><FLAGSTATUS>"), std::string::npos) << after;

  // A later tail rewrite carries the dead element along as a gap and never
  // marks its old place again.
  t.index.indexFileSize = static_cast<uint32_t>(after.size());
  SORTEDSTOREINDEXTYPE reloaded;
  ASSERT_EQ(Load(reloaded, t.folder), 3);
  EXPECT_EQ(reloaded.Count(), 2u);
  reloaded.keyFilter = "";
  reloaded.Sequence()[0]->SetText("SUBJECT", "longer subject of a.MAI");
  reloaded.SetLoadLevel(2);  // partial: gaps must be kept
  reloaded.keyFilter = "a.MAI";
  ASSERT_EQ(Save(reloaded, t.folder), 1);
  SORTEDSTOREINDEXTYPE again;
  ASSERT_EQ(Load(again, t.folder), 3);
  ASSERT_EQ(again.Count(), 2u);
  EXPECT_EQ(again.Sequence()[0]->GetText("SUBJECT"), "longer subject of a.MAI");
  EXPECT_EQ(again.Sequence()[1]->GetText("ID"), "c.MAI");
  EXPECT_NE(t.folder.Read().find("ID=\"-----\""), std::string::npos) << "the dead element is carried along";
}

TEST(StreamSerialiserTest, GarbageCollectionRewritesWithoutDeadElements) {
  ThreeItems t({{"Index Garbage Collection Threshold", 2}});
  ASSERT_TRUE(t.index.RemoveById("a.MAI"));
  ASSERT_TRUE(t.index.RemoveById("b.MAI"));
  ASSERT_EQ(Save(t.index, t.folder), 1);

  SORTEDSTOREINDEXTYPE partial;
  partial.keyFilter = "c.MAI";
  ASSERT_EQ(Load(partial, t.folder, 2), 3) << "a partial load that meets the threshold reloads in full";
  EXPECT_TRUE(partial.keyFilter.empty());
  EXPECT_TRUE(partial.rewriteInFull);
  ASSERT_EQ(Save(partial, t.folder), 1);
  EXPECT_EQ(t.folder.Read().find("-\""), std::string::npos);
  SORTEDSTOREINDEXTYPE reloaded;
  ASSERT_EQ(Load(reloaded, t.folder), 3);
  ASSERT_EQ(reloaded.Count(), 1u);
  EXPECT_EQ(reloaded.Sequence()[0]->GetText("SUBJECT"), "subject of c.MAI");
}

TEST(StreamSerialiserTest, OldFormatLoadsCompletelyAndIsRewrittenInFull) {
  IndexFolder folder;
  folder.Write(
      "<BASEELEMENT LASTUID=\"12\"><ELEMENT ID=\"z\" UID=\"12\"><SUBJECT>last</SUBJECT></ELEMENT>"
      "<ELEMENT ID=\"a\" UID=\"5\"><SUBJECT>first</SUBJECT></ELEMENT></BASEELEMENT>\r\n");
  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(Load(index, folder, 1), 3) << "the header alone shows the old format";
  EXPECT_EQ(index.LastUid(), 12u);
  ASSERT_EQ(index.Count(), 2u);
  EXPECT_EQ(index.Sequence()[0]->GetText("ID"), "a") << "sequence in UID order";
  EXPECT_EQ(index.Sequence()[0]->GetNumber("SEQ"), 1);
  EXPECT_TRUE(index.rewriteInFull);
  ASSERT_EQ(Save(index, folder), 1);
  EXPECT_EQ(folder.Read(),
            "<BASEELEMENT LASTUID=\"x0000000c\"><ELEMENT ID=\"a\" UID=\"5\"><READ>0</READ><SUBJECT>first</SUBJECT>"
            "</ELEMENT><ELEMENT ID=\"z\" UID=\"12\"><READ>0</READ><SUBJECT>last</SUBJECT></ELEMENT>"
            "</BASEELEMENT>\r\n");
}

TEST(StreamSerialiserTest, MalformedFilesLoadAsLevelZeroWithTheirReport) {
  const struct {
    std::string content;
    std::string problem;
  } cases[] = {
      {"<BASEELEMENT LASTUID=\"x00000001\"><ELEMENT UID=\"1\"></ELEMENT></BASEELEMENT>\r\n",
       "Encountered element start tag without an ID"},
      {"<BASEELEMENT LASTUID=\"x00000002\"><ELEMENT ID=\"a\" UID=\"1\"><ELEMENT ID=\"b\" UID=\"2\">",
       "Encountered element start tag nested within another element"},
      {"<BASEELEMENT LASTUID=\"x00000001\"><ELEMENT ID=\"a\" UID=\"1\"></ELEMENT>",
       "Did not find root element end tag"},
      {"garbage", "Did not find root element start tag [7:garbage]"},
      {"<BASEELEMENT LASTUID=\"x00000009\"><ELEMENT ID=\"a\" UID=\"9\"></ELEMENT><ELEMENT ID=\"b\" UID=\"3\">"
       "</ELEMENT></BASEELEMENT>",
       "Encountered element with UID out of order. This UID=3, Previous UID=9, Largest/Last UID=9"},
      {"<BASEELEMENT LASTUID=\"x00000001\"><ELEMENT ID=a UID=\"1\"></ELEMENT></BASEELEMENT>",
       "Unable to parse ID attribute, Tag=[ELEMENT ID=a UID=\"1\"]"},
      {"<BASEELEMENT LASTUID=\"x00000001\"><ELEMENT ID=\"a\" UID=\"1\"><S>x</T></ELEMENT></BASEELEMENT>",
       "Encountered property end tag (T) that does not match previous property start tag (S)"},
      {"<BASEELEMENT LASTUID=\"x00000001\"><S>x</S></BASEELEMENT>", "Encountered property tag (S) outside an element"},
      {"</BASEELEMENT>", "Encountered root element end tag before root element start tag"},
      {"<BASEELEMENT LASTUID=\"x00000001\"></BASEELEMENT><ELEMENT ID=\"a\">",
       "Encountered element tag after already encountering a root element end tag"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    IndexFolder folder;
    folder.Write(c.content);
    SORTEDSTOREINDEXTYPE index;
    EXPECT_EQ(Load(index, folder), 0);
    // With "Backup Index" off the failure is only reported.
    EXPECT_EQ(folder.Log(), (std::vector<std::string>{
                                "[twstore_tests] Malformed index detected: " + c.problem + " (" + folder.path() +
                                    "\\_index.xml)\n",
                                "[twstore_tests] Failed to deserialise index: " + folder.path() + ".\n"}));
  }
}

TEST(StreamSerialiserTest, FilesNotWrittenExactlyAreWrittenAnew) {
  const struct {
    const char* name;
    std::string content;
    size_t items;
  } cases[] = {
      {"short LASTUID", "<BASEELEMENT LASTUID=\"x5\"><ELEMENT ID=\"a\" UID=\"5\"></ELEMENT></BASEELEMENT>\r\n", 1},
      {"no UID", "<BASEELEMENT LASTUID=\"x00000005\"><ELEMENT ID=\"a\"></ELEMENT></BASEELEMENT>\r\n", 1},
      {"UID first", "<BASEELEMENT LASTUID=\"x00000005\"><ELEMENT UID=\"5\" ID=\"a\"></ELEMENT></BASEELEMENT>\r\n", 1},
      {"padded UID", "<BASEELEMENT LASTUID=\"x00000005\"><ELEMENT ID=\"a\" UID=\"05\"></ELEMENT></BASEELEMENT>\r\n", 1},
      {"duplicate ID",
       "<BASEELEMENT LASTUID=\"x00000006\"><ELEMENT ID=\"a\" UID=\"5\"></ELEMENT><ELEMENT ID=\"a\" UID=\"6\">"
       "</ELEMENT></BASEELEMENT>\r\n",
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IndexFolder folder;
    folder.Write(c.content);
    SORTEDSTOREINDEXTYPE partial;
    partial.keyFilter = "a";
    ASSERT_EQ(Load(partial, folder, 2), 3) << "a partial load is done again in full";
    EXPECT_TRUE(partial.keyFilter.empty());
    EXPECT_TRUE(partial.rewriteInFull);
    ASSERT_EQ(partial.Count(), c.items);
    ASSERT_EQ(Save(partial, folder), 1);
    SORTEDSTOREINDEXTYPE reloaded;
    ASSERT_EQ(Load(reloaded, folder), 3);
    EXPECT_FALSE(reloaded.rewriteInFull) << folder.Read();
    EXPECT_EQ(Items(reloaded), Items(partial));
  }
  // IDs are taken as written, references and all.
  IndexFolder folder;
  folder.Write("<BASEELEMENT LASTUID=\"x00000001\"><ELEMENT ID=\"a&amp;b\" UID=\"1\"></ELEMENT></BASEELEMENT>\r\n");
  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(Load(index, folder), 3);
  EXPECT_EQ(index.Sequence()[0]->GetText("ID"), "a&amp;b");
}

TEST(StreamSerialiserTest, EmptyRootAndHeaderOnlyLoads) {
  IndexFolder folder;
  folder.Write("<BASEELEMENT LASTUID=\"x0000001a\"/>");
  SORTEDSTOREINDEXTYPE index;
  EXPECT_EQ(Load(index, folder, 1), 3);
  EXPECT_EQ(index.LastUid(), 26u);
  EXPECT_TRUE(index.rewriteInFull);
  SORTEDSTOREINDEXTYPE full;
  EXPECT_EQ(Load(full, folder, 3), 3) << "a root closed at once is an empty index";
  EXPECT_EQ(full.Count(), 0u);
}

TEST(StreamSerialiserTest, SaveRefusedWhenAPartialIndexChangedOnDisk) {
  ThreeItems t;
  SORTEDSTOREINDEXTYPE partial;
  partial.keyFilter = "b.MAI";
  ASSERT_EQ(Load(partial, t.folder), 3);
  partial.Sequence()[0]->SetText("FLAGSTATUS", "\\SEEN");
  t.folder.Write(t.folder.Read() + " ");  // another writer
  EXPECT_EQ(Save(partial, t.folder), 0);
  EXPECT_NE(t.folder.LogText().find("Index file modified since load (" + t.folder.path() +
                                    "\\_index.xml). Index was not fully loaded: aborting save."),
            std::string::npos);

  // A fully loaded index is written whole instead.
  t.index.Sequence()[0]->SetText("FLAGSTATUS", "\\SEEN");
  ASSERT_EQ(Save(t.index, t.folder), 1);
  SORTEDSTOREINDEXTYPE reloaded;
  ASSERT_EQ(Load(reloaded, t.folder), 3);
  EXPECT_EQ(Items(reloaded), Items(t.index));
}

TEST(StreamSerialiserTest, VerifiedLoadSkipsMissingItemFilesAndStampsTheFolder) {
  ThreeItems t({{"Index Requires Valid UTF8", 1}});
  test::WriteFile(t.folder.File("b.MAI"), "x");
  SORTEDSTOREINDEXTYPE index;
  ASSERT_EQ(Load(index, t.folder, 3, 1), 3);
  ASSERT_EQ(index.Count(), 1u);
  EXPECT_EQ(index.Sequence()[0]->GetText("ID"), "b.MAI");
  EXPECT_TRUE(index.rewriteInFull);
}

// A damaged file can hand the stream reader a property whose name no XML
// parser reads (a blank turned into byte A0 before "UID"); writing it back
// would lock the document serialiser out of the folder.
TEST(StreamSerialiserTest, PropertyNamesNoXmlParserReadsAreLeftOut) {
  IndexFolder folder;
  SORTEDSTOREINDEXTYPE index;
  index.SetLoadLevel(3);
  AddItem(index, {{"ID", "a.MAI"}, {"UID", "1"}, {"\xA0UID", "23"}, {"SUBJECT", "kept"}});
  ASSERT_EQ(Save(index, folder), 1);
  const std::string file = folder.Read();
  EXPECT_EQ(file.find('\xA0'), std::string::npos) << file;
  EXPECT_NE(file.find("<SUBJECT>kept</SUBJECT>"), std::string::npos);
  SORTEDSTOREINDEXTYPE reread;
  testing::internal::CaptureStdout();
  EXPECT_EQ(MSXMLStoreIndexSerialiser(false).DeserialiseHook(reread, folder.path(), 0, 3, 0, false), 3);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace tw
