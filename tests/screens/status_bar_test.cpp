// The status bar: clock texts and weekday from the platform's local time in two time zones,
// the local time handed to the device protocol, and the indicator commands.
#include <gtest/gtest.h>

#include "app/status_bar_wnd.h"
#include "links/device_protocol.h"
#include "screen_fixture.h"

namespace {

class RecordingProtocol : public CNullDeviceProtocol {
 public:
  void SendCommand(int command, int kind, const void* data, int, int) override {
    lastCommand = command;
    lastKind = kind;
    lastValue = data ? *static_cast<const DWORD*>(data) : 0;
    ++count;
  }
  void UpdateScreenData(LPCWSTR name, const void*) override { screenName = name; }
  int lastCommand = 0, lastKind = 0, count = 0;
  DWORD lastValue = 0;
  std::u16string screenName;
};

class StatusBarTest : public hu::test::ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    GetTimeZoneInformation(&savedZone_);
    g_pDeviceProtocol = &protocol_;
    bar_.SetName(u"StatusBar", u"StatusBar");
    bar_.SetScript(u"StatusBar_Script.xml", nullptr);
    ASSERT_TRUE(bar_.Create(nullptr, nullptr, SW_SHOW, 0x08000008));
    pumpUntilIdle();
  }
  void TearDown() override {
    bar_.DestroyWnd();
    g_pDeviceProtocol = nullptr;
    SetTimeZoneInformation(&savedZone_);
    ScreenFixture::TearDown();
  }
  void setZone(LONG bias) {
    TIME_ZONE_INFORMATION zone = {};
    zone.Bias = bias;
    SetTimeZoneInformation(&zone);
  }
  std::u16string text(int id) { return bar_.View().SL_txtGetStruct(id)->Text; }
  int weekday() { return bar_.View().SL_txtGetStruct(3)->TextIndex; }
  int buttonState(int id) { return bar_.View().SL_btnGetStruct(id)->StateIndex; }

  TIME_ZONE_INFORMATION savedZone_ = {};
  RecordingProtocol protocol_;
  CStatusBarWnd bar_;
};

TEST_F(StatusBarTest, SecondsSince1970CountLocalDaysAcrossLeapYearsAndMonthEnds) {
  struct Row {
    WORD year, month, day, hour, minute, second;
    DWORD expected;
  };
  const Row rows[] = {
      {2014, 1, 1, 0, 0, 0, 1388534400u},   // January counts in the year before
      {2000, 2, 29, 12, 0, 0, 951825600u},  // leap day of a 400-year
      {2000, 3, 1, 0, 0, 0, 951868800u},
      {2100, 3, 1, 0, 0, 0, 4107542400u},   // 2100 is no leap year
      {1970, 1, 1, 0, 0, 1, 1u},
      {2024, 12, 31, 23, 59, 59, 1735689599u},
  };
  for (const Row& r : rows) {
    SYSTEMTIME t = {};
    t.wYear = r.year;
    t.wMonth = r.month;
    t.wDay = r.day;
    t.wHour = r.hour;
    t.wMinute = r.minute;
    t.wSecond = r.second;
    EXPECT_EQ(CStatusBarWnd::SecondsSince1970(t), r.expected) << r.year << "-" << r.month << "-" << r.day;
  }
}

TEST_F(StatusBarTest, ClockShowsLocalDateTimeAndWeekdayEverySecondInTwoZones) {
  EXPECT_EQ(protocol_.screenName, u"StatusBar");
  plat::clock::setWallMs(1388534400000LL);  // 2014-01-01 00:00:00 UTC, a Wednesday
  setZone(-480);                            // UTC+8
  pumpFor(1000);
  // The tick falls somewhere in the second after the clock was set.
  const DWORD east = 1388534400u + 8 * 3600;
  ASSERT_LE(protocol_.lastValue - east, 1u);
  const char16_t second = static_cast<char16_t>(u'0' + (protocol_.lastValue - east));
  EXPECT_EQ(text(1), u"2014-01-01");
  EXPECT_EQ(text(2), std::u16string(u"08:00:0") + second);
  EXPECT_EQ(weekday(), 3);
  EXPECT_EQ(protocol_.lastCommand, 71);
  EXPECT_EQ(protocol_.lastKind, 1);

  setZone(300);  // UTC-5: still the last day of 2013, a Tuesday
  pumpFor(1000);
  const DWORD west = 1388534400u - 5 * 3600;
  EXPECT_EQ(protocol_.lastValue, west + (second - u'0') + 1);
  EXPECT_EQ(text(1), u"2013-12-31");
  EXPECT_EQ(text(2), std::u16string(u"19:00:0") + static_cast<char16_t>(second + 1));
  EXPECT_EQ(weekday(), 2);

  int before = protocol_.count;
  pumpFor(3000);
  EXPECT_EQ(protocol_.count - before, 3) << "one update a second";
}

TEST_F(StatusBarTest, TheFirstFrameShowsTheDateTimeAndWeekdayOfTheBoot) {
  bar_.DestroyWnd();
  plat::clock::setWallMs(1388534400000LL);  // 2014-01-01 00:00:00 UTC, a Wednesday
  setZone(0);
  ASSERT_TRUE(bar_.Create(nullptr, nullptr, SW_SHOW, 0x08000008));
  EXPECT_EQ(text(1), u"2014-01-01");
  EXPECT_EQ(text(2), u"00:00:00");
  EXPECT_EQ(weekday(), 3);
}

TEST_F(StatusBarTest, DeactivationStopsTheClockAndActivationShowsTheStates) {
  SendMessageW(bar_.GetHwnd(), WM_COMMAND, 3, 7);
  SendMessageW(bar_.GetHwnd(), WM_COMMAND, 1531, 4);
  SendMessageW(bar_.GetHwnd(), WM_COMMAND, 5, 0);
  EXPECT_EQ(bar_.Mode(), 2);
  EXPECT_EQ(buttonState(0), 2);
  EXPECT_EQ(buttonState(1), 1);
  EXPECT_EQ(buttonState(2), 0);
  SendMessageW(bar_.GetHwnd(), WM_COMMAND, 3, static_cast<LPARAM>(-4));
  EXPECT_EQ(bar_.Mode(), 0);
  SendMessageW(bar_.GetHwnd(), WM_COMMAND, 4, 0);
  SendMessageW(bar_.GetHwnd(), WM_COMMAND, 5, 9);
  EXPECT_EQ(buttonState(1), 0);
  EXPECT_EQ(buttonState(2), 1);

  SendMessageW(bar_.GetHwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
  int before = protocol_.count;
  pumpFor(3000);
  EXPECT_EQ(protocol_.count, before);
  SendMessageW(bar_.GetHwnd(), WM_COMMAND, 3, 1);
  bar_.View().SL_btnSetStateIndex(0, 0);  // something else changed the button meanwhile
  SendMessageW(bar_.GetHwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(buttonState(0), 1);
  EXPECT_EQ(buttonState(2), 1);
  pumpFor(1000);
  EXPECT_EQ(protocol_.count, before + 1);
}

TEST_F(StatusBarTest, FrameCommandShowsThatSignalFrameAnd255MeansNone) {
  SendMessageW(bar_.GetHwnd(), WM_COMMAND, 6, 3);
  EXPECT_EQ(bar_.View().Pages()[0].Pictures[0].ActionIndex, 3);
  SendMessageW(bar_.GetHwnd(), WM_COMMAND, 6, 255);
  EXPECT_EQ(bar_.Frame(), 0);
  EXPECT_EQ(bar_.View().Pages()[0].Pictures[0].ActionIndex, 0);
}

}  // namespace
