// Play-list files live on the unit's flash and are written by us, but a power cut, a card
// written by another unit or a user's editing can leave anything in them: any bytes must give
// a list (maybe empty) that can be paged and picked from, never a crash.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "media/play_list_manager.h"
#include "windows.h"

namespace {

std::string setUpUnit() {
  char pattern[] = "/tmp/hu-fuzz-playlist-XXXXXX";
  std::string root = mkdtemp(pattern);
  ::mkdir((root + "/GPSData").c_str(), 0755);
  plat::Options options;
  options.unitRoot = root;
  options.persistRegistry = false;
  plat::startup(options);
  plat::console::setEcho(false);
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string root = setUpUnit();
  {
    std::ofstream out(root + "/GPSData/Audio_Playlist.xml", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  CPlayListManager list;
  list.setPageElementNumber(4);
  list.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
  list.loadFileList();
  int total = list.getTotalCount();
  for (int i = 0; i < total; ++i) {
    list.setAbsIndex(i);
    WCHAR name[MAX_PATH];
    list.getSelectedListFileName(name);
    if (_PlayListData* entry = list.GetSelectedFile()) {
      if (entry->name && lstrlenW(entry->name) < 0) __builtin_trap();
    }
  }
  list.OnPgDn();
  list.OnPgUp();
  list.OnDown();
  list.OnUp();
  return 0;
}
