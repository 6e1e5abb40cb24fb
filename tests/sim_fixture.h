// Gives each test a fresh simulated machine whose drives are folders under a
// new temporary root, removed again afterwards.
#ifndef VM_TESTS_SIM_FIXTURE_H
#define VM_TESTS_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "sim/sim.h"

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vmsim-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    sim::reset(root_);
  }

  void TearDown() override {
    EXPECT_EQ(sim::unexpectedMessageBoxes(), 0) << "a message box appeared that the test did not expect";
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

// The bytes of a file on the simulated drives, "" when there is none.
inline std::string contentOf(const std::string& windowsPath) {
  std::ifstream in(sim::hostPath(windowsPath), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#endif  // VM_TESTS_SIM_FIXTURE_H
