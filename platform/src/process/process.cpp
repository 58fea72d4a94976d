// Processes. A program behind a device path runs as a host child process in its own process
// group. One reaper thread per child blocks in waitid() until the child ends, records the exit
// status and wakes every wait on the process handles; nothing polls.
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/kernel_object.h"
#include "plat_core.h"
#include "plat_file.h"
#include "plat_process.h"
#include "plat_strings.h"
#include "plat_thread.h"

extern char** environ;

namespace plat {
namespace {

// What every handle to one child shares.
struct ChildState {
  pid_t pid = 0;
  // Guards kill() against reaping: while `reaped` is false the child is at worst a zombie, so
  // its pid cannot have been given to another process.
  std::mutex killMutex;
  bool reaped = false;
  bool terminateRequested = false;
  DWORD terminateCode = 0;
  // Read and written under waitMutex().
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
};

class ProcessObject : public KernelObject {
 public:
  ProcessObject(std::shared_ptr<ChildState> state, bool thread) : state_(std::move(state)), thread_(thread) {}
  const char* kind() const override { return thread_ ? "process-thread" : "process"; }
  bool isWaitable() const override { return true; }
  bool isSignaled() const override { return state_->ended; }
  const std::shared_ptr<ChildState>& state() const { return state_; }

 private:
  std::shared_ptr<ChildState> state_;
  bool thread_;
};

// Never destroyed: a reaper may still run while the program exits with a child alive.
std::mutex& childrenMutex() {
  static auto* m = new std::mutex;
  return *m;
}
// Children by pid, while they run (OpenProcess finds them here).
std::map<pid_t, std::weak_ptr<ChildState>>& children() {
  static auto* c = new std::map<pid_t, std::weak_ptr<ChildState>>;
  return *c;
}
// The process groups of the programs we started, kept after a program ends while something it
// started lives on in its group (a wrapper script that started the real program and ended).
std::set<pid_t>& startedGroups() {
  static auto* g = new std::set<pid_t>;
  return *g;
}
// Whether group `group` of a program we started still has members that are ours: its leader is
// gone (a group id is never handed out again while a member still uses it), or still ours.
bool leftoverGroup(pid_t group) {
  return kill(-group, 0) == 0 && (kill(group, 0) != 0 || children().count(group) != 0);
}

std::string& openerProgram() {
  static auto* opener = new std::string("xdg-open");
  return *opener;
}

void reap(std::shared_ptr<ChildState> state) {
  siginfo_t info;
  std::memset(&info, 0, sizeof info);
  // WNOWAIT keeps the zombie (and so the pid) until the status is recorded under killMutex.
  while (waitid(P_PID, static_cast<id_t>(state->pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  DWORD code = 0;
  {
    std::lock_guard<std::mutex> lock(state->killMutex);
    int status = 0;
    pid_t r;
    do {
      r = waitpid(state->pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    state->reaped = true;
    if (state->terminateRequested) {
      code = state->terminateCode;
    } else if (r > 0 && WIFEXITED(status)) {
      code = static_cast<DWORD>(WEXITSTATUS(status));
    } else if (r > 0 && WIFSIGNALED(status)) {
      code = 128u + static_cast<DWORD>(WTERMSIG(status));
    } else if (info.si_code == CLD_EXITED) {
      code = static_cast<DWORD>(info.si_status);
    } else {
      code = 128u + static_cast<DWORD>(info.si_status);
    }
  }
  {
    std::lock_guard<std::mutex> lock(childrenMutex());
    children().erase(state->pid);
  }
  {
    std::lock_guard<std::mutex> lock(waitMutex());
    state->exitCode = code;
    state->ended = true;
    notifyWaitersLocked();
  }
}

// Splits a command line at blanks; double quotes group, as the device's run-time does.
std::vector<std::string> splitCommandLine(const std::u16string& line) {
  std::vector<std::string> out;
  std::u16string cur;
  bool inQuotes = false, have = false;
  for (char16_t c : line) {
    if (c == u'"') {
      inQuotes = !inQuotes;
      have = true;
    } else if ((c == u' ' || c == u'\t') && !inQuotes) {
      if (have) out.push_back(utf16ToUtf8(cur));
      cur.clear();
      have = false;
    } else {
      cur.push_back(c);
      have = true;
    }
  }
  if (have) out.push_back(utf16ToUtf8(cur));
  return out;
}

bool isExecutableFile(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(host.c_str(), X_OK) == 0;
}

// The interpreter line of a script ("#!/bin/sh -e" gives {"/bin/sh", "-e"}), empty if none.
std::vector<std::string> interpreterOf(const std::string& host) {
  std::vector<std::string> out;
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  char buf[256];
  ssize_t n = ::read(fd, buf, sizeof buf - 1);
  close(fd);
  if (n < 3 || buf[0] != '#' || buf[1] != '!') return out;
  std::string line(buf + 2, static_cast<size_t>(n - 2));
  line = line.substr(0, line.find('\n'));
  size_t p = line.find_first_not_of(" \t");
  if (p == std::string::npos) return out;
  size_t e = line.find_first_of(" \t", p);
  out.push_back(line.substr(p, e == std::string::npos ? std::string::npos : e - p));
  if (e != std::string::npos) {
    size_t a = line.find_first_not_of(" \t\r", e);
    if (a != std::string::npos) {
      std::string arg = line.substr(a);
      while (!arg.empty() && (arg.back() == ' ' || arg.back() == '\t' || arg.back() == '\r')) arg.pop_back();
      out.push_back(arg);
    }
  }
  return out;
}

std::string findInPath(const std::string& program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return isExecutableFile(program) ? program : std::string();
  const char* path = getenv("PATH");
  std::string all = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(':', start);
    std::string dir = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (dir.empty()) dir.assign(1, '.');  // (a one-letter literal upsets g++ 12's -Wrestrict)
    std::string candidate = dir;
    candidate.push_back('/');
    candidate.append(program);
    if (isExecutableFile(candidate)) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

DWORD errnoToError(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOEXEC: return 193;  // ERROR_BAD_EXE_FORMAT
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_GEN_FAILURE;
  }
}

// Our environment as a started program gets it: without the dynamic loader's variables, which
// would load into the program whatever library the shell itself was given.
std::vector<char*> childEnvironment() {
  std::vector<char*> out;
  for (char** e = environ; e && *e; ++e) {
    std::string_view entry(*e);
    if (entry.rfind("LD_PRELOAD=", 0) == 0 || entry.rfind("LD_LIBRARY_PATH=", 0) == 0 ||
        entry.rfind("LD_AUDIT=", 0) == 0)
      continue;
    out.push_back(*e);
  }
  out.push_back(nullptr);
  return out;
}

// Starts argv[0] (a host path) with the given arguments in `workDir`. Returns the child's state
// (its reaper already running) or null with the last error set.
std::shared_ptr<ChildState> spawnChild(const std::vector<std::string>& argv, const std::string& workDir) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  // The child must not inherit our descriptors (queues, inotify, serial ports).
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  // Its own process group, so that ending it also ends what a script started.
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  auto state = std::make_shared<ChildState>();
  pid_t pid = 0;
  int rc;
  {
    // Registration happens under the same lock so a quick exit cannot be reaped before the
    // child is known.
    std::lock_guard<std::mutex> lock(childrenMutex());
    std::vector<char*> environment = childEnvironment();
    rc = posix_spawn(&pid, args[0], &actions, &attr, args.data(), environment.data());
    if (rc == 0) {
      state->pid = pid;
      children()[pid] = state;
      std::erase_if(startedGroups(), [](pid_t group) { return !leftoverGroup(group); });
      startedGroups().insert(pid);
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    SetLastError(errnoToError(rc));
    return nullptr;
  }
  std::thread(reap, state).detach();
  return state;
}

std::string hostFolderOf(const std::string& host) {
  size_t slash = host.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return host.substr(0, slash);
}

bool endsWithExe(const std::string& host) {
  if (host.size() < 4) return false;
  std::string tail = host.substr(host.size() - 4);
  for (auto& c : tail) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return tail == ".exe";
}

// argv for running a host file: itself when executable, else through its "#!" interpreter.
bool programArgv(const std::string& host, std::vector<std::string>& argv) {
  if (isExecutableFile(host)) {
    argv.push_back(host);
    return true;
  }
  std::vector<std::string> interp = interpreterOf(host);
  if (interp.empty()) return false;
  argv = interp;
  argv.push_back(host);
  return true;
}

// Whether two paths (either separator) end in the same file name, without regard to case.
bool sameFileName(const std::string& a, const std::string& b) {
  auto name = [](const std::string& p) {
    size_t cut = p.find_last_of("/\\");
    std::string n = cut == std::string::npos ? p : p.substr(cut + 1);
    for (auto& c : n) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return n;
  };
  return !a.empty() && name(a) == name(b);
}

}  // namespace

namespace process {
size_t endStartedPrograms(DWORD graceMs) {
  std::vector<std::shared_ptr<ChildState>> running;
  std::vector<pid_t> leftovers;
  {
    std::lock_guard<std::mutex> lock(childrenMutex());
    for (auto& [pid, weak] : children())
      if (auto state = weak.lock()) running.push_back(state);
    for (pid_t group : startedGroups())
      if (!children().count(group) && leftoverGroup(group)) leftovers.push_back(group);
    startedGroups().clear();
  }
  for (pid_t group : leftovers) {
    console::write(format(u"Processes: ending what the ended program %d left in its process group\r\n",
                          static_cast<int>(group)));
    kill(-group, graceMs ? SIGTERM : SIGKILL);
  }
  if (running.empty() && leftovers.empty()) return 0;
  auto signalGroup = [](ChildState& state, int signal) {
    std::lock_guard<std::mutex> lock(state.killMutex);
    // The group outlives its leader (the pid stays taken while a member uses it as its group).
    kill(-state.pid, signal);
    if (!state.reaped) kill(state.pid, signal);
  };
  for (auto& state : running) {
    console::write(format(u"Processes: ending the started program %d and its process group\r\n",
                          static_cast<int>(state->pid)));
    signalGroup(*state, graceMs ? SIGTERM : SIGKILL);
  }
  // The grace runs on the real clock (a test's frozen clock must not hold the end): each leader
  // is waited for through a descriptor of its own, within what is left of it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
  for (auto& state : running) {
    bool ended = false;
    int fd = -1;
    {
      std::lock_guard<std::mutex> lock(state->killMutex);
      ended = state->reaped;
      if (!ended) fd = static_cast<int>(syscall(SYS_pidfd_open, state->pid, 0));
    }
    if (fd >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd exit{fd, POLLIN, 0};
      ended = ::poll(&exit, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) == 1;
      ::close(fd);
    }
    if (graceMs && !ended)
      console::write(format(u"Processes: program %d did not end within %u ms: killed\r\n",
                            static_cast<int>(state->pid), static_cast<unsigned>(graceMs)));
    // Whatever of the group is left (a child that ignores the request) goes now.
    signalGroup(*state, SIGKILL);
  }
  // A group has no descriptor to wait on: it is looked at every 10 ms until it is empty or the
  // grace is spent.
  auto anyLeft = [&] {
    return std::any_of(leftovers.begin(), leftovers.end(), [](pid_t group) { return kill(-group, 0) == 0; });
  };
  while (anyLeft() && std::chrono::steady_clock::now() < deadline) ::poll(nullptr, 0, 10);
  for (pid_t group : leftovers) kill(-group, SIGKILL);
  return running.size();
}

void setOpener(const std::string& hostProgram) {
  std::lock_guard<std::mutex> lock(childrenMutex());
  openerProgram() = hostProgram;
}
size_t runningChildren() {
  std::lock_guard<std::mutex> lock(childrenMutex());
  return children().size();
}
}  // namespace process

}  // namespace plat

using namespace plat;

BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD, LPVOID, LPCWSTR currentDirectory, LPSTARTUPINFOW, LPPROCESS_INFORMATION info) {
  if (info) std::memset(info, 0, sizeof *info);
  std::u16string app = application ? std::u16string(application) : std::u16string();
  std::vector<std::string> extra;
  if (commandLine) {
    extra = splitCommandLine(commandLine);
    if (app.empty()) {
      // No application name: the first word of the command line names the program.
      if (extra.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      app = utf8ToUtf16(extra.front());
      extra.erase(extra.begin());
    }
  }
  if (app.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (app.size() >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  std::string host = hostPath(std::u16string_view(app));
  struct stat st;
  if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  std::vector<std::string> argv;
  if (!programArgv(host, argv)) {
    SetLastError(193);  // ERROR_BAD_EXE_FORMAT: neither executable nor a script
    return FALSE;
  }
  // On the device the command line does not repeat the program name; a command line written
  // the desktop way (its first word names the same program file) does not pass it twice.
  if (!extra.empty() && application && sameFileName(extra.front(), host)) extra.erase(extra.begin());
  argv.insert(argv.end(), extra.begin(), extra.end());
  std::string workDir = currentDirectory ? hostPath(currentDirectory) : hostFolderOf(host);
  auto state = spawnChild(argv, workDir);
  if (!state) return FALSE;
  if (info) {
    info->hProcess = makeHandle(std::make_shared<ProcessObject>(state, false));
    info->hThread = makeHandle(std::make_shared<ProcessObject>(state, true));
    info->dwProcessId = static_cast<DWORD>(state->pid);
    info->dwThreadId = static_cast<DWORD>(state->pid);
  }
  return TRUE;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
  std::shared_ptr<ChildState> state;
  {
    std::lock_guard<std::mutex> lock(childrenMutex());
    auto it = children().find(static_cast<pid_t>(processId));
    if (it != children().end()) state = it->second.lock();
  }
  if (!state) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return makeHandle(std::make_shared<ProcessObject>(state, false));
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
  auto object = lookupAs<ProcessObject>(process);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto& state = object->state();
  std::lock_guard<std::mutex> lock(state->killMutex);
  if (state->reaped) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!state->terminateRequested) {
    state->terminateRequested = true;
    state->terminateCode = exitCode;
  }
  // The group first (a script's own children), then the child itself in case it left it.
  kill(-state->pid, SIGKILL);
  kill(state->pid, SIGKILL);
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  if (process == GetCurrentProcess()) {
    if (exitCode) *exitCode = STILL_ACTIVE;
    return TRUE;
  }
  auto object = lookupAs<ProcessObject>(process);
  if (!object || !exitCode) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(waitMutex());
  *exitCode = object->state()->ended ? object->state()->exitCode : STILL_ACTIVE;
  return TRUE;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

DWORD GetProcessId(HANDLE process) {
  if (process == GetCurrentProcess()) return GetCurrentProcessId();
  auto object = lookupAs<ProcessObject>(process);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<DWORD>(object->state()->pid);
}

BOOL ShellExecuteExW(LPSHELLEXECUTEINFOW info) {
  if (!info || !info->lpFile || !info->lpFile[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->hProcess = nullptr;
  info->hInstApp = nullptr;
  if (info->lpVerb && info->lpVerb[0] && _wcsicmp(info->lpVerb, u"open") != 0) {
    console::write(format(u"ShellExecuteEx: verb \"%s\" is not supported\r\n", info->lpVerb));
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (lstrlenW(info->lpFile) >= MAX_PATH) {
    console::write(u"ShellExecuteEx: path too long\r\n");
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  std::string host = hostPath(info->lpFile);
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    console::write(format(u"ShellExecuteEx: %s not found\r\n", info->lpFile));
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  std::vector<std::string> argv;
  bool program = S_ISREG(st.st_mode) && (endsWithExe(host) || isExecutableFile(host) || !interpreterOf(host).empty());
  if (program && programArgv(host, argv)) {
    if (info->lpParameters) {
      auto extra = splitCommandLine(info->lpParameters);
      argv.insert(argv.end(), extra.begin(), extra.end());
    }
  } else {
    std::string opener;
    {
      std::lock_guard<std::mutex> lock(childrenMutex());
      opener = openerProgram();
    }
    std::string found = findInPath(opener);
    if (found.empty()) {
      console::write(format(u"ShellExecuteEx: no program to open %s\r\n", info->lpFile));
      SetLastError(1155);  // ERROR_NO_ASSOCIATION
      return FALSE;
    }
    argv = {found, host};
  }
  std::string workDir = info->lpDirectory ? hostPath(info->lpDirectory) : hostFolderOf(host);
  auto state = spawnChild(argv, workDir);
  if (!state) {
    console::write(format(u"ShellExecuteEx: cannot start %s (%d)\r\n", info->lpFile, static_cast<int>(GetLastError())));
    return FALSE;
  }
  info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(33));
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) info->hProcess = makeHandle(std::make_shared<ProcessObject>(state, false));
  return TRUE;
}

namespace plat::process {
namespace {

// Parent and process group of a process from /proc/<pid>/stat (the name field may hold
// blanks and parentheses: the fields we want follow its last ')').
bool parentAndGroup(pid_t pid, pid_t& parent, pid_t& group) {
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[1024];
  ssize_t n = ::read(fd, buf, sizeof buf - 1);
  ::close(fd);
  if (n <= 0) return false;
  buf[n] = 0;
  char* close = std::strrchr(buf, ')');
  if (!close) return false;
  char state = 0;
  long p = 0, g = 0;
  if (std::sscanf(close + 1, " %c %ld %ld", &state, &p, &g) != 3) return false;
  parent = static_cast<pid_t>(p);
  group = static_cast<pid_t>(g);
  return true;
}

}  // namespace

bool belongsTo(DWORD pid, DWORD started) {
  if (pid == 0 || started == 0) return false;
  if (pid == started) return true;
  pid_t parent = 0, group = 0;
  if (!parentAndGroup(static_cast<pid_t>(pid), parent, group)) return false;
  if (group == static_cast<pid_t>(started)) return true;
  // Up the parents; a chain deeper than this is not a program's own.
  for (int depth = 0; depth < 64 && parent > 1; ++depth) {
    if (parent == static_cast<pid_t>(started)) return true;
    pid_t next = 0;
    if (!parentAndGroup(parent, next, group)) return false;
    parent = next;
  }
  return false;
}

}  // namespace plat::process
