// The file list manager against folder trees in a temporary unit root: listing order,
// hidden folders, browsing up and down, the cursor and pages, selection and bad input.
#include <algorithm>
#include <string>
#include <vector>

#include "media/file_list_manager.h"
#include "media_fixture.h"

namespace {

using media_test::UnitRootTest;
namespace fs = std::filesystem;

class FileListTest : public UnitRootTest {
 protected:
  // The entries as shown: "[name]" for parent and folders, the bare name for files.
  std::vector<std::string> shown(CFileListManager& list) {
    std::vector<std::string> out;
    int saved = list.getAbsIndex();
    for (int i = 0; i < list.getTotalCount(); ++i) {
      list.setAbsIndex(i);
      WCHAR text[MAX_PATH];
      list.getSelectedListFileName(text);
      out.push_back(u8(text));
    }
    if (saved >= 0) list.setAbsIndex(saved);
    return out;
  }
  std::string workDir(CFileListManager& list) {
    WCHAR dir[MAX_PATH];
    list.getWorkDirectory(dir);
    return u8(dir);
  }
};

using Names = std::vector<std::string>;

TEST_F(FileListTest, ListsParentAndFoldersThenFilesEachInNameOrder) {
  for (const char* f : {"b.mp3", "A.MP3", "c.wma", "notes.txt", "d.Mp3", ".hidden.mp3"})
    touch(std::string("StorageCard/Music/") + f);
  for (const char* d : {"Zed", "alpha", "Mid"}) mkdir(std::string("StorageCard/Music/") + d);
  CFileListManager list;
  list.SetFileCalss(FILE_CALSS_AUDIO);
  ASSERT_EQ(list.setWorkDirectory(u"\\StorageCard\\Music\\"), 1);
  EXPECT_EQ(list.getAbsIndex(), -1);
  EXPECT_EQ(list.getCurPageIndex(), 0);
  EXPECT_EQ(shown(list), (Names{"[..]", "[alpha]", "[Mid]", "[Zed]", "A.MP3", "b.mp3", "c.wma", "d.Mp3"}));

  list.setAbsIndex(4);
  _FileListData* file = list.GetSelectedFile();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->kind, FILE_TYPE_AUDIO);
  EXPECT_EQ(u8(file->dir), "\\StorageCard\\Music\\");
  EXPECT_EQ(file->playTime, 0);
  list.setAbsIndex(1);
  EXPECT_EQ(list.GetSelectedFile(), nullptr) << "a folder is not a selectable file";
}

TEST_F(FileListTest, EachFilterListsItsOwnFiles) {
  for (const char* f : {"a.avi", "b.mp3", "c.jpg", "d.exe", "e.nb0", "f.txt", "g.reg", "h.bin"})
    touch(std::string("StorageCard/") + f);
  struct Case {
    _FILE_CALSS fileClass;
    Names files;
    _FileType kind;
  };
  const Case cases[] = {
      {FILE_CALSS_VIDEO, {"a.avi"}, FILE_TYPE_VIDEO},
      {FILE_CALSS_AUDIO, {"b.mp3"}, FILE_TYPE_AUDIO},
      {FILE_CALSS_PHOTO, {"c.jpg"}, FILE_TYPE_PHOTO},
      {FILE_CALSS_MAPEXE, {"d.exe", "g.reg"}, FILE_TYPE_MAPEXE},
      {FILE_CALSS_IMAGE, {"e.nb0"}, FILE_TYPE_IMAGE},
      {FILE_CALSS_TEXT, {"f.txt", "g.reg"}, FILE_TYPE_TEXT},
      {FILE_CALSS_ALL, {"a.avi", "b.mp3", "c.jpg", "d.exe", "e.nb0", "f.txt", "g.reg", "h.bin"}, FILE_TYPE_ALL},
      {FILE_CALSS_NONE, {}, FILE_TYPE_NONE},
  };
  for (const Case& c : cases) {
    CFileListManager list;
    list.InitSDRoot(u"\\StorageCard\\");
    list.SetFileCalss(c.fileClass);
    list.setWorkDirectory(u"\\StorageCard\\");
    EXPECT_EQ(shown(list), c.files) << "class " << c.fileClass;
    for (int i = 0; i < list.getTotalCount(); ++i) {
      list.setAbsIndex(i);
      ASSERT_NE(list.GetSelectedFile(), nullptr);
      EXPECT_EQ(list.GetSelectedFile()->kind, c.kind);
    }
  }
}

TEST_F(FileListTest, HidesFoldersOutsideTheVolumesOfTheFilter) {
  for (const char* d : {"StorageCard", "USB Disk", "Hard Disk", "SDMMC", "AudioCard", "Windows", "GPSData"}) mkdir(d);
  struct Case {
    _FindFileFilterOption filter;
    Names folders;
  };
  const Case cases[] = {
      {FFFILTER_AUDIO, {"[Hard Disk]", "[StorageCard]", "[USB Disk]"}},
      {FFFILTER_TEXT, {"[Hard Disk]", "[StorageCard]", "[USB Disk]"}},
      {FFFILTER_MAPEXE, {"[Hard Disk]", "[SDMMC]", "[StorageCard]", "[USB Disk]"}},
      {FFFILTER_ALL, {"[AudioCard]", "[Hard Disk]", "[SDMMC]", "[StorageCard]", "[USB Disk]"}},
      {FFFILTER_NONE, {}},
      {static_cast<_FindFileFilterOption>(8), {}},
  };
  for (const Case& c : cases) {
    CFileListManager list;
    list.setFFFilterOption(c.filter);
    list.setWorkDirectory(u"\\");
    EXPECT_EQ(shown(list), c.folders) << "filter " << c.filter << " (at the root: no \"..\")";
  }
  CFileListManager list;
  list.setFFFilterOption(FFFILTER_AUDIO);
  EXPECT_EQ(list.SkipDirectory(u"\\storagecard\\music\\"), 0) << "compared without regard to case";
  EXPECT_EQ(list.SkipDirectory(u"\\SDMMC\\"), 1);
  EXPECT_EQ(list.SkipDirectory(u"\\"), 1);
}

TEST_F(FileListTest, EmptySubFolderListsOnlyTheParent) {
  mkdir("StorageCard/Empty");
  CFileListManager list;
  list.setWorkDirectory(u"\\StorageCard\\Empty\\");
  EXPECT_EQ(shown(list), Names{"[..]"});
}

TEST_F(FileListTest, FolderThatCannotBeListedLeavesTheListingAndSelection) {
  touch("StorageCard/a.mp3");
  CFileListManager list;
  list.setWorkDirectory(u"\\StorageCard\\");
  ASSERT_EQ(list.getTotalCount(), 2);
  list.setAbsIndex(1);
  ASSERT_EQ(list.AddtoSelectFileList(list.GetSelectedFile()), 1);
  EXPECT_EQ(list.findDirectory(u"\\Missing\\"), 0);
  EXPECT_EQ(list.findDirectory(u""), 0);
  EXPECT_EQ(list.findDirectory(nullptr), 0);
  EXPECT_EQ(list.getTotalCount(), 2);
  EXPECT_EQ(list.getSelectFileCount(), 1);
  EXPECT_EQ(list.getAbsIndex(), 1);
}

TEST_F(FileListTest, BrowsesDownAndUpWithTheDeviceConsoleLines) {
  touch("StorageCard/Music/Rock/song.mp3");
  CFileListManager list;
  list.SetFileCalss(FILE_CALSS_AUDIO);
  list.setWorkDirectory(u"\\");
  EXPECT_EQ(shown(list), Names{"[StorageCard]"});
  list.setAbsIndex(0);
  EXPECT_EQ(list.OnEnter(), nullptr);
  EXPECT_EQ(workDir(list), "\\StorageCard\\");
  EXPECT_EQ(list.getAbsIndex(), 0) << "the cursor lands on the first row";
  EXPECT_EQ(shown(list), (Names{"[..]", "[Music]"}));
  list.setAbsIndex(1);
  list.OnEnter();
  list.setAbsIndex(1);
  list.OnEnter();
  EXPECT_EQ(workDir(list), "\\StorageCard\\Music\\Rock\\");
  list.setAbsIndex(1);
  _FileListData* song = list.OnEnter();
  ASSERT_NE(song, nullptr) << "an audio file is returned to the player";
  EXPECT_EQ(u8(song->name), "song.mp3");

  list.SetRootStation(0);
  list.setAbsIndex(0);
  EXPECT_EQ(list.OnEnter(), nullptr);  // ".."
  EXPECT_EQ(workDir(list), "\\StorageCard\\Music\\");
  EXPECT_TRUE(logged("setUpperDirectory...........\\StorageCard\\Music\\.................\r\n"));
  EXPECT_EQ(list.setUpperDirectory(), 1);
  EXPECT_EQ(list.getRootStation(), 0);
  EXPECT_EQ(list.setUpperDirectory(), 1);
  EXPECT_EQ(workDir(list), "\\");
  EXPECT_EQ(list.getRootStation(), 1);
  EXPECT_TRUE(logged("<<<<<<<<<<<<<<<<<<<<<<setUpperDirectory............................\r\n"));
  EXPECT_EQ(list.setUpperDirectory(), 0) << "nothing above the root";
  EXPECT_EQ(list.SetRootStation(5), 1);
  EXPECT_TRUE(logged("m_bRootFlag=5................\r\n"));
}

TEST_F(FileListTest, GoingUpStopsAtTheCardFolderWithoutBackslashAndAcceptsAnEmptyFolder) {
  touch("StorageCard/a.mp3");
  CFileListManager list;
  list.setWorkDirectory(u"\\StorageCard");
  lines_.clear();
  EXPECT_EQ(list.setUpperDirectory(), 0);
  EXPECT_EQ(workDir(list), "\\StorageCard");
  EXPECT_TRUE(lines_.empty());
  list.setWorkDirectory(u"");
  EXPECT_EQ(list.setUpperDirectory(), 1);
  EXPECT_EQ(workDir(list), "");
  list.setWorkDirectory(u"nofolder\\");
  EXPECT_EQ(list.setUpperDirectory(), 0) << "no backslash before the trailing one";
}

TEST_F(FileListTest, EnteringAFolderThatVanishedStaysWhereItWas) {
  mkdir("StorageCard/Gone");
  touch("StorageCard/a.mp3");
  touch("StorageCard/b.mp3");
  CFileListManager list;
  list.setPageElementNumber(2);
  list.setWorkDirectory(u"\\StorageCard\\");
  ASSERT_EQ(shown(list), (Names{"[..]", "[Gone]", "a.mp3", "b.mp3"}));
  fs::remove(host("StorageCard/Gone"));
  list.setAbsIndex(1);
  list.OnPgDn();
  ASSERT_EQ(list.getCurPageIndex(), 2);
  EXPECT_EQ(list.OnEnter(), nullptr);
  EXPECT_EQ(workDir(list), "\\StorageCard\\");
  EXPECT_EQ(shown(list), (Names{"[..]", "[Gone]", "a.mp3", "b.mp3"}));
  EXPECT_EQ(list.getCurPageIndex(), 0) << "the cursor is reset as after a reload";
  EXPECT_EQ(list.getAbsIndex(), 0);
}

TEST_F(FileListTest, CursorStepsSkipFoldersAndWrap) {
  for (const char* f : {"a.mp3", "b.mp3", "c.mp3"}) touch(std::string("StorageCard/M/") + f);
  mkdir("StorageCard/M/Sub");
  CFileListManager list;
  list.setPageElementNumber(2);
  list.setWorkDirectory(u"\\StorageCard\\M\\");  // "..", Sub, a, b, c
  ASSERT_EQ(list.getTotalCount(), 5);
  EXPECT_EQ(list.OnDown(), 1);
  EXPECT_EQ(list.getAbsIndex(), 0) << "the first step only selects the first row";
  struct Step {
    int down;  // 1 down, 0 up
    int abs;
    int page;
  };
  const Step steps[] = {{1, 2, 2}, {1, 3, 2}, {1, 4, 4}, {1, 2, 2}, {0, 4, 4}, {0, 3, 2}, {0, 2, 2}, {0, 4, 4}};
  for (const Step& s : steps) {
    EXPECT_EQ(s.down ? list.OnDown() : list.OnUp(), 1);
    EXPECT_EQ(list.getAbsIndex(), s.abs);
    EXPECT_EQ(list.getCurPageIndex(), s.page);
  }
}

TEST_F(FileListTest, CursorStepInAListOfFoldersOnlyGivesUp) {
  for (const char* d : {"A", "B", "C"}) mkdir(std::string("StorageCard/F/") + d);
  CFileListManager list;
  list.setWorkDirectory(u"\\StorageCard\\F\\");
  ASSERT_EQ(list.getTotalCount(), 4);
  list.setAbsIndex(2);
  EXPECT_EQ(list.OnDown(), 0);
  EXPECT_EQ(list.OnUp(), 0);
  list.unloadFileList();
  EXPECT_EQ(list.OnDown(), 0);
  EXPECT_EQ(list.OnUp(), 0);
}

TEST_F(FileListTest, PagesMoveByPageSizeAndStopAtTheEnds) {
  for (int i = 0; i < 20; ++i) touch("StorageCard/P/f" + std::to_string(100 + i) + ".mp3");
  CFileListManager list;
  list.InitSDRoot(u"\\StorageCard\\P\\");
  list.setWorkDirectory(u"\\StorageCard\\P\\");
  ASSERT_EQ(list.getTotalCount(), 20);
  EXPECT_TRUE(list.IsBeginOfPage());
  EXPECT_FALSE(list.IsEndOfPage());
  const int downs[] = {9, 18, 18};
  for (int expected : downs) {
    EXPECT_EQ(list.OnPgDn(), 1);
    EXPECT_EQ(list.getCurPageIndex(), expected);
  }
  EXPECT_TRUE(list.IsEndOfPage());
  list.OnClick(1);
  EXPECT_EQ(list.getAbsIndex(), 19);
  EXPECT_TRUE(list.IsEndOfList());
  list.OnClick(2);
  EXPECT_EQ(list.getAbsIndex(), 19) << "a row past the end is ignored";
  const int ups[] = {9, 0, 0};
  for (int expected : ups) {
    EXPECT_EQ(list.OnPgUp(), 1);
    EXPECT_EQ(list.getCurPageIndex(), expected);
  }
  EXPECT_EQ(list.GetSelectedFile(8)->kind, FILE_TYPE_ALL);
  EXPECT_EQ(list.GetSelectedFile(20), nullptr);
  EXPECT_EQ(list.GetSelectedFile(-1), nullptr);
  list.setPageElementNumber(0);
  EXPECT_EQ(list.getPageElementNumber(), 9) << "a page needs a row";
  list.unloadFileList();
  EXPECT_EQ(list.OnPgUp(), 0);
  EXPECT_EQ(list.OnPgDn(), 0);
  EXPECT_EQ(list.getAbsIndex(), -1);
  WCHAR text[MAX_PATH] = u"junk";
  list.getSelectedListFileName(text);
  EXPECT_EQ(text[0], 0);
}

TEST_F(FileListTest, ClassifiesByTheLastFourCharactersWithoutRegardToCase) {
  struct Case {
    const char16_t* name;
    int video, audio, image, photo, text, mapExe;
  };
  const Case cases[] = {
      {u"a.mp3", 0, 1, 0, 0, 0, 0},     {u"A.WMA", 0, 1, 0, 0, 0, 0},   {u"clip.3gp", 1, 0, 0, 0, 0, 0},
      {u"x.Mp4", 1, 0, 0, 0, 0, 0},     {u"rom.nb0", 0, 0, 1, 0, 0, 0}, {u"p.png", 0, 0, 0, 1, 0, 0},
      {u"set.reg", 0, 0, 0, 0, 1, 1},   {u"nav.EXE", 0, 0, 0, 0, 0, 1}, {u"readme.ini", 0, 0, 0, 0, 1, 0},
      {u".mp3", 0, 1, 0, 0, 0, 0},      {u"mp3", 0, 0, 0, 0, 0, 0},     {u"song.mp3 ", 0, 0, 0, 0, 0, 0},
      {u"a.jpeg", 0, 0, 0, 0, 0, 0},    {u"", 0, 0, 0, 0, 0, 0},        {u"歌曲.MP3", 0, 1, 0, 0, 0, 0},
      {u"песня.wma", 0, 1, 0, 0, 0, 0},
  };
  CFileListManager list;
  for (const Case& c : cases) {
    SCOPED_TRACE(u8(c.name));
    EXPECT_EQ(!!list.isVideoFile(c.name), !!c.video);
    EXPECT_EQ(!!list.isAudioFile(c.name), !!c.audio);
    EXPECT_EQ(!!list.isImageFile(c.name), !!c.image);
    EXPECT_EQ(!!list.isPhotoFile(c.name), !!c.photo);
    EXPECT_EQ(!!list.isTextFile(c.name), !!c.text);
    EXPECT_EQ(!!list.isMapExeFile(c.name), !!c.mapExe);
  }
  EXPECT_FALSE(list.isPhotoFile(nullptr));
  EXPECT_FALSE(list.isAudioFile(nullptr));
}

TEST_F(FileListTest, SelectionHoldsOwnCopiesWithoutDuplicates) {
  for (const char* f : {"a.mp3", "b.mp3"}) touch(std::string("StorageCard/S/") + f);
  mkdir("StorageCard/S/Sub");
  CFileListManager list;
  list.setWorkDirectory(u"\\StorageCard\\S\\");  // "..", Sub, a, b
  list.setAbsIndex(2);
  _FileListData* a = list.GetSelectedFile();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(list.AddtoSelectFileList(a), 1);
  EXPECT_EQ(list.AddtoSelectFileList(a), 0);
  EXPECT_EQ(list.AddtoSelectFileList(nullptr), 0);

  std::u16string dir = u"\\StorageCard\\S\\";
  std::u16string name = u"a.mp3";
  _FileListData same{9, dir.data(), name.data(), 0};  // built from plain numbers, as stored
  EXPECT_EQ(list.SelectIsInSelectFileList(&same), 1) << "equal by texts, not by pointers";
  _FileListData otherTime = same;
  otherTime.playTime = 5;
  EXPECT_EQ(list.SelectIsInSelectFileList(&otherTime), 0);
  _FileListData noDir = same;
  noDir.dir = nullptr;
  EXPECT_EQ(list.SelectIsInSelectFileList(&noDir), 0);

  EXPECT_EQ(list.AddalltoFileList(), 1);
  ASSERT_EQ(list.getSelectFileCount(), 2) << "folders and the parent are not picked";
  EXPECT_EQ(u8(list.getSelectFile(1)->name), "b.mp3");
  EXPECT_EQ(list.DeleteFromSelectFileList(&same), 1);
  EXPECT_EQ(list.DeleteFromSelectFileList(&same), 0);
  EXPECT_EQ(list.getSelectFileCount(), 1);

  list.setWorkDirectory(u"\\StorageCard\\S\\");
  EXPECT_EQ(list.getSelectFileCount(), 0) << "a new listing discards the selection";
  mkdir("StorageCard/OnlyFolders/X");
  list.setWorkDirectory(u"\\StorageCard\\OnlyFolders\\");
  EXPECT_EQ(list.AddalltoFileList(), 0);
}

TEST_F(FileListTest, PlainNumbersSelectClassesFiltersAndDisks) {
  touch("StorageCard/a.mp3");
  touch("StorageCard/b.avi");
  CFileListManager list;
  list.InitSDRoot(u"\\StorageCard\\");
  list.SetFileCalss(2);
  EXPECT_EQ(list.getFFFilterOption(), 2);
  EXPECT_EQ(list.getFileType(), 4);
  for (int ignored : {8, 9, 100, -1}) {
    list.SetFileCalss(ignored);
    EXPECT_EQ(list.getFFFilterOption(), 2) << "class " << ignored << " changes nothing";
    EXPECT_EQ(list.getFileType(), 4);
  }
  list.setWorkDirectory(u"\\StorageCard\\");
  EXPECT_EQ(shown(list), Names{"a.mp3"});
  list.setFFFilterOption(1);
  list.setFileType(3);
  list.loadFileList();
  EXPECT_EQ(shown(list), Names{"b.avi"});
  list.setAbsIndex(0);
  EXPECT_NE(list.GetSelectedFile(), nullptr);
  EXPECT_EQ(list.FindDisk(3), 1);
  EXPECT_EQ(shown(list), (Names{"[StorageCard]", "[USB Disk]"}));
  EXPECT_EQ(list.getAbsIndex(), 0);
}

TEST_F(FileListTest, DiskListInFixedOrder) {
  struct Case {
    _DISK_SYMBLE disk;
    _FindFileFilterOption filter;
    Names names;
  };
  const Case cases[] = {
      {DISK_SYMBLE_USB, FFFILTER_AUDIO, {"[USB Disk]"}},
      {DISK_SYMBLE_SD, FFFILTER_ALL, {"[StorageCard]"}},
      {DISK_SYMBLE_SD_USB, FFFILTER_VIDEO, {"[StorageCard]", "[USB Disk]"}},
      {static_cast<_DISK_SYMBLE>(4), FFFILTER_ALL, {}},
      {DISK_SYMBLE_SD_USB, FFFILTER_NONE, {}},
  };
  for (const Case& c : cases) {
    CFileListManager list;
    list.setFFFilterOption(c.filter);
    EXPECT_EQ(list.FindDisk(c.disk), 1);
    EXPECT_EQ(shown(list), c.names);
    EXPECT_EQ(list.getCurPageIndex(), 0);
  }
}

TEST_F(FileListTest, FindsContentAnywhereBelowAFolder) {
  touch("StorageCard/Deep/a/b/c/song.MP3");
  touch("StorageCard/Deep/a/readme.txt");
  touch("StorageCard/Deep/.x/hidden.avi");
  CFileListManager list;
  list.setFFFilterOption(FFFILTER_AUDIO);
  EXPECT_EQ(list.isExistFile(u"\\StorageCard\\Deep"), 1);
  list.setFFFilterOption(FFFILTER_VIDEO);
  EXPECT_EQ(list.isExistFile(u"\\StorageCard\\Deep"), 0) << "hidden folders are system entries";
  list.setFFFilterOption(FFFILTER_ALL);
  EXPECT_EQ(list.isExistFile(u"\\StorageCard\\Deep"), 1);
  list.setFFFilterOption(FFFILTER_NONE);
  EXPECT_EQ(list.isExistFile(u"\\StorageCard\\Deep"), 0);
  list.setFFFilterOption(FFFILTER_ALL);
  EXPECT_EQ(list.isExistFile(u"\\Nowhere"), 0);
  EXPECT_EQ(list.isExistDirectory(u"\\StorageCard\\Deep\\a"), 1);
  EXPECT_EQ(list.isExistDirectory(u"\\StorageCard\\Deep\\a\\readme.txt"), 0);
  EXPECT_EQ(list.isExistDirectory(u"\\Nowhere"), 0);
}

TEST_F(FileListTest, NamesInAnyScriptSurviveListing) {
  for (const char* f : {"песня.mp3", "歌曲.MP3", "Ünïcødé.wma"}) touch(std::string("StorageCard/Intl/") + f);
  mkdir("StorageCard/Intl/音乐");
  CFileListManager list;
  list.SetFileCalss(FILE_CALSS_AUDIO);
  list.setWorkDirectory(u"\\StorageCard\\Intl\\");
  Names names = shown(list);
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names[0], "[..]");
  EXPECT_EQ(names[1], "[音乐]");
  Names files(names.begin() + 2, names.end());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (Names{"Ünïcødé.wma", "песня.mp3", "歌曲.MP3"}));
  list.setAbsIndex(1);
  list.OnEnter();
  EXPECT_EQ(workDir(list), "\\StorageCard\\Intl\\音乐\\");
}

TEST_F(FileListTest, OverlongPathsAndNamesAreCutNeverOverrun) {
  const std::u16string longPath = u"\\" + std::u16string(400, u'p') + u"\\";
  CFileListManager list;
  list.InitSDRoot(longPath.c_str());
  WCHAR out[MAX_PATH + 8];
  std::fill(std::begin(out), std::end(out), u'#');
  list.getWorkDirectory(out);
  EXPECT_EQ(std::u16string(out).size(), static_cast<size_t>(MAX_PATH - 1));
  EXPECT_EQ(out[MAX_PATH], u'#') << "nothing written past MAX_PATH characters";

  // Folder nesting that reaches the path limit: the folder that does not fit is neither
  // shown nor entered.
  std::string deep = "StorageCard";
  std::u16string deepDevice = u"\\StorageCard";
  while (deepDevice.size() < 240) {
    deep += "/" + std::string(20, 'd');
    deepDevice += u"\\" + std::u16string(20, u'd');
  }
  mkdir(deep + "/" + std::string(30, 'e'));
  touch(deep + "/x.mp3");
  CFileListManager nested;
  nested.setWorkDirectory((deepDevice + u"\\").c_str());
  EXPECT_EQ(shown(nested), (Names{"[..]", "x.mp3"}));

  std::u16string longName(400, u'n');
  EXPECT_EQ(list.addListFile(longName.c_str()), 1);
  list.setAbsIndex(0);
  ASSERT_NE(list.GetSelectedFile(), nullptr);
  EXPECT_EQ(std::u16string(list.GetSelectedFile()->name), std::u16string(MAX_PATH - 1, u'n'));
  std::fill(std::begin(out), std::end(out), u'#');
  list.getSelectedListFileName(out);
  EXPECT_EQ(out[MAX_PATH], u'#');
  EXPECT_EQ(list.AddtoSelectFileList(list.GetSelectedFile()), 1);
  _FileListData uncut{FILE_TYPE_ALL, list.GetSelectedFile()->dir, longName.data(), 0};
  EXPECT_EQ(list.SelectIsInSelectFileList(&uncut), 1) << "an over-long name matches its cut copy";
}

}  // namespace
