// CPlayListManager: one persistent play list per file class. The players step through it
// (next, previous, random); the play-list screen pages through it, merges picked files into
// it, drops entries whose files have gone, and saves it.
//
// The class is exported by the launcher under its own name; modules loaded into the
// launcher use it directly.
#pragma once

#include <windows.h>

#include "media/file_list_manager.h"
#include "media/media_list.h"

// Entry kinds; the same numbering as _FileType, stored in the play-list files.
enum _FileType_PLAY : int {
  PLAY_FILE_TYPE_NONE = 0,
  PLAY_FILE_TYPE_PARENT = 1,
  PLAY_FILE_TYPE_FOLDER = 2,
  PLAY_FILE_TYPE_VIDEO = 3,
  PLAY_FILE_TYPE_AUDIO = 4,
  PLAY_FILE_TYPE_PHOTO = 5,
  PLAY_FILE_TYPE_MAPEXE = 6,
  PLAY_FILE_TYPE_IMAGE = 7,
  PLAY_FILE_TYPE_TEXT = 8,
  PLAY_FILE_TYPE_ALL = 9,
};

enum _FILE_CALSS_PLAY : int {
  PLAY_FILE_CALSS_NONE = 0,
  PLAY_FILE_CALSS_VIDEO = 1,
  PLAY_FILE_CALSS_AUDIO = 2,
  PLAY_FILE_CALSS_PHOTO = 3,
  PLAY_FILE_CALSS_MAPEXE = 4,
  PLAY_FILE_CALSS_IMAGE = 5,
  PLAY_FILE_CALSS_TEXT = 6,
  PLAY_FILE_CALSS_ALL = 7,
};

// Which play list (and play-list file) the manager works on.
enum _FindFileFilterOption_PLAY : int {
  PLAY_FFFILTER_NONE = 0,
  PLAY_FFFILTER_VIDEO = 1,
  PLAY_FFFILTER_AUDIO = 2,
  PLAY_FFFILTER_PHOTO = 3,
  PLAY_FFFILTER_MAPEXE = 4,
  PLAY_FFFILTER_IMAGE = 5,
  PLAY_FFFILTER_TEXT = 6,
  PLAY_FFFILTER_ALL = 7,
};

enum FILE_STATE : int {
  FILE_STATE_PRESENT = 0,
  FILE_STATE_MISSING = 1,
};

// One play-list entry. The texts belong to the manager that holds the entry.
struct _PlayListData {
  int kind;  // a _FileType_PLAY value
  LPWSTR dir;  // folder of the file with its trailing backslash; may be null
  LPWSTR name;
  int playTime;  // saved playing position
  FILE_STATE state;
};

class CPlayListManager {
 public:
  CPlayListManager();
  // Saves the list first when it was changed.
  ~CPlayListManager();
  CPlayListManager(const CPlayListManager&) = delete;
  CPlayListManager& operator=(const CPlayListManager&) = delete;

  // Configuration. Every operation that takes a kind, class, filter or state also takes the
  // plain number.
  void InitSDRoot(LPCWSTR path);
  void getWorkDirectory(LPWSTR out);
  void setFFFilterOption(_FindFileFilterOption_PLAY option);
  void setFFFilterOption(int option) { setFFFilterOption(static_cast<_FindFileFilterOption_PLAY>(option)); }
  void setFileType(_FileType_PLAY kind);
  void setFileType(int kind) { setFileType(static_cast<_FileType_PLAY>(kind)); }
  // Rows per page; values below 1 are ignored.
  void setPageElementNumber(int n);
  void SetFileCalss(_FILE_CALSS_PLAY fileClass);
  void SetFileCalss(int fileClass) { SetFileCalss(static_cast<_FILE_CALSS_PLAY>(fileClass)); }
  void resetFindNextFile();
  void TestList();

  // Classification, as the file list manager does it.
  BOOL isVideoFile(LPCWSTR name);
  BOOL isAudioFile(LPCWSTR name);
  BOOL isImageFile(LPCWSTR name);
  BOOL isPhotoFile(LPCWSTR name);
  BOOL isTextFile(LPCWSTR name);
  BOOL isMapExeFile(LPCWSTR name);
  BOOL isExistDirectory(LPCWSTR path);
  BOOL isExistFile(LPCWSTR folder);
  BOOL SkipDirectory(LPCWSTR path);

  // Listing: the list comes from the play-list file of the current filter.
  int setWorkDirectory(LPCWSTR path);
  int loadFileList();
  int findDirectory(LPCWSTR path);
  void unloadFileList();

  // Cursor and pages.
  int getTotalCount();
  int getCurPageIndex();
  int getAbsIndex();
  void setAbsIndex(int index);
  void OnClick(int row);
  int OnPgUp();
  int OnPgDn();
  int OnUp();
  int OnDown();
  // Draws entries at random until one is playable; 0 when the list is empty, or after as many
  // draws as there are entries when it holds nothing but folders.
  int OnRandom();
  BOOL IsBeginOfList();
  BOOL IsBeginOfPage();
  BOOL IsEndOfList();
  BOOL IsEndOfPage();
  void ReflashIndexBak();
  void setSelectBak(int index);
  int getSelectBak();

  // Access.
  _PlayListData* GetSelectedFile();
  _PlayListData* GetSelectedFile(int row);
  void getSelectedListFileName(LPWSTR out);
  _PlayListData* OnEnter();
  void SetFileState(_PlayListData* entry, FILE_STATE state);
  void SetFileState(_PlayListData* entry, int state) { SetFileState(entry, static_cast<FILE_STATE>(state)); }
  void DeleteListFile(int index);

  // The play-list files of the current filter (each at most MAX_PATH characters with the
  // terminator); left untouched for filters without a file.
  void GetCurrenXMLFile(LPWSTR primary, LPWSTR fallback);
  // Writes the list to the primary file, or to the fallback when the primary cannot be
  // written. The file is replaced as a whole: a failed save leaves the previous one intact.
  BOOL SavePlayListtoExtStorage();
  BOOL LoadPlayListFromExtStorage();

  // Appending entries of one class (with no folder); the name must pass the class's test.
  int addVideoListFile(LPCWSTR name);
  int addAudioListFile(LPCWSTR name);
  int addPhotoListFile(LPCWSTR name);
  int addMapExeFile(LPCWSTR name);
  int addImageListFile(LPCWSTR name);
  int addTextListFile(LPCWSTR name);
  int addListFile(LPCWSTR name);

  // Helpers for the play-list screen.
  // Appends each entry whose folder and name are not in the list yet; sets the cursor on the
  // first entry when anything was appended and marks the list changed. Returns the number appended.
  int mergeEntries(const _FileListData* const* entries, int count);
  int mergeSelection(const CFileListManager& files);
  // Marks entries whose file has gone as missing and removes them; the others are marked
  // present. Returns the number removed.
  int removeMissingFiles();
  BOOL isModified() const { return m_modified != 0; }
  _FindFileFilterOption_PLAY getFFFilterOption() const { return m_filter; }
  _FileType_PLAY getFileType() const { return m_fileType; }
  int getPageElementNumber() const { return m_cursor.pageSize; }

 private:
  int addTyped(_FileType_PLAY kind, LPCWSTR name);
  bool entryAt(int index) const { return index >= 0 && index < m_entries.size(); }
  void followCursor();

  WCHAR m_root[MAX_PATH];
  WCHAR m_workDir[MAX_PATH];
  _FileType_PLAY m_fileType;
  _FindFileFilterOption_PLAY m_filter;
  media::EntryList<_PlayListData> m_entries;
  media::ListCursor m_cursor;
  int m_indexBak;
  int m_modified;
};
