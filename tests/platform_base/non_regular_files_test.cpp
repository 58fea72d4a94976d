// Entries that are not files, at every reader of outside files: refused at once (a named pipe
// would hold the reader for good), named on the console, listed as system entries. And what the
// shell writes is never group or world writable.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "markup.h"
#include "unit_root_fixture.h"

namespace fsys = std::filesystem;

namespace {

class SpecialFilesTest : public hu::test::UnitRootFixture {};

TEST_F(SpecialFilesTest, EveryReaderRefusesAtOnceAndTheConsoleNamesWhatExists) {
  ::alarm(60);  // watchdog: a reader waiting on a pipe ends the program
  using Path = const fsys::path&;
  const std::function<void(Path)> kinds[] = {  // the first two exist: they are named
      [](Path p) { ::mkfifo(p.c_str(), 0644); }, [](Path p) { fsys::create_symlink("/dev/zero", p); },
      [](Path p) { fsys::create_symlink(p.filename(), p); }, [](Path p) { fsys::create_symlink("gone.bin", p); },
      [](Path p) { fsys::create_directory(p); }};
  using Device = const std::u16string&;
  std::string bytes;
  const std::function<bool(Device)> refused[] = {
      [](Device d) { return !CMarkup().Load(d); },
      [&](Device d) { return !plat::readHostFile(plat::hostPath(d), bytes); },
      [](Device d) { return !SHLoadDIBitmap(d.c_str()); },
      [](Device d) { return !LoadLibraryExW(d.c_str(), nullptr, 0); },
      [](Device d) { return !CopyFileW(d.c_str(), u"\\copy.bin", FALSE); },
      [](Device d) {
        HANDLE h = CreateFileW(d.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        return h == INVALID_HANDLE_VALUE || (CloseHandle(h), false);
      }};
  for (size_t k = 0; k < std::size(kinds); ++k) {
    const fsys::path host = root_ / ("entry" + std::to_string(k) + ".bin");
    kinds[k](host);
    for (size_t r = 0; r < std::size(refused); ++r) {
      lines_.clear();
      EXPECT_TRUE(refused[r](u"\\" + host.filename().u16string())) << "reader " << r << " took entry " << k;
      bool named = k >= 2;
      for (const std::string& line : lines_) named |= line.find(host.string()) != std::string::npos;
      EXPECT_TRUE(named) << "reader " << r << " said nothing of entry " << k;
    }
    WIN32_FIND_DATAW data;
    FindClose(FindFirstFileW((u"\\" + host.filename().u16string()).c_str(), &data));
    EXPECT_EQ((data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0, k != 4) << k;  // folders are no system entries
  }
  ::alarm(0);
}

// Whatever mask the shell was started with and whatever mode a replaced or copied file had.
TEST_F(SpecialFilesTest, WrittenFilesAreNeverGroupOrWorldWritable) {
  const mode_t saved = ::umask(0);
  plat::startup(plat::Options{root_.string(), u"\\Windows\\launcher.exe", "", false});
  for (const char* shared : {"settings.xml", "source.bin", "damaged.xml"})
    std::ofstream(root_ / shared) << "x", ::chmod((root_ / shared).c_str(), 0666);
  plat::writeFileAtomically((root_ / "new.xml").string(), "x");
  plat::writeFileAtomically((root_ / "settings.xml").string(), "x");
  CopyFileW(u"\\source.bin", u"\\copy.bin", FALSE);
  CloseHandle(CreateFileW(u"\\made.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  plat::console::setFile((root_ / "console.txt").string());
  OutputDebugStringW(u"line\n");
  plat::console::setFile("");
  const std::string kept = plat::keepDamagedCopy((root_ / "damaged.xml").string());
  for (const std::string file : {"new.xml", "settings.xml", "copy.bin", "made.bin", "console.txt", kept.c_str()}) {
    struct stat st {};
    EXPECT_TRUE(::stat((root_ / file).c_str(), &st) == 0 && !(st.st_mode & 022)) << file << std::oct << st.st_mode;
  }
  ::umask(saved);
}

}  // namespace
