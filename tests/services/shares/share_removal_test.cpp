// Share removal on real files: the owner's _Shares.xml, the folders' access
// lists and the users' security files, read back from disk after each call.
#include "services/shares/share_removal.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/mutex.h"
#include "platform/system_info.h"
#include "support/store_fixture.h"
#include "support/test_support.h"

namespace tw {
namespace {

using Values = std::vector<std::string>;

std::string Joe(const std::string& folder) { return "SF:acme/joe/" + folder; }

class ShareRemovalTest : public ::testing::Test {
 protected:
  explicit ShareRemovalTest(bool withConfiguration = true)
      : mail_(withConfiguration ? test::StringValue("Configuration Directory", config_) : "") {}

  std::string Mailbox(const std::string& mailbox = "joe") const {
    return test::SystemPath(mail_.root()) + "/acme/MAILROOT/" + mailbox;
  }
  std::string Security(const std::string& user) const {
    return test::SystemPath(config_) + "/Postoffices/acme/Security/" + user + ".xml";
  }

  void WriteShares(const Values& resources, const std::string& mailbox = "joe") {
    std::string text = "<?xml version=\"1.0\"?>\n<SHARES>\n";
    for (const std::string& r : resources) text += "  <SHARE><NAME>x</NAME><RESOURCE>" + r + "</RESOURCE></SHARE>\n";
    test::WriteFile(Mailbox(mailbox) + "/_Shares.xml", text + "</SHARES>\n");
  }
  static void WriteAccess(const std::string& directory, const Values& users) {
    std::string text = "<LIST>";
    for (const std::string& u : users) text += "<ITEM><USER>" + u + "</USER><RIGHTS>r</RIGHTS></ITEM>";
    test::WriteFile(directory + "/_Access.XML", text + "</LIST>");
  }
  void WriteSecurity(const std::string& user, const Values& uris) {
    std::string text = "<LIST>";
    for (const std::string& u : uris) text += "<ITEM URI=\"" + u + "\" NAME=\"n\"/>";
    test::WriteFile(Security(user), text + "</LIST>");
  }

  // The values the file holds, in order: RESOURCE texts or URI attributes.
  static Values Read(const std::string& path, const char* query) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file(path.c_str())) << path;
    Values values;
    for (const pugi::xpath_node& found : document.select_nodes(query))
      values.push_back(found.node() ? found.node().text().get() : found.attribute().value());
    return values;
  }
  Values Shares(const std::string& mailbox = "joe") const {
    return Read(Mailbox(mailbox) + "/_Shares.xml", "//SHARES/SHARE/RESOURCE");
  }
  Values Uris(const std::string& user) const { return Read(Security(user), "//LIST/ITEM/@URI"); }

  // Every file with its content, for "nothing else changed".
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    for (const std::string& top : {mail_.dir().path(), configParent_.path()})
      for (const auto& entry : std::filesystem::recursive_directory_iterator(top))
        if (entry.is_regular_file()) files.push_back(entry.path().string() + "=" + test::ReadFile(entry.path()));
    std::sort(files.begin(), files.end());
    return files;
  }

  test::ScratchDir configParent_;
  std::string config_ = configParent_.path() + "\\CONFIG";
  test::MailRoot mail_;
};

TEST_F(ShareRemovalTest, RemovesTheFolderAndTheFoldersBelowItFromAllThreeFiles) {
  WriteShares({Joe("Inbox/Projects"), Joe("Inbox/Projects/2024"), Joe("Inbox/ProjectsOld"), Joe("Sent Items")});
  WriteAccess(Mailbox() + "/Inbox/Projects", {"acme/ann", "bob"});
  WriteAccess(Mailbox() + "/Inbox/Projects/2024", {"carl"});
  WriteSecurity("ann", {Joe("Inbox/Projects"), Joe("Inbox/Projects/2024"), Joe("Inbox/ProjectsOld"),
                        "SF:acme/eve/Inbox/Projects"});
  WriteSecurity("bob", {Joe("Inbox/Projects")});
  WriteSecurity("carl", {Joe("Inbox/Projects/2024"), Joe("Sent Items")});
  const std::string accessBefore = test::ReadFile(Mailbox() + "/Inbox/Projects/_Access.XML");

  // Another spelling of the same folder names the same resource.
  EXPECT_EQ(RemoveFolderShares("acme", "joe", "\\inbox\\projects\\"), 1);

  EXPECT_EQ(Shares(), (Values{Joe("Inbox/ProjectsOld"), Joe("Sent Items")}));
  EXPECT_EQ(Uris("ann"), (Values{Joe("Inbox/ProjectsOld"), "SF:acme/eve/Inbox/Projects"}));
  EXPECT_EQ(Uris("carl"), (Values{Joe("Sent Items")}));
  // An emptied file stays, with its root element.
  EXPECT_EQ(Uris("bob"), Values{});
  EXPECT_NE(test::ReadFile(Security("bob")).find("<LIST"), std::string::npos);
  // The access list goes with the folder's directory, not here.
  EXPECT_EQ(test::ReadFile(Mailbox() + "/Inbox/Projects/_Access.XML"), accessBefore);
  for (const std::string& file : Files()) EXPECT_EQ(file.find(".tmp="), std::string::npos) << file;

  // Nothing left to remove: the files load and stay as they are.
  const auto after = Files();
  EXPECT_EQ(RemoveFolderShares("acme", "joe", "Inbox/Projects"), 1);
  EXPECT_EQ(Files(), after);
}

TEST_F(ShareRemovalTest, FileRootFoldersKeepTheirAccessListInTheFileTree) {
  WriteShares({Joe("$FILEROOT/docs")});
  WriteAccess(test::SystemPath(mail_.root()) + "/acme/FILEROOT/joe/docs", {"ann"});
  WriteSecurity("ann", {Joe("$FILEROOT/docs"), Joe("$FILEROOT/docsOld")});
  EXPECT_EQ(RemoveFolderShares("acme", "joe", "$FILEROOT\\docs"), 1);
  EXPECT_EQ(Shares(), Values{});
  EXPECT_EQ(Uris("ann"), (Values{Joe("$FILEROOT/docsOld")}));
}

TEST_F(ShareRemovalTest, ApostrophesAndHostileNamesNeverLeadOutside) {
  WriteShares({Joe("Joe's ]Stuff"), Joe("Other")});
  WriteAccess(Mailbox() + "/Joe's ]Stuff", {"o'neil", "..\\..\\..\\x", "acme/..\\..\\evil", "..", "acme/",
                                                 std::string(1100, 'u'), "ann"});
  WriteSecurity("o'neil", {Joe("Joe's ]Stuff"), Joe("Other")});
  WriteSecurity("ann", {Joe("Joe&apos;s ]Stuff")});
  test::WriteFile(test::SystemPath(config_) + "/x.xml", "<LIST><ITEM URI=\"" + Joe("Joe's ]Stuff") + "\"/></LIST>");
  const std::string evil = "<LIST><ITEM URI=\"" + Joe("Joe's ]Stuff") + "\"/></LIST>";
  test::WriteFile(test::SystemPath(config_) + "/Postoffices/evil.xml", evil);

  // The unsafe users are refused: the call reports it, the others are done.
  EXPECT_EQ(RemoveFolderShares("acme", "joe", "Joe's ]Stuff"), 0);
  EXPECT_EQ(Shares(), Values{Joe("Other")});
  EXPECT_EQ(Uris("o'neil"), Values{Joe("Other")});
  EXPECT_EQ(Uris("ann"), Values{});
  EXPECT_EQ(test::ReadFile(test::SystemPath(config_) + "/Postoffices/evil.xml"), evil);
  EXPECT_NE(test::ReadFile(test::SystemPath(config_) + "/x.xml").find("Stuff"), std::string::npos);
  EXPECT_FALSE(test::PathExists(test::SystemPath(config_) + "/Postoffices/acme/Security/evil.xml"));

  // Unsafe records are refused before anything is read or written.
  WriteShares({Joe("Other"), "SF:acme/joe/../../x"});
  WriteAccess(Mailbox() + "/Other", {"o'neil"});
  const auto before = Files();
  for (const auto& [po, mb, folder] : std::vector<std::array<std::string, 3>>{
           {"acme", "joe", "../Other"}, {"acme", "joe", ""}, {"acme", "joe", "/"}, {"..", "joe", "Other"},
           {"acme", "jo/e", "Other"}, {"", "joe", "Other"}, {"acme", "", "Other"}, {"c:acme", "joe", "Other"}})
    EXPECT_EQ(RemoveFolderShares(po, mb, folder), 0) << po << "|" << mb << "|" << folder;
  EXPECT_EQ(RemoveMailboxShares("..", "acme"), 0);
  EXPECT_EQ(Files(), before);
}

TEST_F(ShareRemovalTest, MalformedAndMissingFilesFailTheirStepOnly) {
  const std::string malformed = "<SHARES><SHARE><RESOURCE>" + Joe("Inbox") + "</RESOURCE></SHARE>";
  test::WriteFile(Mailbox() + "/_Shares.xml", malformed);
  WriteAccess(Mailbox() + "/Inbox", {"ann", "bob", "nobody"});
  WriteSecurity("ann", {Joe("Inbox"), Joe("Drafts")});
  test::WriteFile(Security("bob"), "<LIST><ITEM URI=\"" + Joe("Inbox") + "\">");

  testing::internal::CaptureStdout();
  EXPECT_EQ(RemoveFolderShares("acme", "joe", "Inbox"), 0);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("General error loading index file\n"), std::string::npos);
  // Broken files are left exactly as they were; the users still lose the share.
  EXPECT_EQ(test::ReadFile(Mailbox() + "/_Shares.xml"), malformed);
  EXPECT_EQ(test::ReadFile(Security("bob")), "<LIST><ITEM URI=\"" + Joe("Inbox") + "\">");
  EXPECT_EQ(Uris("ann"), Values{Joe("Drafts")});
  EXPECT_FALSE(test::PathExists(Security("nobody")));

  // A missing access list: the owner's entry still goes.
  WriteShares({Joe("Drafts"), Joe("Notes")});
  testing::internal::CaptureStdout();
  EXPECT_EQ(RemoveFolderShares("acme", "joe", "Drafts"), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(Shares(), Values{Joe("Notes")});
  EXPECT_EQ(Uris("ann"), Values{Joe("Drafts")});
}

TEST_F(ShareRemovalTest, AFileThatCannotBeWrittenStaysAsItWas) {
  WriteShares({Joe("Inbox"), Joe("Notes")});
  WriteAccess(Mailbox() + "/Inbox", {"ann"});
  WriteSecurity("ann", {Joe("Inbox")});
  const std::string shares = test::ReadFile(Mailbox() + "/_Shares.xml");
  // A directory where this writer's temporary would go.
  test::MakeDirs(Mailbox() + "/_Shares.xml." + std::to_string(platform::CurrentProcessId()) + "." +
                 std::to_string(platform::CurrentThreadId()) + ".tmp");

  testing::internal::CaptureStdout();
  EXPECT_EQ(RemoveFolderShares("acme", "joe", "Inbox"), 0);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Error:\nCode = 80070"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Error Description = Failed to write "), std::string::npos) << printed;
  EXPECT_EQ(test::ReadFile(Mailbox() + "/_Shares.xml"), shares);
  EXPECT_EQ(Uris("ann"), Values{});
}

TEST_F(ShareRemovalTest, MailboxRemovalDropsEveryShareOfTheMailbox) {
  WriteShares({Joe("Inbox"), Joe("Inbox/Sub"), Joe("Calendar"), "SF:acme/eve/Inbox", "SF:acme/joe/../../x"});
  WriteAccess(Mailbox() + "/Inbox", {"ann"});
  WriteAccess(Mailbox() + "/Inbox/Sub", {"bob"});
  WriteAccess(Mailbox() + "/Calendar", {"ann", "bob"});
  WriteSecurity("ann", {Joe("Inbox"), Joe("Calendar"), "SF:acme/eve/Inbox"});
  WriteSecurity("bob", {Joe("Inbox/Sub"), Joe("Calendar")});

  void* library = dlopen(TW_TEST_LIB_DIR "/libtwstore.so", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  ASSERT_NE(library, nullptr) << dlerror();
  auto exported = reinterpret_cast<uint32_t (*)(const char*, const char*)>(dlsym(library, "RemoveMailboxShares"));
  ASSERT_NE(exported, nullptr);
  EXPECT_EQ(exported(nullptr, "acme"), 0u);
  EXPECT_EQ(exported("joe", nullptr), 0u);
  // The other mailbox's share and the unsafe one stay, and are reported.
  EXPECT_EQ(exported("joe", "acme"), 0u);
  dlclose(library);

  EXPECT_EQ(Shares(), (Values{"SF:acme/eve/Inbox", "SF:acme/joe/../../x"}));
  EXPECT_EQ(Uris("ann"), Values{"SF:acme/eve/Inbox"});
  EXPECT_EQ(Uris("bob"), Values{});
}

TEST_F(ShareRemovalTest, MoveDropsTheTreesSharesAndTheListsThatMovedWithIt) {
  WriteShares({Joe("Inbox/Projects"), Joe("Inbox/Projects/A"), Joe("Inbox/Keep")});
  // The tree is already at its new place.
  WriteAccess(Mailbox() + "/Archive/Projects", {"ann"});
  WriteAccess(Mailbox() + "/Archive/Projects/A", {"bob"});
  WriteSecurity("ann", {Joe("Inbox/Projects"), Joe("Inbox/Keep")});
  WriteSecurity("bob", {Joe("Inbox/Projects/A")});

  EXPECT_EQ(RemoveMovedFolderShares({"acme", "joe", "Inbox/Projects"}, {"acme", "joe", "Archive\\Projects"}), 1);
  EXPECT_EQ(Shares(), Values{Joe("Inbox/Keep")});
  EXPECT_EQ(Uris("ann"), Values{Joe("Inbox/Keep")});
  EXPECT_EQ(Uris("bob"), Values{});
  EXPECT_FALSE(test::PathExists(Mailbox() + "/Archive/Projects/_Access.XML"));
  EXPECT_FALSE(test::PathExists(Mailbox() + "/Archive/Projects/A/_Access.XML"));
}

class ShareRemovalWithoutConfigurationTest : public ShareRemovalTest {
 protected:
  ShareRemovalWithoutConfigurationTest() : ShareRemovalTest(false) {}
};

TEST_F(ShareRemovalWithoutConfigurationTest, NoSecurityFileIsTouched) {
  WriteShares({Joe("Inbox"), Joe("Drafts")});
  WriteAccess(Mailbox() + "/Inbox", {"ann"});
  WriteSecurity("ann", {Joe("Inbox")});
  const std::string security = test::ReadFile(Security("ann"));
  EXPECT_EQ(RemoveFolderShares("acme", "joe", "Inbox"), 1);
  EXPECT_EQ(Shares(), Values{Joe("Drafts")});
  EXPECT_EQ(test::ReadFile(Security("ann")), security);
}

}  // namespace
}  // namespace tw
