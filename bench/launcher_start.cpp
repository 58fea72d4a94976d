// Cold start of the launcher, side by side with its reference: the same program asked only for
// its usage text, which loads the same libraries and exits at once. The launcher runs headless
// on a prepared unit with an input script whose only step is "quit": the script player waits
// until the windows are idle with their first frame drawn and presented, then ends the program.
// The idle resident memory is measured on a launcher left running for two seconds.
#include <benchmark/benchmark.h>
#include <mqueue.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kLauncher = std::string(HU_BINARY_DIR) + "/launcher/launcher";

struct Unit {
  std::string dir;
  Unit() {
    dir = (fs::temp_directory_path() / ("hu_bench_start_" + std::to_string(getpid()))).string();
    std::string command = "'" + std::string(HU_SOURCE_DIR) + "/scripts/prepare-unit.sh' '" + dir + "/unit' >/dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
    // No program starts by itself: the measure is the launcher's own start.
    fs::remove_all(dir + "/unit/StorageCard/NaviOnej0p");
    std::ofstream(dir + "/quit.txt") << "quit\n";
    // Queues of their own, emptied after every run: with no companion reading them, a full
    // queue would make each message the launcher sends wait for its time-out.
    prefix = "hu-bench-" + std::to_string(getpid()) + "-";
    setenv("HU_MSGQUEUE_PREFIX", prefix.c_str(), 1);
  }
  void dropQueues() {
    for (const char* q : {"__MsgQueue_RUZ_Send__", "__MsgQueue_RUZ_Read__"}) mq_unlink(("/" + prefix + q).c_str());
  }
  std::string prefix;
  ~Unit() {
    dropQueues();
    fs::remove_all(dir);
  }
};

Unit& unit() {
  static Unit u;
  return u;
}

pid_t spawn(const std::vector<std::string>& argv) {
  pid_t pid = fork();
  if (pid == 0) {
    FILE* null = std::fopen("/dev/null", "w");
    dup2(fileno(null), 1);
    dup2(fileno(null), 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void runToEnd(const std::vector<std::string>& argv, benchmark::State& state) {
  int status = 0;
  waitpid(spawn(argv), &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the program failed");
}

void BM_BareProgramStartAndExit(benchmark::State& state) {
  for (auto _ : state) runToEnd({kLauncher, "--help"}, state);
}
BENCHMARK(BM_BareProgramStartAndExit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_LauncherColdStartToFirstFrame(benchmark::State& state) {
  Unit& u = unit();
  for (auto _ : state) {
    runToEnd({kLauncher, "--unit", u.dir + "/unit", "--display", "headless", "--script", u.dir + "/quit.txt",
              "--snapshots", u.dir + "/screens"},
             state);
    state.PauseTiming();
    u.dropQueues();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LauncherColdStartToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

long residentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

void BM_LauncherIdleResidentMemory(benchmark::State& state) {
  Unit& u = unit();
  long kb = 0;
  for (auto _ : state) {
    pid_t pid = spawn({kLauncher, "--unit", u.dir + "/unit", "--display", "headless", "--snapshots", u.dir + "/screens"});
    std::this_thread::sleep_for(std::chrono::seconds(2));
    kb = residentKb(pid);
    kill(pid, SIGINT);
    waitpid(pid, nullptr, 0);
    u.dropQueues();
  }
  state.counters["idle_rss_MB"] = static_cast<double>(kb) / 1024.0;
}
BENCHMARK(BM_LauncherIdleResidentMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
