// The scanner of the navigation program list: one thread that walks the storage card on each
// request and swaps the finished list in, so that a window painting the list never waits for
// a scan to finish.
#include "app/navi_path_list.h"

CNaviPathList* g_pNaviPathList = nullptr;

namespace {

// Only one broadcast of the list's size may be on its way at a time.
std::atomic<int> s_broadcasting{0};

bool endsWithExe(const std::u16string& name) {
  if (name.size() < 4) return false;
  return _wcsicmp(name.c_str() + name.size() - 4, u".EXE") == 0;
}

}  // namespace

CNaviPathList::CNaviPathList(LPCWSTR root) : m_root(root ? root : u"") {
  m_scanEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  m_thread = CreateThread(nullptr, 0, ScanThread, this, 0, nullptr);
  if (!m_thread) NKDbgPrintfW(u"[Vexa APP] navigation list: no scanner thread, the list stays empty\r\n");
}

CNaviPathList::~CNaviPathList() {
  // The device lets the thread run until the process ends; we end it so that the object can go.
  m_stop = 1;
  if (m_scanEvent) SetEvent(m_scanEvent);
  if (m_thread) {
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
  }
  if (m_scanEvent) CloseHandle(m_scanEvent);
}

void CNaviPathList::Rescan() {
  m_ready = 0;
  if (m_scanEvent) SetEvent(m_scanEvent);
}

int CNaviPathList::GetCount() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return static_cast<int>(m_paths.size());
}

std::u16string CNaviPathList::GetItem(int i) const {
  std::lock_guard<std::mutex> guard(m_lock);
  if (i < 0 || i >= static_cast<int>(m_paths.size())) return {};
  return m_paths[i];
}

void CNaviPathList::CopyItem(int i, LPWSTR buffer) const {
  if (!buffer) return;
  std::u16string path = GetItem(i);
  lstrcpynW(buffer, path.c_str(), MAX_PATH);
}

DWORD WINAPI CNaviPathList::ScanThread(LPVOID param) {
  plat::nameThread("navi scan");
  auto* self = static_cast<CNaviPathList*>(param);
  for (;;) {
    WaitForSingleObject(self->m_scanEvent, INFINITE);
    if (self->m_stop) break;
    self->m_ready = 0;
    std::vector<std::u16string> found;
    int entries = 0;
    self->m_overflow = 0;
    self->ScanFolder(self->m_root, 0, found, entries);
    if (self->m_overflow)
      NKDbgPrintfW(u"[Vexa APP] navigation list: %d programs beyond the first %d are not listed\r\n",
                   self->m_overflow, kMaxPaths);
    if (entries >= kMaxEntries)
      NKDbgPrintfW(u"[Vexa APP] navigation list: scan stopped after %d folder entries\r\n", entries);
    int count = static_cast<int>(found.size());
    {
      std::lock_guard<std::mutex> guard(self->m_lock);
      self->m_paths.swap(found);
    }
    self->m_ready = 1;
    if (self->m_stop) {
      ++self->m_scans;
      break;
    }
    // Sent without waiting for the windows: the window thread may be waiting for this thread
    // (deleting the list at shutdown), and a blocking send would never return then.
    if (s_broadcasting.exchange(1) == 0) {
      SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(u"WM_MSG_UPDATENAVIPATHLIST"),
                         static_cast<WPARAM>(count), 0);
      s_broadcasting = 0;
    }
    // Counted once the news is in the windows' queues: whoever waits for a scan and then pumps
    // its messages sees the list update handled, not arriving later.
    ++self->m_scans;
  }
  return 0;
}

void CNaviPathList::ScanFolder(const std::u16string& folder, int depth, std::vector<std::u16string>& found,
                               int& entries) {
  if (depth > kMaxDepth || m_stop || entries >= kMaxEntries) return;
  WCHAR pattern[MAX_PATH + 8];
  _snwprintf(pattern, MAX_PATH + 7, u"%s\\*.*", folder.c_str());
  pattern[MAX_PATH + 7] = 0;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return;  // absent or unreadable: nothing to list there
  do {
    if (++entries >= kMaxEntries || m_stop) break;
    std::u16string name = data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) {
      // Besides the host's dot-files, system entries are named pipes, devices and links to
      // nothing: a program name on one of those would never start.
      if (name[0] != u'.' && endsWithExe(name))
        NKDbgPrintfW(u"[Vexa APP] navigation list: %s\\%s is not a file, skipped\r\n", folder.c_str(), name.c_str());
      continue;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name == u"." || name == u"..") continue;
      // A folder path that cannot hold even a short name inside it leads to no usable program.
      if (folder.size() + 1 + name.size() >= MAX_PATH) continue;
      ScanFolder(folder + u"\\" + name, depth + 1, found, entries);
      continue;
    }
    if (!endsWithExe(name)) continue;
    std::u16string path = folder + u"\\" + name;
    // A cut path would name another file; such a program cannot be remembered or started.
    if (path.size() >= MAX_PATH) {
      NKDbgPrintfW(u"[Vexa APP] navigation list: path too long, skipped: %s\r\n", path.substr(0, 80).c_str());
      continue;
    }
    if (static_cast<int>(found.size()) >= kMaxPaths) {
      ++m_overflow;
      continue;
    }
    found.push_back(std::move(path));
  } while (FindNextFileW(find, &data));
  FindClose(find);
}
