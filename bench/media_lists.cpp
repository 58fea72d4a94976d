// The media lists at the size a full music card reaches: listing a folder of 10 000 files
// with the audio filter, and loading and saving a 10 000-entry play list, each set against a
// plain readdir pass over the same folder. The ratios to that pass are printed at the end.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "media/file_list_manager.h"
#include "media/play_list_manager.h"
#include "windows.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 10000;
fs::path g_root;

void prepareUnit() {
  char pattern[] = "/tmp/hu-bench-media-XXXXXX";
  g_root = mkdtemp(pattern);
  fs::create_directories(g_root / "GPSData");
  fs::create_directories(g_root / "StorageCard" / "Music");
  // Nine in ten are audio; the rest must be read and passed over.
  for (int i = 0; i < kFiles; ++i) {
    char name[64];
    std::snprintf(name, sizeof(name), i % 10 == 9 ? "cover %05d.jpg" : "track %05d - title.mp3", (i * 7919) % kFiles);
    std::ofstream(g_root / "StorageCard" / "Music" / name) << "x";
  }
  plat::Options options;
  options.unitRoot = g_root.string();
  options.persistRegistry = false;
  plat::startup(options);
  plat::console::setEcho(false);

  // A 10 000-entry audio play list.
  CFileListManager files;
  files.SetFileCalss(FILE_CALSS_ALL);
  files.setWorkDirectory(u"\\StorageCard\\Music\\");
  files.AddalltoFileList();
  CPlayListManager list;
  list.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
  list.mergeSelection(files);
  list.SavePlayListtoExtStorage();
}

void BM_ReaddirPass(benchmark::State& state) {
  const std::string folder = (g_root / "StorageCard" / "Music").string();
  for (auto _ : state) {
    DIR* dir = opendir(folder.c_str());
    int n = 0;
    while (dirent* e = readdir(dir)) n += e->d_name[0] != '.';
    closedir(dir);
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_ReaddirPass)->Unit(benchmark::kMillisecond);

void BM_ListAudioFolder(benchmark::State& state) {
  CFileListManager list;
  list.SetFileCalss(FILE_CALSS_AUDIO);
  for (auto _ : state) {
    list.setWorkDirectory(u"\\StorageCard\\Music\\");
    benchmark::DoNotOptimize(list.getTotalCount());
  }
  state.counters["entries"] = list.getTotalCount();
}
BENCHMARK(BM_ListAudioFolder)->Unit(benchmark::kMillisecond);

void BM_LoadPlayList(benchmark::State& state) {
  CPlayListManager list;
  list.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
  for (auto _ : state) {
    list.loadFileList();
    benchmark::DoNotOptimize(list.getTotalCount());
  }
  state.counters["entries"] = list.getTotalCount();
}
BENCHMARK(BM_LoadPlayList)->Unit(benchmark::kMillisecond);

void BM_SavePlayList(benchmark::State& state) {
  CPlayListManager list;
  list.SetFileCalss(PLAY_FILE_CALSS_AUDIO);
  list.loadFileList();
  for (auto _ : state) benchmark::DoNotOptimize(list.SavePlayListtoExtStorage());
  state.counters["entries"] = list.getTotalCount();
}
BENCHMARK(BM_SavePlayList)->Unit(benchmark::kMillisecond);

// Keeps each run's time so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times_[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    ConsoleReporter::ReportRuns(runs);
  }
  // Both clocks: on a shared machine the wall time carries the waits for a core.
  void printRatios() const {
    auto base = times_.find("BM_ReaddirPass");
    if (base == times_.end() || base->second.real <= 0 || base->second.cpu <= 0) return;
    std::printf("\nRatio to a plain readdir pass over the same %d files (%.3f ms wall, %.3f ms CPU):\n", kFiles,
                base->second.real, base->second.cpu);
    for (const auto& [name, t] : times_)
      if (name != base->first)
        std::printf("  %-20s %8.3f ms wall x%5.1f   %8.3f ms CPU x%5.1f\n", name.c_str(), t.real,
                    t.real / base->second.real, t.cpu, t.cpu / base->second.cpu);
  }

 private:
  struct Times {
    double real;
    double cpu;
  };
  std::map<std::string, Times> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  prepareUnit();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  plat::shutdown();
  std::error_code ignored;
  fs::remove_all(g_root, ignored);
  return 0;
}
