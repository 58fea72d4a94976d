// Process start-and-wait and change-notification round trips, each beside the bare host call
// it is built on (posix_spawn + waitpid, inotify read).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "windows.h"

extern char** environ;

namespace {

void platformUp() {
  static bool done = false;
  if (done) return;
  plat::Options options;
  options.persistRegistry = false;
  plat::startup(options);
  plat::console::setEcho(false);
  done = true;
}

void BM_CreateProcessAndWait(benchmark::State& state) {
  platformUp();
  for (auto _ : state) {
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(u"\\bin\\true", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi)) {
      state.SkipWithError("CreateProcessW failed");
      break;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}
BENCHMARK(BM_CreateProcessAndWait)->UseRealTime();

void BM_PosixSpawnAndWaitpid(benchmark::State& state) {
  char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/true", nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("posix_spawn failed");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
  }
}
BENCHMARK(BM_PosixSpawnAndWaitpid)->UseRealTime();

std::string tempFolder() {
  char pattern[] = "/tmp/hu-bench-XXXXXX";
  return mkdtemp(pattern) ? std::string(pattern) : std::string();
}

// A folder made under the watched folder, until its record has been read.
void BM_ChangeNotificationRoundTrip(benchmark::State& state) {
  platformUp();
  std::string root = tempFolder();
  std::u16string deviceRoot = plat::utf8ToUtf16(root);
  HANDLE h = CeFindFirstChangeNotification(deviceRoot.c_str(), FALSE, 0x8000001Bu);
  if (h == INVALID_HANDLE_VALUE) {
    state.SkipWithError("no notification");
    return;
  }
  std::string folder = root + "/StorageCard";
  DWORD buffer[1024];
  for (auto _ : state) {
    mkdir(folder.c_str(), 0755);
    WaitForSingleObject(h, INFINITE);
    DWORD got = 0, available = 0;
    CeGetFileNotificationInfo(h, 0, buffer, sizeof buffer, &got, &available);
    rmdir(folder.c_str());
    WaitForSingleObject(h, INFINITE);
    CeGetFileNotificationInfo(h, 0, buffer, sizeof buffer, &got, &available);
  }
  FindCloseChangeNotification(h);
  rmdir(root.c_str());
}
BENCHMARK(BM_ChangeNotificationRoundTrip)->UseRealTime();

void BM_InotifyRoundTrip(benchmark::State& state) {
  std::string root = tempFolder();
  int fd = inotify_init1(IN_CLOEXEC);
  inotify_add_watch(fd, root.c_str(), IN_CREATE | IN_DELETE);
  std::string folder = root + "/StorageCard";
  alignas(inotify_event) char buffer[4096];
  for (auto _ : state) {
    mkdir(folder.c_str(), 0755);
    benchmark::DoNotOptimize(read(fd, buffer, sizeof buffer));
    rmdir(folder.c_str());
    benchmark::DoNotOptimize(read(fd, buffer, sizeof buffer));
  }
  close(fd);
  rmdir(root.c_str());
}
BENCHMARK(BM_InotifyRoundTrip)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
