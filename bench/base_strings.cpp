// The base platform calls the file lists and screens lean on, beside the C library's own
// versions as the reference: sorting names with lstrcmpW, formatting, UTF-8 decoding, and
// mapping device paths whose case differs from the host's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "windows.h"

namespace {

std::vector<std::u16string> fileNames(size_t count) {
  std::mt19937 random(42);
  const char16_t* stems[] = {u"Track", u"track", u"\u00c9t\u00e9", u"Album", u"Z-Mix", u"01 Intro", u"music"};
  std::vector<std::u16string> names;
  for (size_t i = 0; i < count; ++i) {
    std::u16string name = stems[random() % 7];
    name += u' ';
    name += plat::format(u"%d", static_cast<int>(random() % 1000));
    name += u".mp3";
    names.push_back(name);
  }
  return names;
}

void BM_SortNamesLstrcmpW(benchmark::State& state) {
  auto names = fileNames(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    auto copy = names;
    std::sort(copy.begin(), copy.end(),
              [](const std::u16string& a, const std::u16string& b) { return lstrcmpW(a.c_str(), b.c_str()) < 0; });
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SortNamesLstrcmpW)->Arg(1000);

// Reference: the plain code-unit order of the standard library.
void BM_SortNamesOrdinal(benchmark::State& state) {
  auto names = fileNames(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    auto copy = names;
    std::sort(copy.begin(), copy.end());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SortNamesOrdinal)->Arg(1000);

void BM_FormatPathSnwprintf(benchmark::State& state) {
  WCHAR buffer[MAX_PATH];
  for (auto _ : state) {
    _snwprintf(buffer, MAX_PATH - 1, u"%s\\%s %02d:%02d", u"\\StorageCard\\Music", u"Track 12.mp3", 7, 5);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_FormatPathSnwprintf);

// Reference: the C library's wide printf.
void BM_FormatPathGlibcSwprintf(benchmark::State& state) {
  wchar_t buffer[MAX_PATH];
  for (auto _ : state) {
    std::swprintf(buffer, MAX_PATH, L"%ls\\%ls %02d:%02d", L"\\StorageCard\\Music", L"Track 12.mp3", 7, 5);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_FormatPathGlibcSwprintf);

std::string sampleUtf8() {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "Stra\xc3\x9f" "e \xe4\xb8\xad\xe6\x96\x87 ok ";
  return text;
}

void BM_Utf8ToUtf16(benchmark::State& state) {
  std::string text = sampleUtf8();
  for (auto _ : state) benchmark::DoNotOptimize(plat::utf8ToUtf16(text));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Utf8ToUtf16);

// Reference: the C library's multibyte conversion in a UTF-8 locale.
void BM_Utf8ToWcharGlibc(benchmark::State& state) {
  std::string text = sampleUtf8();
  const char* old = std::setlocale(LC_CTYPE, "C.UTF-8");
  std::vector<wchar_t> out(text.size() + 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::mbstowcs(out.data(), text.c_str(), out.size()));
  }
  if (old) std::setlocale(LC_CTYPE, "C");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Utf8ToWcharGlibc);

class UnitRoot {
 public:
  UnitRoot() {
    char pattern[] = "/tmp/hu-bench-XXXXXX";
    root_ = mkdtemp(pattern);
    std::filesystem::create_directories(root_ / "StorageCard/Music");
    for (int i = 0; i < 200; ++i) std::ofstream(root_ / "StorageCard/Music" / ("Song" + std::to_string(i) + ".MP3"));
    plat::setUnitRoot(root_.string());
  }
  ~UnitRoot() {
    plat::setUnitRoot("");
    std::filesystem::remove_all(root_);
  }

 private:
  std::filesystem::path root_;
};

void BM_HostPathExactCase(benchmark::State& state) {
  UnitRoot root;
  for (auto _ : state) benchmark::DoNotOptimize(plat::hostPath(u"\\StorageCard\\Music\\Song150.MP3"));
}
BENCHMARK(BM_HostPathExactCase);

// Every component in another case: each needs a look through its folder (200 entries last).
void BM_HostPathOtherCase(benchmark::State& state) {
  UnitRoot root;
  for (auto _ : state) benchmark::DoNotOptimize(plat::hostPath(u"\\storagecard\\MUSIC\\song150.mp3"));
}
BENCHMARK(BM_HostPathOtherCase);

void BM_FindAllMp3(benchmark::State& state) {
  UnitRoot root;
  for (auto _ : state) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(u"\\StorageCard\\Music\\*.mp3", &data);
    int count = 0;
    if (h != INVALID_HANDLE_VALUE) {
      do ++count;
      while (FindNextFileW(h, &data));
      FindClose(h);
    }
    benchmark::DoNotOptimize(count);
  }
}
BENCHMARK(BM_FindAllMp3);

}  // namespace

BENCHMARK_MAIN();
