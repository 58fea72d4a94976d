// The unit root and the file calls: path mapping with case-blind names, Windows error codes,
// creation dispositions, read-only files, copies, moves, folders and enumeration.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/kernel_object.h"
#include "fs/fs_internal.h"
#include "windows.h"

namespace fsys = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hu-files-XXXXXX";
    root_ = mkdtemp(pattern);
    plat::setUnitRoot(root_.string());
    handlesBefore_ = plat::openHandleCount();
  }
  void TearDown() override {
    EXPECT_EQ(plat::openHandleCount(), handlesBefore_) << "a handle was left open";
    plat::setUnitRoot("");
    fsys::permissions(root_, fsys::perms::owner_all, fsys::perm_options::add);
    fsys::remove_all(root_);
  }
  void write(const std::string& relative, const std::string& text) {
    fsys::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary) << text;
  }
  std::string read(const std::string& relative) {
    std::ifstream in(root_ / relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string host(const std::string& relative) { return (root_ / relative).string(); }

  fsys::path root_;
  size_t handlesBefore_ = 0;
};

DWORD lastError() { return GetLastError(); }

TEST_F(FilesTest, DevicePathsMapIntoTheUnitRootWithoutRegardToCase) {
  write("StorageCard/Music/Song.MP3", "x");
  fsys::create_directories(root_ / "GPSData");
  const struct {
    const char16_t* device;
    std::string host;
  } cases[] = {
      {u"\\storagecard\\MUSIC\\song.mp3", "StorageCard/Music/Song.MP3"},
      {u"/StorageCard/Music/Song.MP3", "StorageCard/Music/Song.MP3"},
      {u"\\STORAGECARD\\Music\\New\\x.txt", "StorageCard/Music/New/x.txt"},
      {u"\\StorageCard\\..\\..\\..\\gpsdata", "GPSData"},
      {u"\\\\StorageCard\\\\Music\\", "StorageCard/Music"},
      {u"StorageCard\\.\\music", "StorageCard/Music"},
  };
  for (const auto& c : cases) EXPECT_EQ(plat::hostPath(c.device), host(c.host)) << plat::utf16ToUtf8(c.device);
  EXPECT_EQ(plat::hostPath(u"\\"), root_.string());
  EXPECT_EQ(plat::devicePath(host("StorageCard/Music")), u"\\StorageCard\\Music");
  EXPECT_EQ(plat::devicePath(root_.string()), u"\\");
  EXPECT_EQ(plat::devicePath("/elsewhere/x"), u"");
  EXPECT_EQ(plat::devicePath(root_.string() + "x/y"), u"");
  EXPECT_NE(GetFileAttributesW(u"\\STORAGECARD\\music\\SONG.mp3"), INVALID_FILE_ATTRIBUTES);
}

TEST(UnitRoot, WithoutAUnitRootTheHostRootIsUsed) {
  plat::setUnitRoot("");
  EXPECT_EQ(plat::hostPath(u"\\tmp\\x"), "/tmp/x");
  EXPECT_EQ(plat::hostPath(u"/tmp/x"), "/tmp/x");
  EXPECT_EQ(plat::devicePath("/tmp/x"), u"\\tmp\\x");
  EXPECT_EQ(plat::unitRoot(), "");
}

TEST_F(FilesTest, OverlongPathsFailWithoutOverrun) {
  std::u16string almost = u"\\";
  for (int i = 0; i < 25; ++i) almost += u"abcdefghi\\";
  almost += u"abcdefgh";
  ASSERT_EQ(almost.size(), MAX_PATH - 1u);
  std::u16string tooLong = almost + u"b";
  EXPECT_EQ(GetFileAttributesW(almost.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(lastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  const std::u16string huge = u"\\" + std::u16string(5000, u'x');
  for (const auto* path : {tooLong.c_str(), huge.c_str()}) {
    EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    WIN32_FIND_DATAW data;
    EXPECT_EQ(FindFirstFileW(path, &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(CreateDirectoryW(path, nullptr));
    EXPECT_FALSE(DeleteFileW(path));
  }
}

TEST_F(FilesTest, CreationDispositionsAndTheirErrors) {
  const struct {
    DWORD creation;
    bool exists;
    bool opens;
    DWORD error;
    std::string contentAfter;
  } cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<none>"},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<none>"},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
  };
  for (const auto& c : cases) {
    fsys::remove(root_ / "f.txt");
    if (c.exists) write("f.txt", "old");
    HANDLE h = CreateFileW(u"\\f.txt", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, c.creation, 0, nullptr);
    DWORD error = lastError();
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << c.creation << " exists " << c.exists;
    EXPECT_EQ(error, c.error) << c.creation << " exists " << c.exists;
    if (h != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(h));
    }
    std::string content = fsys::exists(root_ / "f.txt") ? read("f.txt") : "<none>";
    EXPECT_EQ(content, c.contentAfter) << c.creation << " exists " << c.exists;
  }
  // A new file keeps the spelling it was created with; an existing one is found in any case.
  HANDLE h = CreateFileW(u"\\NewName.TXT", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(fsys::exists(root_ / "NewName.TXT"));
  EXPECT_EQ(CreateFileW(u"\\newname.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(FilesTest, OpenFailuresReportTheDevicesErrors) {
  fsys::create_directories(root_ / "Folder");
  const struct {
    const char16_t* path;
    DWORD creation;
    DWORD error;
  } cases[] = {
      {u"\\missing.txt", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {u"\\NoFolder\\x.txt", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {u"\\NoFolder\\x.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
      {u"\\Folder", OPEN_EXISTING, ERROR_ACCESS_DENIED},
      {u"\\Folder", CREATE_ALWAYS, ERROR_ACCESS_DENIED},
      {u"\\bad*name.txt", CREATE_ALWAYS, ERROR_INVALID_NAME},
      {u"\\x.txt", 99, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CreateFileW(c.path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, c.creation, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << plat::utf16ToUtf8(c.path);
    EXPECT_EQ(lastError(), c.error) << plat::utf16ToUtf8(c.path);
  }
  EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST_F(FilesTest, ReadWriteSeekSizeAndTruncate) {
  HANDLE h = CreateFileW(u"\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  EXPECT_TRUE(WriteFile(h, "hello world", 11, &done, nullptr));
  EXPECT_EQ(done, 11u);
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(h, &high), 11u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  char buffer[16] = {};
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(done, 5u);
  EXPECT_STREQ(buffer, "world");
  // At the end: success with nothing read.
  EXPECT_TRUE(ReadFile(h, buffer, 4, &done, nullptr));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(SetFilePointer(h, -6, nullptr, FILE_END), 5u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 4u);
  EXPECT_EQ(SetFilePointer(h, -10, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 4u);  // unchanged by the failed seek
  EXPECT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, nullptr), 4u);
  LONG far = 1;
  EXPECT_EQ(SetFilePointer(h, 0, &far, FILE_BEGIN), 0u);
  EXPECT_EQ(far, 1);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
  EXPECT_TRUE(FlushFileBuffers(h));
  FILETIME creation{}, access{}, writeTime{};
  EXPECT_TRUE(GetFileTime(h, &creation, &access, &writeTime));
  EXPECT_GT(writeTime.dwHighDateTime, 0x01D00000u);  // after 2015
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read("data.bin"), "hell");

  h = CreateFileW(u"\\data.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(WriteFile(h, "x", 1, &done, nullptr));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetEndOfFile(h));
  CloseHandle(h);
  EXPECT_FALSE(ReadFile(reinterpret_cast<HANDLE>(0x1234), buffer, 1, &done, nullptr));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
}

// A map on the card may be larger than 2 GiB, and a card's files may carry any date: both are read
// whole on a 32-bit unit too (a sparse file, so it costs no space).
TEST_F(FilesTest, FilesBeyondTwoGigabytesAndDatesBeyond2038AreListedOpenedAndSeekedWhole) {
  const int64_t size = 5LL << 30, at = (4LL << 30) + 7;
  const uint64_t ticks2040 = 0x1EC2C81AC9CC000ull;  // 2040-01-01 00:00 UTC
  {
    fsys::create_directories(root_ / "Maps");
    const int fd = ::open(host("Maps/europe.map").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ASSERT_EQ(::pwrite(fd, "MAP", 3, at), 3);
    const time_t in2040 = static_cast<time_t>(2208988800LL);  // wraps where time_t has 32 bits
    const timespec times[2] = {{in2040, 0}, {in2040, 0}};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
  }
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(u"\\Maps\\*.map", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE) << "the file is not listed";
  FindClose(find);
  EXPECT_EQ((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow, static_cast<uint64_t>(size));
  EXPECT_EQ((uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime, ticks2040);
  EXPECT_EQ(GetFileAttributesW(u"\\Maps\\europe.map"), FILE_ATTRIBUTE_ARCHIVE);
  HANDLE h = CreateFileW(u"\\Maps\\europe.map", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << lastError();
  DWORD high = 0;
  EXPECT_EQ(GetFileSize(h, &high), static_cast<DWORD>(size));
  EXPECT_EQ(high, static_cast<DWORD>(size >> 32));
  LONG seekHigh = static_cast<LONG>(at >> 32);
  EXPECT_EQ(SetFilePointer(h, static_cast<LONG>(at & 0xFFFFFFFF), &seekHigh, FILE_BEGIN), static_cast<DWORD>(at));
  char marker[4] = {};
  DWORD done = 0;
  EXPECT_TRUE(ReadFile(h, marker, 3, &done, nullptr));
  EXPECT_STREQ(marker, "MAP");
  CloseHandle(h);
}

TEST_F(FilesTest, ReadOnlyFilesRefuseWritesAndDeletion) {
  write("ro.txt", "keep");
  ASSERT_TRUE(SetFileAttributesW(u"\\ro.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(GetFileAttributesW(u"\\ro.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(CreateFileW(u"\\ro.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(CreateFileW(u"\\ro.txt", GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileW(u"\\ro.txt"));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  write("src.txt", "new");
  EXPECT_FALSE(CopyFileW(u"\\src.txt", u"\\ro.txt", FALSE));
  EXPECT_EQ(read("ro.txt"), "keep");
  HANDLE h = CreateFileW(u"\\ro.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  ASSERT_TRUE(SetFileAttributesW(u"\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(GetFileAttributesW(u"\\ro.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFileW(u"\\RO.TXT"));
  EXPECT_FALSE(fsys::exists(root_ / "ro.txt"));
  EXPECT_FALSE(DeleteFileW(u"\\ro.txt"));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FilesTest, CopyAndMove) {
  write("Windows/Config.bak", "factory");
  write("GPSData/Config.xml", "broken");
  EXPECT_FALSE(CopyFileW(u"\\Windows\\Config.bak", u"\\GPSData\\Config.xml", TRUE));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_TRUE(CopyFileW(u"\\windows\\config.bak", u"\\gpsdata\\config.xml", FALSE));
  EXPECT_EQ(read("GPSData/Config.xml"), "factory");
  EXPECT_FALSE(CopyFileW(u"\\Windows\\none", u"\\GPSData\\x", FALSE));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CopyFileW(u"\\Windows\\Config.bak", u"\\Nowhere\\x", FALSE));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // No temporary files are left behind.
  size_t count = 0;
  for (auto& e : fsys::directory_iterator(root_ / "GPSData")) count += e.is_regular_file();
  EXPECT_EQ(count, 1u);

  EXPECT_FALSE(MoveFileW(u"\\Windows\\Config.bak", u"\\GPSData\\Config.xml"));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileW(u"\\Windows\\Config.bak", u"\\GPSData\\Config.old"));
  EXPECT_FALSE(fsys::exists(root_ / "Windows/Config.bak"));
  EXPECT_EQ(read("GPSData/Config.old"), "factory");
  EXPECT_TRUE(MoveFileW(u"\\GPSData\\Config.old", u"\\GPSData\\CONFIG.OLD"));
  EXPECT_TRUE(fsys::exists(root_ / "GPSData/CONFIG.OLD"));
  EXPECT_FALSE(MoveFileW(u"\\GPSData\\none", u"\\GPSData\\y"));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FilesTest, FoldersAndAttributes) {
  EXPECT_TRUE(CreateDirectoryW(u"\\StorageCard", nullptr));
  EXPECT_FALSE(CreateDirectoryW(u"\\storagecard", nullptr));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryW(u"\\A\\B", nullptr));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"\\StorageCard") & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesW(u"\\") & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  write("StorageCard/.hidden", "");
  write("StorageCard/plain.txt", "");
  EXPECT_EQ(GetFileAttributesW(u"\\StorageCard\\.hidden"),
            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  EXPECT_EQ(GetFileAttributesW(u"\\StorageCard\\plain.txt"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetFileAttributesW(u"\\StorageCard\\plain.txt\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(u"\\StorageCard\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"\\None\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(RemoveDirectoryW(u"\\StorageCard"));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryW(u"\\StorageCard\\plain.txt"));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(DeleteFileW(u"\\StorageCard"));
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  DeleteFileW(u"\\StorageCard\\.hidden");
  DeleteFileW(u"\\StorageCard\\plain.txt");
  EXPECT_TRUE(RemoveDirectoryW(u"\\STORAGECARD"));
  EXPECT_FALSE(fsys::exists(root_ / "StorageCard"));
  ULONGLONG freeBytes = 0, total = 0, totalFree = 0;
  EXPECT_TRUE(GetDiskFreeSpaceExW(u"\\", &freeBytes, &total, &totalFree));
  EXPECT_GT(total, 0u);
  EXPECT_LE(freeBytes, total);
  EXPECT_FALSE(GetDiskFreeSpaceExW(u"\\none\\none", &freeBytes, nullptr, nullptr));
}

std::vector<std::string> findAll(const char16_t* pattern, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern, &data);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return names;
  }
  do {
    std::string name = plat::utf16ToUtf8(data.cFileName);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) name += "/";
    if (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) name += "(s)";
    names.push_back(name);
  } while (FindNextFileW(h, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(h));
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(FilesTest, FindFollowsTheDevicesPatternRules) {
  for (const char* name : {"b.mp3", "A.MP3", "c.txt", "noext", ".hidden", "song.mp3.bak", "x.mp"})
    write(std::string("Music/") + name, "12345");
  fsys::create_directories(root_ / "Music/Sub");
  using Names = std::vector<std::string>;
  const struct {
    const char16_t* pattern;
    Names names;
  } cases[] = {
      {u"\\music\\*", {".hidden(s)", "A.MP3", "Sub/", "b.mp3", "c.txt", "noext", "song.mp3.bak", "x.mp"}},
      {u"\\Music\\*.*", {".hidden(s)", "A.MP3", "Sub/", "b.mp3", "c.txt", "noext", "song.mp3.bak", "x.mp"}},
      {u"\\Music\\*.mp3", {"A.MP3", "b.mp3"}},
      {u"/Music/*.MP?", {"A.MP3", "b.mp3"}},
      {u"\\Music\\?.txt", {"c.txt"}},
      {u"\\Music\\*.", {"Sub/", "noext"}},
      {u"\\Music\\noext.*", {"noext"}},
      {u"\\Music\\song*", {"song.mp3.bak"}},
      {u"\\Music\\C.TXT", {"c.txt"}},
      {u"\\Music\\", {"Music/"}},
      {u"\\Music\\Sub\\", {"Sub/"}},
  };
  for (const auto& c : cases) EXPECT_EQ(findAll(c.pattern), c.names) << plat::utf16ToUtf8(c.pattern);

  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(u"\\Music\\b.mp3", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_FALSE(FindNextFileW(h, &data));
  FindClose(h);

  const struct {
    const char16_t* pattern;
    DWORD error;
  } failures[] = {
      {u"\\Music\\*.wma", ERROR_FILE_NOT_FOUND},
      {u"\\Music\\Sub\\*", ERROR_FILE_NOT_FOUND},
      {u"\\Nothing\\*.*", ERROR_PATH_NOT_FOUND},
      {u"\\Nothing\\", ERROR_PATH_NOT_FOUND},
      {u"\\Music\\c.txt\\", ERROR_PATH_NOT_FOUND},
  };
  for (const auto& f : failures) {
    DWORD error = 0;
    EXPECT_TRUE(findAll(f.pattern, &error).empty());
    EXPECT_EQ(error, f.error) << plat::utf16ToUtf8(f.pattern);
  }
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
  // A file handle is not a search handle.
  HANDLE file = CreateFileW(u"\\Music\\c.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(FindNextFileW(file, &data));
  EXPECT_FALSE(FindClose(file));
  CloseHandle(file);
}

TEST(FilePatterns, DeviceRules) {
  const struct {
    const char16_t* pattern;
    const char16_t* name;
    bool matches;
  } cases[] = {
      {u"*", u"anything", true},   {u"*.*", u"noext", true},   {u"*.*", u"a.b", true},
      {u"*.mp3", u"x.MP3", true},  {u"*.mp3", u"x.mp3x", false}, {u"*.mp3", u"mp3", false},
      {u"a?c", u"abc", true},      {u"a?c", u"ac", false},     {u"*.", u"noext", true},
      {u"*.", u"a.b", false},      {u"a*b*c", u"aXbYc", true}, {u"a*b*c", u"aXbY", false},
      {u"\u00c9*", u"\u00e9t\u00e9", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(plat::fs::patternMatches(c.pattern, c.name), c.matches)
        << plat::utf16ToUtf8(c.pattern) << " ~ " << plat::utf16ToUtf8(c.name);
}

TEST_F(FilesTest, DeviceNamesGoToTheDeviceAreas) {
  // With no such port or driver the open fails cleanly with the area's error.
  EXPECT_EQ(CreateFileW(u"COM9:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_NE(lastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(fsys::exists(root_ / "COM9:"));
  // Not a device name: an ordinary (invalid) file name.
  EXPECT_EQ(CreateFileW(u"COM:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(lastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(FilesTest, AtomicReplacementKeepsModeAndLeavesNoTemporaryFile) {
  write("settings.xml", "old");
  fsys::permissions(root_ / "settings.xml", fsys::perms::owner_read | fsys::perms::owner_write);
  ASSERT_TRUE(plat::writeFileAtomically(host("settings.xml"), "new content"));
  EXPECT_EQ(read("settings.xml"), "new content");
  EXPECT_EQ(fsys::status(root_ / "settings.xml").permissions() & fsys::perms::all,
            fsys::perms::owner_read | fsys::perms::owner_write);
  EXPECT_EQ(std::distance(fsys::directory_iterator(root_), fsys::directory_iterator()), 1);
  std::string bytes;
  EXPECT_TRUE(plat::readHostFile(host("settings.xml"), bytes));
  EXPECT_EQ(bytes, "new content");
  EXPECT_FALSE(plat::readHostFile(host("none"), bytes));
  EXPECT_FALSE(plat::readHostFile(root_.string(), bytes));
  EXPECT_FALSE(plat::writeFileAtomically(host("none/x"), "x"));
}

}  // namespace
