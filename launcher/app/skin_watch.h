// CSkinWatch: live reload of the running skin for skin authors (launcher --watch). When a screen
// script, "image.xml", a bitmap, "language.xml" or a language module changes on disk, the
// screens load it again within a second, on the page and with the focus they had. A script that
// no longer loads leaves the screen as it was and its problems on the debug console.
//
// The file watch runs on its own thread and only posts a message to a hidden window of this
// object; every table and screen is touched on the window thread that owns the screens.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "plat_folder_watch.h"
#include "windows.h"

class CImgRes;
class CTxtRes;
class CSkinWnd;

namespace app {

class CSkinWatch {
 public:
  // Takes over the program's image and language tables; the screens keep using them until a
  // reload hands them new ones. The tables live as long as a screen still shows pages made
  // from them.
  CSkinWatch(std::shared_ptr<CImgRes> images, std::shared_ptr<CTxtRes> texts);
  ~CSkinWatch();
  CSkinWatch(const CSkinWatch&) = delete;
  CSkinWatch& operator=(const CSkinWatch&) = delete;

  // A screen created with this object's tables; a screen without a window is left alone.
  void AddScreen(CSkinWnd* screen);
  // Starts watching the skin's folder, its bitmap folders, and the language list and modules.
  // False (with a console line) when no watch can be set up: the launcher runs on without it.
  bool Start(const plat::FolderWatch::Timing& timing);
  bool Start() { return Start(plat::FolderWatch::Timing{}); }
  void Stop();

  // Acts on changed files (device paths, as the watch reports them); on the window thread.
  // Returns the number of screens that took a new script.
  int Apply(const std::vector<std::u16string>& changed);

  // The folders watched now (device paths), for the console and the tests.
  const std::vector<std::u16string>& Folders() const { return m_Folders; }
  CImgRes* Images() const { return m_Images.get(); }
  CTxtRes* Texts() const { return m_Texts.get(); }
  // Rounds of changes acted on, screens reloaded and screens whose script did not load.
  int Rounds() const { return m_Rounds; }
  int Reloads() const { return m_Reloads; }
  int Failures() const { return m_Failures; }

  // Posted to the hidden window when the watch has changes waiting.
  static constexpr UINT kMsgFilesChanged = WM_USER + 0x5A;

 private:
  struct Screen {
    CSkinWnd* window;
    // The tables its pages were made from: kept alive while it shows them.
    std::shared_ptr<CImgRes> images;
    std::shared_ptr<CTxtRes> texts;
  };
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnFilesChanged();
  std::vector<std::u16string> WatchedFolders();
  bool Restart();
  std::u16string SkinName() const;

  std::shared_ptr<CImgRes> m_Images;
  std::shared_ptr<CTxtRes> m_Texts;
  std::vector<Screen> m_Screens;
  std::vector<std::u16string> m_Folders;
  plat::FolderWatch m_Watch;
  plat::FolderWatch::Timing m_Timing;
  HWND m_hWnd = nullptr;
  int m_Rounds = 0;
  int m_Reloads = 0;
  int m_Failures = 0;

  // Shared with the watch thread.
  std::mutex m_Lock;
  std::set<std::u16string> m_Pending;
  bool m_Posted = false;
};

}  // namespace app
