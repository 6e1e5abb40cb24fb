// The command line on which the uninstaller's copy learns which program it
// takes over from: anything else is a start by the user.
#include <string>

#include "sim_fixture.h"
#include "uninstall/hand_over.h"

TEST(HandOverTest, TheCopysCommandLineNamesTheOriginalsProcessAndPath) {
  HandOver handOver;
  ASSERT_TRUE(parseHandOver(" /original:1000 C:\\Program Files\\Velk Modular\\_vmunins.exe  ", &handOver));
  EXPECT_EQ(handOver.originalProcessId, 1000u);
  EXPECT_STREQ(handOver.originalPath, "C:\\Program Files\\Velk Modular\\_vmunins.exe");
  ASSERT_TRUE(parseHandOver("/original:4294967295 D:\\_vmunins.exe", &handOver));
  EXPECT_EQ(handOver.originalProcessId, 4294967295u);
}

TEST(HandOverTest, AnyOtherCommandLineIsAStartByTheUser) {
  const std::string tooLong = "/original:1 C:\\" + std::string(257, 'x');
  for (const std::string& line : {std::string(""), std::string("/S"), std::string("/original:"),
                                  std::string("/original:12"), std::string("/original:x C:\\a.exe"),
                                  std::string("/original:-1 C:\\a.exe"), std::string("/original:4294967296 C:\\a.exe"),
                                  std::string("/original:12 _vmunins.exe"), std::string("/original:12 \\\\server\\a.exe"),
                                  std::string("/ORIGINAL:12 C:\\a.exe"), tooLong}) {
    SCOPED_TRACE(line);
    HandOver handOver;
    EXPECT_FALSE(parseHandOver(line.c_str(), &handOver));
  }
}
