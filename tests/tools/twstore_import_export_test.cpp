// twstore import and export on a scratch mail root, with the samples the
// project ships: Maildir and mbox round trips with their flags, a Maildir++
// tree, a second run that brings nothing twice, the refusals, and a disk
// that fills up half-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "formats/header_cleanup.h"
#include "formats/maildir_info.h"
#include "support/store_fixture.h"
#include "support/twstore_run.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::Lines;

const std::string kSamples = std::string(TW_SOURCE_DIR) + "/samples";

// Message text -> Maildir flag letters, for every message of a Maildir
// folder (cur and new). The text as the store keeps it: without the
// store's own header fields.
std::multimap<std::string, std::string> MaildirMessages(const std::string& maildir) {
  std::multimap<std::string, std::string> messages;
  for (const char* sub : {"cur", "new"}) {
    if (!fs::exists(maildir + "/" + sub)) continue;
    for (const auto& entry : fs::directory_iterator(maildir + "/" + sub)) {
      const std::string name = entry.path().filename().string();
      const formats::MaildirFileName parts = formats::SplitMaildirFileName(name);
      std::string letters(parts.hasInfo ? parts.info.substr(2) : "");
      std::sort(letters.begin(), letters.end());
      messages.emplace(formats::WithoutStoreHeaderFields(test::ReadFile(entry.path().string())), letters);
    }
  }
  return messages;
}

class TwstoreImportExport : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(mail_.root() + "/Demo/MAILROOT/alice/Inbox"); }
  CliRun Twstore(const std::string& command, const std::string& args, const std::string& mailbox = "alice") {
    return test::RunTwstoreApart(mail_.registry().path(),
                                 command + " --postoffice Demo --mailbox " + mailbox + " " + args);
  }
  std::vector<std::string> Listed(const std::string& folder) {
    const CliRun run = Twstore("list", "--folder '" + folder + "'");
    EXPECT_EQ(run.status, 0) << run.errors;
    return Lines(run.output);
  }

  test::MailRoot mail_{"\"UID Branding Enabled\"=dword:00000000\r\n", "/POSTOFFICES"};
  test::ScratchDir out_;
};

TEST_F(TwstoreImportExport, AMaildirComesBackByteForByteWithItsFlagsAndOnlyOnce) {
  CliRun run = Twstore("import", "'" + kSamples + "/maildir'");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.output, "imported 8 of 8 messages into \\Inbox (0 already there)\n");
  const std::vector<std::string> listed = Listed("Inbox");
  ASSERT_EQ(listed.size(), 8u);
  EXPECT_NE(listed.back().find("\\RECENT"), std::string::npos) << "the message from new/ is recent";
  EXPECT_NE(listed[2].find("\\SEEN \\FLAGGED"), std::string::npos) << listed[2];

  run = Twstore("import", "'" + kSamples + "/maildir'");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.output, "imported 0 of 8 messages into \\Inbox (8 already there)\n");
  EXPECT_EQ(Listed("Inbox").size(), 8u);

  run = Twstore("export", "'" + out_.path() + "/back'");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(MaildirMessages(out_.path() + "/back"), MaildirMessages(kSamples + "/maildir"));
  run = Twstore("export", "'" + out_.path() + "/back'");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.output.find("exported 0 messages"), std::string::npos) << "an export run again adds nothing";
}

TEST_F(TwstoreImportExport, AMaildirTreeFillsTheFolderTreeAndGoesOutAsOne) {
  CliRun run = Twstore("import", "--recursive --create '" + kSamples + "/maildir'");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.output.find("into Projects"), std::string::npos) << run.output;
  const CliRun folders = test::RunTwstoreApart(mail_.registry().path(), "folders --postoffice Demo --mailbox alice");
  EXPECT_NE(folders.output.find("\\Projects"), std::string::npos) << folders.output;

  run = Twstore("export", "--recursive '" + out_.path() + "/tree'");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(MaildirMessages(out_.path() + "/tree"), MaildirMessages(kSamples + "/maildir"));
  EXPECT_EQ(MaildirMessages(out_.path() + "/tree/.Projects"), MaildirMessages(kSamples + "/maildir/.Projects"));
}

TEST_F(TwstoreImportExport, AnMboxComesInUnquotedAndGoesOutQuotedAgain) {
  CliRun run = Twstore("import", "--folder Letters --create '" + kSamples + "/sample.mbox'");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.output, "imported 3 of 3 messages into Letters (0 already there)\n");
  std::string stored;
  for (const auto& entry : fs::directory_iterator(mail_.root() + "/Demo/MAILROOT/alice/Letters"))
    if (entry.path().extension() == ".MAI") stored += test::ReadFile(entry.path().string());
  EXPECT_NE(stored.find("\nFrom little seeds"), std::string::npos) << "the store keeps the line as written";

  run = Twstore("export", "--folder Letters --format mbox '" + out_.path() + "/out.mbox'");
  ASSERT_EQ(run.status, 0) << run.errors;
  const std::string exported = test::ReadFile(out_.path() + "/out.mbox");
  EXPECT_NE(exported.find("\n>From little seeds"), std::string::npos);
  run = Twstore("export", "--folder Letters --format mbox '" + out_.path() + "/out.mbox'");
  EXPECT_EQ(run.status, 256) << "an export never writes over a file";

  // Through the store twice, the messages stay the same bytes.
  run = Twstore("import", "--folder Again --create '" + out_.path() + "/out.mbox'");
  ASSERT_EQ(run.status, 0) << run.errors;
  std::string again;
  for (const auto& entry : fs::directory_iterator(mail_.root() + "/Demo/MAILROOT/alice/Again"))
    if (entry.path().extension() == ".MAI") again += test::ReadFile(entry.path().string());
  EXPECT_EQ(again.size(), stored.size());
  EXPECT_EQ(Listed("Again").size(), 3u);
}

TEST_F(TwstoreImportExport, MissingTargetsAndSourcesAreNamed) {
  CliRun run = Twstore("import", "'" + kSamples + "/sample.mbox'", "nobody");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.errors.find("--create"), std::string::npos) << run.errors;
  EXPECT_FALSE(fs::exists(mail_.root() + "/Demo/MAILROOT/nobody"));
  run = Twstore("import", "--create '" + kSamples + "/sample.mbox'", "nobody");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(fs::exists(mail_.root() + "/Demo/MAILROOT/nobody/Inbox"));

  run = Twstore("import", "'" + out_.path() + "/missing.mbox'");
  EXPECT_EQ(run.status, 512) << run.errors;
  EXPECT_NE(run.errors.find("missing.mbox"), std::string::npos);
  test::MakeDirs(out_.path() + "/plain");
  run = Twstore("import", "'" + out_.path() + "/plain'");
  EXPECT_EQ(run.status, 512);
  EXPECT_NE(run.errors.find("not a Maildir"), std::string::npos) << run.errors;
  run = Twstore("import", "--folder 'Inbox/../..' --create '" + kSamples + "/sample.mbox'");
  EXPECT_EQ(run.status, 512) << run.errors;
}

// A file-size limit stands for a full disk: the message that does not fit
// is not indexed, no temporary stays, and the folder still opens.
TEST_F(TwstoreImportExport, AFullDiskStopsTheImportWithNothingHalfWritten) {
  std::string mbox;
  for (int i = 0; i < 3; ++i)
    mbox += "From a@example.com Mon Jan 15 09:00:00 2024\nSubject: small " + std::to_string(i) + "\n\nhi\n\n";
  mbox += "From b@example.com Mon Jan 15 09:00:00 2024\nSubject: big\n\n" + std::string(400 * 1024, 'x') + "\n";
  test::WriteFile(out_.path() + "/big.mbox", mbox);
  const CliRun run = test::RunCommand("ulimit -f 200; TW_REGISTRY_FILE='" + mail_.registry().path() + "' '" +
                                      TW_TEST_BIN_DIR + "/twstore' import --postoffice Demo --mailbox alice '" +
                                      out_.path() + "/big.mbox' 2>&1");
  EXPECT_NE(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("cannot write"), std::string::npos) << run.output;
  const std::vector<std::string> listed = Listed("Inbox");
  EXPECT_EQ(listed.size(), 3u) << "the whole messages before it are in";
  for (const auto& entry : fs::directory_iterator(mail_.root() + "/Demo/MAILROOT/alice/Inbox"))
    EXPECT_EQ(entry.path().filename().string().find("_twstore-"), std::string::npos) << entry.path();

  // Run again with room enough, the import brings what is missing.
  const CliRun again = Twstore("import", "'" + out_.path() + "/big.mbox'");
  ASSERT_EQ(again.status, 0) << again.errors;
  EXPECT_EQ(again.output, "imported 1 of 4 messages into \\Inbox (3 already there)\n");
  EXPECT_EQ(Listed("Inbox").size(), 4u);
}

TEST_F(TwstoreImportExport, EmptyAndLargeMessagesAndMboxFilesWithoutMessages) {
  test::WriteFile(out_.path() + "/empty.eml", "");
  CliRun run = Twstore("import", "'" + out_.path() + "/empty.eml'");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(Listed("Inbox").size(), 1u) << "a 0-byte message is a message";

  // Larger than any buffer on the way: it streams through whole.
  const std::string big = "Subject: big\r\n\r\n" + std::string(60u << 20, 'y') + "\r\n";
  test::WriteFile(out_.path() + "/big.eml", big);
  run = Twstore("import", "'" + out_.path() + "/big.eml'");
  ASSERT_EQ(run.status, 0) << run.errors;
  uintmax_t largest = 0;
  for (const auto& entry : fs::directory_iterator(mail_.root() + "/Demo/MAILROOT/alice/Inbox"))
    if (entry.path().extension() == ".MAI") largest = std::max(largest, fs::file_size(entry.path()));
  EXPECT_EQ(largest, big.size());

  test::WriteFile(out_.path() + "/notes.mbox", "just some notes\nno From line\n");
  run = Twstore("import", "--format mbox '" + out_.path() + "/notes.mbox'");
  EXPECT_EQ(run.status, 256);
  EXPECT_NE(run.errors.find("holds no message"), std::string::npos) << run.errors;
}

}  // namespace
}  // namespace tw
