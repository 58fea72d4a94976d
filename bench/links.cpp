// Device-link figures: NMEA parser throughput over the real receiver logs (with its per-byte
// lock), and a message round trip through the two bridge queues with a companion thread.
// memcpy over the same bytes is measured alongside for scale.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "links/msg_queue.h"
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

}  // namespace

BENCHMARK_MAIN();
