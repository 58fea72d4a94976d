// Interrupt and terminate requests end the program's message loop the orderly way (the
// registry is written back, windows are destroyed) instead of killing it mid-write.
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#include "plat_core.h"
#include "plat_msgqueue.h"
#include "plat_process.h"
#include "plat_window.h"

namespace plat {

void quitOnTerminationRequest(DWORD threadId) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  // Threads started after this inherit the mask, so the signals reach only the waiter below.
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set, threadId]() {
    int requests = 0;
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) return;
      if (++requests > 1) {
        // A second request while the first is still being served: the user means it.
        static const char kLine[] = "launcher: ending at once\n";
        ssize_t ignored = ::write(2, kLine, sizeof(kLine) - 1);
        (void)ignored;
        // At once, but not leaving the programs it started or its queues behind.
        plat::process::endStartedPrograms(0);
        plat::msgqueue::removeQueuesAtExit();
        _exit(128 + signal);
      }
      NKDbgPrintfW(u"[Vexa APP] signal %d: ending the message loop\n", signal);
      plat::window::postQuit(threadId, 0);
    }
  }).detach();
}

}  // namespace plat
