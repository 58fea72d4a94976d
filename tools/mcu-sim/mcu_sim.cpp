// mcu-sim: the microcontroller's companion process for development and tests. It opens the two
// queues from the companion's side, prints every message the launcher sends (decoded, with its
// bytes) and sends the microcontroller's requests given on the command line or standard input.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const WCHAR* kToLauncher = u"__MsgQueue_RUZ_Send__";
constexpr const WCHAR* kFromLauncher = u"__MsgQueue_RUZ_Read__";

std::string hex(const std::vector<BYTE>& bytes) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, i ? "-%02x" : "%02x", bytes[i]);
    out += b;
  }
  return out;
}

// The text of a 0x12 frame, byte by byte in code page 437 (printable ASCII as it is).
std::string oemText(const BYTE* p, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] >= 0x20 && p[i] < 0x7F) {
      out += static_cast<char>(p[i]);
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02x", p[i]);
      out += b;
    }
  }
  return out;
}

std::string decode(const std::vector<BYTE>& m) {
  if (m.size() < 4 || m[0] != 0x51) return "unknown message";
  BYTE sum = 0;
  for (size_t i = 0; i + 1 < m.size(); ++i) sum = static_cast<BYTE>(sum + m[i]);
  std::string check = static_cast<BYTE>(0xFF - sum) == m.back() ? "" : " (bad checksum)";
  std::string length = m[1] == static_cast<BYTE>(m.size()) ? "" : " (length byte " + std::to_string(m[1]) + ")";
  const BYTE* payload = m.data() + 3;
  size_t n = m.size() - 4;
  char text[64];
  switch (m[2]) {
    case 0x11:
      if (n == 1) return std::string(payload[0] ? "navigation present" : "navigation absent") + check + length;
      break;
    case 0x10:
      if (n == 3) {
        std::snprintf(text, sizeof text, "GPS time %02u:%02u:%02u", payload[0], payload[1], payload[2]);
        return text + check + length;
      }
      break;
    case 0x12:
      return "text: " + oemText(payload, n) + check + length;
    default:
      break;
  }
  std::snprintf(text, sizeof text, "command 0x%02x, %zu bytes of data", m[2], n);
  return text + check + length;
}

HANDLE g_toLauncher = nullptr;

bool sendMessage(const std::vector<BYTE>& m, const std::string& what) {
  if (m.empty()) return false;
  bool ok = WriteMsgQueue(g_toLauncher, const_cast<BYTE*>(m.data()), static_cast<DWORD>(m.size()), 1000, 0);
  std::printf("mcu -> launcher: %s  [%s]%s\n", what.c_str(), hex(m).c_str(), ok ? "" : "  NOT SENT (queue full)");
  std::fflush(stdout);
  return ok;
}

bool parseHex(const std::string& word, BYTE* out) {
  std::string w = word;
  if (w.rfind("0x", 0) == 0 || w.rfind("0X", 0) == 0) w = w.substr(2);
  if (w.empty() || w.size() > 2) return false;
  char* end = nullptr;
  long v = std::strtol(w.c_str(), &end, 16);
  if (*end) return false;
  *out = static_cast<BYTE>(v);
  return true;
}

// Runs the commands in the words; returns false on a command it does not know.
bool runCommands(const std::vector<std::string>& words) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w == "volume") {
      if (i + 1 >= words.size()) {
        std::fprintf(stderr, "mcu-sim: volume needs a level (0-255; the launcher clamps to 42)\n");
        return false;
      }
      int level = std::atoi(words[++i].c_str());
      if (level < 0 || level > 255) {
        std::fprintf(stderr, "mcu-sim: volume level %d does not fit one byte\n", level);
        return false;
      }
      sendMessage({'Q', static_cast<BYTE>(level)}, "volume " + std::to_string(level));
    } else if (w == "navi") {
      sendMessage({'q'}, "navi");
    } else if (w == "calibrate") {
      sendMessage({':', 0xA3, 0x00, 0x00, 0x00, 0x02}, "calibrate");
    } else if (w == "raw") {
      std::vector<BYTE> m;
      while (i + 1 < words.size()) {
        BYTE b;
        // Hex bytes may be written "51 1e", "51-1e" or "511e".
        std::string token = words[i + 1];
        std::string digits;
        for (char c : token)
          if (c != '-' && c != ',') digits += c;
        if (digits.size() % 2 || digits.empty()) break;
        bool all = true;
        std::vector<BYTE> part;
        for (size_t k = 0; k < digits.size(); k += 2) {
          if (!parseHex(digits.substr(k, 2), &b)) {
            all = false;
            break;
          }
          part.push_back(b);
        }
        if (!all) break;
        m.insert(m.end(), part.begin(), part.end());
        ++i;
      }
      if (m.empty() || m.size() > 1000) {
        std::fprintf(stderr, "mcu-sim: raw needs 1 to 1000 hex bytes\n");
        return false;
      }
      sendMessage(m, "raw");
    } else if (w == "quit" || w == "exit") {
      return true;
    } else {
      std::fprintf(stderr, "mcu-sim: unknown command '%s' (volume N, navi, calibrate, raw HEX..., quit)\n",
                   w.c_str());
      return false;
    }
  }
  return true;
}

void usage() {
  std::printf(
      "usage: mcu-sim [--prefix P] [--group G] [--linger SECONDS] [--stay] [--no-stdin] [COMMAND...]\n"
      "Commands: volume N | navi | calibrate | raw HEX... | quit\n"
      "Commands on the command line are sent first, then lines from standard input.\n");
}

}  // namespace

int main(int argc, char** argv) {
  double linger = 1.0;
  bool stay = false, useStdin = true;
  std::vector<std::string> commands;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--prefix" && i + 1 < argc) {
      plat::msgqueue::setNamePrefix(argv[++i]);
    } else if (a == "--group" && i + 1 < argc) {
      plat::msgqueue::setAccessGroup(argv[++i]);
    } else if (a == "--linger" && i + 1 < argc) {
      linger = std::atof(argv[++i]);
    } else if (a == "--stay") {
      stay = true;
    } else if (a == "--no-stdin") {
      useStdin = false;
    } else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    } else {
      commands.push_back(a);
    }
  }
  plat::console::setEcho(true);

  MSGQUEUEOPTIONS o{sizeof(MSGQUEUEOPTIONS), MSGQUEUE_ALLOW_BROKEN, 1000, 1000, TRUE};
  HANDLE fromLauncher = CreateMsgQueue(kFromLauncher, &o);
  o.bReadAccess = FALSE;
  g_toLauncher = CreateMsgQueue(kToLauncher, &o);
  if (!fromLauncher || !g_toLauncher) {
    std::fprintf(stderr, "mcu-sim: cannot open the queues (error %u)\n", GetLastError());
    return 1;
  }
  std::printf("mcu-sim: listening on %s, sending on %s\n", plat::msgqueue::hostName(kFromLauncher).c_str(),
              plat::msgqueue::hostName(kToLauncher).c_str());
  std::fflush(stdout);

  std::atomic<bool> stop{false};
  std::thread listener([&] {
    BYTE buffer[1000];
    while (!stop) {
      DWORD got = 0;
      if (!ReadMsgQueue(fromLauncher, buffer, sizeof buffer, &got, 100, nullptr)) continue;
      std::vector<BYTE> m(buffer, buffer + got);
      std::printf("launcher -> mcu: %s  [%s]\n", decode(m).c_str(), hex(m).c_str());
      std::fflush(stdout);
    }
  });

  int status = runCommands(commands) ? 0 : 2;
  if (useStdin) {
    std::string line;
    while (std::getline(std::cin, line)) {
      std::istringstream words(line);
      std::vector<std::string> w;
      for (std::string x; words >> x;) w.push_back(x);
      if (!w.empty() && (w[0] == "quit" || w[0] == "exit")) break;
      if (!runCommands(w)) status = 2;
    }
  }
  if (stay) {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(3600));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(linger * 1000)));
  stop = true;
  listener.join();
  CloseMsgQueue(fromLauncher);
  CloseMsgQueue(g_toLauncher);
  return status;
}
