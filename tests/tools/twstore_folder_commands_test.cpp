// twstore mkdir, rename, copy and rmdir, run as an operator would on a
// scratch mail root, and rmdir's question driven through its streams.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <sstream>
#include <string>

#include "commands.h"
#include "support/store_fixture.h"
#include "support/twstore_run.h"

namespace tw {
namespace {

using test::CliRun;
using test::PathExists;
using test::ReadFile;
using test::WriteFile;

int ExitCode(const CliRun& run) { return WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1; }

class TwstoreFolderCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MakeDirs(Box("alice") + "/Inbox/Work/Sub");
    WriteFile(Box("alice") + "/Inbox/Work/00000001.MAI", "first");
    WriteFile(Box("alice") + "/Inbox/Work/Sub/00000002.MAI", "second");
    test::MakeDirs(Box("alice") + "/Archive");
    test::MakeDirs(Box("bob") + "/Inbox");
  }

  std::string Box(const std::string& mailbox) const { return mail_.root() + "/Demo/MAILROOT/" + mailbox; }

  // `twstore COMMAND` on alice's mailbox, standard error apart and no
  // terminal to answer on; `args` pass through the shell.
  CliRun Twstore(const std::string& command, const std::string& args) {
    return test::RunTwstoreApart(mail_.registry().path(),
                                 command + " --postoffice Demo --mailbox alice " + args + " </dev/null");
  }

  test::MailRoot mail_{"", "/POSTOFFICES"};
};

TEST_F(TwstoreFolderCommands, MkdirMakesAFolderThatFoldersThenLists) {
  CliRun run = Twstore("mkdir", "--folder 'Inbox\\New'");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  EXPECT_EQ(run.output, "created folder \\Inbox\\New\n");
  EXPECT_TRUE(PathExists(Box("alice") + "/Inbox/New"));
  run = Twstore("mkdir", "--folder Projects/");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  EXPECT_TRUE(PathExists(Box("alice") + "/Projects")) << "a top-level folder, trailing separator dropped";

  run = Twstore("folders", "");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  EXPECT_NE(run.output.find("\t\\Inbox\\New\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\t\\Projects\n"), std::string::npos) << run.output;
}

TEST_F(TwstoreFolderCommands, RenameMovesTheFolderWithItsFiles) {
  CliRun run = Twstore("rename", "--folder 'Inbox\\Work' --to 'Archive/Work 2024'");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  EXPECT_EQ(run.output, "renamed folder \\Inbox\\Work of mailbox alice of postoffice Demo to \\Archive\\Work 2024 "
                        "of mailbox alice of postoffice Demo\n");
  EXPECT_FALSE(PathExists(Box("alice") + "/Inbox/Work"));
  EXPECT_EQ(ReadFile(Box("alice") + "/Archive/Work 2024/00000001.MAI"), "first");
  EXPECT_EQ(ReadFile(Box("alice") + "/Archive/Work 2024/Sub/00000002.MAI"), "second");

  // To another mailbox.
  run = Twstore("rename", "--folder 'Archive\\Work 2024' --to 'Inbox\\From alice' --to-mailbox bob");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  EXPECT_FALSE(PathExists(Box("alice") + "/Archive/Work 2024"));
  EXPECT_EQ(ReadFile(Box("bob") + "/Inbox/From alice/Sub/00000002.MAI"), "second");
}

TEST_F(TwstoreFolderCommands, CopyDuplicatesTheFilesAndKeepsTheSource) {
  CliRun run = Twstore("copy", "--folder 'Inbox\\Work' --to 'Archive\\Work' --json");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  EXPECT_EQ(run.output,
            "{\"command\":\"copy\",\"postoffice\":\"Demo\",\"mailbox\":\"alice\",\"folder\":\"\\\\Inbox\\\\Work\","
            "\"to_postoffice\":\"Demo\",\"to_mailbox\":\"alice\",\"to\":\"\\\\Archive\\\\Work\",\"done\":true}\n");
  for (const std::string& tree : {Box("alice") + "/Inbox/Work", Box("alice") + "/Archive/Work"}) {
    EXPECT_EQ(ReadFile(tree + "/00000001.MAI"), "first") << tree;
    EXPECT_EQ(ReadFile(tree + "/Sub/00000002.MAI"), "second") << tree;
  }
}

TEST_F(TwstoreFolderCommands, RmdirWithoutATerminalNeedsYes) {
  CliRun run = Twstore("rmdir", "--folder 'Inbox\\Work'");
  EXPECT_EQ(ExitCode(run), 2);
  EXPECT_EQ(run.output, "");
  EXPECT_NE(run.errors.find("give --yes"), std::string::npos) << run.errors;
  EXPECT_EQ(ReadFile(Box("alice") + "/Inbox/Work/Sub/00000002.MAI"), "second") << "nothing removed";

  run = Twstore("rmdir", "--folder 'Inbox\\Work' --yes --json");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  EXPECT_EQ(run.output, "{\"command\":\"rmdir\",\"postoffice\":\"Demo\",\"mailbox\":\"alice\","
                        "\"folder\":\"\\\\Inbox\\\\Work\",\"done\":true}\n");
  EXPECT_FALSE(PathExists(Box("alice") + "/Inbox/Work"));
  EXPECT_TRUE(PathExists(Box("alice") + "/Inbox"));
}

// What the store refuses: exit 1, the reason on standard error, nothing
// changed; with --json, the one object says it was not done.
TEST_F(TwstoreFolderCommands, RefusalsOfTheStoreExitOne) {
  struct Case {
    const char* command;
    const char* args;
    const char* expected;
  };
  const Case cases[] = {
      {"mkdir", "--folder 'inbox\\WORK'", "did not create folder \\inbox\\WORK"},
      {"mkdir", "--folder 'Missing\\Child'", "did not create folder \\Missing\\Child in mailbox alice of postoffice Demo: "
                                               "folder '\\Missing' not found in mailbox 'alice'"},
      {"mkdir", "--folder Public", "\"Public\""},
      {"rename", "--folder 'Inbox\\Work' --to ARCHIVE", "exists already in some letter case"},
      {"rename", "--folder 'Inbox\\Work' --to 'Inbox\\Work\\Sub\\Deeper'", "inside the folder"},
      {"rename", "--folder Nowhere --to Somewhere", "folder '\\Nowhere' not found in mailbox 'alice'"},
      {"copy", "--folder 'Inbox\\Work' --to archive", "did not copy"},
      {"rmdir", "--folder 'Inbox\\Nowhere' --yes", "did not remove folder \\Inbox\\Nowhere"},
      {"rmdir", "--folder Public --yes", "did not remove"},
  };
  for (const Case& c : cases) {
    const CliRun run = Twstore(c.command, c.args);
    EXPECT_EQ(ExitCode(run), 1) << c.command << " " << c.args << "\n" << run.output << run.errors;
    EXPECT_NE(run.errors.find(c.expected), std::string::npos) << c.command << " " << c.args << "\n" << run.errors;
    EXPECT_EQ(run.output, "") << c.command << " " << c.args;
  }
  EXPECT_TRUE(PathExists(Box("alice") + "/Inbox/Work/Sub/00000002.MAI"));
  EXPECT_FALSE(PathExists(Box("alice") + "/Somewhere"));
  EXPECT_FALSE(PathExists(Box("alice") + "/Missing"));

  const CliRun run = Twstore("mkdir", "--folder INBOX/work --json");
  EXPECT_EQ(ExitCode(run), 1);
  EXPECT_EQ(run.output, "{\"command\":\"mkdir\",\"postoffice\":\"Demo\",\"mailbox\":\"alice\","
                        "\"folder\":\"\\\\INBOX\\\\work\",\"done\":false}\n");
  EXPECT_NE(run.errors.find("did not create"), std::string::npos) << run.errors;
}

// What the tool refuses before asking the store: exit 2, nothing changed.
TEST_F(TwstoreFolderCommands, UsageErrorsExitTwo) {
  const std::pair<const char*, const char*> cases[] = {
      {"mkdir", "--folder ''"},
      {"mkdir", "--folder 'Inbox\\..\\..\\..\\x'"},
      {"rmdir", "--folder '' --yes"},
      {"rmdir", "--folder '\\' --yes"},
      {"rmdir", "--folder './' --yes"},
      {"rmdir", "--folder 'Inbox\\Work\\..' --yes"},
      {"rename", "--folder '' --to X"},
      {"rename", "--folder 'Inbox\\Work' --to '/'"},
      {"rename", "--folder 'Inbox\\Work' --to Y --to-mailbox ../bob"},
      {"copy", "--folder '/' --to X"},
      {"copy", "--folder 'Inbox\\Work' --to '\\\\'"},
      {"copy", "--folder 'Inbox\\Work'"},
      {"rmdir", "--yes"},
      {"mkdir", "--folder \"$(printf 'x%.0s' $(seq 600))\""},
  };
  for (const auto& [command, args] : cases) {
    const CliRun run = Twstore(command, args);
    EXPECT_EQ(ExitCode(run), 2) << command << " " << args << "\n" << run.output << run.errors;
    EXPECT_FALSE(run.errors.empty()) << command << " " << args;
  }
  EXPECT_EQ(ExitCode(test::RunTwstoreApart(mail_.registry().path(), "mkdir --mailbox alice --folder X")), 2)
      << "no postoffice";
  EXPECT_EQ(ReadFile(Box("alice") + "/Inbox/Work/Sub/00000002.MAI"), "second");
  EXPECT_FALSE(PathExists(Box("alice") + "/X"));
  EXPECT_FALSE(PathExists(Box("alice") + "/Y"));
}

// rmdir on a terminal: the question and the answer through the streams the
// tool hands it.
class RmdirQuestion : public TwstoreFolderCommands {
 protected:
  // Removes alice's Inbox\Work, answering `answer` if asked.
  int Remove(bool interactive, const std::string& answer, bool yes = false) {
    cli::FolderRemoveRequest request;
    request.target = {"Demo", "alice", "Inbox\\Work", false};
    request.yes = yes;
    std::istringstream answers(answer);
    questions_.str("");
    out_.str("");
    err_.str("");
    return cli::RemoveFolderTree(request, {interactive, &answers, &questions_}, out_, err_);
  }
  bool Removed() const { return !PathExists(Box("alice") + "/Inbox/Work"); }

  std::ostringstream questions_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(RmdirQuestion, OnlyYesRemoves) {
  for (const char* answer : {"", "n\n", "no\n", "\n", "yess\n", "y es\n", "nope y\n"}) {
    EXPECT_EQ(Remove(true, answer), 2) << answer;
    EXPECT_EQ(questions_.str(), "Remove folder \\Inbox\\Work of mailbox alice and everything in it? [y/N] ");
    EXPECT_NE(err_.str().find("was not removed"), std::string::npos) << err_.str();
    EXPECT_FALSE(Removed()) << answer;
  }
  EXPECT_EQ(Remove(true, std::string(10000, 'y') + "\n"), 2) << "a flood is no answer";
  EXPECT_FALSE(Removed());

  EXPECT_EQ(Remove(true, " YES \r\nmore\n"), 0) << err_.str();
  EXPECT_TRUE(Removed());
  EXPECT_EQ(out_.str(), "removed folder \\Inbox\\Work\n");
}

TEST_F(RmdirQuestion, WithoutATerminalNothingIsAskedAndYesIsNeeded) {
  EXPECT_EQ(Remove(false, "y\n"), 2);
  EXPECT_EQ(questions_.str(), "");
  EXPECT_FALSE(Removed());
  EXPECT_EQ(Remove(false, "", true), 0) << err_.str();
  EXPECT_EQ(questions_.str(), "");
  EXPECT_TRUE(Removed());
}

TEST(RmdirAnswers, YAndYesInAnyCase) {
  for (const char* answer : {"y", "Y\n", "yes\n", "Yes", "\tyEs  \n"}) {
    std::istringstream in(answer);
    std::ostringstream question;
    EXPECT_TRUE(cli::ConfirmRemoval("\\A", "m", in, question)) << answer;
  }
  std::istringstream in("x\ny\n");
  std::ostringstream question;
  EXPECT_FALSE(cli::ConfirmRemoval("\\A", "m", in, question)) << "only the first line counts";
}

}  // namespace
}  // namespace tw
