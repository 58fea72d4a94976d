// NMEA 0183 sentences from the GPS receiver, one byte at a time. Everything lives in fixed
// buffers inside the object: feeding never allocates.
#include "links/nmea_parser.h"

#include <atomic>
#include <cstring>

namespace {

// Bytes since the last sentence start, shared by every parser of the process: the stream is
// considered dead when more than 200 bytes pass without a '$'.
std::atomic<int> g_BytesSinceStart{0};

enum : int { kWaitStart = 0, kIdentifier = 1, kData = 2, kChecksumHigh = 3, kChecksumLow = 4 };

// The second checksum digit: digits and upper-case letters only; a lower-case letter or
// anything else never matches.
int hexDigit(BYTE c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The first checksum digit: only its low four bits count, so a letter reads the same in
// either case.
int highHexDigit(BYTE c) {
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return hexDigit(c);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal integer with optional sign; stops at the first other character.
long parseInt(const char* s) {
  bool negative = false;
  if (*s == '-' || *s == '+') negative = *s++ == '-';
  long value = 0;
  while (isDigit(*s) && value < 100000000L) value = value * 10 + (*s++ - '0');
  return negative ? -value : value;
}

// Decimal fraction as written ("12.5", "-0.75", ".5"); independent of the host locale.
double parseDecimal(const char* s) {
  bool negative = false;
  if (*s == '-' || *s == '+') negative = *s++ == '-';
  double value = 0;
  while (isDigit(*s)) value = value * 10 + (*s++ - '0');
  if (*s == '.') {
    ++s;
    double scale = 0.1;
    while (isDigit(*s)) {
      value += (*s++ - '0') * scale;
      scale *= 0.1;
    }
  }
  return negative ? -value : value;
}

// The numeric value of the characters at pos and pos+1 (a missing or non-digit one counts 0).
BYTE twoDigits(const char* s, int pos) {
  size_t len = std::strlen(s);
  int value = 0;
  for (int i = pos; i < pos + 2; ++i) {
    char c = static_cast<size_t>(i) < len ? s[i] : '0';
    value = value * 10 + (isDigit(c) ? c - '0' : 0);
  }
  return static_cast<BYTE>(value);
}

void parseTime(const char* s, BYTE* h, BYTE* m, BYTE* sec) {
  *h = twoDigits(s, 0);
  *m = twoDigits(s, 2);
  *sec = twoDigits(s, 4);
}

// ddmm.mmmm (2 degree digits) or dddmm.mmmm (3).
double parseAngle(const char* s, int degreeDigits) {
  int degrees = 0;
  int i = 0;
  for (; i < degreeDigits && s[i]; ++i) degrees = degrees * 10 + (isDigit(s[i]) ? s[i] - '0' : 0);
  return degrees + parseDecimal(s + i) / 60.0;
}

int digitValue(char c) { return isDigit(c) ? c - '0' : 0; }

// A whole field of digits with a value within [low, high].
bool smallNumber(const char* s, int low, int high, int* value) {
  if (!*s) return false;
  int v = 0;
  for (const char* p = s; *p; ++p) {
    if (!isDigit(*p)) return false;
    v = v * 10 + (*p - '0');
    if (v > high) return false;
  }
  if (v < low) return false;
  *value = v;
  return true;
}

}  // namespace

CNmeaParser::CNmeaParser() {
  m_State = kWaitStart;
  m_Checksum = 0;
  m_ReceivedChecksum = 0;
  m_ChecksumDigitsValid = true;
  m_Index = 0;
  m_Identifier[0] = 0;
  m_Data[0] = 0;
  m_SentenceCount = 0;
  m_UnhandledCount = 0;
  m_StreamAlive = 0;
  m_FieldCount = 0;
  m_DataLength = 0;
  InitializeCriticalSection(&m_Lock);
  ResetRecord();
}

CNmeaParser::~CNmeaParser() {
  m_StreamAlive = 0;
  DeleteCriticalSection(&m_Lock);
}

void CNmeaParser::ResetRecord() {
  std::memset(&m_Record, 0, sizeof m_Record);
  m_Record.gsa.mode = 'M';
  m_Record.gsa.fixType = 1;
  m_Record.rmb.status = 'V';
  m_Record.rmb.steer = '?';
  m_Record.rmb.arrival = 'V';
  m_Record.rmc.status = 'V';
  m_Record.rmc.day = 1;
  m_Record.rmc.month = 1;
  m_Record.rmc.year = 2000;
  m_Record.zda.day = 1;
  m_Record.zda.month = 1;
  m_Record.zda.year = 2000;
  m_Record.receiver.status603 = -1;
  m_Record.receiver.value603a = -1;
  m_Record.receiver.value603b = -1;
  m_Record.receiver.value603c = -1;
  m_Record.receiver.complete603 = 0;
  m_Record.receiver.key = -1;
}

int CNmeaParser::Feed(const BYTE* bytes, int count) {
  if (!bytes) return 1;
  for (int i = 0; i < count; ++i) {
    EnterCriticalSection(&m_Lock);
    ProcessByte(bytes[i]);
    LeaveCriticalSection(&m_Lock);
  }
  return 1;
}

void CNmeaParser::ProcessByte(BYTE b) {
  int counter = g_BytesSinceStart.load(std::memory_order_relaxed);
  if (counter > 200) {
    g_BytesSinceStart.store(1, std::memory_order_relaxed);
    m_StreamAlive = 0;
  } else {
    g_BytesSinceStart.store(counter + 1, std::memory_order_relaxed);
  }

  switch (m_State) {
    case kWaitStart:
      if (b == '$') {
        g_BytesSinceStart.store(0, std::memory_order_relaxed);
        m_StreamAlive = 1;
        m_State = kIdentifier;
        m_Checksum = 0;
        m_Index = 0;
      }
      break;

    case kIdentifier:
      if (b == ',' || b == '*') {
        m_Identifier[m_Index] = 0;
        m_Checksum ^= b;
        m_Index = 0;
        m_State = kData;
      } else if (m_Index >= sizeof m_Identifier - 1) {
        m_State = kWaitStart;  // a tenth character: no identifier is that long
      } else {
        m_Identifier[m_Index++] = static_cast<char>(b);
        m_Checksum ^= b;
      }
      break;

    case kData:
      if (b == '*') {
        m_Data[m_Index] = 0;
        m_DataLength = m_Index;
        m_State = kChecksumHigh;
      } else if (b == '\r') {
        // Sentences without a checksum are taken as they are.
        m_Data[m_Index] = 0;
        m_DataLength = m_Index;
        Dispatch();
      } else if (m_Index >= sizeof m_Data - 1) {
        m_State = kWaitStart;  // 256 data characters: the sentence is dropped
      } else {
        m_Checksum ^= b;
        m_Data[m_Index++] = static_cast<char>(b);
      }
      break;

    case kChecksumHigh: {
      int digit = highHexDigit(b);
      m_ChecksumDigitsValid = digit >= 0;
      m_ReceivedChecksum = static_cast<BYTE>((digit < 0 ? 0 : digit) << 4);
      m_State = kChecksumLow;
      break;
    }

    case kChecksumLow: {
      int digit = hexDigit(b);
      if (digit < 0) m_ChecksumDigitsValid = false;
      m_ReceivedChecksum = static_cast<BYTE>(m_ReceivedChecksum | (digit < 0 ? 0 : digit));
      if (m_ChecksumDigitsValid && m_ReceivedChecksum == m_Checksum)
        Dispatch();
      else
        m_State = kWaitStart;
      break;
    }

    default:
      m_State = kWaitStart;
      break;
  }
}

void CNmeaParser::SplitFields() {
  m_FieldCount = 1;
  m_FieldStart[0] = 0;
  for (int i = 0; i < m_DataLength && m_Data[i] != '*'; ++i) {
    if (m_Data[i] == ',') {
      if (m_FieldCount == kMaxFields) break;
      m_FieldStart[m_FieldCount++] = static_cast<WORD>(i + 1);
    }
  }
}

bool CNmeaParser::Field(int n, char* out) const {
  out[0] = 0;
  if (n < 0 || n >= m_FieldCount) return false;
  const char* p = m_Data + m_FieldStart[n];
  int len = 0;
  while (len < 24 && p[len] && p[len] != ',' && p[len] != '*') {
    out[len] = p[len];
    ++len;
  }
  out[len] = 0;
  return len > 0;
}

void CNmeaParser::Dispatch() {
  struct Handler {
    const char* id;
    void (CNmeaParser::*handle)();
  };
  static const Handler handlers[] = {
      {"GPGGA", &CNmeaParser::OnGga},         {"GPGSA", &CNmeaParser::OnGsa},
      {"GPGSV", &CNmeaParser::OnGsv},         {"GPRMB", &CNmeaParser::OnRmb},
      {"GPRMC", &CNmeaParser::OnRmc},         {"GPZDA", &CNmeaParser::OnZda},
      {"GPGLL", &CNmeaParser::OnGll},         {"GPVTG", &CNmeaParser::OnVtg},
      {"PNMRX603", &CNmeaParser::OnPnmrx603}, {"PNMRX600", &CNmeaParser::OnPnmrx600},
      {"SYN", &CNmeaParser::OnSyn},           {"KEY", &CNmeaParser::OnKey},
  };
  SplitFields();
  bool handled = false;
  for (const auto& h : handlers) {
    if (std::strcmp(m_Identifier, h.id) == 0) {
      (this->*h.handle)();
      handled = true;
      break;
    }
  }
  if (!handled) ++m_UnhandledCount;
  ++m_SentenceCount;
  m_State = kWaitStart;
}

// Fields without a stated default keep their previous value when the sentence leaves them
// empty (a receiver without a fix sends empty positions); those with one take it.

void CNmeaParser::OnGga() {
  NmeaGga& g = m_Record.gga;
  char f[25], h[25];
  if (Field(0, f)) parseTime(f, &g.hour, &g.minute, &g.second);
  if (Field(1, f)) {
    g.latitude = parseAngle(f, 2);
    if (Field(2, h) && h[0] == 'S') g.latitude = -g.latitude;
  }
  if (Field(3, f)) {
    g.longitude = parseAngle(f, 3);
    if (Field(4, h) && h[0] == 'W') g.longitude = -g.longitude;
  }
  if (Field(5, f)) g.quality = static_cast<BYTE>(digitValue(f[0]));
  if (Field(6, f)) {
    char two[3] = {f[0], f[1], 0};
    g.satellitesUsed = static_cast<BYTE>(parseInt(two));
  }
  if (Field(7, f)) g.hdop = parseDecimal(f);
  if (Field(8, f)) g.altitude = parseDecimal(f);
  int t = g.minute * 60 + g.second;
  if (t > g.previousTime) g.verticalRate = (g.altitude - g.previousAltitude) / ((t - g.previousTime) / 60.0);
  ++g.count;
  g.previousTime = t;
  g.previousAltitude = g.altitude;
}

void CNmeaParser::OnGsa() {
  NmeaGsa& g = m_Record.gsa;
  char f[25];
  if (Field(0, f)) g.mode = f[0];
  if (Field(1, f)) g.fixType = static_cast<BYTE>(digitValue(f[0]));
  for (int i = 0; i < 12; ++i) {
    if (Field(2 + i, f)) {
      char two[3] = {f[0], f[1], 0};
      g.prn[i] = static_cast<WORD>(parseInt(two));
    } else {
      g.prn[i] = 0;
    }
  }
  g.pdop = Field(14, f) ? parseDecimal(f) : 0;
  g.hdop = Field(15, f) ? parseDecimal(f) : 0;
  g.vdop = Field(16, f) ? parseDecimal(f) : 0;
  ++g.count;
}

void CNmeaParser::OnGsv() {
  NmeaGsv& g = m_Record.gsv;
  char f[25];
  int messages = 0;
  if (!Field(0, f) || !smallNumber(f, 0, 9, &messages)) return;
  if (messages < 1 || messages > 8) return;
  int number = 0;
  if (!Field(1, f) || !smallNumber(f, 1, 9, &number)) return;
  if (Field(2, f)) g.inView = static_cast<WORD>(parseInt(f));
  for (int i = 0; i < 4; ++i) {
    NmeaSatellite& s = g.satellites[(number - 1) * 4 + i];
    int base = 3 + i * 4;
    s.prn = Field(base, f) ? static_cast<WORD>(parseInt(f)) : 0;
    s.elevation = Field(base + 1, f) ? static_cast<WORD>(parseInt(f)) : 0;
    s.azimuth = Field(base + 2, f) ? static_cast<WORD>(parseInt(f)) : 0;
    s.snr = Field(base + 3, f) ? static_cast<WORD>(parseInt(f)) : 0;
    s.used = 0;
    if (s.prn != 0)
      for (WORD prn : m_Record.gsa.prn)
        if (prn == s.prn) s.used = 1;
  }
  ++g.count;
}

void CNmeaParser::OnRmb() {
  NmeaRmb& r = m_Record.rmb;
  char f[25], h[25];
  r.status = Field(0, f) ? f[0] : 'V';
  r.crossTrack = Field(1, f) ? parseDecimal(f) : 0;
  r.steer = Field(2, f) ? f[0] : '?';
  Field(3, f);
  std::strncpy(r.origin, f, sizeof r.origin);  // at most 24 characters; the rest zero
  Field(4, f);
  std::strncpy(r.destination, f, sizeof r.destination);
  if (Field(5, f)) {
    r.destLatitude = parseAngle(f, 2);
    if (Field(6, h) && h[0] == 'S') r.destLatitude = -r.destLatitude;
  }
  if (Field(7, f)) {
    r.destLongitude = parseAngle(f, 3);
    if (Field(8, h) && h[0] == 'W') r.destLongitude = -r.destLongitude;
  }
  r.range = Field(9, f) ? parseDecimal(f) : 0;
  r.bearing = Field(10, f) ? parseDecimal(f) : 0;
  r.closingVelocity = Field(11, f) ? parseDecimal(f) : 0;
  r.arrival = Field(12, f) ? f[0] : 'V';
  ++r.count;
}

void CNmeaParser::OnRmc() {
  NmeaRmc& r = m_Record.rmc;
  char f[25], h[25];
  if (Field(0, f)) parseTime(f, &r.hour, &r.minute, &r.second);
  r.status = Field(1, f) ? f[0] : 'V';
  if (Field(2, f)) {
    r.latitude = parseAngle(f, 2);
    if (Field(3, h) && h[0] == 'S') r.latitude = -r.latitude;
  }
  if (Field(4, f)) {
    r.longitude = parseAngle(f, 3);
    if (Field(5, h) && h[0] == 'W') r.longitude = -r.longitude;
  }
  r.speedKnots = Field(6, f) ? parseDecimal(f) : 0;
  r.course = Field(7, f) ? parseDecimal(f) : 0;
  if (Field(8, f)) {
    r.day = twoDigits(f, 0);
    r.month = twoDigits(f, 2);
    r.year = static_cast<WORD>(2000 + twoDigits(f, 4));
  }
  r.magneticVariation = Field(9, f) ? parseDecimal(f) : 0;
  if (Field(10, f) && f[0] == 'W') r.magneticVariation = -r.magneticVariation;
  ++r.count;
}

void CNmeaParser::OnZda() {
  NmeaZda& z = m_Record.zda;
  char f[25];
  if (Field(0, f)) parseTime(f, &z.hour, &z.minute, &z.second);
  z.day = Field(1, f) ? static_cast<BYTE>(parseInt(f)) : 1;
  z.month = Field(2, f) ? static_cast<BYTE>(parseInt(f)) : 1;
  z.year = Field(3, f) ? static_cast<WORD>(parseInt(f)) : 1;
  z.zoneHours = Field(4, f) ? static_cast<BYTE>(parseInt(f)) : 0;
  z.zoneMinutes = Field(5, f) ? static_cast<BYTE>(parseInt(f)) : 0;
  ++z.count;
}

void CNmeaParser::OnGll() {
  NmeaGll& g = m_Record.gll;
  char f[25], h[25];
  if (Field(0, f)) {
    g.latitude = parseAngle(f, 2);
    if (Field(1, h) && h[0] == 'S') g.latitude = -g.latitude;
  }
  if (Field(2, f)) {
    g.longitude = parseAngle(f, 3);
    if (Field(3, h) && h[0] == 'W') g.longitude = -g.longitude;
  }
  if (Field(4, f)) parseTime(f, &g.hour, &g.minute, &g.second);
  ++g.count;
}

void CNmeaParser::OnVtg() {
  char f[25];
  m_Record.vtg.speedKmh = Field(6, f) ? parseDecimal(f) : 0;
}

void CNmeaParser::OnPnmrx603() {
  NmeaReceiver& r = m_Record.receiver;
  if (r.complete603) return;
  char f[25];
  r.status603 = Field(0, f) ? static_cast<int>(parseInt(f)) : 255;
  if (r.status603 == 3) {
    r.value603a = Field(3, f) ? static_cast<int>(parseInt(f)) : 65535;
    if (Field(4, f))
      r.value603b = static_cast<signed char>((isDigit(f[0]) || f[0] == '-' || f[0] == '+') ? parseInt(f) : f[0]);
    else
      r.value603b = 15;
    r.value603c = Field(5, f) ? static_cast<int>(parseInt(f)) : 65535;
  }
  if (r.status603 == 4) r.complete603 = 1;
}

void CNmeaParser::OnPnmrx600() {
  std::memcpy(m_Record.receiver.raw600, m_Data, static_cast<size_t>(m_DataLength));
  m_Record.receiver.raw600[m_DataLength] = 0;
}

void CNmeaParser::OnSyn() {
  char f[25];
  m_Record.receiver.syn[0] = Field(0, f) ? static_cast<int>(parseInt(f)) : 0;
  m_Record.receiver.syn[1] = Field(1, f) ? static_cast<int>(parseInt(f)) : 0;
}

void CNmeaParser::OnKey() {
  char f[25];
  m_Record.receiver.key = Field(0, f) ? static_cast<int>(parseInt(f)) : -1;
}
