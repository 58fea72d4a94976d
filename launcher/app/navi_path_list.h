// CNaviPathList: the navigation programs on the storage card. A scanner thread walks the card
// on request (Rescan), keeps the programs it found and tells every window how many there are
// ("WM_MSG_UPDATENAVIPATHLIST").
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "windows.h"

class CNaviPathList {
 public:
  // Folder depth limit: programs in the card's root, its folders and their folders.
  static constexpr int kMaxDepth = 2;
  // A card with more programs than this lists the first ones; the rest are named on the console.
  static constexpr int kMaxPaths = 4096;
  // Folder entries looked at in one scan, whatever the card holds (a damaged card can present
  // endless folders); the scan stops there and says so.
  static constexpr int kMaxEntries = 200000;

  // Starts the scanner thread; it waits for the first Rescan. `root` is the device folder scanned.
  explicit CNaviPathList(LPCWSTR root = u"\\StorageCard");
  ~CNaviPathList();
  CNaviPathList(const CNaviPathList&) = delete;
  CNaviPathList& operator=(const CNaviPathList&) = delete;

  // Marks the list not ready and asks the scanner for a new scan.
  void Rescan();
  int GetCount() const;
  // The path of entry i (a copy: the scanner may replace the list at any time), or empty when
  // i is out of range.
  std::u16string GetItem(int i) const;
  // Copies entry i into buffer (MAX_PATH characters), or an empty string when i is out of range.
  void CopyItem(int i, LPWSTR buffer) const;
  // 1 after a scan, 0 while one runs.
  int IsReady() const { return m_ready.load(); }
  // Scans finished and announced to the windows since construction (tests wait for a scan with it).
  int ScanCount() const { return m_scans.load(); }

 private:
  static DWORD WINAPI ScanThread(LPVOID self);
  void ScanFolder(const std::u16string& folder, int depth, std::vector<std::u16string>& found, int& entries);

  std::u16string m_root;
  mutable std::mutex m_lock;  // guards m_paths only; a scan fills its own list and swaps it in
  std::vector<std::u16string> m_paths;
  std::atomic<int> m_ready{0};
  std::atomic<int> m_stop{0};
  std::atomic<int> m_scans{0};
  int m_overflow = 0;  // programs past kMaxPaths in the running scan (scanner thread only)
  HANDLE m_scanEvent = nullptr;
  HANDLE m_thread = nullptr;
};

// The process-wide list, created and deleted by start-up.
extern CNaviPathList* g_pNaviPathList;
