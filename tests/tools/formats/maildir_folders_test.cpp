// Maildir++ directories and store folder paths, both ways.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "formats/maildir_folders.h"

namespace tw::formats {
namespace {

TEST(MaildirFolders, RootIsInboxAndSubFoldersAreItsSiblings) {
  EXPECT_EQ(StoreFolderFromMaildir(""), "Inbox");
  EXPECT_EQ(StoreFolderFromMaildir(".Sent"), "Sent");
  EXPECT_EQ(StoreFolderFromMaildir(".Lists.cpp.Old"), "Lists\\cpp\\Old");
  EXPECT_EQ(StoreFolderFromMaildir(".INBOX"), "Inbox");
  EXPECT_EQ(StoreFolderFromMaildir(".inbox.Sub"), "Inbox\\Sub");

  EXPECT_EQ(MaildirFromStoreFolder("Inbox"), "");
  EXPECT_EQ(MaildirFromStoreFolder("INBOX"), "");
  EXPECT_EQ(MaildirFromStoreFolder("Sent"), ".Sent");
  EXPECT_EQ(MaildirFromStoreFolder("Lists\\cpp\\Old"), ".Lists.cpp.Old");
  EXPECT_EQ(MaildirFromStoreFolder("Lists/cpp"), ".Lists.cpp");
  EXPECT_EQ(MaildirFromStoreFolder("Inbox\\Sub"), ".INBOX.Sub");
}

TEST(MaildirFolders, NamesTheStoreWouldRenameAreEncoded) {
  EXPECT_EQ(StoreFolderFromMaildir(".Caf&AOk-"), "Caf&AOk-");        // already modified UTF-7
  EXPECT_EQ(StoreFolderFromMaildir(".Caf\xC3\xA9"), "Caf&AOk-");     // raw UTF-8 names
  EXPECT_EQ(StoreFolderFromMaildir(".a:b*c?"), "a&ADo-b&ACo-c&AD8-");
  EXPECT_EQ(StoreFolderFromMaildir(".x\\y|z\"<>"), "x&AFw-y&AHw-z&ACIAPAA+-");
  EXPECT_EQ(StoreFolderFromMaildir(".R&D"), "R&-D");                  // not modified UTF-7: a plain "&"
  EXPECT_EQ(StoreFolderFromMaildir(".v1&AC4-2"), "v1.2");             // "." may live in a store name

  EXPECT_EQ(MaildirFromStoreFolder("Caf&AOk-"), ".Caf&AOk-");
  EXPECT_EQ(MaildirFromStoreFolder("v1.2"), ".v1&AC4-2");
  EXPECT_EQ(MaildirFromStoreFolder("a&ADo-b"), ".a:b");
  EXPECT_EQ(MaildirFromStoreFolder("R&D"), ".R&-D");
}

TEST(MaildirFolders, UnicodeNamesRoundTripThroughBothForms) {
  const char* names[] = {"Sent", "v1.2", "a:b*c", "R&D", "Caf\xC3\xA9", "\xF0\x9F\x93\xA7", "x/y", "back\\slash",
                         "  spaced  ", "...x"};
  for (const char* name : names) {
    const std::optional<std::string> store = StoreFolderNameFromUnicode(name);
    const std::optional<std::string> maildir = MaildirFolderNameFromUnicode(name);
    ASSERT_TRUE(store && maildir) << name;
    EXPECT_EQ(store->find_first_of("\"*:<>?|\\/"), std::string::npos) << *store;
    EXPECT_EQ(maildir->find_first_of("./"), std::string::npos) << *maildir;
    EXPECT_EQ(UnicodeFromFolderName(*store), std::string(name));
    EXPECT_EQ(UnicodeFromFolderName(*maildir), std::string(name));
    // And the whole way: store path -> Maildir++ directory -> store path.
    const std::string path = "Top\\" + *store;
    const std::optional<std::string> directory = MaildirFromStoreFolder(path);
    ASSERT_TRUE(directory) << path;
    EXPECT_EQ(StoreFolderFromMaildir(*directory), path) << *directory;
  }
}

TEST(MaildirFolders, RefusesWhatIsNoFolder) {
  const char* bad[] = {".", "..", "cur", "new", "Sent", ".a..b", ".a.", "..a", ".Caf\xE9", ".&AC4-", ".a.&AC4-"};
  for (const char* name : bad) EXPECT_EQ(StoreFolderFromMaildir(name), std::nullopt) << name;
  const char* badPaths[] = {"", "\\", "a\\\\b", "a\\", ".", "a\\..", "Caf\xE9"};
  for (const char* path : badPaths) EXPECT_EQ(MaildirFromStoreFolder(path), std::nullopt) << path;
}

}  // namespace
}  // namespace tw::formats
