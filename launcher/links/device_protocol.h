// The device-protocol interface and the do-nothing implementation the launcher installs.
#pragma once

#include <windows.h>

class CDeviceProtocol {
 public:
  virtual ~CDeviceProtocol() = default;
  virtual int GetState() = 0;
  virtual void UpdateScreenData(LPCWSTR screenName, const void* screenData) = 0;
  virtual void SendCommand(int command, int kind, const void* data, int value, int extra) = 0;
  virtual void Reset() = 0;
  virtual int IsReaderRunning(int unused) = 0;
  virtual int IsWriterRunning(int unused) = 0;
};

// Holds no data and does nothing; reports its reader and writer as running.
class CNullDeviceProtocol : public CDeviceProtocol {
 public:
  int GetState() override { return 0; }
  void UpdateScreenData(LPCWSTR, const void*) override {}
  void SendCommand(int, int, const void*, int, int) override {}
  void Reset() override {}
  int IsReaderRunning(int) override { return 1; }
  int IsWriterRunning(int) override { return 1; }
};
