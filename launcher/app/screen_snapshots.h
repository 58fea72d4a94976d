// Without a display, the launcher shows what it draws by writing a PNG of the screen into a
// folder each time the screen changes, until it ends.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace app {

class ScreenSnapshots {
 public:
  // Numbered pictures kept in the folder; older ones are removed as new ones come.
  static constexpr int kKept = 50;
  // At most one picture in this time (real time): a running animation is not written frame by
  // frame. Nothing runs while the screen does not change.
  static constexpr int kMinGapMs = 250;

  ScreenSnapshots() = default;
  ~ScreenSnapshots() { Stop(); }
  ScreenSnapshots(const ScreenSnapshots&) = delete;
  ScreenSnapshots& operator=(const ScreenSnapshots&) = delete;

  // Starts writing into `folder` (made when missing); an empty name makes a new folder under
  // $XDG_RUNTIME_DIR or /tmp, removed again by Stop when no picture went into it. The folder is
  // named on the console and standard error.
  bool Start(const std::string& folder);
  void Stop();
  const std::string& Folder() const { return m_folder; }

 private:
  void Run();

  std::string m_folder;
  bool m_madeFolder = false;  // a folder of our own, removed at the end when nothing was written
  std::atomic<bool> m_stop{false};
  std::mutex m_lock;
  std::condition_variable m_wake;  // ends the pause between pictures at once on Stop
  std::thread m_thread;
};

}  // namespace app
