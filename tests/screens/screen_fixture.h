// A temporary unit with the default skin, the configuration store and the screens' services,
// for the tests of the screen framework, the status bar and the main window.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "app/config.h"
#include "platform_fixture.h"
#include "plat_registry.h"
#include "services/utility.h"
#include "windows.h"

namespace hu::test {

class ScreenFixture : public PlatformFixture {
 protected:
  void prepareUnit(const std::string& root) override {
    (void)root;
    copyIntoUnit(std::string(HU_SOURCE_DIR) + "/unit/Windows", "Windows");
    writeFile("GPSData/Config.xml", configText());
  }
  // The configuration the unit starts with.
  virtual std::string configText() {
    return "<CONFIG><CURRENT_LANGUAGE Value=\"1033\"/><CURRENT_SKIN Value=\"1\"/><SKIN1>Skin800x480</SKIN1>"
           "<ANIMATOR_TYPE Value=\"0\"/></CONFIG>";
  }
  void SetUp() override {
    PlatformFixture::SetUp();
    plat::registry::clear();
    g_pConfig = new CConfig();
    ASSERT_EQ(g_pConfig->Open(), 1);
    g_pUtility = new CUtility();
  }
  void TearDown() override {
    delete g_pUtility;
    g_pUtility = nullptr;
    delete g_pConfig;
    g_pConfig = nullptr;
    PlatformFixture::TearDown();
  }
  // Waits (real time, bounded) for another thread's work that the test cannot drive.
  template <class Pred>
  bool waitReal(Pred pred, int maxMs = 5000) {
    for (int t = 0; t < maxMs && !pred(); t += 5) {
      pumpUntilIdle();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pumpUntilIdle();
    return pred();
  }
};

}  // namespace hu::test
