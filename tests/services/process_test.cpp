// Processes: start, wait, exit codes, termination, the bad cases, and ShellExecuteEx.
#include <fstream>
#include <sstream>

#include "unit_fixture.h"

namespace {

class ProcessTest : public UnitRootTest {
 protected:
  std::string readHost(const std::string& relative) {
    std::ifstream in(host(relative));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Starts a device path; fails the test when it does not start.
  PROCESS_INFORMATION start(const char16_t* path, char16_t* commandLine = nullptr) {
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessW(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi))
        << "last error " << GetLastError();
    return pi;
  }
  static void closeInfo(PROCESS_INFORMATION& pi) {
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
  }
};

TEST_F(ProcessTest, ScriptRunsAndItsExitCodeIsKept) {
  writeFile("StorageCard/Navi/NAVI.exe", "#!/bin/sh\necho \"$@\" > args.txt\nexit 7\n", true);
  char16_t line[] = u"NAVI.exe one \"two three\"";
  PROCESS_INFORMATION pi = start(u"\\StorageCard\\Navi\\NAVI.exe", line);
  ASSERT_NE(pi.hProcess, nullptr);
  EXPECT_NE(pi.dwProcessId, 0u);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, 7u);
  // Runs in its own folder; the program name given again on the command line is not repeated.
  EXPECT_EQ(readHost("StorageCard/Navi/args.txt"), "one two three\n");
  closeInfo(pi);
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

TEST_F(ProcessTest, ScriptWithoutExecuteBitRunsThroughItsInterpreter) {
  writeFile("x/run.exe", "#!/bin/sh\nexit 3\n", false);
  PROCESS_INFORMATION pi = start(u"\\x\\run.exe");
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 3u);
  closeInfo(pi);
}

TEST_F(ProcessTest, BadProgramsFailWithTheirErrors) {
  writeFile("plain.exe", "no interpreter line", false);
  std::u16string longPath = u"\\" + std::u16string(300, u'a') + u".exe";
  struct Case {
    std::u16string path;
    DWORD error;
  } cases[] = {{u"\\missing\\NaviOne.exe", ERROR_FILE_NOT_FOUND},
               {u"\\plain.exe", 193},
               {longPath, ERROR_FILENAME_EXCED_RANGE},
               {u"\\", ERROR_FILE_NOT_FOUND}};
  for (const auto& c : cases) {
    PROCESS_INFORMATION pi = {reinterpret_cast<HANDLE>(1), nullptr, 5, 5};
    SetLastError(0);
    EXPECT_FALSE(CreateProcessW(c.path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(pi.hProcess, nullptr);
    EXPECT_EQ(pi.dwProcessId, 0u);
  }
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

TEST_F(ProcessTest, TerminateEndsTheWholeGroupWithTheGivenCode) {
  // The script's own child (sleep) must go too, or it would outlive the program.
  writeFile("long.exe", "#!/bin/sh\nsleep 30\nexit 0\n", true);
  PROCESS_INFORMATION pi = start(u"\\long.exe");
  DWORD code = 0;
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_TIMEOUT);
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, STILL_ACTIVE);
  HANDLE opened = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pi.dwProcessId);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(TerminateProcess(opened, 42));
  CloseHandle(opened);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 42u);
  EXPECT_FALSE(TerminateProcess(pi.hProcess, 1));
  EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, pi.dwProcessId), nullptr);
  EXPECT_EQ(plat::process::runningChildren(), 0u);
  closeInfo(pi);
}

// The programs and their children end, the one that ignores the request killed after the grace,
// and what a program that ended left in its group goes too.
TEST_F(ProcessTest, EndingTheStartedProgramsTakesTheirWholeGroupsPolitelyOrNot) {
  ::alarm(60);  // watchdog: a child outliving its group holds the wait below
  const char* bodies[] = {"sleep 300 & echo $$ $! > 0.pids; wait",
                          "trap '' TERM; sleep 300 & echo $$ $! > 1.pids; wait; sleep 300",
                          "sleep 300 & echo $! > 2.pids"};  // ends at once, its child lives on
  PROCESS_INFORMATION started[3];
  std::string pids;
  for (int i = 0; i < 3; ++i) {
    writeFile(std::to_string(i) + ".exe", std::string("#!/bin/sh\n") + bodies[i] + "\n", true);
    started[i] = start(plat::utf8ToUtf16("\\" + std::to_string(i) + ".exe").c_str());
    while (readHost(std::to_string(i) + ".pids").find('\n') == std::string::npos) usleep(1000);
    pids += readHost(std::to_string(i) + ".pids");
  }
  ASSERT_EQ(WaitForSingleObject(started[2].hProcess, 10000), WAIT_OBJECT_0);
  closeInfo(started[2]);
  EXPECT_EQ(plat::process::endStartedPrograms(300), 2u);
  EXPECT_TRUE(consoleHas("what the ended program " + std::to_string(started[2].dwProcessId) + " left"));
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(WaitForSingleObject(started[i].hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(consoleHas("program " + std::to_string(started[i].dwProcessId) + " did not end"), i == 1);
    closeInfo(started[i]);
  }
  std::istringstream in(pids);
  for (pid_t pid; in >> pid;) {  // gone, or a zombie nobody reaped yet
    for (std::string s = "x"; !s.empty() && s.find(") Z") == std::string::npos; usleep(1000))
      s = readHost("../../proc/" + std::to_string(pid) + "/stat");
  }
  EXPECT_EQ(plat::process::endStartedPrograms(300), 0u);
  ::alarm(0);
}

// No loader variables of ours reach a started program; a card's names reach it as plain names.
TEST_F(ProcessTest, ProgramsGetNoLoaderVariablesAndHostileFolderNamesStayNames) {
  const std::string folder = "StorageCard/$(touch pwned)/a;b `touch pwned`";
  writeFile(folder + "/prog.exe", "#!/bin/sh\nenv > \"$(dirname \"$0\")/env.txt\"\n", true);
  for (const char* variable : {"LD_LIBRARY_PATH", "LD_AUDIT", "HU_TEST_KEPT"}) setenv(variable, "/nowhere", 1);
  PROCESS_INFORMATION pi = start(plat::utf8ToUtf16("\\" + folder + "\\prog.exe").c_str());
  for (const char* variable : {"LD_LIBRARY_PATH", "LD_AUDIT", "HU_TEST_KEPT"}) unsetenv(variable);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  closeInfo(pi);
  const std::string env = readHost(folder + "/env.txt");
  EXPECT_NE(env.find("HU_TEST_KEPT=/nowhere"), std::string::npos) << env;
  EXPECT_EQ(env.find("LD_"), std::string::npos) << env;
  for (const char* where : {"", "StorageCard/", "StorageCard/$(touch pwned)/"})
    EXPECT_FALSE(std::filesystem::exists(host(std::string(where) + "pwned"))) << where;
}

TEST_F(ProcessTest, WaitsOfSeveralThreadsAllReturnWhenTheProcessEnds) {
  writeFile("short.exe", "#!/bin/sh\nsleep 30\n", true);  // ends when killed
  PROCESS_INFORMATION pi = start(u"\\short.exe");
  std::atomic<int> woke{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0) woke++;
    });
  TerminateProcess(pi.hProcess, 0);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woke.load(), 3);
  closeInfo(pi);
}

TEST_F(ProcessTest, CurrentProcess) {
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
  EXPECT_EQ(GetProcessId(GetCurrentProcess()), GetCurrentProcessId());
  EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, 0), nullptr);
}

TEST_F(ProcessTest, ShellExecuteRunsProgramsAndHandsOtherFilesToTheOpener) {
  writeFile("prog.exe", "#!/bin/sh\nexit 5\n", true);
  writeFile("opener.sh", "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/opened.txt\"\n", true);
  writeFile("notes.txt", "hello");
  SHELLEXECUTEINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = u"open";
  info.lpFile = u"\\prog.exe";
  ASSERT_TRUE(ShellExecuteEx(&info));
  ASSERT_NE(info.hProcess, nullptr);
  ASSERT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  EXPECT_EQ(code, 5u);
  CloseHandle(info.hProcess);

  plat::process::setOpener(host("opener.sh"));
  info.lpFile = u"\\notes.txt";
  ASSERT_TRUE(ShellExecuteEx(&info));
  ASSERT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(info.hProcess);
  EXPECT_EQ(readHost("opened.txt"), host("notes.txt") + "\n");

  plat::process::setOpener(host("no-such-opener"));
  info.fMask = 0;
  EXPECT_FALSE(ShellExecuteEx(&info));
  EXPECT_TRUE(consoleHas("no program to open"));
  info.lpVerb = u"print";
  EXPECT_FALSE(ShellExecuteEx(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  info.lpVerb = u"open";
  info.lpFile = u"\\absent.txt";
  EXPECT_FALSE(ShellExecuteEx(&info));
  plat::process::setOpener("xdg-open");
  EXPECT_EQ(plat::openHandleCount(), handlesAtStart());
}

}  // namespace
