// A fresh machine and fresh installation choices for the tests of the
// installation steps, and checks of what the steps leave in the registry.
#ifndef VM_TESTS_INSTALL_FIXTURE_H
#define VM_TESTS_INSTALL_FIXTURE_H

#include <cstdio>
#include <cstring>
#include <string>

#include "base/context.h"
#include "sim_fixture.h"

class InstallStepTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    installOptions = InstallOptions{"C:\\Program Files\\Velk Modular", {1, 1, 1, 1, 1, 1, 1}, 1, 0};
  }

  void TearDown() override {
    EXPECT_EQ(sim::openRegistryKeyCount(), 0) << "a registry key was left open";
    EXPECT_EQ(sim::openFindHandleCount(), 0) << "a search handle was left open";
    SimTest::TearDown();
  }

  static void setTargetFolder(const std::string& folder) {
    ASSERT_LT(folder.size(), sizeof installOptions.targetFolder);
    snprintf(installOptions.targetFolder, sizeof installOptions.targetFolder, "%s", folder.c_str());
  }
};

// A REG_SZ value holding `expected`, stored with its terminating zero.
inline ::testing::AssertionResult hasText(HKEY root, const std::string& path, const std::string& name,
                                          const std::string& expected) {
  sim::RegistryValue value;
  if (!sim::registryValue(root, path, name, &value))
    return ::testing::AssertionFailure() << "no value \"" << name << "\" in " << path;
  if (value.type != REG_SZ) return ::testing::AssertionFailure() << "\"" << name << "\" has type " << value.type;
  std::string stored = expected + std::string(1, '\0');
  if (value.data != stored) {
    return ::testing::AssertionFailure() << "\"" << name << "\" holds \"" << value.data << "\" (" << value.data.size()
                                         << " bytes), not \"" << expected << "\" and its terminator";
  }
  return ::testing::AssertionSuccess();
}

// A REG_DWORD value holding `expected`.
inline ::testing::AssertionResult hasNumber(HKEY root, const std::string& path, const std::string& name,
                                            uint32_t expected) {
  sim::RegistryValue value;
  if (!sim::registryValue(root, path, name, &value))
    return ::testing::AssertionFailure() << "no value \"" << name << "\" in " << path;
  uint32_t number = 0;
  if (value.type != REG_DWORD || value.data.size() != sizeof number)
    return ::testing::AssertionFailure() << "\"" << name << "\" has type " << value.type << " and "
                                         << value.data.size() << " bytes";
  memcpy(&number, value.data.data(), sizeof number);
  if (number != expected) return ::testing::AssertionFailure() << "\"" << name << "\" holds " << number;
  return ::testing::AssertionSuccess();
}

#endif  // VM_TESTS_INSTALL_FIXTURE_H
