// Microcontroller link. Frames: 'Q', total length, command, payload, checksum (complement of
// the 8-bit sum of everything before it).
#include "links/can_protocal.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

HWND findMainMenu() { return FindWindowW(u"MainMenu", u"MainMenu"); }

std::mutex& linkLock() {
  static auto* m = new std::mutex();
  return *m;
}

CCanProtocal::WindowLink& currentLink() {
  static CCanProtocal::WindowLink link = CCanProtocal::DefaultWindowLink();
  return link;
}

CCanProtocal::WindowLink windowLink() {
  std::lock_guard<std::mutex> guard(linkLock());
  return currentLink();
}

constexpr const WCHAR* kMcuMessage = u"APPLICATION_MESSAGEID_PROTOCALMCUMSG";

}  // namespace

CCanProtocal* g_pCanProtocal = nullptr;

CCanProtocal::WindowLink CCanProtocal::DefaultWindowLink() {
  return WindowLink{findMainMenu, RegisterWindowMessageW, PostMessageW};
}

void CCanProtocal::SetWindowLink(const WindowLink& link) {
  std::lock_guard<std::mutex> guard(linkLock());
  currentLink() = link;
}

CCanProtocal::CCanProtocal() {
  // The owner is in place before the reader thread can deliver anything; a bridge that could
  // not be made whole gets no owner, and whatever it still delivers is dropped.
  m_Bridge.m_pOwner = this;
  if (!m_Bridge.Create(OnReceive)) m_Bridge.m_pOwner = nullptr;
}

CCanProtocal::~CCanProtocal() {
  // m_Bridge is destroyed (and its reader ended) before the lock, declared first, goes.
  m_Bridge.m_pOwner = nullptr;
}

BYTE CCanProtocal::Checksum(const BYTE* bytes, int count) {
  BYTE sum = 0;
  for (int i = 0; i < count; ++i) sum = static_cast<BYTE>(sum + bytes[i]);
  return static_cast<BYTE>(0xFF - sum);
}

int CCanProtocal::BuildFrame(BYTE command, const BYTE* payload, int payloadSize, BYTE* out) {
  int length = payloadSize + 4;
  out[0] = kFrameStart;
  out[1] = static_cast<BYTE>(length);
  out[2] = command;
  if (payloadSize > 0) std::memcpy(out + 3, payload, static_cast<size_t>(payloadSize));
  out[length - 1] = Checksum(out, length - 1);
  return length;
}

void CCanProtocal::Send(const BYTE* frame, int size) { m_Bridge.Send(frame, size); }

void CCanProtocal::SendNaviState(BOOL present) {
  BYTE payload = present ? 1 : 0;
  BYTE frame[5];
  Send(frame, BuildFrame(kCmdNaviState, &payload, 1, frame));
}

void CCanProtocal::SendGpsTime(const BYTE time[3]) {
  if (!time) return;
  BYTE frame[7];
  Send(frame, BuildFrame(kCmdGpsTime, time, 3, frame));
}

void CCanProtocal::SendText(LPCWSTR text) {
  int n = text ? WideCharToMultiByte(CP_OEMCP, 0, text, -1, nullptr, 0, nullptr, nullptr) : 0;
  if (n <= 0) {
    NKDbgPrintfW(u"[Vexa APP][WideByte2Acsi Fial! asciisize:0]\r\n");
    // Without the terminator's byte the checksum would overwrite the command code.
    return;
  }
  std::vector<BYTE> frame(static_cast<size_t>(n) + 3);
  frame[0] = kFrameStart;
  frame[1] = static_cast<BYTE>(n + 3);
  frame[2] = kCmdText;
  int converted = WideCharToMultiByte(CP_OEMCP, 0, text, -1, reinterpret_cast<LPSTR>(frame.data() + 3), n, nullptr,
                                      nullptr);
  if (converted != n) NKDbgPrintfW(u"[Vexa APP][WideByte2Acsi La falla!]\r\n");
  // The checksum takes the terminator's place.
  frame[static_cast<size_t>(n) + 2] = Checksum(frame.data(), n + 2);
  Send(frame.data(), n + 3);
}

BOOL CCanProtocal::SetVolume(int level) {
  if (level < 0) level = 0;
  if (level > kMaxVolumeLevel) level = kMaxVolumeLevel;
  DWORD v = static_cast<DWORD>(level) * 65535u / kMaxVolumeLevel;
  NKDbgPrintfW(u"[Vexa APP]CCanProtocal::SetVolume(%d)\r\n", level);
  waveOutSetVolume(nullptr, (v << 16) | v);
  return 1;
}

int CCanProtocal::OnReceive(void* owner, BYTE* bytes, int count) {
  auto* self = static_cast<CCanProtocal*>(owner);
  if (!self || !bytes || count <= 0) return 1;
  EnterCriticalSection(&self->m_ReceiveLock.section);
  self->HandleMessage(bytes, count);
  LeaveCriticalSection(&self->m_ReceiveLock.section);
  return 1;
}

void CCanProtocal::HandleMessage(const BYTE* bytes, int count) {
  WCHAR line[256];
  links::formatHexLine(bytes, count, line, 256);
  NKDbgPrintfW(u"[Vexa App] MCU RX[%d]-- [ %s ]\n", count, line);

  WindowLink link = windowLink();
  HWND mainWindow = link.findMainWindow ? link.findMainWindow() : nullptr;
  auto post = [&](WPARAM wParam) {
    if (!mainWindow || !link.postMessage) return;
    UINT message = link.registerMessage ? link.registerMessage(kMcuMessage) : 0;
    link.postMessage(mainWindow, message, wParam, 0);
  };
  switch (bytes[0]) {
    case ':':
      // Only the touch-calibration request; shorter messages do not match.
      if (count >= 6 && bytes[1] == 0xA3 && bytes[5] == 0x02) post(1);
      break;
    case 'Q':
      // A volume request carries its level in the second byte; a lone 'Q' carries none.
      if (count >= 2) SetVolume(bytes[1]);
      break;
    case 'q':
      post(0);
      break;
    default:
      break;
  }
}
