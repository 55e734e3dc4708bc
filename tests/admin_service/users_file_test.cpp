// The users file: its lines, the hash check with its dummy for unknown
// users, files others can read, and adduser writing what serve reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "commands.h"
#include "platform/password_hash.h"
#include "support/test_support.h"
#include "users_file.h"

namespace tw::admind {
namespace {

namespace fs = std::filesystem;

TEST(PasswordHashTest, YescryptHashesCheckOnlyTheirOwnSecret) {
  const std::string hash = platform::HashSecret("s3cret:with colon");
  ASSERT_EQ(hash.rfind("$y$", 0), 0u) << hash;
  EXPECT_NE(hash, platform::HashSecret("s3cret:with colon")) << "a fresh salt each time";
  EXPECT_TRUE(platform::SecretMatches("s3cret:with colon", hash));
  EXPECT_FALSE(platform::SecretMatches("s3cret:with colo", hash));
  EXPECT_FALSE(platform::SecretMatches("", hash));
  EXPECT_FALSE(platform::SecretMatches("s3cret:with colon", "$y$broken"));
  EXPECT_FALSE(platform::SecretMatches("s3cret:with colon", ""));
  EXPECT_FALSE(platform::SecretMatches(std::string("a\0b", 3), platform::HashSecret("a")));
}

TEST(UsersFileTest, ParseTakesNamesAndHashesAndRefusesMalformedLines) {
  std::vector<UserEntry> users;
  std::string why;
  ASSERT_TRUE(ParseUsers("# operators\n\nadmin:$y$abc\r\nops@example:$6$def\n", users, why)) << why;
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[1].name, "ops@example");
  EXPECT_EQ(users[1].hash, "$6$def");

  for (const char* bad : {"admin\n", "admin:\n", "admin:plain\n", ":$y$x\n", "bad name:$y$x\n", "a:$y$1\na:$y$2\n"}) {
    EXPECT_FALSE(ParseUsers(bad, users, why)) << bad;
    EXPECT_TRUE(users.empty());
  }
  EXPECT_FALSE(ParseUsers("a:$y$1\nb\n", users, why));
  EXPECT_NE(why.find("line 2"), std::string::npos) << why;
}

TEST(UsersFileTest, WithUserReplacesTheLineOrAddsOne) {
  const std::string text = "# keep me\nadmin:$y$old\nother:$y$o\n";
  EXPECT_EQ(WithUser(text, "admin", "$y$new"), "# keep me\nadmin:$y$new\nother:$y$o\n");
  EXPECT_EQ(WithUser(text, "adm", "$y$n"), text + "adm:$y$n\n");
  EXPECT_EQ(WithUser("", "a", "$y$n"), "a:$y$n\n");
}

TEST(UsersFileTest, CheckNeedsAKnownUserAndHisSecret) {
  UsersFile users;
  users.Use({{"admin", platform::HashSecret("good")}, {"ops", platform::HashSecret("other")}});
  EXPECT_TRUE(users.Check("admin:good") && users.Check("ops:other"));
  for (const char* refused : {"admin:other", "ops:good", "nobody:good", "admin", "admin:", "", ":good"})
    EXPECT_FALSE(users.Check(refused)) << refused;
}

TEST(UsersFileTest, AFileOthersCanReadIsRefused) {
  test::ScratchDir dir;
  const std::string path = dir / "users";
  test::WriteFile(path, "admin:" + platform::HashSecret("good") + "\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  UsersFile users;
  std::string why;
  EXPECT_FALSE(users.Load(path, why));
  EXPECT_NE(why.find("others can read"), std::string::npos) << why;

  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(users.Load(path, why)) << why;
  EXPECT_TRUE(users.Check("admin:good"));
  EXPECT_FALSE(users.Load(dir / "missing", why));
}

TEST(UsersFileTest, AddUserWritesAPrivateYescryptLineThatLoadReads) {
  test::ScratchDir dir;
  const std::string path = dir / "users";
  std::ostringstream out, err;
  std::istringstream secret("first secret\n");
  ASSERT_EQ(AddUser({"admin", path}, secret, out, err), 0) << err.str();
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  const std::string text = test::ReadFile(path);
  EXPECT_EQ(text.rfind("admin:$y$", 0), 0u) << text;
  EXPECT_EQ(text.find("first secret"), std::string::npos);

  for (const auto& [name, line] : {std::pair{"ops", "second secret\r\n"}, std::pair{"admin", "new secret\n"}}) {
    std::istringstream secret(line);
    ASSERT_EQ(AddUser({name, path}, secret, out, err), 0) << err.str();
  }

  UsersFile users;
  std::string why;
  ASSERT_TRUE(users.Load(path, why)) << why;
  EXPECT_EQ(users.size(), 2u);
  EXPECT_TRUE(users.Check("admin:new secret") && users.Check("ops:second secret"));
  EXPECT_FALSE(users.Check("admin:first secret"));
}

TEST(UsersFileTest, AddUserRefusesBadNamesEmptySecretsAndAFileOthersRead) {
  test::ScratchDir dir;
  const std::string path = dir / "users";
  std::ostringstream out, err;
  for (const auto& [name, line] : {std::pair<std::string, std::string>{"bad:name", "x\n"}, {"admin", "\n"},
                                   {"admin", std::string(300, 'x') + "\n"}}) {
    std::istringstream secret(line);
    EXPECT_EQ(AddUser({name, path}, secret, out, err), 2) << name;
  }
  EXPECT_FALSE(test::PathExists(path));

  test::WriteFile(path, "# shared\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  std::istringstream good("good\n");
  EXPECT_EQ(AddUser({"admin", path}, good, out, err), 1);
  EXPECT_EQ(test::ReadFile(path), "# shared\n") << "nothing written beside readers";
}

}  // namespace
}  // namespace tw::admind
