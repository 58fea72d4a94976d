// Real receiver logs through the parser. Every log must pass without a crash, hang or overrun
// (the suite runs under AddressSanitizer); where the log's expected output reports the time,
// position, speed or satellites of a GP sentence the parser stores, the record must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "links/nmea_parser.h"
#include "test_data.h"

namespace {

namespace fs = std::filesystem;

fs::path logFolder() { return fs::path(HU_TESTDATA_DIR) / "nmea" / "gpsd"; }

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// What the expected output reports. The decoder behind it reports an epoch only once it has
// seen a whole cycle and merges sentences, so the comparison is by epoch: a stored value must
// agree with what was reported for the same time of day.
struct Fix {
  bool hasPosition = false;
  double lat = 0, lon = 0;
  bool hasSpeed = false;
  double speed = 0;  // m/s
};

struct Oracle {
  std::map<int, std::vector<Fix>> epochs;  // by seconds of the day
  std::set<std::tuple<int, int, int>> satellites;  // PRN, elevation, azimuth
  std::set<int> satellitePrns;
  bool anyUsed = false;  // a satellite reported used in the fix

  const std::vector<Fix>* at(int seconds) const {
    auto it = epochs.find(seconds);
    return it == epochs.end() ? nullptr : &it->second;
  }
};

double number(const std::string& json, const char* key, bool* found) {
  std::string k = std::string("\"") + key + "\":";
  size_t at = json.find(k);
  *found = at != std::string::npos;
  return *found ? std::strtod(json.c_str() + at + k.size(), nullptr) : 0;
}

Oracle readOracle(const std::string& chk) {
  Oracle o;
  std::istringstream lines(chk);
  std::string line;
  static const std::regex timeRe("\"time\":\"\\d{4}-\\d\\d-\\d\\dT(\\d\\d):(\\d\\d):(\\d\\d)");
  static const std::regex satRe("\\{\"PRN\":(\\d+),[^}]*\\}");
  while (std::getline(lines, line)) {
    if (line.rfind("{\"class\":\"TPV\"", 0) == 0) {
      std::smatch m;
      if (!std::regex_search(line, m, timeRe)) continue;
      int seconds = std::stoi(m[1]) * 3600 + std::stoi(m[2]) * 60 + std::stoi(m[3]);
      Fix fix;
      bool hasLat, hasLon;
      fix.lat = number(line, "lat", &hasLat);
      fix.lon = number(line, "lon", &hasLon);
      fix.hasPosition = hasLat && hasLon;
      fix.speed = number(line, "speed", &fix.hasSpeed);
      o.epochs[seconds].push_back(fix);
    } else if (line.rfind("{\"class\":\"SKY\"", 0) == 0) {
      for (std::sregex_iterator it(line.begin(), line.end(), satRe), end; it != end; ++it) {
        std::string sat = it->str();
        bool f1, f2, f3, f4;
        int prn = static_cast<int>(number(sat, "PRN", &f1));
        int el = static_cast<int>(number(sat, "el", &f2));
        int az = static_cast<int>(number(sat, "az", &f3));
        int ss = static_cast<int>(number(sat, "ss", &f4));
        o.satellites.emplace(prn, f2 ? el : 0, f3 ? az : 0);
        (void)ss;
        o.satellitePrns.insert(prn);
        o.anyUsed |= sat.find("\"used\":true") != std::string::npos;
      }
    }
  }
  return o;
}

struct Tally {
  int checked = 0;
  int epochsReported = 0;  // epochs with a position in the expected output of logs the parser read
  int epochsStored = 0;    // ... of which the parser stored a GP time
  std::vector<std::string> mismatches;
  int timeSent = 0;  // logs in which the main window would send the GPS time
};

// The main window's rule for sending the GPS time: one of the first min(in view, 12) table
// entries is used in the fix.
bool timeWouldBeSent(const NmeaGpsRecord& r) {
  for (int i = 0; i < std::min<int>(r.gsv.inView, 12); ++i)
    if (r.gsv.satellites[i].used) return true;
  return false;
}

int secondsOf(BYTE h, BYTE m, BYTE s) { return h * 3600 + m * 60 + s; }

// Feeds one log sentence by sentence and compares what each stored sentence left in the record.
void checkLog(const fs::path& log, const Oracle& oracle, Tally& tally) {
  std::string data = readAll(log);
  CNmeaParser parser;
  const NmeaGpsRecord& r = parser.Record();
  std::set<int> storedTimes;
  bool sent = false;
  // Per epoch: a receiver may give different positions in its RMC and GGA of one second; the
  // reported one must be among them.
  struct EpochCheck {
    bool reported = false, matched = false, speedReported = false, speedMatched = false;
    std::string line;
  };
  std::map<int, EpochCheck> epochs;
  size_t start = 0;
  std::string name = log.filename().string();
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size() - 1;
    std::string line = data.substr(start, end - start + 1);
    start = end + 1;
    NmeaGpsRecord before = r;
    parser.Feed(reinterpret_cast<const BYTE*>(line.data()), static_cast<int>(line.size()));
    auto fail = [&](const std::string& what) { tally.mismatches.push_back(name + ": " + what + " in " + line); };
    // A sentence whose time has fractions belongs to a receiver of several fixes a second;
    // the record keeps whole seconds, so such epochs cannot be matched one to one.
    auto wholeSecond = [&]() {
      size_t comma = line.find(',');
      size_t dot = line.find('.', comma);
      size_t next = line.find(',', comma + 1);
      if (dot == std::string::npos || dot > next) return true;
      for (size_t i = dot + 1; i < next; ++i)
        if (line[i] != '0') return false;
      return true;
    };
    auto checkFix = [&](int seconds, double lat, double lon, const double* speed) {
      storedTimes.insert(seconds);
      if (!wholeSecond()) return;
      const std::vector<Fix>* fixes = oracle.at(seconds);
      if (!fixes) return;
      EpochCheck& e = epochs[seconds];
      for (const Fix& f : *fixes) {
        if (f.hasPosition) {
          e.reported = true;
          e.matched |= std::fabs(f.lat - lat) < 2e-6 && std::fabs(f.lon - lon) < 2e-6;
        }
        if (f.hasSpeed && speed) {
          e.speedReported = true;
          e.speedMatched |= std::fabs(f.speed - *speed) < 0.006;
        }
      }
      if (e.line.empty()) e.line = line;
    };
    if (r.rmc.count != before.rmc.count && r.rmc.status == 'A') {
      double mps = r.rmc.speedKnots * 1852.0 / 3600.0;
      checkFix(secondsOf(r.rmc.hour, r.rmc.minute, r.rmc.second), r.rmc.latitude, r.rmc.longitude, &mps);
    }
    // A fix from no satellites, or a simulated one, is not reported as a position.
    if (r.gga.count != before.gga.count && r.gga.quality > 0 && r.gga.quality < 6 && r.gga.satellitesUsed > 0)
      checkFix(secondsOf(r.gga.hour, r.gga.minute, r.gga.second), r.gga.latitude, r.gga.longitude, nullptr);
    sent |= timeWouldBeSent(r);
    // Satellites of GP sentences with whole groups of four fields (a trailing signal id, added by
    // later NMEA versions, shifts the fields the receiver's table reads).
    size_t commas = std::count(line.begin(), line.end(), ',');
    // Once other systems show up the record's table is the merged one: the GPS system's own
    // table is compared then.
    const bool merged = r.systems & ~(1u << kNmeaGps);
    const NmeaSatellite* table = merged ? r.sky[kNmeaGps].satellites : r.gsv.satellites;
    const NmeaSatellite* previous = merged ? before.sky[kNmeaGps].satellites : before.gsv.satellites;
    if (r.gsv.count != before.gsv.count && line.rfind("$GP", 0) == 0 && !oracle.satellites.empty() &&
        (commas - 3) % 4 == 0) {
      for (int i = 0; i < 36; ++i) {
        const NmeaSatellite& s = table[i];
        const NmeaSatellite& b = previous[i];
        bool written = b.prn != s.prn || b.elevation != s.elevation || b.azimuth != s.azimuth || b.snr != s.snr;
        // GPS satellites with a position in the sky and a signal, as the expected output lists them.
        if (!written || s.prn == 0 || s.prn > 32 || !s.elevation || !s.azimuth || !s.snr) continue;
        if (!oracle.satellitePrns.count(s.prn)) continue;
        ++tally.checked;
        if (!oracle.satellites.count({s.prn, s.elevation, s.azimuth}))
          fail("GSV satellite " + std::to_string(s.prn));
      }
    }
  }
  for (const auto& [seconds, e] : epochs) {
    if (e.reported) {
      ++tally.checked;
      if (!e.matched) tally.mismatches.push_back(name + ": position in " + e.line);
    }
    if (e.speedReported) {
      ++tally.checked;
      if (!e.speedMatched) tally.mismatches.push_back(name + ": speed in " + e.line);
    }
  }
  tally.timeSent += sent;
  if (storedTimes.empty()) return;
  // A log the parser reads, whose receiver used satellites, sends the time, whatever the systems.
  if (oracle.anyUsed && !sent) tally.mismatches.push_back(name + ": no satellite used in the first entries in log");
  for (const auto& epoch : oracle.epochs) {
    bool positioned = false;
    for (const Fix& f : epoch.second) positioned |= f.hasPosition;
    if (!positioned) continue;
    ++tally.epochsReported;
    if (storedTimes.count(epoch.first)) ++tally.epochsStored;
  }
}

TEST(NmeaRealLogs, EveryLogParsesAndAgreesWithItsExpectedOutput) {
  HU_SKIP_WITHOUT_TEST_DATA(logFolder());
  std::vector<fs::path> logs;
  for (auto& e : fs::directory_iterator(logFolder()))
    if (e.path().extension() == ".log") logs.push_back(e.path());
  std::sort(logs.begin(), logs.end());
  ASSERT_FALSE(logs.empty());

  Tally tally;
  for (const auto& log : logs) {
    fs::path chk = log;
    chk += ".chk";
    Oracle oracle = fs::exists(chk) ? readOracle(readAll(chk)) : Oracle{};
    // This chart plotter repeats positions from several sources under one time of day; the
    // reported positions follow another source than its GP sentences.
    if (log.filename() == "bundg_zeus_9.log") oracle = Oracle{};
    // A receiver fooled by a satellite simulator and restarted mid-log: the decoder drops the
    // cycles before the restart, so their satellites are never reported.
    if (log.filename() == "gp-320fw-2019-04-07-coldboot.log") oracle.satellites.clear();
    checkLog(log, oracle, tally);
  }
  std::printf("[ logs ] %zu logs, %d values compared, %d of %d reported epochs stored, the time goes out in %d\n",
              logs.size(), tally.checked, tally.epochsStored, tally.epochsReported, tally.timeSent);
  // Epochs the parser misses are those whose sentences it drops by its own rules (bad or
  // lower-case checksums, over-long data) or that came from other talkers.
  EXPECT_GT(tally.epochsStored * 10, tally.epochsReported * 9);
  EXPECT_GT(tally.checked, 1000);
  std::map<std::string, std::pair<int, std::string>> kinds;
  for (auto& m : tally.mismatches) {
    auto& k = kinds[m.substr(0, m.find(" in "))];
    if (k.first++ == 0) k.second = m;
  }
  for (auto& k : kinds) ADD_FAILURE() << k.second.second << " (" << k.second.first << " times)";
  EXPECT_EQ(tally.mismatches.size(), 0u);
}

// Logs fed in arbitrary blocks (as the serial reader delivers them) leave the same record as
// logs fed whole: the state machine carries over block boundaries.
TEST(NmeaRealLogs, BlockBoundariesDoNotMatter) {
  HU_SKIP_WITHOUT_TEST_DATA(logFolder());
  int compared = 0;
  for (auto& e : fs::directory_iterator(logFolder())) {
    if (e.path().extension() != ".log") continue;
    std::string data = readAll(e.path());
    CNmeaParser whole, blocks;
    whole.Feed(reinterpret_cast<const BYTE*>(data.data()), static_cast<int>(data.size()));
    for (size_t at = 0, step = 1; at < data.size(); at += step, step = step * 7 % 1024 + 1)
      blocks.Feed(reinterpret_cast<const BYTE*>(data.data() + at), static_cast<int>(std::min(step, data.size() - at)));
    EXPECT_EQ(whole.SentenceCount(), blocks.SentenceCount()) << e.path();
    EXPECT_EQ(std::memcmp(&whole.Record(), &blocks.Record(), sizeof(NmeaGpsRecord)), 0) << e.path();
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
