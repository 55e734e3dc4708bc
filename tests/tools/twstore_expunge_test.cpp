// twstore expunge on a scratch mail root: the items flagged \DELETED go,
// index entries and files; the others and their files stay.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/store_fixture.h"
#include "support/twstore_run.h"

namespace tw {
namespace {

using test::CliRun;
using test::Lines;

class TwstoreExpunge : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(inbox_); }
  CliRun Twstore(const std::string& command, const std::string& args) {
    return test::RunTwstore(mail_.registry().path(), command + " --postoffice Demo --mailbox alice " + args);
  }

  test::MailRoot mail_{"", "/POSTOFFICES"};
  std::string inbox_ = mail_.root() + "/Demo/MAILROOT/alice/Inbox";
};

TEST_F(TwstoreExpunge, RemovesExactlyTheItemsFlaggedDeleted) {
  std::string files;
  for (const char* subject : {"one", "two", "three", "four"}) {
    const std::string path = mail_.dir() / (std::string(subject) + ".eml");
    test::WriteFile(path, test::Message(std::string("Subject: ") + subject));
    files += " " + path;
  }
  const CliRun delivered = Twstore("deliver", files);
  ASSERT_EQ(delivered.status, 0) << delivered.output;
  const std::vector<std::string> names = Lines(delivered.output);
  ASSERT_EQ(names.size(), 4u);

  CliRun run = Twstore("expunge", "");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "no item is flagged \\DELETED\n");

  ASSERT_EQ(Twstore("flag", "--ids 1,3 --change '+\\DELETED'").status, 0);
  ASSERT_EQ(Twstore("flag", "--ids 4 --change '+\\UNDELETED'").status, 0);
  run = Twstore("expunge", "");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "removed 2 items from the index\ndeleted 2 message files\n");
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(test::PathExists(inbox_ + "/" + names[i].substr(0, 12)), i == 1 || i == 3) << names[i];
  const CliRun listed = Twstore("list", "");
  ASSERT_EQ(listed.status, 0);
  const std::vector<std::string> lines = Lines(listed.output);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 2), "2\t");
  EXPECT_EQ(lines[1].substr(0, 2), "4\t") << "a flag that merely holds the word is another flag";

  EXPECT_NE(Twstore("expunge", "--folder Nowhere").status, 0) << "a folder that is not there";
}

}  // namespace
}  // namespace tw
