// What the OutputFile tests of every system share: a fresh folder with one
// target name in it, and the check that the folder holds that target alone
// (no temporary file left behind) with the expected content.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

// An earlier file's content, to see whether it survived.
inline const Bytes kOld = {'o', 'l', 'd'};

class OutputFileFixture : public ::testing::Test {
 protected:
  std::string Target() const { return dir_ / "out.bin"; }
  void ExpectOnlyTheTarget(const Bytes& content) {
    EXPECT_EQ(ListDirectory(dir_.path()), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(ReadFileBytes(Target()), content);
  }

  TempDir dir_;
};
