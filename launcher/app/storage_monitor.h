// CStorageMonitor: knows which storage folders exist below the root folder and tells every
// window when one is added or removed ("WM_MSG_DEVICEATTACH" / "WM_MSG_DEVICEREMOVE").
#pragma once

#include <atomic>
#include <memory>

#include "windows.h"

class CStorageMonitor {
 public:
  static constexpr int kFolderCount = 21;
  // Largest block of change records read at once.
  static constexpr DWORD kMaxChangeBytes = 4095;
  // How long Stop waits for the notification thread.
  static constexpr DWORD kStopWaitMs = 5000;

  CStorageMonitor();
  ~CStorageMonitor();
  CStorageMonitor(const CStorageMonitor&) = delete;
  CStorageMonitor& operator=(const CStorageMonitor&) = delete;

  // Probes the folders and starts the notification thread. FALSE when the root folder cannot
  // be watched (the flags then keep their probed values and nothing is ever broadcast).
  BOOL Start();
  // Ends the notification thread and waits for it (bounded); safe to call more than once.
  void Stop();
  BOOL IsStorageCardPresent() const;
  BOOL IsPresent(int index) const;

  // Name of table folder `index` ("StorageCard", "SDMMC", "Hard Disk", "Hard Disk2" …), or null.
  static LPCWSTR FolderName(int index);

  // What the notification thread shares with the monitor; it outlives the monitor when the
  // thread does not end in time.
  struct Shared;

 private:
  std::shared_ptr<Shared> m_shared;
  HANDLE m_hThread;
};

// The process-wide monitor, created and deleted by start-up.
extern CStorageMonitor* g_pStorageMonitor;
