// CFileListManager: the model behind the file-browser screens. It lists one folder at a
// time, filtered to one class of files, sorted for display and split into pages, with a
// cursor and a separate multi-selection from which play lists are built.
//
// The class is exported by the launcher under its own name; modules loaded into the
// launcher use it directly.
#pragma once

#include <windows.h>

#include <vector>

#include "media/media_list.h"

// What a list entry is. The numbering is shared with the play lists and stored in their files.
enum _FileType : int {
  FILE_TYPE_NONE = 0,
  FILE_TYPE_PARENT = 1,  // "..", the folder above
  FILE_TYPE_FOLDER = 2,  // a folder or a disk
  FILE_TYPE_VIDEO = 3,
  FILE_TYPE_AUDIO = 4,
  FILE_TYPE_PHOTO = 5,
  FILE_TYPE_MAPEXE = 6,
  FILE_TYPE_IMAGE = 7,
  FILE_TYPE_TEXT = 8,
  FILE_TYPE_ALL = 9,  // any file
};

// The class of files a browser shows; SetFileCalss turns it into a filter and an entry kind.
enum _FILE_CALSS : int {
  FILE_CALSS_NONE = 0,
  FILE_CALSS_VIDEO = 1,
  FILE_CALSS_AUDIO = 2,
  FILE_CALSS_PHOTO = 3,
  FILE_CALSS_MAPEXE = 4,
  FILE_CALSS_IMAGE = 5,
  FILE_CALSS_TEXT = 6,
  FILE_CALSS_ALL = 7,
};

// Which files a listing takes.
enum _FindFileFilterOption : int {
  FFFILTER_NONE = 0,
  FFFILTER_VIDEO = 1,
  FFFILTER_AUDIO = 2,
  FFFILTER_PHOTO = 3,
  FFFILTER_MAPEXE = 4,
  FFFILTER_IMAGE = 5,
  FFFILTER_TEXT = 6,
  FFFILTER_ALL = 7,
};

// The volumes FindDisk can list.
enum _DISK_SYMBLE : int {
  DISK_SYMBLE_USB = 1,
  DISK_SYMBLE_SD = 2,
  DISK_SYMBLE_SD_USB = 3,
};

// One list entry. The texts belong to the manager that holds the entry.
struct _FileListData {
  int kind;     // a _FileType value (a plain number, so that entries can be built from stored ones)
  LPWSTR dir;   // folder the entry was listed in (with its trailing backslash); null for folders
  LPWSTR name;  // file, folder or disk name as shown
  int playTime;
};

class CFileListManager {
 public:
  CFileListManager();
  ~CFileListManager();
  CFileListManager(const CFileListManager&) = delete;
  CFileListManager& operator=(const CFileListManager&) = delete;

  // Configuration. Every operation that takes a kind, class, filter or disk also takes the
  // plain number the screens and the play-list files use.
  void InitSDRoot(LPCWSTR path);
  // Copies the work folder into out (at most MAX_PATH characters with the terminator).
  void getWorkDirectory(LPWSTR out);
  int SetRootStation(int flag);
  void setFFFilterOption(_FindFileFilterOption option);
  void setFFFilterOption(int option) { setFFFilterOption(static_cast<_FindFileFilterOption>(option)); }
  void setFileType(_FileType kind);
  void setFileType(int kind) { setFileType(static_cast<_FileType>(kind)); }
  // Rows per page; values below 1 are ignored (a page needs at least one row).
  void setPageElementNumber(int n);
  void SetFileCalss(_FILE_CALSS fileClass);
  void SetFileCalss(int fileClass) { SetFileCalss(static_cast<_FILE_CALSS>(fileClass)); }
  void resetFindNextFile();
  void TestList();

  // Classification by the last four characters of the name, without regard to case.
  BOOL isVideoFile(LPCWSTR name);
  BOOL isAudioFile(LPCWSTR name);
  BOOL isImageFile(LPCWSTR name);
  BOOL isPhotoFile(LPCWSTR name);
  BOOL isTextFile(LPCWSTR name);
  BOOL isMapExeFile(LPCWSTR name);
  BOOL isExistDirectory(LPCWSTR path);
  // 1 when the folder tree holds at least one file of the current filter.
  BOOL isExistFile(LPCWSTR folder);
  // 1 when the sub-folder (full path with trailing backslash) is hidden for the current filter.
  BOOL SkipDirectory(LPCWSTR path);

  // Listing.
  int setWorkDirectory(LPCWSTR path);
  int loadFileList();
  int findDirectory(LPCWSTR path);
  int setUpperDirectory();
  int FindDisk(_DISK_SYMBLE disk);
  int FindDisk(int disk) { return FindDisk(static_cast<_DISK_SYMBLE>(disk)); }
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
  BOOL IsBeginOfList();
  BOOL IsBeginOfPage();
  BOOL IsEndOfList();
  BOOL IsEndOfPage();

  // Access.
  _FileListData* GetSelectedFile();
  _FileListData* GetSelectedFile(int row);
  // Writes the display text of the cursor entry (at most MAX_PATH characters with the terminator).
  void getSelectedListFileName(LPWSTR out);
  _FileListData* OnEnter();

  // Selection for play lists.
  int AddtoSelectFileList(const _FileListData* entry);
  int DeleteFromSelectFileList(const _FileListData* entry);
  int SelectIsInSelectFileList(const _FileListData* entry);
  int AddalltoFileList();
  // Read access to the selection, for the screens that build play lists from it.
  int getSelectFileCount() const;
  const _FileListData* getSelectFile(int index) const;

  // Appending entries of one class; the name must pass the class's test.
  int addVideoListFile(LPCWSTR name);
  int addAudioListFile(LPCWSTR name);
  int addPhotoListFile(LPCWSTR name);
  int addMapExeFile(LPCWSTR name);
  int addImageListFile(LPCWSTR name);
  int addTextListFile(LPCWSTR name);
  int addListFile(LPCWSTR name);

  int getRootStation() const { return m_bRootFlag; }
  _FindFileFilterOption getFFFilterOption() const { return m_filter; }
  _FileType getFileType() const { return m_fileType; }
  int getPageElementNumber() const { return m_cursor.pageSize; }

 private:
  int addTyped(_FileType kind, LPCWSTR name);
  int addForFilter(LPCWSTR name);
  int enterFolder(LPCWSTR name);
  bool entryAt(int index) const { return index >= 0 && index < m_entries.size(); }

  WCHAR m_root[MAX_PATH];
  WCHAR m_workDir[MAX_PATH];
  _FileType m_fileType;
  _FindFileFilterOption m_filter;
  media::EntryList<_FileListData> m_entries;
  media::EntryList<_FileListData> m_selection;
  media::ListCursor m_cursor;
  int m_bRootFlag;
};
