#include "media/file_list_manager.h"

#include <string>

using media::boundedLength;
using media::kMaxText;

namespace {

bool isDotEntry(const WCHAR* name) {
  return (name[0] == u'.' && name[1] == 0) || (name[0] == u'.' && name[1] == u'.' && name[2] == 0);
}

bool isFolderKind(int kind) { return kind == FILE_TYPE_PARENT || kind == FILE_TYPE_FOLDER; }

_FileListData makeEntry(_FileType kind, LPCWSTR dir, LPCWSTR name) {
  return _FileListData{kind, const_cast<LPWSTR>(dir), const_cast<LPWSTR>(name), 0};
}

}  // namespace

CFileListManager::CFileListManager() : m_fileType(FILE_TYPE_ALL), m_filter(FFFILTER_ALL), m_bRootFlag(1) {
  media::copyPath(m_root, u"\\");
  media::copyPath(m_workDir, u"\\");
}

CFileListManager::~CFileListManager() { unloadFileList(); }

// ---- configuration ----------------------------------------------------------------------

void CFileListManager::InitSDRoot(LPCWSTR path) {
  media::copyPath(m_root, path);
  media::copyPath(m_workDir, path);
}

void CFileListManager::getWorkDirectory(LPWSTR out) {
  if (out) media::copyPath(out, m_workDir);
}

int CFileListManager::SetRootStation(int flag) {
  int previous = m_bRootFlag;
  m_bRootFlag = flag;
  NKDbgPrintfW(u"m_bRootFlag=%d................\r\n", m_bRootFlag);
  return previous;
}

void CFileListManager::setFFFilterOption(_FindFileFilterOption option) { m_filter = option; }
void CFileListManager::setFileType(_FileType kind) { m_fileType = kind; }

void CFileListManager::setPageElementNumber(int n) {
  if (n >= 1) m_cursor.pageSize = n;
}

void CFileListManager::SetFileCalss(_FILE_CALSS fileClass) {
  if (fileClass == FILE_CALSS_NONE) {
    m_filter = FFFILTER_NONE;
    m_fileType = FILE_TYPE_NONE;
  } else if (fileClass >= FILE_CALSS_VIDEO && fileClass <= FILE_CALSS_ALL) {
    m_filter = static_cast<_FindFileFilterOption>(static_cast<int>(fileClass));
    m_fileType = static_cast<_FileType>(static_cast<int>(fileClass) + 2);
  }
}

void CFileListManager::resetFindNextFile() {}
void CFileListManager::TestList() {}

// ---- classification ---------------------------------------------------------------------

BOOL CFileListManager::isVideoFile(LPCWSTR name) { return media::isVideoName(name); }
BOOL CFileListManager::isAudioFile(LPCWSTR name) { return media::isAudioName(name); }
BOOL CFileListManager::isImageFile(LPCWSTR name) { return media::isImageName(name); }
BOOL CFileListManager::isPhotoFile(LPCWSTR name) { return media::isPhotoName(name); }
BOOL CFileListManager::isTextFile(LPCWSTR name) { return media::isTextName(name); }
BOOL CFileListManager::isMapExeFile(LPCWSTR name) { return media::isMapExeName(name); }
BOOL CFileListManager::isExistDirectory(LPCWSTR path) { return media::isDirectory(path); }

BOOL CFileListManager::isExistFile(LPCWSTR folder) {
  if (!folder) return 0;
  return media::treeHoldsFile(std::u16string(folder, static_cast<size_t>(boundedLength(folder))), m_filter);
}

BOOL CFileListManager::SkipDirectory(LPCWSTR path) {
  switch (m_filter) {
    case FFFILTER_VIDEO:
    case FFFILTER_AUDIO:
    case FFFILTER_PHOTO:
    case FFFILTER_IMAGE:
    case FFFILTER_TEXT:
      return !media::startsWithUpper(path, {u"\\STORAGECARD", u"\\USB DISK", u"\\HARD DISK"});
    case FFFILTER_MAPEXE:
      return !media::startsWithUpper(path, {u"\\STORAGECARD", u"\\USB DISK", u"\\HARD DISK", u"\\SDMMC"});
    case FFFILTER_ALL:
      return !media::startsWithUpper(path,
                                     {u"\\STORAGECARD", u"\\AUDIOCARD", u"\\USB DISK", u"\\HARD DISK", u"\\SDMMC"});
    default:
      return 1;
  }
}

// ---- listing ----------------------------------------------------------------------------

int CFileListManager::setWorkDirectory(LPCWSTR path) {
  media::copyPath(m_workDir, path);
  return loadFileList();
}

int CFileListManager::loadFileList() {
  findDirectory(m_workDir);
  m_cursor.absIndex = -1;
  m_cursor.pageStart = m_entries.empty() ? -1 : 0;
  return 1;
}

int CFileListManager::findDirectory(LPCWSTR path) {
  if (!path || path[0] == 0) return 0;
  const std::u16string folder(path, static_cast<size_t>(boundedLength(path)));

  // Gather the whole folder before touching the listing, so that a folder that cannot be
  // read (or vanishes) leaves the previous listing as it was.
  std::vector<std::u16string> folders;
  std::vector<std::u16string> files;
  bool readable = media::enumerate(folder + u"*.*", [&](const WIN32_FIND_DATAW& data) {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) return true;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (isDotEntry(data.cFileName)) return true;
      std::u16string sub = folder + data.cFileName + u"\\";
      // A folder whose path does not fit could not be entered; it is not shown.
      if (sub.size() > static_cast<size_t>(kMaxText) || SkipDirectory(sub.c_str())) return true;
      folders.emplace_back(data.cFileName);
    } else {
      files.emplace_back(data.cFileName);
    }
    return true;
  });
  if (!readable) {
    // An empty folder has nothing to find but still lists (its ".."); any other failure
    // (a missing or unreadable folder) leaves the listing alone.
    DWORD error = GetLastError();
    bool empty = error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    if (!empty || !media::isDirectory(folder.c_str())) return 0;
  }

  unloadFileList();
  if (wcscmp(m_workDir, m_root) != 0) m_entries.append(makeEntry(FILE_TYPE_PARENT, nullptr, u".."));
  for (const auto& name : folders) m_entries.append(makeEntry(FILE_TYPE_FOLDER, nullptr, name.c_str()));
  // Parent and folders read first, in name order; the files follow in name order.
  m_entries.sortByName(0);
  int firstFile = m_entries.size();
  m_entries.reserve(firstFile + static_cast<int>(files.size()));
  for (const auto& name : files) addForFilter(name.c_str());
  m_entries.sortByName(firstFile);
  return 1;
}

int CFileListManager::addForFilter(LPCWSTR name) {
  switch (m_filter) {
    case FFFILTER_VIDEO:
      return addVideoListFile(name);
    case FFFILTER_AUDIO:
      return addAudioListFile(name);
    case FFFILTER_PHOTO:
      return addPhotoListFile(name);
    case FFFILTER_MAPEXE:
      return addMapExeFile(name);
    case FFFILTER_IMAGE:
      return addImageListFile(name);
    case FFFILTER_TEXT:
      return addTextListFile(name);
    case FFFILTER_ALL:
      return addListFile(name);
    default:
      return 0;
  }
}

int CFileListManager::setUpperDirectory() {
  if (wcscmp(m_workDir, u"\\StorageCard") == 0) return 0;
  int len = lstrlenW(m_workDir);
  if (len == 0) return 1;
  // Search backwards from the character before the trailing backslash.
  int i = len - 2;
  while (i >= 0 && m_workDir[i] != u'\\') --i;
  if (i < 0) return 0;
  m_workDir[i + 1] = 0;
  NKDbgPrintfW(u"setUpperDirectory...........%s.................\r\n", m_workDir);
  if (wcscmp(m_workDir, u"\\") == 0) {
    m_bRootFlag = 1;
    NKDbgPrintfW(u"<<<<<<<<<<<<<<<<<<<<<<setUpperDirectory............................\r\n");
  }
  loadFileList();
  return 1;
}

int CFileListManager::FindDisk(_DISK_SYMBLE disk) {
  unloadFileList();
  if (m_filter >= FFFILTER_VIDEO && m_filter <= FFFILTER_ALL) {
    // The order is the order the screens show; it is not sorted.
    if (disk == DISK_SYMBLE_USB) {
      m_entries.append(makeEntry(FILE_TYPE_FOLDER, nullptr, u"USB Disk"));
    } else if (disk == DISK_SYMBLE_SD) {
      m_entries.append(makeEntry(FILE_TYPE_FOLDER, nullptr, u"StorageCard"));
    } else if (disk == DISK_SYMBLE_SD_USB) {
      m_entries.append(makeEntry(FILE_TYPE_FOLDER, nullptr, u"StorageCard"));
      m_entries.append(makeEntry(FILE_TYPE_FOLDER, nullptr, u"USB Disk"));
    }
  }
  m_cursor.absIndex = 0;
  m_cursor.pageStart = 0;
  return 1;
}

void CFileListManager::unloadFileList() {
  m_entries.clear();
  m_selection.clear();
  m_cursor.reset();
}

// ---- cursor and pages -------------------------------------------------------------------

int CFileListManager::getTotalCount() { return m_entries.size(); }
int CFileListManager::getCurPageIndex() { return m_cursor.pageStart; }
int CFileListManager::getAbsIndex() { return m_cursor.validAbsIndex(m_entries.size()); }

void CFileListManager::setAbsIndex(int index) {
  if (entryAt(index)) m_cursor.absIndex = index;
}

void CFileListManager::OnClick(int row) { m_cursor.click(row, m_entries.size()); }
int CFileListManager::OnPgUp() { return m_cursor.pageUp(m_entries.size()); }
int CFileListManager::OnPgDn() { return m_cursor.pageDown(m_entries.size()); }

int CFileListManager::OnUp() {
  return m_cursor.step(m_entries.size(), -1, [this](int i) { return isFolderKind(m_entries.at(i)->kind); });
}

int CFileListManager::OnDown() {
  return m_cursor.step(m_entries.size(), +1, [this](int i) { return isFolderKind(m_entries.at(i)->kind); });
}

BOOL CFileListManager::IsBeginOfList() { return m_cursor.absIndex == 0; }
BOOL CFileListManager::IsBeginOfPage() { return m_cursor.pageStart == 0; }
BOOL CFileListManager::IsEndOfList() { return m_cursor.absIndex == m_entries.size() - 1; }
BOOL CFileListManager::IsEndOfPage() { return m_cursor.pageStart + m_cursor.pageSize >= m_entries.size(); }

// ---- access -----------------------------------------------------------------------------

_FileListData* CFileListManager::GetSelectedFile() {
  int i = m_cursor.validAbsIndex(m_entries.size());
  if (i < 0 || m_entries.at(i)->kind != m_fileType) return nullptr;
  return m_entries.at(i);
}

_FileListData* CFileListManager::GetSelectedFile(int row) {
  if (!entryAt(m_cursor.pageStart) || !entryAt(m_cursor.pageStart + row)) return nullptr;
  _FileListData* entry = m_entries.at(m_cursor.pageStart + row);
  return entry->kind == m_fileType ? entry : nullptr;
}

void CFileListManager::getSelectedListFileName(LPWSTR out) {
  if (!out) return;
  int i = m_cursor.validAbsIndex(m_entries.size());
  if (i < 0) {
    out[0] = 0;
    return;
  }
  const _FileListData* entry = m_entries.at(i);
  LPCWSTR name = entry->name ? entry->name : u"";
  if (isFolderKind(entry->kind)) {
    std::u16string text(1, u'[');
    text += name;
    text += u']';
    media::copyPath(out, text.c_str());
  } else {
    media::copyPath(out, name);
  }
}

_FileListData* CFileListManager::OnEnter() {
  int i = m_cursor.validAbsIndex(m_entries.size());
  if (i < 0) return nullptr;
  _FileListData* entry = m_entries.at(i);
  if (entry->kind == m_fileType) return entry;
  if (entry->kind == FILE_TYPE_PARENT) {
    setUpperDirectory();
  } else if (entry->kind == FILE_TYPE_FOLDER) {
    enterFolder(entry->name);
  } else {
    return nullptr;
  }
  m_cursor.absIndex = m_cursor.pageStart;
  return nullptr;
}

int CFileListManager::enterFolder(LPCWSTR name) {
  std::u16string next = std::u16string(m_workDir) + (name ? name : u"") + u"\\";
  int listed = 0;
  // A path that does not fit stays where it is: a cut path would name another folder.
  if (next.size() <= static_cast<size_t>(kMaxText)) {
    WCHAR previous[MAX_PATH];
    media::copyPath(previous, m_workDir);
    media::copyPath(m_workDir, next.c_str());
    listed = findDirectory(m_workDir);
    // The folder went away (a card pulled, a folder deleted) since it was listed: stay in
    // the folder whose listing is still shown.
    if (!listed) media::copyPath(m_workDir, previous);
  }
  // The cursor is reset as after any reload, whether or not the listing changed.
  m_cursor.absIndex = -1;
  m_cursor.pageStart = m_entries.empty() ? -1 : 0;
  return listed;
}

// ---- selection --------------------------------------------------------------------------

int CFileListManager::AddtoSelectFileList(const _FileListData* entry) {
  if (!entry || m_selection.find(*entry) >= 0) return 0;
  m_selection.append(*entry);
  return 1;
}

int CFileListManager::DeleteFromSelectFileList(const _FileListData* entry) {
  if (!entry) return 0;
  int i = m_selection.find(*entry);
  if (i < 0) return 0;
  m_selection.erase(i);
  return 1;
}

int CFileListManager::SelectIsInSelectFileList(const _FileListData* entry) {
  return entry && m_selection.find(*entry) >= 0 ? 1 : 0;
}

int CFileListManager::AddalltoFileList() {
  m_selection.clear();
  for (int i = 0; i < m_entries.size(); ++i)
    if (!isFolderKind(m_entries.at(i)->kind)) m_selection.append(*m_entries.at(i));
  return m_selection.empty() ? 0 : 1;
}

int CFileListManager::getSelectFileCount() const { return m_selection.size(); }

const _FileListData* CFileListManager::getSelectFile(int index) const {
  return index >= 0 && index < m_selection.size() ? m_selection.at(index) : nullptr;
}

// ---- appending --------------------------------------------------------------------------

int CFileListManager::addTyped(_FileType kind, LPCWSTR name) {
  m_entries.append(makeEntry(kind, m_workDir, name));
  return 1;
}

int CFileListManager::addVideoListFile(LPCWSTR name) { return isVideoFile(name) ? addTyped(FILE_TYPE_VIDEO, name) : 0; }
int CFileListManager::addAudioListFile(LPCWSTR name) { return isAudioFile(name) ? addTyped(FILE_TYPE_AUDIO, name) : 0; }
int CFileListManager::addPhotoListFile(LPCWSTR name) { return isPhotoFile(name) ? addTyped(FILE_TYPE_PHOTO, name) : 0; }
int CFileListManager::addMapExeFile(LPCWSTR name) { return isMapExeFile(name) ? addTyped(FILE_TYPE_MAPEXE, name) : 0; }
int CFileListManager::addImageListFile(LPCWSTR name) { return isImageFile(name) ? addTyped(FILE_TYPE_IMAGE, name) : 0; }
int CFileListManager::addTextListFile(LPCWSTR name) { return isTextFile(name) ? addTyped(FILE_TYPE_TEXT, name) : 0; }
int CFileListManager::addListFile(LPCWSTR name) { return name ? addTyped(FILE_TYPE_ALL, name) : 0; }
