// The twstore tool run as an operator would, on a scratch mail root.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/notify_socket.h"
#include "support/store_fixture.h"
#include "support/twstore_run.h"
#include "json_writer.h"

namespace tw {
namespace {

using test::CliRun;
using test::Lines;

// A label as the tool lines it up, padded to `width` columns, and its value.
std::string Labelled(std::string label, const std::string& value, size_t width) {
  label.resize(width, ' ');
  return label + value + "\n";
}
std::string PathLine(const std::string& label, const std::string& value) { return Labelled(label, value, 22); }
std::string StatusLine(const std::string& label, uint32_t value) {
  return Labelled(label, std::to_string(value), 29);
}

class TwstoreCli : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(inbox_); }

  // `twstore COMMAND` on alice's mailbox; `args` pass through the shell.
  CliRun Twstore(const std::string& command, const std::string& args) {
    return test::RunTwstore(mail_.registry().path(), command + " --postoffice Demo --mailbox alice " + args);
  }
  std::string MessageFile(const std::string& name, const std::string& from, const std::string& subject) {
    const std::string path = mail_.dir() / name;
    test::WriteFile(path, test::Message("From: " + from + "\r\nSubject: " + subject +
                                        "\r\nDate: Mon, 3 Jun 2024 10:00:00 +0000"));
    return path;
  }
  // The lines of `list`, checked for success.
  std::vector<std::string> List() {
    const CliRun run = Twstore("list", "");
    EXPECT_EQ(run.status, 0) << run.output;
    return Lines(run.output);
  }
  void ExpectStatus(const std::vector<std::string>& lines) {
    const CliRun run = Twstore("status", "");
    ASSERT_EQ(run.status, 0) << run.output;
    for (const std::string& line : lines) EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
  }

  test::MailRoot mail_{"", "/POSTOFFICES"};
  std::string inbox_ = mail_.root() + "/Demo/MAILROOT/alice/Inbox";
};

TEST_F(TwstoreCli, PathsPrintsTheDirectoriesOnDiskAndRefusesHostileNames) {
  const CliRun run = test::RunTwstore(mail_.registry().path(), "paths Demo alice INBOX");
  EXPECT_EQ(run.status, 0) << run.output;
  for (const std::string& line : {PathLine("postoffice root", mail_.root() + "/Demo"),
                                  PathLine("folder (index)", inbox_), PathLine("folder type", "0 (mail)")})
    EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;

  const CliRun refused = test::RunTwstore(mail_.registry().path(), "paths Demo alice '../../etc'");
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.output.find("(refused)"), std::string::npos) << refused.output;
  EXPECT_NE(test::RunTwstore(mail_.registry().path(), "paths ..").status, 0);
}

TEST_F(TwstoreCli, SettingsNameTheirSource) {
  const CliRun run = test::RunTwstore(mail_.registry().path(), "settings");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("registry file: " + mail_.registry().path() + "\n"), std::string::npos) << run.output;
}

TEST_F(TwstoreCli, DeliverListFlagStatusRemove) {
  const std::string one = MessageFile("one.eml", "a@example.com", "first");
  const std::string two = MessageFile("two.eml", "b@example.com", "second\tpart");
  const std::string three = MessageFile("three.eml", "c@example.com", "third");
  const CliRun delivered = Twstore("deliver", one + " " + two + " " + three);
  ASSERT_EQ(delivered.status, 0) << delivered.output;
  const std::vector<std::string> names = Lines(delivered.output);
  ASSERT_EQ(names.size(), 3u) << delivered.output;
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i].find(".MAI\t"), 8u) << names[i];
    EXPECT_TRUE(test::PathExists(inbox_ + "/" + names[i].substr(0, 12))) << names[i];
    if (i > 0) {
      EXPECT_LT(names[i - 1], names[i]) << "names follow the delivery order";
    }
  }
  EXPECT_EQ(names[0].substr(13), one);

  const std::string size = std::to_string(test::ReadFile(one).size());
  const std::string date = "2024-06-03T10:00:00";  // as the index keeps it
  std::vector<std::string> listed = List();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0], "1\t\\RECENT\t" + size + "\t" + date + "\ta@example.com\tfirst");
  EXPECT_EQ(listed[1].substr(0, 2), "2\t");
  EXPECT_NE(listed[1].find("\tsecond part"), std::string::npos) << "control bytes printed as blanks";
  // Deliveries raise the arrivals, not the count of the last save or scan.
  ExpectStatus({StatusLine("recent (last counted)", 0), StatusLine("recent arrivals since count", 3),
                StatusLine("recent arrivals, unclamped", 3)});

  // By UID and by file name alike.
  CliRun run = Twstore("flag", "--ids 1," + names[2].substr(0, 12) + " --change '+\\SEEN -\\RECENT +\\FLAGGED'");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "changed the flags of 2 items\n");
  listed = List();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].substr(0, listed[0].find('\t', 2)), "1\t\\SEEN \\FLAGGED");
  EXPECT_EQ(listed[1].substr(0, listed[1].find('\t', 2)), "2\t\\RECENT");
  ExpectStatus({Labelled("folder", inbox_, 29), StatusLine("items", 3), StatusLine("seen", 2),
                StatusLine("answered", 0), StatusLine("flagged", 2), StatusLine("first seen (ordinal)", 0),
                StatusLine("recent (last counted)", 0), StatusLine("recent arrivals since count", 3),
                StatusLine("LASTUID", 3)});

  run = Twstore("remove", "--ids 2 --delete-files");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "removed 1 item from the index\ndeleted 1 message file\n");
  EXPECT_FALSE(test::PathExists(inbox_ + "/" + names[1].substr(0, 12)));
  listed = List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[1].substr(0, 2), "3\t");
  ExpectStatus({StatusLine("items", 2), StatusLine("recent arrivals since count", 2)});

  // Without --delete-files the file stays; a reindex takes it in again and
  // counts the folder afresh.
  ASSERT_EQ(Twstore("remove", "--ids 3").status, 0);
  EXPECT_TRUE(test::PathExists(inbox_ + "/" + names[2].substr(0, 12)));
  EXPECT_EQ(List().size(), 1u);
  run = Twstore("reindex", "");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "reindexed " + inbox_ + ": 2 items, LASTUID 4\n");
  listed = List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[1].substr(0, 10), "4\t\\RECENT\t");
  ExpectStatus({StatusLine("items", 2), StatusLine("first seen (ordinal)", 1), StatusLine("recent (last counted)", 1),
                StatusLine("recent arrivals since count", 0), StatusLine("LASTUID", 4)});
}

TEST_F(TwstoreCli, ShowAndSetOneItemByItsPropertyNames) {
  ASSERT_EQ(Twstore("deliver", MessageFile("one.eml", "a@example.com", "first")).status, 0);
  CliRun run = Twstore("show", "--ids 1");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("PR_SUBJECT\tSUBJECT\tfirst\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("PR_TW_FROM\tFROM\ta@example.com\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("-\tUID\t1\n"), std::string::npos) << "index names beyond the table" << run.output;
  EXPECT_NE(run.output.find("PR_BODY\t-\t6 bytes\nbody\r\n"), std::string::npos) << "its body part" << run.output;

  run = Twstore("set", "--ids 1 --property PR_TW_FLAGSTATUS --value '\\SEEN \\FLAGGED'");
  ASSERT_EQ(run.status, 0) << run.output;
  run = Twstore("show", "--ids 1 --property flagstatus");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "PR_TW_FLAGSTATUS\tFLAGSTATUS\t\\SEEN \\FLAGGED\n");
  run = Twstore("show", "--ids 1 --property PR_TW_READ");
  EXPECT_EQ(run.output, "PR_TW_READ\tREAD\t1\n") << "READ follows the flags";
  EXPECT_EQ(List()[0].substr(0, 17), "1\t\\SEEN \\FLAGGED\t");

  EXPECT_EQ(Twstore("set", "--ids 1 --property NOT_A_NAME --value x").status >> 8, 2);
  EXPECT_EQ(Twstore("show", "--ids 1 --property NOT_A_NAME").status >> 8, 1);
  EXPECT_EQ(Twstore("show", "--ids 9").status >> 8, 2) << "no such item";
}

TEST_F(TwstoreCli, FoldersListsTheTreeWithSizesAsLinesOrJson) {
  ASSERT_EQ(Twstore("deliver", MessageFile("one.eml", "a@example.com", "first")).status, 0);
  test::MakeDirs(inbox_ + "/Work");
  test::MakeDirs(mail_.root() + "/Demo/MAILROOT/alice/Sent Items");
  const std::string size = std::to_string(test::ReadFile(mail_.dir() / "one.eml").size());
  CliRun run = Twstore("folders", "");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find(size + "\t\\Inbox\n0\t\\Inbox\\Work\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("0\t\\Sent Items\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(size + "\ttotal\n"), std::string::npos) << run.output;

  run = test::RunTwstoreApart(mail_.registry().path(), "folders --postoffice Demo --mailbox alice --json");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.output.find("{\"postoffice\":\"Demo\",\"mailbox\":\"alice\",\"folders\":["), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("{\"path\":\"\\\\Inbox\",\"bytes\":" + size + "}"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\"total_bytes\":" + size + "}\n"), std::string::npos) << run.output;
  EXPECT_EQ(test::RunTwstore(mail_.registry().path(), "folders --postoffice Demo --mailbox ..").status >> 8, 2);
  EXPECT_EQ(test::RunTwstore(mail_.registry().path(), "folders --postoffice Demo --mailbox nobody").status >> 8, 1);
}

TEST(TwstoreJson, TextsAreValidUtf8WithControlsEscaped) {
  EXPECT_EQ(cli::JsonText("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(cli::JsonText(std::string("t\x01\n\x7f", 4)), "\"t\\u0001\\u000a\\u007f\"");
  EXPECT_EQ(cli::JsonText("caf\xc3\xa9"), "\"caf\xc3\xa9\"") << "UTF-8 kept";
  EXPECT_EQ(cli::JsonText("x\xff\xc3"), "\"x\xef\xbf\xbd\xef\xbf\xbd\"") << "invalid bytes become U+FFFD";
  EXPECT_EQ(cli::JsonText("\xed\xa0\x80"), "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"") << "no surrogates";
  cli::JsonWriter json;
  json.BeginObject().Key("a").BeginArray().Number(1).Number(2).EndArray().Key("b").Text("x").EndObject();
  EXPECT_EQ(json.Result(), "{\"a\":[1,2],\"b\":\"x\"}");
}

TEST_F(TwstoreCli, DeliverWithFlagsAndReindexOfForeignFiles) {
  const CliRun run = Twstore("deliver", "--flags '\\SEEN' " + MessageFile("m.eml", "a@b", "seen one"));
  ASSERT_EQ(run.status, 0) << run.output;
  std::vector<std::string> listed = List();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].substr(0, 8), "1\t\\SEEN\t");
  ExpectStatus({StatusLine("seen", 1)});

  test::WriteFile(inbox_ + "/dropped.MAI", "Subject: dropped\r\n\r\nx\r\n");
  EXPECT_EQ(List().size(), 1u) << "list shows the index as it is";
  const CliRun rebuilt = Twstore("reindex", "");
  ASSERT_EQ(rebuilt.status, 0) << rebuilt.output;
  listed = List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_NE(listed[1].find("\tdropped"), std::string::npos) << listed[1];
  EXPECT_EQ(listed[0].substr(0, 8), "1\t\\SEEN\t") << "flags survive the rebuild";
}

// A delivery killed after its rename left its line in _pending.dlv: the next
// open indexes the message with the flags it was delivered with; lines of
// messages that never arrived, and a line cut short, are dropped.
TEST_F(TwstoreCli, AKilledDeliveryIsListedWithItsFlags) {
  ASSERT_EQ(Twstore("deliver", MessageFile("m.eml", "a@b", "first")).status, 0);
  test::WriteFile(inbox_ + "/00000100.MAI", "Subject: killed\r\n\r\nx\r\n");
  test::WriteFile(inbox_ + "/_pending.dlv", "00000100.MAI\t\\SEEN \\FLAGGED\nneverarrived.MAI\t\nhalf.MAI");
  const std::vector<std::string> listed = List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[1].substr(0, 17), "2\t\\SEEN \\FLAGGED\t") << listed[1];
  EXPECT_FALSE(test::PathExists(inbox_ + "/_pending.dlv"));
  ExpectStatus({StatusLine("seen", 1)});

  // Delivered normally, a message leaves no line behind.
  ASSERT_EQ(Twstore("deliver", "--flags '\\SEEN' " + MessageFile("n.eml", "a@b", "second")).status, 0);
  EXPECT_FALSE(test::PathExists(inbox_ + "/_pending.dlv"));
  EXPECT_EQ(List().size(), 3u);
}

// A removed message's name may still be in the backup, whose restore would
// give a new message of that name the old UID and flags.
TEST_F(TwstoreCli, DeliveryNeverReusesANameTheBackupHolds) {
  test::WriteFile(inbox_ + "/_index.xml.bak",
                  "<BASEELEMENT LASTUID=\"x00000001\"><ELEMENT ID=\"F0000000.MAI\" UID=\"1\"></ELEMENT>"
                  "</BASEELEMENT>\r\n");
  const CliRun run = Twstore("deliver", MessageFile("m.eml", "a@b", "new"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output.substr(0, 13), "F0000001.MAI\t") << run.output;
}

// The folder has used its last UID: a delivery changes nothing and says why;
// a rebuild that cannot number every file fails and says why.
TEST_F(TwstoreCli, UsedUpUidsAreAnErrorNotALoss) {
  const std::string full = "<BASEELEMENT LASTUID=\"xfffffffe\"></BASEELEMENT>\r\n";
  test::WriteFile(inbox_ + "/_index.xml", full);
  const CliRun run = Twstore("deliver", MessageFile("m.eml", "a@b", "one too many"));
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("used up its UIDs"), std::string::npos) << run.output;
  EXPECT_EQ(test::ReadFile(inbox_ + "/_index.xml"), full);
  for (const auto& entry : std::filesystem::directory_iterator(inbox_))
    EXPECT_NE(entry.path().extension(), ".MAI") << entry.path();
  EXPECT_FALSE(test::PathExists(inbox_ + "/_pending.dlv"));

  test::WriteFile(inbox_ + "/dropped.MAI", "Subject: dropped\r\n\r\nx\r\n");
  const CliRun rebuilt = Twstore("reindex", "");
  EXPECT_NE(rebuilt.status, 0);
  EXPECT_NE(rebuilt.output.find("used up its UIDs"), std::string::npos) << rebuilt.output;
}

TEST_F(TwstoreCli, RefusesHostileInputAndChangesNothing) {
  const std::string message = MessageFile("m.eml", "a@b", "x");
  ASSERT_EQ(Twstore("deliver", message).status, 0);
  test::MakeDirs(mail_.dir() / "adir");
  struct Case {
    const char* command;
    std::string args;
    const char* expected;
  };
  const Case cases[] = {
      {"list", "--folder '../../../../etc'", "is not allowed"},
      {"status", "--folder '..\\..'", "is not allowed"},
      {"deliver", "--folder '$FILEROOT/docs' " + message, "is not a mail folder"},
      {"list", "--folder 'Sent Items'", "folder 'Sent Items' not found in mailbox 'alice'"},
      {"deliver", "--flags '\\SEEN,\\FLAGGED' " + message, "the flags must be"},
      {"deliver", "--flags '$TWGROUP' " + message, "reserved"},
      {"deliver", message + " " + mail_.dir().path() + "/missing.eml", "missing.eml cannot be read"},
      {"deliver", mail_.dir() / "adir", "is a directory"},
      {"flag", "--ids '../../x' --change '+\\SEEN'", "neither a UID nor a message file name"},
      {"flag", "--ids 1,99 --change '+\\SEEN'", "item '99' not found in folder '\\Inbox'"},
      {"flag", "--ids 1 --change 'SIZE=5'", "the change must be"},
      {"flag", "--ids 1 --change ' '", "the change is empty"},
      {"remove", "--ids 99999999999 --delete-files", "item '99999999999' not found"},
      {"remove", "--ids 'x/y,..'", "neither a UID"},
      {"remove", "--ids ,,", "--ids is empty"},
  };
  for (const Case& c : cases) {
    const CliRun run = Twstore(c.command, c.args);
    EXPECT_NE(run.status, 0) << c.command << " " << c.args;
    EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.command << " " << c.args << "\n" << run.output;
  }
  for (const char* args : {"--postoffice .. --mailbox alice", "--postoffice Demo --mailbox '../../x'"})
    EXPECT_NE(test::RunTwstore(mail_.registry().path(), std::string("list ") + args).status, 0) << args;

  // Every command that takes a folder refuses the mailbox itself, however
  // it is spelt, and a folder reached through a link.
  const std::string mailbox = mail_.root() + "/Demo/MAILROOT/alice";
  std::filesystem::create_symlink(inbox_, mailbox + "/Linked");
  const Case refused[] = {
      {"deliver", "--folder . " + message, "names the mailbox directory itself"},
      {"deliver", "--folder '\\' " + message, "names the mailbox directory itself"},
      {"deliver", "--folder './' " + message, "names the mailbox directory itself"},
      {"deliver", "--folder '.\\' " + message, "names the mailbox directory itself"},
      {"deliver", "--folder '/./' " + message, "names the mailbox directory itself"},
      {"deliver", "--folder 'Inbox/..' " + message, "names the mailbox directory itself"},
      {"reindex", "--folder '\\.'", "names the mailbox directory itself"},
      {"list", "--folder 'Inbox\\..\\'", "names the mailbox directory itself"},
      {"status", "--folder /", "names the mailbox directory itself"},
      {"flag", "--folder . --ids 1 --change '+\\SEEN'", "names the mailbox directory itself"},
      {"remove", "--folder ./. --ids 1", "names the mailbox directory itself"},
      {"deliver", "--folder Linked " + message, "Linked is a symbolic link"},
      {"reindex", "--folder 'linked/'", "Linked is a symbolic link"},
  };
  for (const Case& c : refused) {
    const CliRun run = Twstore(c.command, c.args);
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 2) << c.command << " " << c.args;
    EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.command << " " << c.args << "\n" << run.output;
  }
  for (const char* folder : {".", "'a\tb'", "'x\ny'"}) {
    test::TwstoreProcess listen(mail_.registry().path(),
                                std::string("listen IMAP --postoffice Demo --mailbox alice --folder ") + folder);
    const std::string said = listen.Line();
    const int status = listen.Close();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << folder << "\n" << said;
  }
  EXPECT_FALSE(test::PathExists(mailbox + "/_activity.tab"));
  for (const auto& entry : std::filesystem::directory_iterator(mailbox))
    EXPECT_NE(entry.path().extension(), ".MAI") << entry.path();

  const std::vector<std::string> listed = List();
  ASSERT_EQ(listed.size(), 1u) << "nothing was delivered, flagged or removed";
  EXPECT_EQ(listed[0].substr(0, 10), "1\t\\RECENT\t");
}

TEST_F(TwstoreCli, WhatTheLibraryPrintsGoesToStandardError) {
  // An orphaned block file in the folder: the delivery's insert deletes it
  // and the library says so.
  mail_.Use(test::RegistryKey("Providers") + test::DwordValue("Index Unblock Mode", 1));
  test::WriteFile(inbox_ + "/_index.blk", "");
  const std::string message = MessageFile("m.eml", "a@b", "x");
  const CliRun run = test::RunTwstoreApart(mail_.registry().path(),
                                           "deliver --postoffice Demo --mailbox alice " + message);
  ASSERT_EQ(run.status, 0) << run.output << run.errors;
  EXPECT_EQ(run.errors, "deleted orphan\n");
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_EQ(lines.size(), 1u) << run.output;
  EXPECT_EQ(lines[0].substr(8), ".MAI\t" + message);
}

TEST_F(TwstoreCli, ADeliveryWhoseNamesOthersTookGoesOnPastThem) {
  // The first message gives the folder its index.
  ASSERT_EQ(Twstore("deliver", MessageFile("0.eml", "a@b", "zero")).status, 0);
  // A listener that the second delivery notifies before it indexes its first
  // message holds it there while "other deliveries" take the 1200 names
  // after that message's name.
  const std::string run = mail_.dir() / "run";
  ASSERT_TRUE(platform::EnsureNotifyRuntimeDirectory(run));
  mail_.Use(test::RegistryKey("Providers") + test::DwordValue("Notify Timeout", 600000));
  const std::string mailbox = mail_.root() + "/Demo/MAILROOT/alice";
  test::WriteFile(mailbox + "/_activity.tab", "\thold-x\tX-LISTEN\t\t0\t0\t\t1\tS");
  platform::NotifySocketServer listener;
  ASSERT_TRUE(listener.ListenUnix(run + "/hold.sock"));
  std::vector<std::string> before;
  for (const auto& entry : std::filesystem::directory_iterator(inbox_)) before.push_back(entry.path().filename());

  test::TwstoreProcess delivery(mail_.registry().path(),
                                "deliver --postoffice Demo --mailbox alice " + MessageFile("1.eml", "a@b", "one") + " " +
                                    MessageFile("2.eml", "a@b", "two"),
                                "TW_NOTIFY_DIR='" + run + "'");
  platform::NotifyConnection held = listener.Accept(60000);
  ASSERT_TRUE(held.IsOpen());
  std::string first;
  for (const auto& entry : std::filesystem::directory_iterator(inbox_)) {
    const std::string name = entry.path().filename();
    if (entry.path().extension() == ".MAI" && std::find(before.begin(), before.end(), name) == before.end())
      first = name;
  }
  ASSERT_EQ(first.size(), 12u);
  const unsigned long value = std::stoul(first.substr(0, 8), nullptr, 16);
  for (unsigned long taken = value + 1; taken <= value + 1200; ++taken) {
    char name[16];
    std::snprintf(name, sizeof name, "%08lX.MAI", taken);
    test::WriteFile(inbox_ + "/" + name, "");
  }
  std::string message;
  held.ReadMessage(message, {65536, 1024, 60000});
  held.Write("NO\n", 60000);  // no further notifications
  held.Close();

  std::string lines;
  for (std::string line = delivery.Line(); !line.empty(); line = delivery.Line()) lines += line;
  EXPECT_EQ(delivery.Close(), 0) << lines;
  const std::vector<std::string> delivered = Lines(lines);
  ASSERT_EQ(delivered.size(), 2u) << lines;
  EXPECT_EQ(delivered[0].substr(0, 12), first);
  EXPECT_GT(std::stoul(delivered[1].substr(0, 8), nullptr, 16), value + 1200) << lines;
  EXPECT_EQ(List().size(), 3u);
}

}  // namespace
}  // namespace tw
