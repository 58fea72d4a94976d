// The play list manager against a temporary unit root: the play-list files (read back with an
// independent XML parser), the fallback folder, hostile files, saves that fail, deleting,
// random play and the screen's merge and check passes.
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "media/file_list_manager.h"
#include "media/play_list_manager.h"
#include "media_fixture.h"

namespace {

using media_test::UnitRootTest;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class PlayListTest : public UnitRootTest {
 protected:
  void SetUp() override {
    UnitRootTest::SetUp();
    mkdir("GPSData");
    mkdir("NFlash");
  }

  // Appends entries {kind, dir, name, playTime} through the screen's merge.
  struct Pick {
    int kind;
    std::string dir;
    std::string name;
    int playTime;
  };
  static int merge(CPlayListManager& list, const std::vector<Pick>& picks) {
    std::vector<std::u16string> texts;
    texts.reserve(picks.size() * 2);
    std::vector<_FileListData> records;
    for (const Pick& p : picks) {
      texts.push_back(u16(p.dir));
      LPWSTR dir = texts.back().data();
      texts.push_back(u16(p.name));
      records.push_back({p.kind, dir, texts.back().data(), p.playTime});
    }
    std::vector<const _FileListData*> pointers;
    for (const auto& r : records) pointers.push_back(&r);
    return list.mergeEntries(pointers.data(), static_cast<int>(pointers.size()));
  }
  static Names names(CPlayListManager& list) {
    Names out;
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
  void writeAudioList(const std::string& folder, const std::string& xml) { touch(folder + "/Audio_Playlist.xml", xml); }
  static CPlayListManager* audioList() {
    auto* list = new CPlayListManager;
    list->SetFileCalss(PLAY_FILE_CALSS_AUDIO);
    return list;
  }
};

TEST_F(PlayListTest, SavesEntriesLastFirstAndLoadsThemInNameOrder) {
  {
    CPlayListManager list;
    list.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
    ASSERT_EQ(merge(list, {{4, "\\StorageCard\\M\\", "a.mp3", 10},
                           {4, "\\StorageCard\\M\\", "b.mp3", 20},
                           {4, "\\USB Disk\\", "c & <d>.mp3", 30}}),
              3);
    ASSERT_TRUE(list.SavePlayListtoExtStorage());
  }
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(host("GPSData/Audio_Playlist.xml").c_str()));
  pugi::xml_node lists = doc.child("LISTS");
  ASSERT_TRUE(lists);
  EXPECT_STREQ(lists.attribute("TotolList").value(), "3");
  std::vector<std::string> order;
  const char* expectedNames[] = {"c & <d>.mp3", "b.mp3", "a.mp3"};
  const char* expectedDirs[] = {"\\USB Disk\\", "\\StorageCard\\M\\", "\\StorageCard\\M\\"};
  const char* expectedTimes[] = {"30", "20", "10"};
  int n = 0;
  for (pugi::xml_node item : lists.children()) {
    ASSERT_LT(n, 3);
    EXPECT_STREQ(item.name(), "LIST");
    std::vector<std::string> children;
    for (pugi::xml_node child : item.children()) {
      children.push_back(child.name());
      EXPECT_EQ(child.attribute("index").as_int(), 3 - n) << child.name();
    }
    EXPECT_EQ(children, (Names{"FileType", "FileDir", "FileName", "PlayTime"}));
    EXPECT_STREQ(item.child_value("FileType"), "4");
    EXPECT_STREQ(item.child_value("FileDir"), expectedDirs[n]);
    EXPECT_STREQ(item.child_value("FileName"), expectedNames[n]);
    EXPECT_STREQ(item.child_value("PlayTime"), expectedTimes[n]);
    ++n;
  }
  EXPECT_EQ(n, 3);

  CPlayListManager loaded;
  loaded.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
  loaded.loadFileList();
  EXPECT_EQ(names(loaded), (Names{"a.mp3", "b.mp3", "c & <d>.mp3"}));
  EXPECT_EQ(loaded.getAbsIndex(), 0);
  EXPECT_EQ(loaded.getCurPageIndex(), 0);
  loaded.setAbsIndex(2);
  _PlayListData* c = loaded.GetSelectedFile();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(u8(c->dir), "\\USB Disk\\");
  EXPECT_EQ(c->playTime, 30);
  EXPECT_EQ(c->state, FILE_STATE_PRESENT);
}

TEST_F(PlayListTest, FilesAreUtf8AndKeepNamesInAnyScript) {
  {
    CPlayListManager list;
    list.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
    merge(list, {{4, "\\StorageCard\\音乐\\", "歌曲.mp3", 0}, {4, "\\StorageCard\\", "песня.wma", 0}});
    ASSERT_TRUE(list.SavePlayListtoExtStorage());
  }
  std::string bytes = read("GPSData/Audio_Playlist.xml");
  EXPECT_NE(bytes.find("歌曲.mp3"), std::string::npos) << "written as UTF-8";
  EXPECT_NE(bytes.find("песня.wma"), std::string::npos);
  CPlayListManager loaded;
  loaded.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
  loaded.loadFileList();
  Names got = names(loaded);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (Names{"песня.wma", "歌曲.mp3"}));
}

TEST_F(PlayListTest, UsesTheFlashFolderWhenTheDataFolderIsMissing) {
  fs::remove_all(host("GPSData"));
  {
    CPlayListManager list;
    list.SetFileCalss(PLAY_FILE_CALSS_VIDEO);
    merge(list, {{3, "\\StorageCard\\", "v.avi", 0}});
    ASSERT_TRUE(list.SavePlayListtoExtStorage());
  }
  EXPECT_TRUE(exists("NFlash/Video_Playlist.xml"));
  CPlayListManager loaded;
  loaded.SetFileCalss(PLAY_FILE_CALSS_VIDEO);
  loaded.loadFileList();
  EXPECT_EQ(names(loaded), Names{"v.avi"});

  // With the data folder back, its file wins over the flash copy.
  mkdir("GPSData");
  touch("GPSData/Video_Playlist.xml",
        "<LISTS TotolList=\"1\"><LIST><FileType>3</FileType><FileName>w.avi</FileName></LIST></LISTS>");
  loaded.loadFileList();
  EXPECT_EQ(names(loaded), Names{"w.avi"});

  fs::remove_all(host("GPSData"));
  fs::remove_all(host("NFlash"));
  CPlayListManager nowhere;
  merge(nowhere, {{9, "\\", "x", 0}});
  EXPECT_FALSE(nowhere.SavePlayListtoExtStorage());
  nowhere.loadFileList();
  EXPECT_EQ(nowhere.getTotalCount(), 0);
  EXPECT_EQ(nowhere.getAbsIndex(), -1);
  EXPECT_EQ(nowhere.getCurPageIndex(), -1);
}

TEST_F(PlayListTest, BadFilesGiveAnEmptyOrPartialListAndNeverCrash) {
  struct Case {
    const char* what;
    std::string xml;
    Names names;
  };
  const Case cases[] = {
      {"empty file", "", {}},
      {"not XML", "this is not a play list\n\x01\x02\xff", {}},
      {"truncated", "<LISTS TotolList=\"2\"><LIST><FileType>4</FileType><FileName>a.mp3</Fil", {}},
      {"other root", "<PLAYLIST><LIST><FileName>a.mp3</FileName></LIST></PLAYLIST>", {}},
      {"empty root", "<LISTS TotolList=\"99\"/>", {}},
      {"missing children",
       "<LISTS><LIST><FileName>b.mp3</FileName></LIST><LIST></LIST><LIST><FileType>4</FileType></LIST></LISTS>",
       {"", "", "b.mp3"}},
      // Each child is looked for after the one found before it, so a name ahead of the kind is missed.
      {"children out of order", "<LISTS><LIST><FileName>n.mp3</FileName><FileType>4</FileType></LIST></LISTS>", {""}},
      {"hostile numbers",
       "<LISTS><LIST><FileType>99999999999999</FileType><FileName>h.mp3</FileName>"
       "<PlayTime>-2147483649</PlayTime></LIST></LISTS>",
       {"h.mp3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeAudioList("GPSData", c.xml);
    std::unique_ptr<CPlayListManager> list(audioList());
    EXPECT_EQ(list->loadFileList(), 1);
    EXPECT_EQ(names(*list), c.names);
    EXPECT_EQ(list->getAbsIndex(), c.names.empty() ? -1 : 0);
    // Nothing a player does with such a list may crash.
    list->OnDown();
    list->OnUp();
    list->OnRandom();
    list->OnEnter();
    list->OnPgDn();
  }
}

TEST_F(PlayListTest, MissingChildrenLeaveZeroOrNull) {
  writeAudioList("GPSData",
                 "<LISTS TotolList=\"1\"><LIST><FileType index=\"1\">4</FileType><FileName index=\"1\">a.mp3</FileName>"
                 "</LIST></LISTS>");
  std::unique_ptr<CPlayListManager> list(audioList());
  list->loadFileList();
  _PlayListData* a = list->GetSelectedFile();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->dir, nullptr);
  EXPECT_EQ(a->playTime, 0);
  EXPECT_EQ(u8(a->name), "a.mp3");
}

TEST_F(PlayListTest, TenThousandEntriesRoundTrip) {
  const int count = 10000;
  std::string xml = "<LISTS TotolList=\"10000\">\r\n";
  for (int i = count; i >= 1; --i) {
    std::string n = std::to_string(100000 + i);
    xml += "<LIST><FileType>4</FileType><FileDir>\\StorageCard\\</FileDir><FileName>s" + n +
           ".mp3</FileName><PlayTime>" + std::to_string(i) + "</PlayTime></LIST>\r\n";
  }
  xml += "</LISTS>\r\n";
  writeAudioList("GPSData", xml);
  std::unique_ptr<CPlayListManager> list(audioList());
  list->loadFileList();
  ASSERT_EQ(list->getTotalCount(), count);
  list->setAbsIndex(count - 1);
  EXPECT_EQ(u8(list->GetSelectedFile()->name), "s110000.mp3");
  EXPECT_EQ(list->GetSelectedFile()->playTime, count);
  ASSERT_TRUE(list->SavePlayListtoExtStorage());
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(host("GPSData/Audio_Playlist.xml").c_str()));
  pugi::xml_node first = doc.child("LISTS").first_child();
  EXPECT_STREQ(first.child_value("FileName"), "s110000.mp3");
  EXPECT_EQ(first.child("FileName").attribute("index").as_int(), count);
  EXPECT_EQ(static_cast<int>(std::distance(doc.child("LISTS").begin(), doc.child("LISTS").end())), count);
}

// A write that fails half-way (here: the file-size limit; on the unit: a full card or a power
// cut) must leave the previous play list as it was.
TEST_F(PlayListTest, FailedSaveKeepsThePreviousFile) {
  const std::string previous =
      "<LISTS TotolList=\"1\"><LIST><FileType>4</FileType><FileName>old.mp3</FileName></LIST></LISTS>";
  writeAudioList("GPSData", previous);
  std::unique_ptr<CPlayListManager> list(audioList());
  list->loadFileList();
  std::vector<Pick> many;
  for (int i = 0; i < 200; ++i) many.push_back({4, "\\StorageCard\\", "new" + std::to_string(i) + ".mp3", 0});
  merge(*list, many);

  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 512;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  BOOL saved1 = list->SavePlayListtoExtStorage();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(read("GPSData/Audio_Playlist.xml"), previous);
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(host("GPSData"))) files.push_back(e.path().filename().string());
  EXPECT_EQ(files, Names{"Audio_Playlist.xml"}) << "a failed save leaves no partial file behind";
  // The flash copy may take the list instead; it must then be complete.
  if (saved1) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(host("NFlash/Audio_Playlist.xml").c_str()));
    EXPECT_STREQ(doc.child("LISTS").attribute("TotolList").value(), "201");
  } else {
    EXPECT_TRUE(list->isModified());
  }
}

TEST_F(PlayListTest, SaveReplacesTheFileInsteadOfRewritingItInPlace) {
  const std::string previous = "<LISTS TotolList=\"0\"/>";
  writeAudioList("GPSData", previous);
  // An open reader of the old file keeps seeing the old list: the new one is a new file.
  std::ifstream reader(host("GPSData/Audio_Playlist.xml"), std::ios::binary);
  std::unique_ptr<CPlayListManager> list(audioList());
  merge(*list, {{4, "\\StorageCard\\", "a.mp3", 0}});
  ASSERT_TRUE(list->SavePlayListtoExtStorage());
  std::stringstream old;
  old << reader.rdbuf();
  EXPECT_EQ(old.str(), previous);
  EXPECT_NE(read("GPSData/Audio_Playlist.xml").find("a.mp3"), std::string::npos);
  std::vector<std::string> leftovers;
  for (const auto& e : fs::directory_iterator(host("GPSData"))) leftovers.push_back(e.path().filename().string());
  EXPECT_EQ(leftovers, Names{"Audio_Playlist.xml"}) << "no temporary file is left behind";
}

TEST_F(PlayListTest, DeletingMovesTheCursorAndPageAndSavesOnDestruction) {
  std::vector<Pick> ten;
  for (int i = 0; i < 10; ++i) ten.push_back({4, "\\StorageCard\\", "s" + std::to_string(i) + ".mp3", 0});
  {
    std::unique_ptr<CPlayListManager> list(audioList());
    merge(*list, ten);
    ASSERT_TRUE(list->SavePlayListtoExtStorage());
    EXPECT_FALSE(list->isModified());
  }
  struct Case {
    int absIndex, pageStart, indexBak, remove;
    int absAfter, pageAfter, bakAfter, count;
  };
  const Case cases[] = {
      // The cursor alone on the last page: the page moves up and the cursor onto the new last entry.
      {9, 9, 9, 9, 8, 0, 9, 9},
      // Deleting before the cursor keeps the index (the next entry moves under it).
      {5, 0, 7, 2, 5, 0, 6, 9},
      {9, 0, 3, 0, 8, 0, 3, 9},
      // Out of range: nothing happens.
      {4, 0, 4, 10, 4, 0, 4, 10},
      {4, 0, 4, -1, 4, 0, 4, 10},
  };
  const std::string tenEntries = read("GPSData/Audio_Playlist.xml");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.remove);
    writeAudioList("GPSData", tenEntries);
    std::unique_ptr<CPlayListManager> list(audioList());
    list->loadFileList();
    ASSERT_EQ(list->getTotalCount(), 10);
    list->setAbsIndex(c.absIndex);
    for (int i = 0; i < c.pageStart / 9; ++i) list->OnPgDn();
    list->setSelectBak(c.indexBak);
    list->DeleteListFile(c.remove);
    EXPECT_EQ(list->getAbsIndex(), c.absAfter);
    EXPECT_EQ(list->getCurPageIndex(), c.pageAfter);
    EXPECT_EQ(list->getSelectBak(), c.bakAfter);
    EXPECT_EQ(list->getTotalCount(), c.count);
    EXPECT_EQ(!!list->isModified(), c.count != 10);
    list.reset();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(host("GPSData/Audio_Playlist.xml").c_str()));
    EXPECT_EQ(doc.child("LISTS").attribute("TotolList").as_int(), c.count) << "saved on destruction when changed";
  }
  std::unique_ptr<CPlayListManager> list(audioList());
  list->loadFileList();
  ASSERT_EQ(list->getTotalCount(), 10);
  while (list->getTotalCount() > 0) list->DeleteListFile(0);
  EXPECT_EQ(list->getAbsIndex(), -1);
  EXPECT_EQ(list->getCurPageIndex(), -1);
  list.reset();
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(host("GPSData/Audio_Playlist.xml").c_str()));
  EXPECT_STREQ(doc.child("LISTS").attribute("TotolList").value(), "0");
  EXPECT_FALSE(doc.child("LISTS").first_child());
}

TEST_F(PlayListTest, UnchangedListIsNotWrittenOnDestruction) {
  const std::string previous =
      "<LISTS TotolList=\"1\">\n  <LIST><FileType>4</FileType><FileName>keep.mp3</FileName></LIST>\n</LISTS>\n";
  writeAudioList("GPSData", previous);
  {
    std::unique_ptr<CPlayListManager> list(audioList());
    list->loadFileList();
    list->OnDown();
    list->OnRandom();
  }
  EXPECT_EQ(read("GPSData/Audio_Playlist.xml"), previous);
}

TEST_F(PlayListTest, RandomPlayDrawsOnlyPlayableEntriesAndGivesUpOnFolders) {
  writeAudioList("GPSData",
                 "<LISTS><LIST><FileType>2</FileType><FileName>a</FileName></LIST>"
                 "<LIST><FileType>1</FileType><FileName>b</FileName></LIST>"
                 "<LIST><FileType>2</FileType><FileName>c</FileName></LIST></LISTS>");
  std::unique_ptr<CPlayListManager> list(audioList());
  list->loadFileList();
  ASSERT_EQ(list->getTotalCount(), 3);
  EXPECT_EQ(list->OnRandom(), 0) << "a list of folders has nothing to play";
  EXPECT_EQ(list->getAbsIndex(), 0);

  writeAudioList("GPSData",
                 "<LISTS><LIST><FileType>2</FileType><FileName>a</FileName></LIST>"
                 "<LIST><FileType>4</FileType><FileName>b.mp3</FileName></LIST>"
                 "<LIST><FileType>2</FileType><FileName>c</FileName></LIST></LISTS>");
  list->loadFileList();
  std::srand(7);
  int hits = 0;
  for (int i = 0; i < 50; ++i)
    if (list->OnRandom() == 1) {
      EXPECT_EQ(list->getAbsIndex(), 1);
      ++hits;
    }
  EXPECT_GT(hits, 0);

  // One file among many folders is always found in the end, however many draws it takes.
  std::string sparse = "<LISTS>";
  for (int i = 0; i < 40; ++i) sparse += "<LIST><FileType>2</FileType><FileName>d" + std::to_string(10 + i) + "</FileName></LIST>";
  sparse += "<LIST><FileType>4</FileType><FileName>zz.mp3</FileName></LIST></LISTS>";
  writeAudioList("GPSData", sparse);
  list->loadFileList();
  for (int i = 0; i < 30; ++i) {
    ASSERT_EQ(list->OnRandom(), 1);
    EXPECT_EQ(list->getAbsIndex(), 40);
    EXPECT_EQ(list->getCurPageIndex(), 36);
  }

  writeAudioList("GPSData", "<LISTS><LIST><FileType>4</FileType><FileName>only.mp3</FileName></LIST></LISTS>");
  list->loadFileList();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list->OnRandom(), 1);
    EXPECT_EQ(list->getAbsIndex(), 0);
  }
  list->unloadFileList();
  EXPECT_EQ(list->OnRandom(), 0);
}

TEST_F(PlayListTest, CursorStepsRememberTheLastPlayedEntry) {
  writeAudioList("GPSData",
                 "<LISTS><LIST><FileType>4</FileType><FileName>a.mp3</FileName></LIST>"
                 "<LIST><FileType>4</FileType><FileName>b.mp3</FileName></LIST></LISTS>");
  std::unique_ptr<CPlayListManager> list(audioList());
  list->loadFileList();
  list->setSelectBak(-1);
  EXPECT_EQ(list->OnDown(), 1);
  EXPECT_TRUE(logged("IndexBak/IndexSelect -1 --- 1\n"));
  EXPECT_EQ(list->getSelectBak(), 1);
  EXPECT_EQ(list->OnUp(), 1);
  EXPECT_TRUE(logged("IndexBak/IndexSelect 1 --- 0\n"));
  list->setAbsIndex(1);
  list->ReflashIndexBak();
  EXPECT_EQ(list->getSelectBak(), 1);
  EXPECT_TRUE(logged("IndexBak/IndexSelect 0 --- 1\n"));
}

TEST_F(PlayListTest, EnterPlaysFilesAndReloadsOnFolders) {
  writeAudioList("GPSData",
                 "<LISTS><LIST><FileType>1</FileType><FileName>a</FileName></LIST>"
                 "<LIST><FileType>2</FileType><FileName>b</FileName></LIST>"
                 "<LIST><FileType>4</FileType><FileName>c.mp3</FileName></LIST>"
                 "<LIST><FileType>5</FileType><FileName>d.jpg</FileName></LIST></LISTS>");
  std::unique_ptr<CPlayListManager> list(audioList());
  list->InitSDRoot(u"\\StorageCard\\");
  list->loadFileList();
  ASSERT_EQ(list->getTotalCount(), 4);
  auto workDir = [&] {
    WCHAR dir[MAX_PATH];
    list->getWorkDirectory(dir);
    return u8(dir);
  };
  list->setAbsIndex(2);
  ASSERT_NE(list->OnEnter(), nullptr);
  EXPECT_EQ(u8(list->OnEnter()->name), "c.mp3");
  list->setAbsIndex(3);
  EXPECT_EQ(list->OnEnter(), nullptr) << "a photo in the audio list";
  EXPECT_EQ(list->getAbsIndex(), 3) << "left as it was";

  list->setPageElementNumber(2);
  list->OnPgDn();
  list->setAbsIndex(0);
  EXPECT_EQ(list->OnEnter(), nullptr);  // the parent entry does nothing but move the cursor
  EXPECT_EQ(workDir(), "\\StorageCard\\");
  EXPECT_EQ(list->getAbsIndex(), 2);

  list->setAbsIndex(1);
  list->SetFileState(list->GetSelectedFile(1), 1);  // a folder is no selectable file: ignored
  EXPECT_EQ(list->OnEnter(), nullptr);
  EXPECT_EQ(workDir(), "\\StorageCard\\b\\");
  EXPECT_EQ(list->getTotalCount(), 4) << "the play list is read again";
  EXPECT_EQ(list->getCurPageIndex(), 0);
  EXPECT_EQ(list->getAbsIndex(), 0);

  list->setAbsIndex(2);
  list->SetFileState(list->GetSelectedFile(), 1);
  EXPECT_EQ(list->GetSelectedFile()->state, FILE_STATE_MISSING);
  list->SetFileState(nullptr, 0);
}

TEST_F(PlayListTest, PlayListFilesFollowTheFilter) {
  const char* expected[] = {"NO", "Video", "Audio", "Photo", "Mapexe", "Image", "Text", "All"};
  CPlayListManager list;
  for (int f = 0; f <= 7; ++f) {
    list.setFFFilterOption(static_cast<_FindFileFilterOption_PLAY>(f));
    WCHAR primary[MAX_PATH];
    WCHAR fallback[MAX_PATH];
    list.GetCurrenXMLFile(primary, fallback);
    EXPECT_EQ(u8(primary), std::string("\\GPSData\\") + expected[f] + "_Playlist.xml");
    EXPECT_EQ(u8(fallback), std::string("\\NFlash\\") + expected[f] + "_Playlist.xml");
  }
  list.setFFFilterOption(static_cast<_FindFileFilterOption_PLAY>(8));
  WCHAR primary[MAX_PATH] = u"keep";
  WCHAR fallback[MAX_PATH] = u"keep";
  list.GetCurrenXMLFile(primary, fallback);
  EXPECT_EQ(u8(primary), "keep");
  EXPECT_EQ(u8(fallback), "keep");
  merge(list, {{9, "\\", "x", 0}});
  EXPECT_FALSE(list.SavePlayListtoExtStorage()) << "no file for this filter";
  EXPECT_EQ(list.findDirectory(u"\\Nowhere\\"), 1);
  EXPECT_EQ(list.getTotalCount(), 1) << "a play list lists no folders";

  // Hidden folders do not depend on the filter here.
  for (int f : {0, 2, 4, 7, 8}) {
    SCOPED_TRACE(f);
    list.setFFFilterOption(f);
    EXPECT_EQ(list.SkipDirectory(u"\\storagecard\\music\\"), 0);
    EXPECT_EQ(list.SkipDirectory(u"\\AudioCard\\"), 0);
    EXPECT_EQ(list.SkipDirectory(u"\\USB Disk\\"), 0);
    EXPECT_EQ(list.SkipDirectory(u"\\SDMMC\\"), 0);
    EXPECT_EQ(list.SkipDirectory(u"\\Hard Disk\\"), 1);
    EXPECT_EQ(list.SkipDirectory(u"\\Windows\\"), 1);
  }
}

TEST_F(PlayListTest, RootIsTheStorageCardFolderFromTheRegistry) {
  auto workDir = [](CPlayListManager& list) {
    WCHAR dir[MAX_PATH];
    list.getWorkDirectory(dir);
    return u8(dir);
  };
  {
    CPlayListManager list;
    EXPECT_EQ(workDir(list), "\\") << "no storage card named";
  }
  plat::registry::loadText(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\n\"Folder\"=\"SD Card\"\n");
  {
    CPlayListManager list;
    EXPECT_EQ(workDir(list), "\\SD Card\\");
  }
  plat::registry::loadText(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory]\n\"Folder\"=\"SD Card\"\n\n"
      "[HKEY_LOCAL_MACHINE\\System\\StorageManager\\Profiles\\SDMemory1]\n\"Folder\"=\"StorageCard\"\n");
  {
    CPlayListManager list;
    EXPECT_EQ(workDir(list), "\\StorageCard\\");
  }
}

TEST_F(PlayListTest, MergeSkipsKnownFilesAndTheCheckDropsMissingOnes) {
  touch("StorageCard/a.mp3");
  touch("StorageCard/b.mp3");
  touch("StorageCard/c.mp3");
  CFileListManager files;
  files.SetFileCalss(FILE_CALSS_AUDIO);
  files.setWorkDirectory(u"\\StorageCard\\");
  ASSERT_EQ(files.AddalltoFileList(), 1);

  std::unique_ptr<CPlayListManager> list(audioList());
  EXPECT_EQ(list->mergeSelection(files), 3);
  EXPECT_EQ(list->mergeSelection(files), 0) << "files already in the list are not added again";
  EXPECT_EQ(list->getAbsIndex(), 0);
  EXPECT_TRUE(list->isModified());

  fs::remove(host("StorageCard/b.mp3"));
  list->setAbsIndex(2);
  EXPECT_EQ(list->removeMissingFiles(), 1);
  EXPECT_EQ(names(*list), (Names{"a.mp3", "c.mp3"}));
  EXPECT_EQ(list->getAbsIndex(), 1);
  ASSERT_TRUE(list->SavePlayListtoExtStorage());
  list.reset();
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(host("GPSData/Audio_Playlist.xml").c_str()));
  EXPECT_STREQ(doc.child("LISTS").attribute("TotolList").value(), "2");
  EXPECT_STREQ(doc.child("LISTS").first_child().child_value("FileName"), "c.mp3");
}

TEST_F(PlayListTest, OverlongTextsAreCutInTheListAndInTheFile) {
  std::string longName(300, 'n');
  longName += ".mp3";
  std::unique_ptr<CPlayListManager> list(audioList());
  merge(*list, {{4, "\\" + std::string(300, 'd') + "\\", longName, 0}});
  list->setAbsIndex(0);
  _PlayListData* e = list->GetSelectedFile();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::u16string(e->name).size(), static_cast<size_t>(MAX_PATH - 1));
  EXPECT_EQ(std::u16string(e->dir).size(), static_cast<size_t>(MAX_PATH - 1));
  EXPECT_EQ(list->addAudioListFile(u16(longName).c_str()), 1);
  EXPECT_EQ(list->getTotalCount(), 2);
  ASSERT_TRUE(list->SavePlayListtoExtStorage());
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(host("GPSData/Audio_Playlist.xml").c_str()));
  EXPECT_EQ(std::string(doc.child("LISTS").first_child().child_value("FileName")), std::string(MAX_PATH - 1, 'n'));
  EXPECT_STREQ(doc.child("LISTS").first_child().child_value("FileDir"), "") << "added entries have no folder";

  // A hostile file with texts over the limit loads them cut.
  writeAudioList("GPSData", "<LISTS><LIST><FileType>4</FileType><FileDir>" + std::string(5000, 'x') +
                                "</FileDir><FileName>" + std::string(5000, 'y') + "</FileName></LIST></LISTS>");
  list->loadFileList();
  e = list->GetSelectedFile();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::u16string(e->name).size(), static_cast<size_t>(MAX_PATH - 1));
  EXPECT_EQ(std::u16string(e->dir).size(), static_cast<size_t>(MAX_PATH - 1));
}

}  // namespace
