// The program a process runs, for tests that look for the launcher or a tool
// among processes.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace hu::test {

// The kernel's name of the process (its comm), except for a program a cross
// build's tests start under the emulator (scripts of the same names run
// `qemu-<cpu>-static -L / PROGRAM ARGS...`): there the process is the emulator,
// and the name is that of the program it runs. Empty when the process is gone.
inline std::string programName(long pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::ifstream in(proc + "/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string arg;
  while (std::getline(in, arg, '\0')) args.push_back(arg);
  auto base = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
  if (!args.empty() && base(args[0]).rfind("qemu-", 0) == 0) {
    size_t i = 1;
    while (i < args.size() && !args[i].empty() && args[i][0] == '-') i += 2;  // its options take a value each
    if (i < args.size()) return base(args[i]).substr(0, 15);                  // as long as a comm can be
  }
  std::ifstream commFile(proc + "/comm");
  std::string comm((std::istreambuf_iterator<char>(commFile)), std::istreambuf_iterator<char>());
  while (!comm.empty() && comm.back() == '\n') comm.pop_back();
  return comm;
}

}  // namespace hu::test
