// The debug console: every line goes to standard error as UTF-8, to an optional file, and to
// the sinks that tests add to read the system's own lines.
#include <cstdarg>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "plat_core.h"
#include "plat_strings.h"

namespace plat::console {

namespace {

struct ConsoleState {
  std::mutex lock;
  bool echo = true;
  FILE* file = nullptr;
  std::string filePath;
  long fileSize = 0;
  long rotateAt = kConsoleFileLimit;
  int nextId = 1;
  std::map<int, Sink> sinks;
};

ConsoleState& state() {
  static ConsoleState* s = new ConsoleState();
  return *s;
}

}  // namespace

int addSink(Sink sink) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  int id = s.nextId++;
  s.sinks.emplace(id, std::move(sink));
  return id;
}

void removeSink(int id) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.sinks.erase(id);
}

void setEcho(bool on) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.echo = on;
}

void setFile(const std::string& hostPath) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.file) std::fclose(s.file);
  s.filePath = hostPath;
  s.file = hostPath.empty() ? nullptr : std::fopen(hostPath.c_str(), "a");
  s.fileSize = s.file ? std::ftell(s.file) : 0;
}

void setFileLimit(long bytes) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.rotateAt = bytes > 0 ? bytes : kConsoleFileLimit;
}

namespace {

// The copy on disk must not fill the medium on a unit that runs for months: at the limit the
// file becomes "<file>.1", "<file>.1" becomes "<file>.2" and so on; the oldest goes.
void rotateLocked(ConsoleState& s) {
  std::fclose(s.file);
  s.file = nullptr;
  std::remove((s.filePath + "." + std::to_string(kConsoleFilesKept)).c_str());
  for (int i = kConsoleFilesKept - 1; i >= 1; --i)
    std::rename((s.filePath + "." + std::to_string(i)).c_str(), (s.filePath + "." + std::to_string(i + 1)).c_str());
  std::rename(s.filePath.c_str(), (s.filePath + ".1").c_str());
  s.file = std::fopen(s.filePath.c_str(), "w");
  s.fileSize = 0;
}

}  // namespace

void writeUtf8(const std::string& text) {
  auto& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.echo) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }
  if (s.file) {
    if (s.fileSize > 0 && s.fileSize + static_cast<long>(text.size()) > s.rotateAt) rotateLocked(s);
    if (s.file) {
      std::fwrite(text.data(), 1, text.size(), s.file);
      std::fflush(s.file);
      s.fileSize += static_cast<long>(text.size());
    }
  }
  for (auto& entry : s.sinks) entry.second(text);
}

void write(const std::u16string& text) { writeUtf8(utf16ToUtf8(text)); }

}  // namespace plat::console

void OutputDebugStringW(LPCWSTR text) {
  if (!text) return;
  plat::console::write(std::u16string(text));
}

void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  plat::console::writeUtf8(text);
}

void NKDbgPrintfW(LPCWSTR format, ...) {
  if (!format) return;
  va_list args;
  va_start(args, format);
  std::u16string text = plat::vformat(format, args);
  va_end(args);
  plat::console::write(text);
}
