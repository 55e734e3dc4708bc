// The index commands of twstore, run as an operator would, on a scratch
// mail root.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/twstore_run.h"

namespace {

using tw::test::CliRun;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return lines;
}

class TwstoreIndexCli : public ::testing::Test {
 protected:
  tw::test::ScratchDir dir_;
  std::string registry_ = dir_ / "registry.reg";
  std::string inbox_ = dir_.path() + "/POSTOFFICES/Demo/MAILROOT/alice/Inbox";
  const std::string target_ = "--postoffice Demo --mailbox alice";

  void SetUp() override {
    tw::test::WriteFile(registry_, "Windows Registry Editor Version 5.00\r\n\r\n" +
                                       tw::test::RegistryWithMailRoot(dir_.path() + "/POSTOFFICES"));
    tw::test::MakeDirs(inbox_);
  }

  // Standard output and error together; `args` pass through the shell.
  CliRun Twstore(const std::string& command, const std::string& args) {
    return tw::test::RunTwstore(registry_, command + " " + target_ + " " + args);
  }

  std::string Message(const std::string& name, const std::string& from, const std::string& subject) {
    const std::string path = dir_ / name;
    tw::test::WriteFile(path, "From: " + from + "\r\nSubject: " + subject +
                                  "\r\nDate: Mon, 3 Jun 2024 10:00:00 +0000\r\n\r\nbody\r\n");
    return path;
  }
  // The lines of `list`, checked for success.
  std::vector<std::string> List() {
    const CliRun run = Twstore("list", "");
    EXPECT_EQ(run.status, 0) << run.output;
    return Lines(run.output);
  }
};

TEST_F(TwstoreIndexCli, DeliverListFlagStatusRemove) {
  const std::string one = Message("one.eml", "a@example.com", "first");
  const std::string two = Message("two.eml", "b@example.com", "second\tpart");
  const std::string three = Message("three.eml", "c@example.com", "third");
  const CliRun delivered = Twstore("deliver", one + " " + two + " " + three);
  ASSERT_EQ(delivered.status, 0) << delivered.output;
  const std::vector<std::string> names = Lines(delivered.output);
  ASSERT_EQ(names.size(), 3u) << delivered.output;
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i].find(".MAI\t"), 8u) << names[i];
    EXPECT_TRUE(tw::test::PathExists(inbox_ + "/" + names[i].substr(0, 12))) << names[i];
    if (i > 0) {
      EXPECT_LT(names[i - 1], names[i]) << "names follow the delivery order";
    }
  }
  EXPECT_EQ(names[0].substr(13), one);

  const std::string size = std::to_string(tw::test::ReadFile(one).size());
  const std::string date = "2024-06-03T10:00:00";  // as the index keeps it
  std::vector<std::string> listed = List();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0], "1\t\\RECENT\t" + size + "\t" + date + "\ta@example.com\tfirst");
  EXPECT_EQ(listed[1].substr(0, 2), "2\t");
  EXPECT_NE(listed[1].find("\tsecond part"), std::string::npos) << "control bytes printed as blanks";

  // By UID and by file name alike.
  CliRun run = Twstore("flag", "--ids 1," + names[2].substr(0, 12) + " --change '+\\SEEN -\\RECENT +\\FLAGGED'");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "changed the flags of 2 items\n");
  listed = List();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].substr(0, listed[0].find('\t', 2)), "1\t\\SEEN \\FLAGGED");
  EXPECT_EQ(listed[1].substr(0, listed[1].find('\t', 2)), "2\t\\RECENT");

  run = Twstore("status", "");
  ASSERT_EQ(run.status, 0) << run.output;
  for (const std::string& line : {"folder      " + inbox_, std::string("items       3"), std::string("seen        2"),
                                  std::string("flagged     2"), std::string("LASTUID     3")})
    EXPECT_NE(run.output.find(line + "\n"), std::string::npos) << line << "\n" << run.output;

  run = Twstore("remove", "--ids 2 --delete-files");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "removed 1 item from the index\ndeleted 1 message file\n");
  EXPECT_FALSE(tw::test::PathExists(inbox_ + "/" + names[1].substr(0, 12)));
  listed = List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[1].substr(0, 2), "3\t");
  EXPECT_NE(Twstore("status", "").output.find("items       2\n"), std::string::npos);

  // Without --delete-files the file stays; a reindex takes it in again.
  ASSERT_EQ(Twstore("remove", "--ids 3").status, 0);
  EXPECT_TRUE(tw::test::PathExists(inbox_ + "/" + names[2].substr(0, 12)));
  EXPECT_EQ(List().size(), 1u);
  run = Twstore("reindex", "");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "reindexed " + inbox_ + ": 2 items, LASTUID 4\n");
  listed = List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[1].substr(0, 2), "4\t");
}

TEST_F(TwstoreIndexCli, DeliverWithFlagsAndReindexOfForeignFiles) {
  const CliRun run = Twstore("deliver", "--flags '\\SEEN' " + Message("m.eml", "a@b", "seen one"));
  ASSERT_EQ(run.status, 0) << run.output;
  std::vector<std::string> listed = List();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].substr(0, 8), "1\t\\SEEN\t");
  EXPECT_NE(Twstore("status", "").output.find("seen        1\n"), std::string::npos);

  tw::test::WriteFile(inbox_ + "/dropped.MAI", "Subject: dropped\r\n\r\nx\r\n");
  EXPECT_EQ(List().size(), 1u) << "list shows the index as it is";
  const CliRun rebuilt = Twstore("reindex", "");
  ASSERT_EQ(rebuilt.status, 0) << rebuilt.output;
  listed = List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_NE(listed[1].find("\tdropped"), std::string::npos) << listed[1];
  EXPECT_EQ(listed[0].substr(0, 8), "1\t\\SEEN\t") << "flags survive the rebuild";
}

TEST_F(TwstoreIndexCli, RefusesHostileInputAndChangesNothing) {
  const std::string message = Message("m.eml", "a@b", "x");
  ASSERT_EQ(Twstore("deliver", message).status, 0);
  tw::test::MakeDirs(dir_ / "adir");
  struct Case {
    const char* command;
    std::string args;
    const char* expected;
  };
  const Case cases[] = {
      {"list", "--folder '../../../../etc'", "is not allowed"},
      {"status", "--folder '..\\..'", "is not allowed"},
      {"deliver", "--folder '$FILEROOT/docs' " + message, "is not a mail folder"},
      {"list", "--folder 'Sent Items'", "no folder directory"},
      {"deliver", "--flags '\\SEEN,\\FLAGGED' " + message, "the flags must be"},
      {"deliver", "--flags '$TWGROUP' " + message, "reserved"},
      {"deliver", message + " " + dir_.path() + "/missing.eml", "missing.eml cannot be read"},
      {"deliver", dir_ / "adir", "is a directory"},
      {"flag", "--ids '../../x' --change '+\\SEEN'", "neither a UID nor a message file name"},
      {"flag", "--ids 1,99 --change '+\\SEEN'", "no item 99"},
      {"flag", "--ids 1 --change 'SIZE=5'", "the change must be"},
      {"flag", "--ids 1 --change ' '", "the change is empty"},
      {"remove", "--ids 99999999999 --delete-files", "no item 99999999999"},
      {"remove", "--ids 'x/y,..'", "neither a UID"},
      {"remove", "--ids ,,", "no IDs given"},
  };
  for (const Case& c : cases) {
    const CliRun run = Twstore(c.command, c.args);
    EXPECT_NE(run.status, 0) << c.command << " " << c.args;
    EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.command << " " << c.args << "\n" << run.output;
  }
  for (const char* args : {"--postoffice .. --mailbox alice", "--postoffice Demo --mailbox '../../x'"})
    EXPECT_NE(tw::test::RunTwstore(registry_, std::string("list ") + args).status, 0) << args;
  const std::vector<std::string> listed = List();
  ASSERT_EQ(listed.size(), 1u) << "nothing was delivered, flagged or removed";
  EXPECT_EQ(listed[0].substr(0, 10), "1\t\\RECENT\t");
}

}  // namespace
