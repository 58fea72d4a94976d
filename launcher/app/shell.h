// The shell's start-up and shutdown around its message loop: the service objects, the task
// bar, the skin's tables, the status bar and the main window, the time zone and the touch
// calibration the card asks for.
#pragma once

#include <memory>

#include "links/gpsd_com.h"
#include "windows.h"

class CImgRes;
class CTxtRes;
class CStatusBarWnd;
class CNaviPathListWnd;

namespace app {

class CShell {
 public:
  CShell();
  ~CShell();
  CShell(const CShell&) = delete;
  CShell& operator=(const CShell&) = delete;

  // Start-up from the microcontroller link to the touch calibration (the configuration store
  // and the system services exist before). False when the settings cannot be set up at all;
  // nothing is left created then. No message is dispatched here.
  bool Start(HINSTANCE instance, const GpsSource& gps = GpsSource());
  // Shutdown after the message loop: the task bar comes back, then everything goes in reverse.
  void Stop();

  CStatusBarWnd* StatusBar() const { return m_pStatusBar; }
  CNaviPathListWnd* MainWindow() const { return m_pMainWnd; }
  // The shared tables. A skin watch takes them over: it hands new ones to the screens.
  std::shared_ptr<CImgRes> TakeImages() { return std::move(m_images); }
  std::shared_ptr<CTxtRes> TakeTexts() { return std::move(m_texts); }

 private:
  bool m_bStarted = false;
  std::shared_ptr<CImgRes> m_images;
  std::shared_ptr<CTxtRes> m_texts;
  CStatusBarWnd* m_pStatusBar = nullptr;
  CNaviPathListWnd* m_pMainWnd = nullptr;
};

}  // namespace app
