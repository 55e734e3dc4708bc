#include "index/file/document_serialiser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <utility>

#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "support/test_support.h"

namespace tw {
namespace {

using Values = std::map<std::string, std::string>;

class DocumentSerialiser : public ::testing::Test {
 protected:
  void SetUp() override { UseRegistry(""); }
  void TearDown() override {
    registry_.reset();
    ResetSerialisationSettingsCache();
  }
  void UseRegistry(const std::string& body) {
    registry_.reset();  // restores the previous setting before the new one takes over
    registry_ = std::make_unique<test::ScopedRegistry>(body);
    ResetSerialisationSettingsCache();
  }
  static void Add(SORTEDSTOREINDEXTYPE& index, const Values& values) {
    auto* item = new IndexItemPropertyContainer;
    item->SetAllGiven(values);
    ASSERT_TRUE(index.InsertAtEnd(item));
  }
  // An index made by hand holds every item.
  int32_t Save(SORTEDSTOREINDEXTYPE& index, bool oldFormat) {
    if (index.LoadLevel() == 0) index.SetLoadLevel(kLevelFull);
    return MSXMLStoreIndexSerialiser(oldFormat).SerialiseHook(index, dir_.path(), kFolderTypeMail);
  }
  // Loads `content` (nothing written when null); returns the level and what was printed.
  std::pair<int32_t, std::string> Load(SORTEDSTOREINDEXTYPE& index, const char* content, uint32_t verify = 0) {
    if (content != nullptr) test::WriteFile(IndexPath(), content);
    testing::internal::CaptureStdout();
    const int32_t level =
        MSXMLStoreIndexSerialiser(false).DeserialiseHook(index, dir_.path(), kFolderTypeMail, 3, verify, false);
    return {level, testing::internal::GetCapturedStdout()};
  }
  std::string IndexPath() const { return dir_ / "_index.xml"; }

  test::ScratchDir dir_;
  std::unique_ptr<test::ScopedRegistry> registry_;
};

TEST_F(DocumentSerialiser, RoundTripInUidOrderWithEscapes) {
  UseRegistry(test::RegistryKey() + test::DwordValue("Index Requires Valid UTF8", 0));
  const std::string subject = "x & <y> \x01 z \xF0\x9F\x98\x80";  // U+1F600 goes out as two references
  SORTEDSTOREINDEXTYPE index;
  Add(index, {{"ID", "a.eml"}, {"UID", "5"}, {"SUBJECT", subject}, {"FROM", "me"}});
  Add(index, {{"ID", "b.eml"}, {"UID", "3"}, {"SUBJECT", "second"}});
  ASSERT_EQ(Save(index, false), 1);

  const std::string file = test::ReadFile(IndexPath());
  EXPECT_TRUE(file.starts_with("<BASEELEMENT LASTUID=\"x00000005\"><ELEMENT ID=\"b.eml\" UID=\"3\">")) << file;
  EXPECT_TRUE(file.ends_with("</ELEMENT></BASEELEMENT>\r\n"));
  EXPECT_NE(file.find("<SUBJECT>x &amp; &lt;y&gt; &#x1; z &#xd83d;&#xde00;</SUBJECT>"), std::string::npos) << file;
  EXPECT_EQ(file.find("/>"), std::string::npos);
  EXPECT_EQ(file.find("<?xml"), std::string::npos);
  EXPECT_EQ(index.indexFileSize, file.size());

  SORTEDSTOREINDEXTYPE loaded;
  const auto [level, printed] = Load(loaded, nullptr);
  ASSERT_EQ(level, 3) << printed;
  EXPECT_EQ(printed, "");
  ASSERT_EQ(loaded.Count(), 2u);
  EXPECT_EQ(loaded.Sequence()[0]->GetText("ID"), "b.eml");
  EXPECT_EQ(loaded.FindById("a.eml")->GetText("SUBJECT"), subject);
  EXPECT_EQ(loaded.FindById("a.eml")->GetText("FROM"), "me");
  EXPECT_EQ(loaded.FindById("a.eml")->GetNumber("SEQ"), 2);
  EXPECT_EQ(loaded.LastUid(), 5u);
  EXPECT_EQ(loaded.LowestUid(), 0u);
  EXPECT_FALSE(loaded.rewriteInFull);
  EXPECT_EQ(loaded.indexFileSize, 0u) << "only the time: a stream save after this load must write the whole file";
  EXPECT_FALSE(loaded.elementPlacesKnown);
  EXPECT_NE(loaded.indexFileTime, 0u);
}

TEST_F(DocumentSerialiser, OldFormatWritesDecimalInIdOrder) {
  SORTEDSTOREINDEXTYPE index;
  Add(index, {{"ID", "b"}, {"UID", "1"}, {"READ", "1"}, {"SUBJECT", "one"}});
  Add(index, {{"ID", "a"}, {"UID", "12"}, {"READ", "0"}, {"SUBJECT", "two"}, {"FROM", "f"}});
  ASSERT_EQ(Save(index, true), 1);
  EXPECT_EQ(test::ReadFile(IndexPath()),
            "<BASEELEMENT LASTUID=\"12\"><ELEMENT ID=\"a\" UID=\"12\"><FROM>f</FROM><READ>0</READ>"
            "<SUBJECT>two</SUBJECT></ELEMENT><ELEMENT ID=\"b\" UID=\"1\"><READ>1</READ><SUBJECT>one</SUBJECT>"
            "</ELEMENT></BASEELEMENT>\r\n");
  EXPECT_FALSE(test::PathExists(IndexPath() + ".tmp"));
}

TEST_F(DocumentSerialiser, SaveRefusesWhatCannotBeWritten) {
  SORTEDSTOREINDEXTYPE index;
  Add(index, {{"ID", "ok"}, {"UID", "1"}, {"BAD NAME", "v"}, {"SUBJECT", "kept"}});
  Add(index, {{"ID", "quo\"te"}, {"UID", "2"}});
  testing::internal::CaptureStdout();
  ASSERT_EQ(Save(index, false), 1);
  const std::string message = "MSXMLStoreIndexSerialiser::SaveToNode->createElement Failed: -2147467259\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), message) << "names no tag can carry are never written";
  const std::string file = test::ReadFile(IndexPath());
  EXPECT_NE(file.find("<SUBJECT>kept</SUBJECT>"), std::string::npos);
  EXPECT_EQ(file.find("BAD"), std::string::npos);
  EXPECT_EQ(file.find("quo"), std::string::npos);

  test::ScratchDir other;
  EXPECT_EQ(MSXMLStoreIndexSerialiser(false).SerialiseHook(index, other / "missing", 0), 0);

  // The document is the whole file: part of the items would drop the rest.
  index.SetLoadLevel(kLevelHeader);
  EXPECT_EQ(Save(index, false), 0);
  EXPECT_EQ(test::ReadFile(IndexPath()), file);
}

TEST_F(DocumentSerialiser, StrictParseFailuresLoadNothing) {
  struct Case {
    const char* name;
    const char* content;  // null: no file
  };
  const Case cases[] = {
      {"duplicate attribute", "<BASEELEMENT LASTUID=\"x1\"><ELEMENT ID=\"a\" ID=\"b\"></ELEMENT></BASEELEMENT>"},
      {"two roots", "<BASEELEMENT LASTUID=\"x1\"></BASEELEMENT><BASEELEMENT LASTUID=\"x1\"></BASEELEMENT>"},
      {"text after root", "<BASEELEMENT LASTUID=\"x1\"></BASEELEMENT>junk"},
      {"invalid UTF-8", "<BASEELEMENT LASTUID=\"x1\"><ELEMENT ID=\"a\"><S>\xC0\xAF</S></ELEMENT></BASEELEMENT>"},
      {"truncated", "<BASEELEMENT LASTUID=\"x1\"><ELEMENT ID=\"a\"><S>x</S>"},
      {"mismatched", "<BASEELEMENT LASTUID=\"x1\"><ELEMENT ID=\"a\"></S></BASEELEMENT>"},
      {"empty", ""},
      {"missing", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(IndexPath().c_str());
    SORTEDSTOREINDEXTYPE index;
    Add(index, {{"ID", "kept"}, {"UID", "1"}});
    const auto [level, printed] = Load(index, c.content);
    EXPECT_EQ(level, 0);
    EXPECT_TRUE(printed.starts_with("Error:\nCode = 0x")) << printed;
    EXPECT_NE(printed.find("\nError Description = "), std::string::npos) << printed;
    EXPECT_EQ(index.Count(), 1u);  // untouched
  }

  SORTEDSTOREINDEXTYPE index;
  EXPECT_EQ(Load(index, "<BASEELEMENT LASTUID=\"x1\">\n<ELEMENT ID=\"\xFF\"></ELEMENT></BASEELEMENT>"),
            std::make_pair(0, std::string("Error:\nCode = 0xc00ce520\nSource = Line : 2; Char : 14\n"
                                          "Error Description = An invalid character was found in text content.\n")));
  const std::string path = dir_.path() + "\\_index.xml";
  EXPECT_EQ(Load(index, "<OTHER/>"),
            std::make_pair(0, "Error: The document \"" + path +
                                  "\" was loaded, but the documentElement could not be accessed. There may be "
                                  "invalid permissions set on this object.\n"));
}

TEST_F(DocumentSerialiser, LoadSkipsDeadAndMissingItems) {
  const char* content =
      "<BASEELEMENT LASTUID=\"7\"><ELEMENT ID=\"---\" UID=\"1\"><S>dead</S></ELEMENT>"
      "<ELEMENT ID=\"a\" UID=\"--\"></ELEMENT><ELEMENT ID=\"b\" UID=\"2\"><S>x&#x1;y</S></ELEMENT>"
      "<ELEMENT ID=\"c\" UID=\"3\"></ELEMENT><ELEMENT ID=\"../x\" UID=\"4\"></ELEMENT>"
      "<ELEMENT ID=\"b\" UID=\"5\"></ELEMENT></BASEELEMENT>\r\n";
  SORTEDSTOREINDEXTYPE index;
  index.keyFilter = "b";
  ASSERT_EQ(Load(index, content).first, 3);
  EXPECT_EQ(index.Count(), 3u);  // b, c, ../x; the second b is a duplicate
  EXPECT_EQ(index.FindById("b")->GetText("S"), "x\x01y");
  EXPECT_EQ(index.LastUid(), 7u);
  EXPECT_TRUE(index.rewriteInFull);  // decimal LASTUID
  EXPECT_EQ(index.keyFilter, "");

  // Only b has its item file; "../x" names one outside the folder.
  test::WriteFile(dir_ / "b", "");
  test::WriteFile(dir_ / "x", "");
  test::MakeDirs(dir_ / "f");
  test::WriteFile(dir_ / "f/_index.xml", content);
  testing::internal::CaptureStdout();
  EXPECT_EQ(MSXMLStoreIndexSerialiser(false).DeserialiseHook(index, dir_ / "f", 0, 3, 1, false), 3);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(index.Count(), 0u);
  test::WriteFile(dir_ / "f/b", "");
  EXPECT_EQ(MSXMLStoreIndexSerialiser(false).DeserialiseHook(index, dir_ / "f", 0, 3, 1, false), 3);
  ASSERT_EQ(index.Count(), 1u);
  EXPECT_EQ(index.Sequence()[0]->GetText("ID"), "b");
}

TEST_F(DocumentSerialiser, OtherXmlVersionsCannotCreateTheDocument) {
  UseRegistry(test::RegistryKey("Providers\\Store") + test::StringValue("XML Version", "4.0"));
  test::CapturedEvents events;
  SORTEDSTOREINDEXTYPE index;
  Add(index, {{"ID", "a"}, {"UID", "1"}});
  const std::string incompatible =
      "Tarnwick Folder Indexing Library is not compatible with the version of XML installed on this computer\n";
  testing::internal::CaptureStdout();
  EXPECT_EQ(Save(index, false), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), incompatible);
  EXPECT_FALSE(test::PathExists(IndexPath()));
  EXPECT_EQ(Load(index, "<BASEELEMENT LASTUID=\"x1\"></BASEELEMENT>"), std::make_pair(0, incompatible));
  ASSERT_EQ(events.entries().size(), 2u);
  EXPECT_EQ(events.entries()[0].text2, "[-2147221164] Error creating DOM instance");
  EXPECT_EQ(index.Count(), 1u);
}

TEST(DocumentFindElementById, QueriesByIdAttribute) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string("<BASEELEMENT><ELEMENT ID=\"a\"/><ELEMENT ID=\"b\" UID=\"2\"/></BASEELEMENT>"));
  EXPECT_STREQ(FindElementById(document, "b").attribute("UID").value(), "2");
  EXPECT_FALSE(FindElementById(document, "c"));
  EXPECT_FALSE(FindElementById(document, "x\"] | //ELEMENT[@ID=\"a"));
  EXPECT_FALSE(FindElementById(document, std::string_view("a\0", 2)));
}

}  // namespace
}  // namespace tw
