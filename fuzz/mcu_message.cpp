// Messages from the microcontroller's companion into the link's receive handler, with the main
// window replaced by a stub that accepts every post.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <cstdlib>
#include <unistd.h>

#include "links/can_protocal.h"

namespace {
HWND findWindow() { return reinterpret_cast<HWND>(1); }
UINT registerMessage(LPCWSTR) { return 0xC000; }
BOOL post(HWND, UINT, WPARAM, LPARAM) { return TRUE; }

CCanProtocal& link() {
  static CCanProtocal* p = [] {
    plat::console::setEcho(false);
    plat::msgqueue::setNamePrefix("hu-fuzz-" + std::to_string(getpid()) + "-");
    CCanProtocal::SetWindowLink({findWindow, registerMessage, post});
    // Queue names outlive the process; take this run's away at the end.
    std::atexit([] {
      plat::msgqueue::removeQueue(CMsgQueue::kIncomingName);
      plat::msgqueue::removeQueue(CMsgQueue::kOutgoingName);
    });
    return new CCanProtocal();
  }();
  return *p;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 1000) return 0;  // a queue message holds 1 to 1000 bytes
  std::vector<BYTE> message(data, data + size);  // exact size: reads past it are caught
  CCanProtocal::OnReceive(&link(), message.data(), static_cast<int>(size));
  return 0;
}
