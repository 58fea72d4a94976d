// Device-link figures: NMEA parser throughput over the real receiver logs, side by side with a
// plain checksum-and-split parser over the same bytes (the ratio is printed at the end), and a
// message round trip through the two bridge queues with a companion thread. memcpy over the
// same bytes is measured alongside for scale.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "links/msg_queue.h"
#include "median_times.h"
#include "links/nmea_parser.h"

namespace {

const std::string& allLogs() {
  static std::string data = [] {
    std::string all;
    std::filesystem::path folder = std::filesystem::path(HU_TESTDATA_DIR) / "nmea" / "gpsd";
    if (!std::filesystem::exists(folder)) return all;
    for (auto& e : std::filesystem::directory_iterator(folder)) {
      if (e.path().extension() != ".log") continue;
      std::ifstream in(e.path(), std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      all += s.str();
    }
    return all;
  }();
  return data;
}

void BM_Memcpy(benchmark::State& state) {
  const std::string& data = allLogs();
  if (data.empty()) return state.SkipWithError("no receiver logs");
  std::string target(data.size(), 0);
  for (auto _ : state) {
    std::memcpy(target.data(), data.data(), data.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Memcpy);

void BM_NmeaFeed(benchmark::State& state) {
  const std::string& data = allLogs();
  if (data.empty()) return state.SkipWithError("no receiver logs");
  CNmeaParser parser;
  for (auto _ : state) {
    parser.Feed(reinterpret_cast<const BYTE*>(data.data()), static_cast<int>(data.size()));
    benchmark::DoNotOptimize(parser.Record());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["sentences"] = static_cast<double>(parser.SentenceCount());
}
BENCHMARK(BM_NmeaFeed)->Unit(benchmark::kMillisecond);

// The reference: find each '$', check the "*hh" checksum, split the fields at the commas. No
// lock, no record: the least any NMEA parser must do with the bytes.
struct PlainSentence {
  const char* field[64];
  int fields;
};

size_t plainParse(const char* p, const char* end, size_t& fieldsSeen) {
  size_t sentences = 0;
  PlainSentence s;
  while (p < end) {
    const char* start = static_cast<const char*>(std::memchr(p, '$', static_cast<size_t>(end - p)));
    if (!start) break;
    const char* q = start + 1;
    unsigned char sum = 0;
    s.fields = 0;
    s.field[s.fields++] = q;
    while (q < end && *q != '*' && *q != '\r' && *q != '$' && q - start < 256) {
      sum ^= static_cast<unsigned char>(*q);
      if (*q == ',' && s.fields < 64) s.field[s.fields++] = q + 1;
      ++q;
    }
    p = q;
    if (q + 2 >= end || *q != '*') continue;
    auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
    const int hi = hex(q[1]), lo = hex(q[2]);
    if (hi < 0 || lo < 0 || ((hi << 4) | lo) != sum) continue;
    ++sentences;
    fieldsSeen += static_cast<size_t>(s.fields);
    benchmark::DoNotOptimize(s);
    p = q + 3;
  }
  return sentences;
}

void BM_PlainNmeaSplit(benchmark::State& state) {
  const std::string& data = allLogs();
  if (data.empty()) return state.SkipWithError("no receiver logs");
  size_t sentences = 0, fields = 0;
  for (auto _ : state) {
    sentences = plainParse(data.data(), data.data() + data.size(), fields);
    benchmark::DoNotOptimize(sentences);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["sentences"] = static_cast<double>(sentences);
}
BENCHMARK(BM_PlainNmeaSplit)->Unit(benchmark::kMillisecond);

// The launcher sends 5 bytes; the companion reads them and answers with the same bytes; the
// bridge's reader hands the answer to the callback, which wakes the sender.
void BM_BridgeRoundTrip(benchmark::State& state) {
  plat::console::setEcho(false);
  plat::msgqueue::setNamePrefix("hu-bench-" + std::to_string(getpid()) + "-");
  MSGQUEUEOPTIONS o{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_ALLOW_BROKEN, 1000, 1000, TRUE};
  HANDLE companionIn = CreateMsgQueue(CMsgQueue::kOutgoingName, &o);
  o.bReadAccess = FALSE;
  HANDLE companionOut = CreateMsgQueue(CMsgQueue::kIncomingName, &o);
  HANDLE answered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  {
    CMsgQueue bridge;
    bridge.m_pOwner = answered;
    bridge.Create([](void* owner, BYTE*, int) {
      SetEvent(static_cast<HANDLE>(owner));
      return 1;
    });
    std::atomic<bool> stop{false};
    std::thread companion([&] {
      BYTE buffer[1000];
      while (!stop) {
        DWORD got = 0;
        if (ReadMsgQueue(companionIn, buffer, sizeof buffer, &got, 50, nullptr))
          WriteMsgQueue(companionOut, buffer, got, INFINITE, 0);
      }
    });
    const BYTE frame[5] = {0x51, 0x05, 0x11, 0x01, 0x97};
    for (auto _ : state) {
      bridge.Send(frame, 5);
      WaitForSingleObject(answered, 5000);
    }
    stop = true;
    companion.join();
  }
  CloseMsgQueue(companionIn);
  CloseMsgQueue(companionOut);
  CloseHandle(answered);
  plat::msgqueue::removeQueue(CMsgQueue::kOutgoingName);
  plat::msgqueue::removeQueue(CMsgQueue::kIncomingName);
  plat::console::setEcho(true);
}
BENCHMARK(BM_BridgeRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Console output as usual, then the parser's CPU time over the reference's (medians when the
// run asks for repetitions).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    bench::keepMedianCpuTimes(runs, ns);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.ns;
  if (t.count("BM_NmeaFeed") && t.count("BM_PlainNmeaSplit") && t["BM_NmeaFeed"] > 0)
    std::printf("\nCNmeaParser::Feed throughput / plain checksum-and-split parser: %.2fx (target >= 0.5x)\n",
                t["BM_PlainNmeaSplit"] / t["BM_NmeaFeed"]);
  benchmark::Shutdown();
  return 0;
}
