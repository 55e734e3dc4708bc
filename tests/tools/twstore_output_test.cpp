// What twstore gives people and scripts: one JSON object for list, status
// and show, error messages that name what is missing, a progress line while
// folders sizes a large tree, and files that belong to the store's owner.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "support/store_fixture.h"
#include "support/twstore_run.h"

namespace tw {
namespace {

using test::CliRun;

int ExitCode(const CliRun& run) { return WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1; }

// Just enough of a JSON reader to check the tool's objects: it fails the
// test on anything that is not well-formed JSON.
struct Json {
  enum class Kind { kNull, kBool, kNumber, kText, kArray, kObject } kind = Kind::kNull;
  bool truth = false;
  std::string number;  // as written
  std::string text;
  std::vector<Json> elements;
  std::map<std::string, Json> members;

  const Json& operator[](const std::string& key) const {
    static const Json missing;
    const auto found = members.find(key);
    EXPECT_NE(found, members.end()) << "no key " << key;
    return found == members.end() ? missing : found->second;
  }
  const Json& operator[](size_t i) const {
    static const Json missing;
    EXPECT_LT(i, elements.size());
    return i < elements.size() ? elements[i] : missing;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  // The one value of the text, followed by nothing but a line end.
  bool ReadAll(Json& value) {
    if (!Value(value)) return false;
    return text_.substr(at_) == "\n";
  }

 private:
  void Blanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r')) ++at_;
  }
  bool Take(char c) {
    Blanks();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool Text(std::string& out) {
    if (!Take('"')) return false;
    while (at_ < text_.size() && text_[at_] != '"') {
      const auto c = static_cast<unsigned char>(text_[at_++]);
      if (c < 0x20) return false;  // control characters must be escaped
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      const std::string_view simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
      if (const size_t i = simple.find(e); i != std::string_view::npos) {
        out += meaning[i];
      } else if (e == 'u' && at_ + 4 <= text_.size()) {
        const unsigned long code = std::strtoul(std::string(text_.substr(at_, 4)).c_str(), nullptr, 16);
        at_ += 4;
        if (code >= 0x80) return false;  // the tool writes only controls this way
        out += static_cast<char>(code);
      } else {
        return false;
      }
    }
    return Take('"');
  }
  bool Value(Json& value) {
    Blanks();
    if (at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '{') {
      value.kind = Json::Kind::kObject;
      ++at_;
      if (Take('}')) return true;
      do {
        std::string key;
        Json member;
        if (!Text(key) || !Take(':') || !Value(member)) return false;
        if (!value.members.emplace(key, std::move(member)).second) return false;  // duplicate key
      } while (Take(','));
      return Take('}');
    }
    if (c == '[') {
      value.kind = Json::Kind::kArray;
      ++at_;
      if (Take(']')) return true;
      do {
        value.elements.emplace_back();
        if (!Value(value.elements.back())) return false;
      } while (Take(','));
      return Take(']');
    }
    if (c == '"') {
      value.kind = Json::Kind::kText;
      return Text(value.text);
    }
    if (Word("null")) return true;
    if (Word("true") || Word("false")) {
      value.kind = Json::Kind::kBool;
      value.truth = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
      return true;
    }
    const size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    while (at_ < text_.size() && std::string_view("0123456789.eE+-").find(text_[at_]) != std::string_view::npos) ++at_;
    if (at_ == start) return false;
    value.kind = Json::Kind::kNumber;
    value.number = std::string(text_.substr(start, at_ - start));
    return true;
  }

  std::string_view text_;
  size_t at_ = 0;
};

Json Parsed(const std::string& output) {
  Json value;
  EXPECT_TRUE(JsonReader(output).ReadAll(value)) << "not one JSON value and a line end:\n" << output;
  return value;
}

TEST(TwstoreJsonReader, RefusesWhatIsNotJson) {
  for (const char* bad : {"{\"a\":1,}\n", "{\"a\":1}", "{\"a\":\"x\ny\"}\n", "{\"a\":1,\"a\":2}\n", "[1 2]\n"}) {
    Json value;
    EXPECT_FALSE(JsonReader(bad).ReadAll(value)) << bad;
  }
  const Json value = Parsed("{\"a\":[1,\"\\u0001\",null,true],\"b\":{}}\n");
  EXPECT_EQ(value["a"][0].number, "1");
  EXPECT_EQ(value["a"][1].text, "\x01");
  EXPECT_EQ(value["a"][2].kind, Json::Kind::kNull);
  EXPECT_TRUE(value["a"][3].truth);
}

class TwstoreOutput : public ::testing::Test {
 protected:
  void SetUp() override { test::MakeDirs(inbox_); }

  // `twstore COMMAND` on alice's mailbox, standard error apart.
  CliRun Twstore(const std::string& command, const std::string& args, const std::string& mailbox = "alice") {
    return test::RunTwstoreApart(mail_.registry().path(),
                                 command + " --postoffice Demo --mailbox " + mailbox + " " + args);
  }
  std::string MessageFile(const std::string& name, const std::string& from, const std::string& subject) {
    const std::string path = mail_.dir() / name;
    test::WriteFile(path, test::Message("From: " + from + "\r\nSubject: " + subject +
                                        "\r\nDate: Mon, 3 Jun 2024 10:00:00 +0000"));
    return path;
  }
  // Delivers the messages; their file names in order.
  std::vector<std::string> Deliver(const std::vector<std::string>& files) {
    std::string args;
    for (const std::string& file : files) args += " '" + file + "'";
    const CliRun run = Twstore("deliver", args);
    EXPECT_EQ(ExitCode(run), 0) << run.errors;
    std::vector<std::string> names;
    for (const std::string& line : test::Lines(run.output)) names.push_back(line.substr(0, 12));
    return names;
  }

  test::MailRoot mail_{"", "/POSTOFFICES"};
  std::string box_ = mail_.root() + "/Demo/MAILROOT/alice";
  std::string inbox_ = box_ + "/Inbox";
};

TEST_F(TwstoreOutput, ListJsonHoldsEveryItemWithTypedValues) {
  const std::string first = MessageFile("one.eml", "a@example.com", "first");
  const std::vector<std::string> names = Deliver({first, MessageFile("two.eml", "b@example.com", "second")});
  ASSERT_EQ(names.size(), 2u);
  ASSERT_EQ(ExitCode(Twstore("flag", "--ids 1 --change '+\\SEEN +\\FLAGGED -\\RECENT'")), 0);
  // Deliveries index clean UTF-8; an index another program wrote may hold
  // any byte.
  std::string index = test::ReadFile(inbox_ + "/_index.xml");
  const size_t subject = index.find("<SUBJECT>second</SUBJECT>");
  ASSERT_NE(subject, std::string::npos) << index;
  index.replace(subject, 25, "<SUBJECT>bad \xff byte</SUBJECT>");
  test::WriteFile(inbox_ + "/_index.xml", index);

  const CliRun run = Twstore("list", "--json");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  const Json list = Parsed(run.output);
  EXPECT_EQ(list["postoffice"].text, "Demo");
  EXPECT_EQ(list["mailbox"].text, "alice");
  EXPECT_EQ(list["folder"].text, "\\Inbox");
  const Json& items = list["items"];
  ASSERT_EQ(items.elements.size(), 2u) << run.output;
  const Json& one = items[0];
  EXPECT_EQ(one.members.size(), 7u) << run.output;
  EXPECT_EQ(one["uid"].kind, Json::Kind::kNumber);
  EXPECT_EQ(one["uid"].number, "1");
  EXPECT_EQ(one["id"].text, names[0]);
  ASSERT_EQ(one["flags"].elements.size(), 2u) << run.output;
  EXPECT_EQ(one["flags"][0].text, "\\SEEN");
  EXPECT_EQ(one["flags"][1].text, "\\FLAGGED");
  EXPECT_EQ(one["size"].kind, Json::Kind::kNumber);
  EXPECT_EQ(one["size"].number, std::to_string(test::ReadFile(first).size()));
  EXPECT_EQ(one["date"].text, "2024-06-03T10:00:00Z");
  EXPECT_EQ(one["from"].text, "a@example.com");
  EXPECT_EQ(one["subject"].text, "first");
  EXPECT_EQ(items[1]["uid"].number, "2");
  EXPECT_EQ(items[1]["flags"][0].text, "\\RECENT");
  EXPECT_EQ(items[1]["subject"].text, "bad \xef\xbf\xbd byte") << "U+FFFD for the bad byte";

  // An empty folder is an empty list.
  test::MakeDirs(box_ + "/Empty");
  const CliRun empty = Twstore("list", "--folder Empty --json");
  ASSERT_EQ(ExitCode(empty), 0) << empty.errors;
  EXPECT_EQ(empty.output, "{\"postoffice\":\"Demo\",\"mailbox\":\"alice\",\"folder\":\"Empty\",\"items\":[]}\n");
}

TEST_F(TwstoreOutput, StatusJsonNamesTheCountersAsTheLinesDo) {
  Deliver({MessageFile("one.eml", "a@b", "one"), MessageFile("two.eml", "a@b", "two")});
  ASSERT_EQ(ExitCode(Twstore("flag", "--ids 1 --change '+\\SEEN'")), 0);
  const CliRun run = Twstore("status", "--json");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  EXPECT_EQ(run.output, "{\"postoffice\":\"Demo\",\"mailbox\":\"alice\",\"folder\":\"\\\\Inbox\",\"directory\":\"" +
                            inbox_ +
                            "\",\"counted\":true,\"items\":2,\"seen\":1,\"answered\":0,\"flagged\":0,"
                            "\"first_seen_ordinal\":0,\"recent_last_counted\":0,\"recent_arrivals_since_count\":2,"
                            "\"recent_arrivals_unclamped\":2,\"lastuid\":2}\n");
  Parsed(run.output);

  test::MakeDirs(box_ + "/Uncounted");
  const Json uncounted = Parsed(Twstore("status", "--folder Uncounted --json").output);
  EXPECT_FALSE(uncounted["counted"].truth);
  EXPECT_EQ(uncounted["items"].number, "0");
}

TEST_F(TwstoreOutput, ShowJsonGivesEachPropertyByItsNamesWithItsType) {
  const std::vector<std::string> names = Deliver({MessageFile("one.eml", "a@example.com", "first")});
  ASSERT_EQ(names.size(), 1u);
  CliRun run = Twstore("show", "--ids 1 --json");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  const Json shown = Parsed(run.output);
  EXPECT_EQ(shown["id"].text, names[0]);
  EXPECT_EQ(shown["folder"].text, "\\Inbox");
  std::map<std::string, const Json*> byIndexName;
  for (const Json& property : shown["properties"].elements) {
    EXPECT_EQ(property.members.size(), 3u);
    byIndexName[property["index_name"].text] = &property;
  }
  ASSERT_TRUE(byIndexName.count("SUBJECT")) << run.output;
  EXPECT_EQ((*byIndexName["SUBJECT"])["name"].text, "PR_SUBJECT");
  EXPECT_EQ((*byIndexName["SUBJECT"])["value"].text, "first");
  ASSERT_TRUE(byIndexName.count("UID")) << run.output;
  EXPECT_EQ((*byIndexName["UID"])["name"].kind, Json::Kind::kNull) << "an index name beyond the table";
  EXPECT_EQ((*byIndexName["UID"])["value"].number, "1");
  ASSERT_TRUE(byIndexName.count("SIZE")) << run.output;
  EXPECT_EQ((*byIndexName["SIZE"])["value"].kind, Json::Kind::kNumber) << "a number stays a number";
  ASSERT_TRUE(byIndexName.count("MESSAGEDATE")) << run.output;
  EXPECT_EQ((*byIndexName["MESSAGEDATE"])["value"].text, "2024-06-03T10:00:00Z");
  ASSERT_TRUE(byIndexName.count("FROM")) << run.output;
  EXPECT_EQ((*byIndexName["FROM"])["value"].text, "a@example.com");
  ASSERT_EQ(shown["body"].elements.size(), 2u) << "the text part, and the HTML part made from it" << run.output;
  EXPECT_EQ(shown["body"][0]["name"].text, "PR_BODY");
  EXPECT_EQ(shown["body"][0]["bytes"].number, "6");
  EXPECT_EQ(shown["body"][0]["text"].text, "body\r\n");

  run = Twstore("show", "--ids 1 --property subject --json");
  ASSERT_EQ(ExitCode(run), 0) << run.errors;
  EXPECT_EQ(run.output, "{\"postoffice\":\"Demo\",\"mailbox\":\"alice\",\"folder\":\"\\\\Inbox\",\"id\":\"" + names[0] +
                            "\",\"properties\":[{\"name\":\"PR_SUBJECT\",\"index_name\":\"SUBJECT\",\"value\":"
                            "\"first\"}],\"body\":[]}\n");

  run = Twstore("show", "--ids 1 --property NOT_A_NAME --json");
  EXPECT_EQ(ExitCode(run), 1);
  EXPECT_EQ(run.output, "") << "no object when the command fails";
  EXPECT_NE(run.errors.find("item '" + names[0] + "' has no property 'NOT_A_NAME'"), std::string::npos) << run.errors;
}

TEST_F(TwstoreOutput, ErrorsNameWhatIsMissingAndWhere) {
  struct Case {
    std::string args;
    int exitCode;
    std::string expected;
  };
  const std::string root = mail_.root();
  const std::string noBob = "twstore: mailbox 'bob' not found under postoffice 'Demo'\n";
  const Case cases[] = {
      {"list --postoffice Nowhere --mailbox alice --json", 1,
       "twstore: postoffice 'Nowhere' not found under the mail root " + root + "\n"},
      {"status --postoffice Demo --mailbox bob --json", 1, noBob},
      {"show --postoffice Demo --mailbox alice --folder 'Inbox\\X' --ids 1 --json", 1,
       "twstore: folder 'Inbox\\X' not found in mailbox 'alice' (no directory " + inbox_ + "/X)\n"},
      {"list --postoffice Demo --mailbox alice --folder '../../x'", 2,
       "twstore: folder '../../x' is not allowed: it leads outside the mailbox\n"},
      {"list --postoffice .. --mailbox alice", 2, "twstore: postoffice '..' is not allowed"},
      {"folders --postoffice Demo --mailbox bob --json", 1, noBob},
      {"mkdir --postoffice Demo --mailbox bob --folder X", 1, ": mailbox 'bob' not found under postoffice 'Demo'\n"},
      {"rmdir --postoffice Demo --mailbox alice --folder 'Inbox\\Gone' --yes", 1,
       ": folder '\\Inbox\\Gone' not found in mailbox 'alice'\n"},
      {"listen IMAP --postoffice Demo --mailbox bob --count 1", 1, noBob},
  };
  for (const Case& c : cases) {
    const CliRun run = test::RunTwstoreApart(mail_.registry().path(), c.args + " </dev/null");
    EXPECT_EQ(ExitCode(run), c.exitCode) << c.args << "\n" << run.errors;
    EXPECT_EQ(run.output, "") << c.args;
    EXPECT_NE(run.errors.find(c.expected), std::string::npos) << c.args << "\n" << run.errors;
  }
}

// In-process, with a console that says standard error is a terminal.
TEST_F(TwstoreOutput, FoldersShowsProgressOnATerminalForManyFolders) {
  for (int i = 0; i < 24; ++i) test::MakeDirs(box_ + "/F" + std::to_string(i));
  cli::FoldersRequest request{"Demo", "alice", false};
  cli::Console terminal;
  terminal.errIsTerminal = true;
  terminal.errColumns = 80;
  std::ostringstream out, err;
  ASSERT_EQ(cli::ListFolders(request, terminal, out, err), 0) << err.str();
  EXPECT_NE(err.str().find("sizing folders ["), std::string::npos) << err.str();
  EXPECT_NE(err.str().find(" 25/25"), std::string::npos) << err.str();
  EXPECT_EQ(err.str().substr(err.str().size() - 4), "\r\x1b[K") << "the line is cleared at the end";
  EXPECT_NE(out.str().find("0\ttotal\n"), std::string::npos) << out.str();

  std::ostringstream pipedOut, pipedErr;
  ASSERT_EQ(cli::ListFolders(request, cli::Console{}, pipedOut, pipedErr), 0);
  EXPECT_EQ(pipedErr.str(), "") << "no terminal, no progress";
  EXPECT_EQ(pipedOut.str(), out.str());

  std::ostringstream fewOut, fewErr;
  request.mailbox = "bob";
  test::MakeDirs(mail_.root() + "/Demo/MAILROOT/bob/Inbox");
  ASSERT_EQ(cli::ListFolders(request, terminal, fewOut, fewErr), 0);
  EXPECT_EQ(fewErr.str(), "") << "a few folders are sized at once";
}

// Run as root on a store that belongs to someone else, the tool's files
// belong to the store's owner and get the store's permissions.
TEST_F(TwstoreOutput, AsRootTheToolCreatesFilesAsTheStoreOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  constexpr uid_t kNobody = 65534;
  constexpr gid_t kNogroup = 65534;
  // The store's owner must reach the mail root and read the registry.
  ASSERT_EQ(::chmod(mail_.dir().path().c_str(), 0755), 0);
  const std::string mailboxes = mail_.root() + "/Demo/MAILROOT";
  for (const std::string& path : {mail_.root(), mail_.root() + "/Demo", mailboxes, box_, inbox_}) {
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNogroup), 0) << path;
    ASSERT_EQ(::chmod(path.c_str(), 0770), 0) << path;
  }
  // A process that changed its user is not dumpable, and a leak checker
  // (in a sanitizer build) cannot read it at exit: it checks other runs.
  const std::string sanitizerOptions = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
  ::setenv("ASAN_OPTIONS", (sanitizerOptions + (sanitizerOptions.empty() ? "" : ":") + "detect_leaks=0").c_str(), 1);
  struct RestoreOptions {
    std::string value;
    ~RestoreOptions() { ::setenv("ASAN_OPTIONS", value.c_str(), 1); }
  } restore{sanitizerOptions};
  const CliRun made = Twstore("mkdir", "--folder 'Inbox\\Owned'");
  ASSERT_EQ(ExitCode(made), 0) << made.errors;
  struct stat made_status {};
  ASSERT_EQ(::stat((inbox_ + "/Owned").c_str(), &made_status), 0);
  EXPECT_EQ(made_status.st_uid, kNobody);
  EXPECT_EQ(made_status.st_gid, kNogroup);
  EXPECT_EQ(made_status.st_mode & 0777, 0770u);

  const std::vector<std::string> names = Deliver({MessageFile("one.eml", "a@b", "owned")});
  ASSERT_EQ(names.size(), 1u);
  struct stat index {}, message {};
  ASSERT_EQ(::stat((inbox_ + "/_index.xml").c_str(), &index), 0);
  EXPECT_EQ(index.st_uid, kNobody);
  EXPECT_EQ(index.st_mode & 0777, 0660u) << "group-writable, as the store is";
  // A copied message takes the store's mode, not its source's.
  ASSERT_EQ(::stat((inbox_ + "/" + names[0]).c_str(), &message), 0);
  EXPECT_EQ(message.st_uid, kNobody);
  EXPECT_EQ(message.st_mode & 0777, 0660u);
}

}  // namespace
}  // namespace tw
