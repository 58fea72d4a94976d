// CStorageMonitor: a thread waits on the change notification of the root folder, walks the
// change records, keeps the present flags of the folder table and broadcasts arrivals and
// removals to every top-level window.
#include "app/storage_monitor.h"

#include <vector>

CStorageMonitor* g_pStorageMonitor = nullptr;

namespace {

const WCHAR* const kFolders[CStorageMonitor::kFolderCount] = {
    u"StorageCard", u"SDMMC",       u"Hard Disk",   u"Hard Disk2",  u"Hard Disk3",  u"Hard Disk4",  u"Hard Disk5",
    u"Hard Disk6",  u"Hard Disk7",  u"Hard Disk8",  u"Hard Disk9",  u"Hard Disk10", u"Hard Disk11", u"Hard Disk12",
    u"Hard Disk13", u"Hard Disk14", u"Hard Disk15", u"Hard Disk16", u"Hard Disk17", u"Hard Disk18", u"Hard Disk19"};

constexpr DWORD kFilter = 0x8000001Bu;  // extended info, last write, size, folder names, file names

}  // namespace

struct CStorageMonitor::Shared {
  std::atomic<DWORD> present[kFolderCount] = {};
  std::atomic<DWORD> stop{0};
  HANDLE notification = INVALID_HANDLE_VALUE;
  // Set by Stop so that the thread's wait returns at once.
  HANDLE stopEvent = nullptr;

  ~Shared() {
    if (notification != INVALID_HANDLE_VALUE) FindCloseChangeNotification(notification);
    if (stopEvent) CloseHandle(stopEvent);
  }

  void setFlags(const std::u16string& name, DWORD value) {
    for (int i = 0; i < kFolderCount; ++i)
      if (_wcsicmp(name.c_str(), kFolders[i]) == 0) present[i] = value;
  }

  // Reads the pending change records (at most kMaxChangeBytes) and acts on each.
  void readChanges() {
    DWORD available = 0;
    if (!CeGetFileNotificationInfo(notification, 0, nullptr, 0, nullptr, &available) || available == 0) return;
    if (available > kMaxChangeBytes) available = kMaxChangeBytes;
    std::vector<DWORD> words((available + 3) / 4);
    DWORD got = 0;
    if (!CeGetFileNotificationInfo(notification, 0, words.data(), available, &got, &available)) return;
    const BYTE* base = reinterpret_cast<const BYTE*>(words.data());
    DWORD offset = 0;
    // Each record: next-record offset, action, name length in bytes, name. A record that does
    // not fit in what was read ends the walk.
    while (offset + 12 <= got) {
      const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + offset);
      DWORD nameBytes = record->FileNameLength;
      if (nameBytes > got - offset - 12) break;
      std::u16string name(reinterpret_cast<const char16_t*>(base + offset + 12), nameBytes / sizeof(char16_t));
      if (record->Action == FILE_ACTION_ADDED) {
        setFlags(name, 1);
        SendMessageW(HWND_BROADCAST, RegisterWindowMessageW(u"WM_MSG_DEVICEATTACH"), 0, 0);
      } else if (record->Action == FILE_ACTION_REMOVED) {
        setFlags(name, 0);
        SendMessageW(HWND_BROADCAST, RegisterWindowMessageW(u"WM_MSG_DEVICEREMOVE"), 0, 0);
      }
      if (record->NextEntryOffset == 0 || (record->NextEntryOffset & 3) != 0) break;
      offset += record->NextEntryOffset;
    }
  }

  static DWORD WINAPI run(LPVOID parameter) {
    plat::nameThread("card watch");
    // The thread keeps its own reference: a monitor whose Stop gave up waiting is gone, this not.
    std::shared_ptr<Shared> self = *static_cast<std::shared_ptr<Shared>*>(parameter);
    delete static_cast<std::shared_ptr<Shared>*>(parameter);
    HANDLE handles[2] = {self->notification, self->stopEvent};
    while (!self->stop) {
      DWORD rc = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
      if (self->stop || rc != WAIT_OBJECT_0) break;
      self->readChanges();
      CeFindNextChangeNotification(self->notification);
    }
    return 0;
  }
};

CStorageMonitor::CStorageMonitor() : m_shared(std::make_shared<Shared>()), m_hThread(nullptr) {}

CStorageMonitor::~CStorageMonitor() { Stop(); }

LPCWSTR CStorageMonitor::FolderName(int index) {
  return index >= 0 && index < kFolderCount ? kFolders[index] : nullptr;
}

BOOL CStorageMonitor::Start() {
  if (m_hThread) return TRUE;
  for (int i = 0; i < kFolderCount; ++i) {
    WCHAR path[MAX_PATH];
    _snwprintf(path, MAX_PATH, u"\\%s", kFolders[i]);
    DWORD attributes = GetFileAttributesW(path);
    m_shared->present[i] = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  }
  // The notification is asked for here rather than on the thread, so that Stop never races
  // with its creation.
  if (m_shared->notification == INVALID_HANDLE_VALUE)
    m_shared->notification = CeFindFirstChangeNotification(u"\\", FALSE, kFilter);
  if (m_shared->notification == INVALID_HANDLE_VALUE) return FALSE;
  if (!m_shared->stopEvent) m_shared->stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!m_shared->stopEvent) return FALSE;
  m_shared->stop = 0;
  auto* parameter = new std::shared_ptr<Shared>(m_shared);
  m_hThread = CreateThread(nullptr, 0, Shared::run, parameter, 0, nullptr);
  if (!m_hThread) {
    delete parameter;
    return FALSE;
  }
  return TRUE;
}

void CStorageMonitor::Stop() {
  if (!m_hThread) return;
  m_shared->stop = 1;
  SetEvent(m_shared->stopEvent);
  // The thread may be inside a broadcast to a window of the thread calling us; waiting without
  // limit could then never end.
  if (WaitForSingleObject(m_hThread, kStopWaitMs) != WAIT_OBJECT_0)
    NKDbgPrintfW(u"[Vexa APP]CStorageMonitor::Stop: notification thread still busy, left to end by itself\r\n");
  CloseHandle(m_hThread);
  m_hThread = nullptr;
  // A fresh state for a later Start; the old one goes with the thread's last reference.
  auto fresh = std::make_shared<Shared>();
  for (int i = 0; i < kFolderCount; ++i) fresh->present[i] = m_shared->present[i].load();
  m_shared = fresh;
}

BOOL CStorageMonitor::IsStorageCardPresent() const { return m_shared->present[0] ? TRUE : FALSE; }

BOOL CStorageMonitor::IsPresent(int index) const {
  return index >= 0 && index < kFolderCount && m_shared->present[index] ? TRUE : FALSE;
}
