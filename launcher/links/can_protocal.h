// The launcher's side of the microcontroller link: builds the commands the launcher sends
// through the queue bridge, logs every message, and acts on the messages that come back.
#pragma once

#include <windows.h>

#include "links/msg_queue.h"

class CCanProtocal {
 public:
  static constexpr BYTE kFrameStart = 0x51;  // 'Q'
  static constexpr BYTE kCmdGpsTime = 0x10;
  static constexpr BYTE kCmdNaviState = 0x11;
  static constexpr BYTE kCmdText = 0x12;
  static constexpr int kMaxVolumeLevel = 42;

  CCanProtocal();
  virtual ~CCanProtocal();
  CCanProtocal(const CCanProtocal&) = delete;
  CCanProtocal& operator=(const CCanProtocal&) = delete;

  void SendNaviState(BOOL present);
  // UTC hours, minutes, seconds.
  void SendGpsTime(const BYTE time[3]);
  // The text in the OEM code page, without terminator.
  void SendText(LPCWSTR text);
  // level 0..42 (clamped) → device volume on both channels. Always 1.
  BOOL SetVolume(int level);
  // Runs on the bridge's reader thread. Always 1.
  static int OnReceive(void* owner, BYTE* bytes, int count);

  bool BridgeReady() const { return m_Bridge.HasOutgoingQueue(); }

  // How the link reaches the main window. The default finds the window of class and title
  // "MainMenu" and posts to it; tests put their own in.
  struct WindowLink {
    HWND (*findMainWindow)();
    UINT (*registerMessage)(LPCWSTR name);
    BOOL (*postMessage)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  };
  static void SetWindowLink(const WindowLink& link);
  static WindowLink DefaultWindowLink();

  // Builds the frame 'Q', length, command, payload, checksum into out (room for payload + 4).
  static int BuildFrame(BYTE command, const BYTE* payload, int payloadSize, BYTE* out);
  // 0xFF minus the 8-bit sum of the bytes.
  static BYTE Checksum(const BYTE* bytes, int count);

 private:
  void HandleMessage(const BYTE* bytes, int count);
  void Send(const BYTE* frame, int size);

  struct ReceiveLock {
    CRITICAL_SECTION section;
    ReceiveLock() { InitializeCriticalSection(&section); }
    ~ReceiveLock() { DeleteCriticalSection(&section); }
  };
  // Declared before the bridge so that it outlives the bridge's reader thread.
  ReceiveLock m_ReceiveLock;
  CMsgQueue m_Bridge;
};

// The one microcontroller link, made by start-up before the main window and deleted at the end.
extern CCanProtocal* g_pCanProtocal;
