// HKEY_CURRENT_USER from the user's own file beside the main registry file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/registry.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using namespace tw::test;

class UserRegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TW_USER_REGISTRY_FILE", userFile_.c_str(), 1);
    RegistryReset();
  }
  void TearDown() override {
    unsetenv("TW_USER_REGISTRY_FILE");
    RegistryReset();
  }
  void WriteUserFile(const std::string& body, mode_t mode) {
    WriteFile(userFile_, "REGEDIT4\r\n\r\n" + body);
    ::chmod(userFile_.c_str(), mode);
  }
  static std::string Text(Hive hive, const char* name, bool secret = false) {
    auto value = secret ? RegistryGetSecret(hive, "K", name) : RegistryGetValue(hive, "K", name);
    return value ? value->text : "<missing>";
  }

  ScratchDir scratch_;
  std::string userFile_ = scratch_ / "user.reg";
};

TEST_F(UserRegistryFile, WinsForTheCurrentUserOnly) {
  ScopedRegistry main("[HKCU\\K]\r\n\"Both\"=\"main\"\r\n\"Main\"=\"main\"\r\n[HKLM\\K]\r\n\"Both\"=\"machine\"\r\n");
  WriteUserFile("[HKCU\\K]\r\n\"Both\"=\"user\"\r\n\"User\"=\"user\"\r\n[HKLM\\K]\r\n\"Both\"=\"user\"\r\n", 0600);
  EXPECT_EQ(Text(Hive::CurrentUser, "Both"), "user");
  EXPECT_EQ(Text(Hive::CurrentUser, "Main"), "main");
  EXPECT_EQ(Text(Hive::CurrentUser, "User"), "user");
  EXPECT_EQ(Text(Hive::LocalMachine, "Both"), "machine");  // the user's file never speaks for the machine
  EXPECT_EQ(Text(Hive::LocalMachine, "User"), "<missing>");
  WriteUserFile("[HKCU\\Only\\Below]\r\n", 0600);
  EXPECT_TRUE(RegistryKeyExists(Hive::CurrentUser, "Only"));
  EXPECT_FALSE(RegistryKeyExists(Hive::LocalMachine, "Only"));
}

TEST_F(UserRegistryFile, ASecretInAFileOthersCanReadIsIgnoredWithOneWarning) {
  ScopedRegistry main("[HKCU\\K]\r\n\"Password\"=\"main\"\r\n");
  WriteUserFile("[HKCU\\K]\r\n\"Password\"=\"user\"\r\n", 0640);
  CapturedEvents events;
  EXPECT_EQ(Text(Hive::CurrentUser, "Password", true), "main");
  EXPECT_EQ(Text(Hive::CurrentUser, "Password", true), "main");
  EXPECT_EQ(Text(Hive::CurrentUser, "Password"), "user");  // an ordinary value is read as it is
  ASSERT_EQ(events.entries().size(), 1u);
  EXPECT_NE(events.entries()[0].text2.find(userFile_), std::string::npos);
  EXPECT_NE(events.entries()[0].text2.find("\"Password\""), std::string::npos);
  // Made private, the file is read again: the mode is part of its identity.
  ::chmod(userFile_.c_str(), 0600);
  EXPECT_EQ(Text(Hive::CurrentUser, "Password", true), "user");
  EXPECT_EQ(events.entries().size(), 1u);
}

TEST_F(UserRegistryFile, LivesInTheHomeDirectoryUnlessNamed) {
  EXPECT_EQ(UserRegistryFilePath(), userFile_);
  unsetenv("TW_USER_REGISTRY_FILE");
  const char* home = std::getenv("HOME");
  const std::string previous = home ? home : "";
  setenv("HOME", "/home/someone/", 1);
  EXPECT_EQ(UserRegistryFilePath(), "/home/someone/.config/tarnwick/user.reg");
  if (home) {
    setenv("HOME", previous.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
}

}  // namespace
}  // namespace tw::platform
