// The README's first command, on a scratch home and demo directory, with
// the build that is there: the samples come in once, the tree and the Inbox
// are shown, and the line that points a shell at the store is printed.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "support/twstore_run.h"

namespace tw {
namespace {

TEST(RunScript, ShowsTheSamplesInTheDemoStoreAndImportsThemOnce) {
  test::ScratchDir home;
  const std::string command = "cd '" + std::string(TW_SOURCE_DIR) + "' && HOME='" + home.path() +
                              "' TW_RUN_NO_SETUP=1 TW_BUILD_DIR='" + std::string(TW_TEST_BIN_DIR) +
                              "/..' TW_DEMO_DIR='" + home.path() + "/demo' scripts/run.sh 2>&1";
  test::CliRun run = test::RunCommand(command);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("imported 8 of 8 messages into Inbox"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("imported 3 of 3 messages into Letters"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("\t\\Projects\n"), std::string::npos) << "the folder tree";
  EXPECT_NE(run.output.find("Bike shed paint samples"), std::string::npos) << "the Inbox listing";
  EXPECT_NE(run.output.find("export TW_REGISTRY_FILE=" + home.path() + "/demo/registry.reg"), std::string::npos);

  run = test::RunCommand(command);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("imported 0 of 8 messages into Inbox (8 already there)"), std::string::npos)
      << run.output;
}

}  // namespace
}  // namespace tw
