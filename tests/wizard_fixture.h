// A fresh machine with the title window up and the run's records as start-up
// leaves them, for tests that run the program's dialogs with a scripted user.
#ifndef VM_TESTS_WIZARD_FIXTURE_H
#define VM_TESTS_WIZARD_FIXTURE_H

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "payload/component_table.h"
#include "res/resource.h"
#include "base/context.h"
#include "sim_fixture.h"
#include "title/title_window.h"

constexpr char kCaption[] = "Velk Modular 2.08.004 Install";
constexpr char kLeaveQuestion[] = "The Velk Modular setup is not complete.\nAre you sure you want to leave?";

class WizardTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    setupContext = SetupContext();
    setupContext.mainThreadId = GetCurrentThreadId();
    strcpy(setupContext.versionText, "2.08.004");
    strcpy(setupContext.caption, kCaption);
    installOptions = InstallOptions{"C:\\Program Files\\Velk Modular", {1, 1, 1, 1, 1, 1, 1}, 1, 0};
    for (ComponentSizes& sizes : componentSizes) sizes = ComponentSizes{0, 0, 0};
    longestPayloadName = 41;
    sim::addIconGroup("VM");
    // Keys every Windows NT machine has, which the rights check opens.
    for (const char* path : {"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32"}) {
      HKEY key = nullptr;
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
      RegCloseKey(key);
    }
    createTitleWindow();
  }

  void TearDown() override {
    destroyTitleWindow();
    SimTest::TearDown();
  }

  // The message boxes shown so far, by text.
  static std::vector<std::string> boxTexts() {
    std::vector<std::string> texts;
    for (const sim::MessageBoxRecord& box : sim::messageBoxes()) texts.push_back(box.text);
    return texts;
  }
};

// What the user does the next time the program waits: `act` runs on the
// dialog in front, which must be made from `templateName`. Anything else in
// front ends the test at once, since the script no longer fits the program.
inline void onDialog(const std::string& templateName, std::function<void(HWND)> act) {
  sim::whenIdle([templateName, act] {
    HWND dialog = sim::activeDialog();
    std::string shown = sim::dialogTemplate(dialog);
    if (strcasecmp(shown.c_str(), templateName.c_str()) != 0) {
      ADD_FAILURE() << "the script expected the " << templateName << " dialog; the user sees "
                    << (shown.empty() ? "none" : shown);
      fflush(stdout);
      abort();
    }
    act(dialog);
  });
}

// The user clicks a button of that dialog.
inline void pressOn(const std::string& templateName, int id) {
  onDialog(templateName, [id](HWND dialog) { EXPECT_TRUE(sim::clickButton(dialog, id)) << "button " << id; });
}

// Exit on that page, answered Yes: the page ends with 2.
inline void leaveFrom(const std::string& templateName) {
  onDialog(templateName, [](HWND dialog) {
    sim::answerNextMessageBox(IDYES);
    EXPECT_TRUE(sim::clickButton(dialog, IDCANCEL));
  });
}

#endif  // VM_TESTS_WIZARD_FIXTURE_H
