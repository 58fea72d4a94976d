// Process-wide platform services: last error, handles, the debug console, the module
// name, and the start-up / shut-down of the platform itself.
#pragma once

#include <functional>
#include <string>

#include "plat_types.h"

DWORD GetLastError();
void SetLastError(DWORD error);
BOOL CloseHandle(HANDLE handle);
BOOL DuplicateHandle(HANDLE srcProcess, HANDLE src, HANDLE dstProcess, LPHANDLE dst, DWORD access,
                     BOOL inherit, DWORD options);

// Debug console. Lines go to standard error as UTF-8 (and to a file when one is set).
void OutputDebugStringW(LPCWSTR text);
void OutputDebugStringA(LPCSTR text);
void NKDbgPrintfW(LPCWSTR format, ...);
#define RETAILMSG(cond, printf_exp) ((cond) ? (NKDbgPrintfW printf_exp), 1 : 0)
#define DEBUGMSG(cond, printf_exp) ((void)0)

// "\Windows\launcher.exe" unless the unit configures another name (see plat::Options).
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
HMODULE GetModuleHandleW(LPCWSTR name);

namespace plat {

struct Options {
  // Host folder that stands for the device's "\". Empty: the host's "/".
  std::string unitRoot;
  // The device path of the running program.
  std::u16string moduleFileName = u"\\Windows\\launcher.exe";
  // Copy every console line to this host file as well (empty: no file).
  std::string consoleFile;
  // Load <unitRoot>/registry.reg at start-up and write it back at shut-down.
  bool persistRegistry = true;
};

// Sets the unit root, loads the registry. Safe to call again (tests do, between cases).
void startup(const Options& options);
// Writes the registry back and releases what startup took.
void shutdown();
const Options& options();

// Asks that a large block of memory (several megabytes, not yet written) be backed by huge pages
// where the system offers them, so that filling it takes a few page faults instead of thousands.
// Only a hint: nothing changes on a system without them, or for a small block.
void adviseHugePages(const void* data, size_t bytes);
// The huge page size advised for; a block aligned to it and a whole number of them long is
// covered by the advice entirely.
constexpr size_t kHugePageBytes = size_t{2} << 20;

// Interrupt, terminate and hang-up requests end the message loop of the given thread (as
// PostQuitMessage there); a second request ends the process at once. Call before starting
// other threads.
void quitOnTerminationRequest(DWORD threadId);

namespace console {
// A sink sees every line written to the debug console, as UTF-8, in order.
using Sink = std::function<void(const std::string& utf8)>;
// Returns an id for removeSink.
int addSink(Sink sink);
void removeSink(int id);
// Echo to standard error (on by default; tests switch it off to keep their output readable).
void setEcho(bool on);
void setFile(const std::string& hostPath);
// The file copy is rotated when it would grow past the limit: "<file>.1" … "<file>.N" keep
// the older lines, the oldest beyond N is dropped.
constexpr long kConsoleFileLimit = 1L << 20;
constexpr int kConsoleFilesKept = 3;
void setFileLimit(long bytes);
// Writes one already formatted text.
void write(const std::u16string& text);
void writeUtf8(const std::string& text);
}  // namespace console

}  // namespace plat
