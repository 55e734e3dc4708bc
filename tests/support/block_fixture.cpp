#include "support/block_fixture.h"

#include "index/locking/block_settings.h"

namespace tw::test {

BlockFilesTest::BlockFilesTest(const std::string& registryBody) : registry_(registryBody) {}
void BlockFilesTest::SetUp() { ResetBlockSettingsCache(); }
void BlockFilesTest::TearDown() { ResetBlockSettingsCache(); }

void BlockFilesTest::UseRegistry(const std::string& body) {
  ResetBlockSettingsCache();
  registry_.Rewrite(body);
}

}  // namespace tw::test
