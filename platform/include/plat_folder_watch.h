// A watch on a few folders of the unit that reports, once things have settled, which files in
// them changed. Made for live reloading of files an author edits: an editor saves in several
// steps (truncate, write, write, close; or write a new file and rename it over the old one), and
// the reader wants one report after the last step, not one per step.
//
// The watch runs on a thread of its own and calls the handler there: the handler must not touch
// windows; it posts a message to the thread that owns them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class FolderWatch {
 public:
  struct Timing {
    // A report goes out once no change has come for this long...
    unsigned quietMs = 200;
    // ...or this long after the first change of a burst, so that a file written without pause
    // is still reported.
    unsigned longestMs = 2000;
    // A folder that is missing (not made yet, or deleted) is looked for again this often.
    unsigned retryMs = 500;
  };
  // Device paths, without duplicates, in name order: "<folder>\<name>" for a file that was
  // written, made, removed or renamed from or to; the folder's own path when the folder came
  // back after it was gone, or when changes were lost (everything in it may differ).
  using Handler = std::function<void(const std::vector<std::u16string>& changed)>;

  FolderWatch();
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Watches the folders (device paths; the files in them, not their subfolders). False, with a
  // console line, when the host gives no watch at all; a folder that cannot be watched now is
  // named on the console and tried again every retryMs. Starting again restarts.
  bool start(const std::vector<std::u16string>& folders, Handler handler, Timing timing);
  bool start(const std::vector<std::u16string>& folders, Handler handler) {
    return start(folders, std::move(handler), Timing{});
  }
  // Ends the thread; no handler call runs or follows once it returns.
  void stop();
  bool running() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace plat
