#include "app/screen_snapshots.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "plat_display.h"
#include "windows.h"

namespace app {

bool ScreenSnapshots::Start(const std::string& folder) {
  std::error_code error;
  if (folder.empty()) {
    const char* base = std::getenv("XDG_RUNTIME_DIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/launcher-screens-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (!mkdtemp(buffer.data())) {
      NKDbgPrintfW(u"[Vexa APP] no folder for screen pictures: %S\n", pattern.c_str());
      return false;
    }
    m_folder = buffer.data();
    m_madeFolder = true;
  } else {
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder)) {
      NKDbgPrintfW(u"[Vexa APP] screen pictures: %S is not a folder\n", folder.c_str());
      return false;
    }
    m_folder = folder;
  }
  std::fprintf(stderr, "launcher: headless display, screen pictures in %s (screen.png is the latest)\n",
               m_folder.c_str());
  m_stop = false;
  m_thread = std::thread([this] { Run(); });
  return true;
}

void ScreenSnapshots::Stop() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stop = true;
  }
  m_wake.notify_all();
  plat::display::wakeFrameWaiters();
  if (m_thread.joinable()) m_thread.join();
  if (m_madeFolder) {
    std::error_code error;
    std::filesystem::remove(m_folder, error);  // only an empty folder goes
    m_madeFolder = false;
  }
}

void ScreenSnapshots::Run() {
  uint64_t seen = plat::display::framesPresented();
  unsigned number = 0;
  auto last = std::chrono::steady_clock::now() - std::chrono::milliseconds(kMinGapMs);
  while (!m_stop) {
    plat::display::waitFrame(seen, m_stop);
    // A pause only while frames come faster than the gap: a picture a second waits for nothing.
    const auto next = last + std::chrono::milliseconds(kMinGapMs);
    if (std::chrono::steady_clock::now() < next) {
      std::unique_lock<std::mutex> guard(m_lock);
      m_wake.wait_until(guard, next, [this] { return m_stop.load(); });
    }
    if (m_stop) break;
    // The latest frame: those that came during the pause are in it.
    seen = plat::display::framesPresented();
    last = std::chrono::steady_clock::now();
    ++number;
    char name[32];
    std::snprintf(name, sizeof name, "screen-%06u.png", number);
    std::string path = m_folder + "/" + name;
    if (!plat::display::snapshot(path)) continue;
    std::error_code error;
    std::filesystem::copy_file(path, m_folder + "/screen.png", std::filesystem::copy_options::overwrite_existing,
                               error);
    if (number > static_cast<unsigned>(kKept)) {
      std::snprintf(name, sizeof name, "screen-%06u.png", number - kKept);
      std::filesystem::remove(m_folder + "/" + name, error);
    }
  }
}

}  // namespace app
