// Telling the two Windows families apart.
#include "base/windows_version.h"
#include "sim_fixture.h"

using WindowsVersionTest = SimTest;

TEST_F(WindowsVersionTest, NTIsTheNTPlatformAndEverythingElseIsNot) {
  sim::setWindowsFamily(sim::WindowsFamily::NT);
  EXPECT_TRUE(isWindowsNT());
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  EXPECT_FALSE(isWindowsNT()) << "asked anew on every call";
}

TEST_F(WindowsVersionTest, AFailedVersionQueryIsAnInternalError) {
  auto failing = [] {
    sim::setVersionQueryFails(true);
    sim::answerNextMessageBox(IDOK);
    isWindowsNT();
  };
  EXPECT_EXIT(failing(), ::testing::ExitedWithCode(1), "Internal error");
}
