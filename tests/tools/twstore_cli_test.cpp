// Runs the twstore program as an operator would.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "support/twstore_run.h"

namespace {

using tw::test::CliRun;

CliRun Twstore(const std::string& registryFile, const std::string& args) {
  return tw::test::RunTwstore(registryFile, args);
}

// A label as the tool lines it up: padded to 22 columns.
std::string Label(std::string text) {
  text.resize(22, ' ');
  return text;
}

class TwstoreCli : public ::testing::Test {
 protected:
  tw::test::ScratchDir dir_;
  std::string registry_ = dir_ / "registry.reg";
  void SetUp() override {
    tw::test::WriteFile(registry_, "Windows Registry Editor Version 5.00\r\n\r\n" +
                                       tw::test::RegistryWithMailRoot(dir_.path() + "/POSTOFFICES"));
    tw::test::MakeDirs(dir_.path() + "/POSTOFFICES/Demo/MAILROOT/alice/Inbox");
  }
};

TEST_F(TwstoreCli, PathsPrintsTheDirectoriesOnDisk) {
  const CliRun run = Twstore(registry_, "paths Demo alice INBOX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find(Label("postoffice root") + dir_.path() + "/POSTOFFICES/Demo\n"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find(Label("folder (index)") + dir_.path() + "/POSTOFFICES/Demo/MAILROOT/alice/Inbox\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find(Label("folder type") + "0 (mail)"), std::string::npos) << run.output;
}

TEST_F(TwstoreCli, PathsRefusesHostileNames) {
  const CliRun run = Twstore(registry_, "paths Demo alice '../../etc'");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("(refused)"), std::string::npos) << run.output;
  EXPECT_NE(Twstore(registry_, "paths ..").status, 0);
}

TEST_F(TwstoreCli, SettingsNameTheirSource) {
  const CliRun run = Twstore(registry_, "settings");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("registry file: " + registry_), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Mail Root"), std::string::npos);
  EXPECT_NE(run.output.find("default"), std::string::npos);
}

TEST_F(TwstoreCli, HelpListsTheCommands) {
  const CliRun run = Twstore(registry_, "--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("paths"), std::string::npos);
  EXPECT_NE(run.output.find("settings"), std::string::npos);
}

}  // namespace
