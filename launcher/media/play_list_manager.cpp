#include "media/play_list_manager.h"

#include <cstdlib>
#include <string>

#include "markup.h"
#include "services/utility.h"

using media::boundedLength;
using media::kMaxText;

namespace {

bool isFolderKind(int kind) { return kind == PLAY_FILE_TYPE_PARENT || kind == PLAY_FILE_TYPE_FOLDER; }

LPCWSTR textOrEmpty(LPCWSTR s) { return s ? s : u""; }

struct PlayListFiles {
  const char16_t* primary;
  const char16_t* fallback;
};

const PlayListFiles kPlayListFiles[] = {
    {u"\\GPSData\\NO_Playlist.xml", u"\\NFlash\\NO_Playlist.xml"},
    {u"\\GPSData\\Video_Playlist.xml", u"\\NFlash\\Video_Playlist.xml"},
    {u"\\GPSData\\Audio_Playlist.xml", u"\\NFlash\\Audio_Playlist.xml"},
    {u"\\GPSData\\Photo_Playlist.xml", u"\\NFlash\\Photo_Playlist.xml"},
    {u"\\GPSData\\Mapexe_Playlist.xml", u"\\NFlash\\Mapexe_Playlist.xml"},
    {u"\\GPSData\\Image_Playlist.xml", u"\\NFlash\\Image_Playlist.xml"},
    {u"\\GPSData\\Text_Playlist.xml", u"\\NFlash\\Text_Playlist.xml"},
    {u"\\GPSData\\All_Playlist.xml", u"\\NFlash\\All_Playlist.xml"},
};

_PlayListData makeEntry(int kind, LPCWSTR dir, LPCWSTR name, int playTime) {
  return _PlayListData{kind, const_cast<LPWSTR>(dir), const_cast<LPWSTR>(name), playTime,
                       FILE_STATE_PRESENT};
}

}  // namespace

CPlayListManager::CPlayListManager()
    : m_fileType(PLAY_FILE_TYPE_ALL), m_filter(PLAY_FFFILTER_ALL), m_indexBak(-1), m_modified(0) {
  // The storage card's folder ("\StorageCard") with a backslash; "\" when no card is named.
  CUtility utility;
  std::u16string root = std::u16string(utility.GetSDFolder()) + u"\\";
  media::copyPath(m_root, root.c_str());
  media::copyPath(m_workDir, m_root);
}

CPlayListManager::~CPlayListManager() {
  if (m_modified) SavePlayListtoExtStorage();
  unloadFileList();
}

// ---- configuration ----------------------------------------------------------------------

void CPlayListManager::InitSDRoot(LPCWSTR path) {
  media::copyPath(m_root, path);
  media::copyPath(m_workDir, path);
}

void CPlayListManager::getWorkDirectory(LPWSTR out) {
  if (out) media::copyPath(out, m_workDir);
}

void CPlayListManager::setFFFilterOption(_FindFileFilterOption_PLAY option) { m_filter = option; }
void CPlayListManager::setFileType(_FileType_PLAY kind) { m_fileType = kind; }

void CPlayListManager::setPageElementNumber(int n) {
  if (n >= 1) m_cursor.pageSize = n;
}

void CPlayListManager::SetFileCalss(_FILE_CALSS_PLAY fileClass) {
  if (fileClass == PLAY_FILE_CALSS_NONE) {
    m_filter = PLAY_FFFILTER_NONE;
    m_fileType = PLAY_FILE_TYPE_NONE;
  } else if (fileClass >= PLAY_FILE_CALSS_VIDEO && fileClass <= PLAY_FILE_CALSS_ALL) {
    m_filter = static_cast<_FindFileFilterOption_PLAY>(static_cast<int>(fileClass));
    m_fileType = static_cast<_FileType_PLAY>(static_cast<int>(fileClass) + 2);
  }
}

void CPlayListManager::resetFindNextFile() {}
void CPlayListManager::TestList() {}

// ---- classification ---------------------------------------------------------------------

BOOL CPlayListManager::isVideoFile(LPCWSTR name) { return media::isVideoName(name); }
BOOL CPlayListManager::isAudioFile(LPCWSTR name) { return media::isAudioName(name); }
BOOL CPlayListManager::isImageFile(LPCWSTR name) { return media::isImageName(name); }
BOOL CPlayListManager::isPhotoFile(LPCWSTR name) { return media::isPhotoName(name); }
BOOL CPlayListManager::isTextFile(LPCWSTR name) { return media::isTextName(name); }
BOOL CPlayListManager::isMapExeFile(LPCWSTR name) { return media::isMapExeName(name); }
BOOL CPlayListManager::isExistDirectory(LPCWSTR path) { return media::isDirectory(path); }

BOOL CPlayListManager::isExistFile(LPCWSTR folder) {
  if (!folder) return 0;
  return media::treeHoldsFile(std::u16string(folder, static_cast<size_t>(boundedLength(folder))), m_filter);
}

BOOL CPlayListManager::SkipDirectory(LPCWSTR path) {
  return !media::startsWithUpper(path, {u"\\STORAGECARD", u"\\AUDIOCARD", u"\\USB DISK", u"\\SDMMC"});
}

// ---- listing ----------------------------------------------------------------------------

int CPlayListManager::setWorkDirectory(LPCWSTR path) {
  media::copyPath(m_workDir, path);
  return loadFileList();
}

int CPlayListManager::loadFileList() {
  LoadPlayListFromExtStorage();
  if (m_entries.empty()) {
    m_cursor.reset();
  } else {
    m_cursor.absIndex = 0;
    m_cursor.pageStart = 0;
  }
  return 1;
}

int CPlayListManager::findDirectory(LPCWSTR) { return 1; }

void CPlayListManager::unloadFileList() {
  m_entries.clear();
  m_cursor.reset();
}

// ---- cursor and pages -------------------------------------------------------------------

int CPlayListManager::getTotalCount() { return m_entries.size(); }
int CPlayListManager::getCurPageIndex() { return m_cursor.pageStart; }
int CPlayListManager::getAbsIndex() { return m_cursor.validAbsIndex(m_entries.size()); }

void CPlayListManager::setAbsIndex(int index) {
  if (entryAt(index)) m_cursor.absIndex = index;
}

void CPlayListManager::OnClick(int row) { m_cursor.click(row, m_entries.size()); }
int CPlayListManager::OnPgUp() { return m_cursor.pageUp(m_entries.size()); }
int CPlayListManager::OnPgDn() { return m_cursor.pageDown(m_entries.size()); }

void CPlayListManager::followCursor() {
  NKDbgPrintfW(u"IndexBak/IndexSelect %d --- %d\n", m_indexBak, m_cursor.absIndex);
  m_indexBak = m_cursor.absIndex;
}

int CPlayListManager::OnUp() {
  int result = m_cursor.step(m_entries.size(), -1, [this](int i) { return isFolderKind(m_entries.at(i)->kind); });
  followCursor();
  return result;
}

int CPlayListManager::OnDown() {
  int result = m_cursor.step(m_entries.size(), +1, [this](int i) { return isFolderKind(m_entries.at(i)->kind); });
  followCursor();
  return result;
}

int CPlayListManager::OnRandom() {
  int count = m_entries.size();
  if (count <= 0) return 0;
  if (m_cursor.absIndex == -1) {
    m_cursor.absIndex = m_cursor.pageStart = 0;
    return 1;
  }
  // A list of folders only has nothing to play: give up after as many draws as entries
  // instead of drawing forever. A list with something to play keeps drawing until it is hit.
  bool playable = false;
  for (int i = 0; i < count && !playable; ++i) playable = !isFolderKind(m_entries.at(i)->kind);
  for (int draw = 1;; ++draw) {
    int index = std::rand() % count;
    if (!isFolderKind(m_entries.at(index)->kind)) {
      m_cursor.absIndex = index;
      m_cursor.pageStart = m_cursor.pageOf(index);
      return 1;
    }
    if (!playable && draw >= count) return 0;
  }
}

BOOL CPlayListManager::IsBeginOfList() { return m_cursor.absIndex == 0; }
BOOL CPlayListManager::IsBeginOfPage() { return m_cursor.pageStart == 0; }
BOOL CPlayListManager::IsEndOfList() { return m_cursor.absIndex == m_entries.size() - 1; }
BOOL CPlayListManager::IsEndOfPage() { return m_cursor.pageStart + m_cursor.pageSize >= m_entries.size(); }

void CPlayListManager::ReflashIndexBak() { followCursor(); }
void CPlayListManager::setSelectBak(int index) { m_indexBak = index; }
int CPlayListManager::getSelectBak() { return m_indexBak; }

// ---- access -----------------------------------------------------------------------------

_PlayListData* CPlayListManager::GetSelectedFile() {
  int i = m_cursor.validAbsIndex(m_entries.size());
  if (i < 0 || m_entries.at(i)->kind != m_fileType) return nullptr;
  return m_entries.at(i);
}

_PlayListData* CPlayListManager::GetSelectedFile(int row) {
  if (!entryAt(m_cursor.pageStart) || !entryAt(m_cursor.pageStart + row)) return nullptr;
  _PlayListData* entry = m_entries.at(m_cursor.pageStart + row);
  return entry->kind == m_fileType ? entry : nullptr;
}

void CPlayListManager::getSelectedListFileName(LPWSTR out) {
  if (!out) return;
  int i = m_cursor.validAbsIndex(m_entries.size());
  if (i < 0) {
    out[0] = 0;
    return;
  }
  const _PlayListData* entry = m_entries.at(i);
  if (isFolderKind(entry->kind)) {
    std::u16string text(1, u'[');
    text += textOrEmpty(entry->name);
    text += u']';
    media::copyPath(out, text.c_str());
  } else {
    media::copyPath(out, textOrEmpty(entry->name));
  }
}

_PlayListData* CPlayListManager::OnEnter() {
  int i = m_cursor.validAbsIndex(m_entries.size());
  if (i < 0) return nullptr;
  _PlayListData* entry = m_entries.at(i);
  if (entry->kind == m_fileType) return entry;
  if (entry->kind == PLAY_FILE_TYPE_FOLDER) {
    std::u16string next = std::u16string(m_workDir) + textOrEmpty(entry->name) + u"\\";
    // A path that does not fit stays where it is: a cut path would name another folder.
    if (next.size() <= static_cast<size_t>(kMaxText)) media::copyPath(m_workDir, next.c_str());
    loadFileList();
  } else if (entry->kind != PLAY_FILE_TYPE_PARENT) {
    return nullptr;
  }
  m_cursor.absIndex = m_cursor.pageStart;
  return nullptr;
}

void CPlayListManager::SetFileState(_PlayListData* entry, FILE_STATE state) {
  if (entry) entry->state = state;
}

void CPlayListManager::DeleteListFile(int index) {
  if (!entryAt(index)) return;
  m_entries.erase(index);
  m_modified = 1;
  int count = m_entries.size();
  if (count == 0) {
    m_cursor.reset();
    return;
  }
  // The cursor sat alone on the last page: show the page before it.
  if (m_cursor.absIndex == count && m_cursor.absIndex <= m_cursor.pageStart) OnPgUp();
  if (m_cursor.absIndex < m_indexBak) --m_indexBak;
  if (m_cursor.absIndex == count) --m_cursor.absIndex;
}

// ---- play-list files --------------------------------------------------------------------

void CPlayListManager::GetCurrenXMLFile(LPWSTR primary, LPWSTR fallback) {
  if (m_filter < PLAY_FFFILTER_NONE || m_filter > PLAY_FFFILTER_ALL) return;
  const PlayListFiles& files = kPlayListFiles[m_filter];
  if (primary) media::copyPath(primary, files.primary);
  if (fallback) media::copyPath(fallback, files.fallback);
}

BOOL CPlayListManager::SavePlayListtoExtStorage() {
  WCHAR primary[MAX_PATH] = {};
  WCHAR fallback[MAX_PATH] = {};
  GetCurrenXMLFile(primary, fallback);
  if (primary[0] == 0) return FALSE;

  const int count = m_entries.size();
  CMarkup doc;
  doc.ResetPos();
  doc.AddElem(u"LISTS");
  doc.SetAttrib(u"TotolList", count);
  doc.IntoElem();
  // The file lists the entries last first, each numbered with its place in the list.
  // Appending from the end gives that order without shifting the whole text on every entry.
  for (int n = count; n >= 1; --n) {
    const _PlayListData* entry = m_entries.at(n - 1);
    doc.AddElem(u"LIST");
    doc.AddChildElem(u"FileType", static_cast<int>(entry->kind));
    doc.SetChildAttrib(u"index", n);
    doc.AddChildElem(u"FileDir", textOrEmpty(entry->dir));
    doc.SetChildAttrib(u"index", n);
    doc.AddChildElem(u"FileName", textOrEmpty(entry->name));
    doc.SetChildAttrib(u"index", n);
    doc.AddChildElem(u"PlayTime", entry->playTime);
    doc.SetChildAttrib(u"index", n);
  }
  doc.OutOfElem();

  // The document replaces the file as a whole (temporary file and rename), so a save that
  // fails half-way, or a power cut during it, leaves the previous list in place.
  if (!doc.Save(primary) && !doc.Save(fallback)) return FALSE;
  m_modified = 0;
  return TRUE;
}

BOOL CPlayListManager::LoadPlayListFromExtStorage() {
  unloadFileList();
  WCHAR primary[MAX_PATH] = {};
  WCHAR fallback[MAX_PATH] = {};
  GetCurrenXMLFile(primary, fallback);
  if (primary[0] == 0) return FALSE;

  CMarkup doc;
  if (!doc.Load(primary) && !doc.Load(fallback)) return FALSE;
  doc.ResetPos();
  if (!doc.FindElem(u"LISTS")) return FALSE;
  doc.IntoElem();
  while (doc.FindElem(u"LIST")) {
    int kind = 0;
    int playTime = 0;
    std::u16string dir;
    std::u16string name;
    bool haveDir = false;
    bool haveName = false;
    if (doc.FindChildElem(u"FileType")) kind = static_cast<int>(_wtol(doc.GetChildData().c_str()));
    if (doc.FindChildElem(u"FileDir")) {
      dir = doc.GetChildData();
      haveDir = true;
    }
    if (doc.FindChildElem(u"FileName")) {
      name = doc.GetChildData();
      haveName = true;
    }
    if (doc.FindChildElem(u"PlayTime")) playTime = static_cast<int>(_wtol(doc.GetChildData().c_str()));
    m_entries.append(makeEntry(kind, haveDir ? dir.c_str() : nullptr, haveName ? name.c_str() : nullptr, playTime));
  }
  doc.OutOfElem();
  m_entries.sortByName(0);
  return TRUE;
}

// ---- appending --------------------------------------------------------------------------

int CPlayListManager::addTyped(_FileType_PLAY kind, LPCWSTR name) {
  m_entries.append(makeEntry(kind, nullptr, name, 0));
  return 1;
}

int CPlayListManager::addVideoListFile(LPCWSTR name) {
  return isVideoFile(name) ? addTyped(PLAY_FILE_TYPE_VIDEO, name) : 0;
}
int CPlayListManager::addAudioListFile(LPCWSTR name) {
  return isAudioFile(name) ? addTyped(PLAY_FILE_TYPE_AUDIO, name) : 0;
}
int CPlayListManager::addPhotoListFile(LPCWSTR name) {
  return isPhotoFile(name) ? addTyped(PLAY_FILE_TYPE_PHOTO, name) : 0;
}
int CPlayListManager::addMapExeFile(LPCWSTR name) {
  return isMapExeFile(name) ? addTyped(PLAY_FILE_TYPE_MAPEXE, name) : 0;
}
int CPlayListManager::addImageListFile(LPCWSTR name) {
  return isImageFile(name) ? addTyped(PLAY_FILE_TYPE_IMAGE, name) : 0;
}
int CPlayListManager::addTextListFile(LPCWSTR name) {
  return isTextFile(name) ? addTyped(PLAY_FILE_TYPE_TEXT, name) : 0;
}
int CPlayListManager::addListFile(LPCWSTR name) { return name ? addTyped(PLAY_FILE_TYPE_ALL, name) : 0; }

// ---- play-list screen helpers -----------------------------------------------------------

int CPlayListManager::mergeEntries(const _FileListData* const* entries, int count) {
  if (!entries || count <= 0) return 0;
  int appended = 0;
  for (int i = 0; i < count; ++i) {
    const _FileListData* picked = entries[i];
    if (!picked) continue;
    // Stored texts are cut; compare the cut form so a long name is not appended twice.
    auto pickedDir = media::copyText(textOrEmpty(picked->dir));
    auto pickedName = media::copyText(textOrEmpty(picked->name));
    bool present = false;
    for (int j = 0; j < m_entries.size() && !present; ++j) {
      const _PlayListData* entry = m_entries.at(j);
      present = lstrcmpW(textOrEmpty(entry->dir), pickedDir.get()) == 0 &&
                lstrcmpW(textOrEmpty(entry->name), pickedName.get()) == 0;
    }
    if (present) continue;
    m_entries.append(makeEntry(picked->kind, picked->dir, picked->name, picked->playTime));
    ++appended;
  }
  if (appended > 0) {
    m_cursor.absIndex = 0;
    if (m_cursor.pageStart < 0) m_cursor.pageStart = 0;
    m_modified = 1;
  }
  return appended;
}

int CPlayListManager::mergeSelection(const CFileListManager& files) {
  std::vector<const _FileListData*> picked;
  for (int i = 0; i < files.getSelectFileCount(); ++i) picked.push_back(files.getSelectFile(i));
  return mergeEntries(picked.data(), static_cast<int>(picked.size()));
}

int CPlayListManager::removeMissingFiles() {
  int removed = 0;
  for (int i = 0; i < m_entries.size();) {
    _PlayListData* entry = m_entries.at(i);
    std::u16string path = std::u16string(textOrEmpty(entry->dir)) + textOrEmpty(entry->name);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      SetFileState(entry, FILE_STATE_MISSING);
      DeleteListFile(i);
      ++removed;
    } else {
      SetFileState(entry, FILE_STATE_PRESENT);
      ++i;
    }
  }
  return removed;
}
