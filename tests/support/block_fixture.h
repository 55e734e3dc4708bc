// The block-file tests' ground: a scratch directory, a counting sleep and a
// registry whose block settings are read afresh whenever it is rewritten.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace tw::test {

class BlockFilesTest : public ::testing::Test {
 protected:
  explicit BlockFilesTest(const std::string& registryBody);
  void SetUp() override;
  void TearDown() override;
  // Rewrites the registry and forgets the block settings read so far.
  void UseRegistry(const std::string& body);

  ScratchDir dir_;
  FastSleep sleep_;
  ScopedRegistry registry_;
};

}  // namespace tw::test
