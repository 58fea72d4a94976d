// NMEA 0183 sentences from the GPS receiver, one byte at a time. Everything lives in fixed
// buffers inside the object: feeding never allocates.
#include "links/nmea_parser.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Length of the run of bytes from `p` (at most n) before the first '*' or CR.
int dataRun(const BYTE* p, int n) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i star = _mm_set1_epi8('*'), cr = _mm_set1_epi8('\r');
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const int hit = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, star), _mm_cmpeq_epi8(v, cr)));
    if (hit) return i + __builtin_ctz(static_cast<unsigned>(hit));
  }
#endif
  while (i < n && p[i] != '*' && p[i] != '\r') ++i;
  return i;
}

// The exclusive or of n bytes.
BYTE xorOf(const BYTE* p, int n) {
  uint64_t acc = 0;
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    acc ^= w;
  }
  acc ^= acc >> 32;
  acc ^= acc >> 16;
  acc ^= acc >> 8;
  BYTE sum = static_cast<BYTE>(acc);
  for (; i < n; ++i) sum ^= p[i];
  return sum;
}

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

// The system of an NMEA 4.11 system id.
int systemOfId(long id) {
  switch (id) {
    case 1:
      return kNmeaGps;
    case 2:
      return kNmeaGlonass;
    case 3:
      return kNmeaGalileo;
    case 4:
      return kNmeaBeidou;
    case 5:
      return kNmeaQzss;
    default:
      return kNmeaMixed;
  }
}

// The system of a satellite number as receivers before NMEA 4.11 give them (SBAS counts with
// GPS, as GPS receivers list it); 0 or a number of no system: mixed.
int systemOfPrn(WORD prn) {
  if ((prn >= 1 && prn <= 64) || (prn >= 120 && prn <= 158)) return kNmeaGps;
  if (prn >= 65 && prn <= 96) return kNmeaGlonass;
  if (prn >= 193 && prn <= 202) return kNmeaQzss;
  if ((prn >= 211 && prn <= 246) || (prn >= 301 && prn <= 336)) return kNmeaGalileo;
  if ((prn >= 159 && prn <= 163) || (prn >= 401 && prn <= 437)) return kNmeaBeidou;
  return kNmeaMixed;
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
  m_System = kNmeaGps;
  m_Gp = true;
  InitializeCriticalSection(&m_Lock);
  InitializeCriticalSection(&m_FeedLock);
  ResetRecord();
}

CNmeaParser::~CNmeaParser() {
  m_StreamAlive = 0;
  DeleteCriticalSection(&m_FeedLock);
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
  for (NmeaSky& sky : m_Record.sky) sky.signal = -1;
}

// The assembly state (state, checksum, identifier and data buffers) belongs to the feeding
// thread: it is guarded by its own lock, taken once per block. The record lock is taken only
// while a finished sentence is stored, so a reader holding it sees every sentence either not
// yet stored or stored completely, and the feeder pays one lock per sentence, not per byte.
int CNmeaParser::Feed(const BYTE* bytes, int count) {
  if (!bytes || count <= 0) return 1;
  EnterCriticalSection(&m_FeedLock);
  // The shared byte counter is carried in a register through the block and written back at its
  // end and at every sentence start.
  int counter = g_BytesSinceStart.load(std::memory_order_relaxed);
  auto countByte = [&] {
    if (counter > 200) {
      counter = 1;
      if (m_StreamAlive) m_StreamAlive = 0;
    } else {
      ++counter;
    }
  };
  // The same for k bytes at once: the counter climbs to 201, then starts again from 1.
  auto countBytes = [&](int k) {
    if (k <= 0) return;
    if (counter > 201) {
      countByte();
      --k;
    }
    if (counter + k <= 201) {
      counter += k;
      return;
    }
    counter = 1 + (k - (201 - counter) - 1) % 201;
    if (m_StreamAlive) m_StreamAlive = 0;
  };
  int i = 0;
  while (i < count) {
    switch (m_State) {
      case kWaitStart: {
        const void* found = std::memchr(bytes + i, '$', static_cast<size_t>(count - i));
        const int at = found ? static_cast<int>(static_cast<const BYTE*>(found) - bytes) : count;
        countBytes(at - i + (found ? 1 : 0));
        i = found ? at + 1 : count;
        if (found) {
          counter = 0;
          m_StreamAlive = 1;
          m_State = kIdentifier;
          m_Checksum = 0;
          m_Index = 0;
        }
        break;
      }

      case kIdentifier: {
        BYTE sum = m_Checksum;
        WORD index = m_Index;
        while (i < count) {
          const BYTE b = bytes[i++];
          countByte();
          if (b == ',' || b == '*') {
            m_Identifier[index] = 0;
            sum ^= b;
            index = 0;
            m_State = kData;
            break;
          }
          if (index >= sizeof m_Identifier - 1) {
            m_State = kWaitStart;  // a tenth character: no identifier is that long
            break;
          }
          m_Identifier[index++] = static_cast<char>(b);
          sum ^= b;
        }
        m_Checksum = sum;
        m_Index = index;
        break;
      }

      case kData: {
        // The body of a sentence, kept in registers until it ends.
        BYTE sum = m_Checksum;
        WORD index = m_Index;
        // The run of plain data bytes first, sixteen at a time: up to the first '*' or CR, and
        // no further than the buffer has room for.
        const int room = static_cast<int>(sizeof m_Data - 1) - index;
        const int run = dataRun(bytes + i, std::min(count - i, std::max(room, 0)));
        if (run > 0) {
          std::memcpy(m_Data + index, bytes + i, static_cast<size_t>(run));
          sum ^= xorOf(bytes + i, run);
          index = static_cast<WORD>(index + run);
          countBytes(run);
          i += run;
        }
        while (i < count) {
          const BYTE b = bytes[i++];
          countByte();
          if (b == '*') {
            m_Data[index] = 0;
            m_DataLength = index;
            m_State = kChecksumHigh;
            break;
          }
          if (b == '\r') {
            // Sentences without a checksum are taken as they are.
            m_Data[index] = 0;
            m_DataLength = index;
            Dispatch();
            break;
          }
          if (index >= sizeof m_Data - 1) {
            m_State = kWaitStart;  // 256 data characters: the sentence is dropped
            break;
          }
          sum ^= b;
          m_Data[index++] = static_cast<char>(b);
        }
        m_Checksum = sum;
        m_Index = index;
        break;
      }

      case kChecksumHigh: {
        const BYTE b = bytes[i++];
        countByte();
        int digit = highHexDigit(b);
        m_ChecksumDigitsValid = digit >= 0;
        m_ReceivedChecksum = static_cast<BYTE>((digit < 0 ? 0 : digit) << 4);
        m_State = kChecksumLow;
        break;
      }

      case kChecksumLow: {
        const BYTE b = bytes[i++];
        countByte();
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
        ++i;
        countByte();
        m_State = kWaitStart;
        break;
    }
  }
  g_BytesSinceStart.store(counter, std::memory_order_relaxed);
  LeaveCriticalSection(&m_FeedLock);
  return 1;
}

void CNmeaParser::SplitFields() {
  m_FieldCount = 1;
  m_FieldStart[0] = 0;
  int i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time: the commas as a bit mask, a '*' ends the search.
  const __m128i comma = _mm_set1_epi8(','), star = _mm_set1_epi8('*');
  for (; i + 16 <= m_DataLength; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_Data + i));
    unsigned commas = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, comma)));
    const unsigned stars = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, star)));
    if (stars) commas &= (stars & -stars) - 1;
    for (; commas; commas &= commas - 1) {
      if (m_FieldCount == kMaxFields) return;
      m_FieldStart[m_FieldCount++] = static_cast<WORD>(i + __builtin_ctz(commas) + 1);
    }
    if (stars) return;
  }
#endif
  for (; i < m_DataLength && m_Data[i] != '*'; ++i) {
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
  if (n + 1 < m_FieldCount) {
    // A field before the last ends at the comma the split found; a NUL inside still ends it.
    const int end = std::min(24, m_FieldStart[n + 1] - 1 - m_FieldStart[n]);
    while (len < end && p[len]) {
      out[len] = p[len];
      ++len;
    }
  } else {
    while (len < 24 && p[len] && p[len] != ',' && p[len] != '*') {
      out[len] = p[len];
      ++len;
    }
  }
  out[len] = 0;
  return len > 0;
}

void CNmeaParser::Dispatch() {
  using Handle = void (CNmeaParser::*)();
  // The sentences of the satellite receivers, whichever system's talker sends them.
  static const struct {
    char type[4];
    Handle handle;
  } types[] = {
      {"GGA", &CNmeaParser::OnGga}, {"GSA", &CNmeaParser::OnGsa}, {"GSV", &CNmeaParser::OnGsv},
      {"RMB", &CNmeaParser::OnRmb}, {"RMC", &CNmeaParser::OnRmc}, {"ZDA", &CNmeaParser::OnZda},
      {"GLL", &CNmeaParser::OnGll}, {"VTG", &CNmeaParser::OnVtg},
  };
  static const struct {
    char talker[3];
    int system;
  } talkers[] = {
      {"GP", kNmeaGps},    {"GN", kNmeaMixed},  {"GL", kNmeaGlonass}, {"GA", kNmeaGalileo},
      {"GB", kNmeaBeidou}, {"BD", kNmeaBeidou}, {"GQ", kNmeaQzss},    {"QZ", kNmeaQzss},
  };
  // The receiver's own sentences, by their whole identifier.
  static const struct {
    char id[9];
    Handle handle;
  } own[] = {
      {"PNMRX603", &CNmeaParser::OnPnmrx603},
      {"PNMRX600", &CNmeaParser::OnPnmrx600},
      {"SYN", &CNmeaParser::OnSyn},
      {"KEY", &CNmeaParser::OnKey},
  };
  // Identifiers compared as zero-padded words: a few word compares rather than a string
  // comparison per handler.
  auto word = [](const char* text, size_t n) {
    uint64_t w = 0;
    std::memcpy(&w, text, n);
    return w;
  };
  SplitFields();
  Handle found = nullptr;
  const size_t idLength = std::strlen(m_Identifier);
  if (idLength == 5) {
    const uint64_t talker = word(m_Identifier, 2), type = word(m_Identifier + 2, 3);
    for (const auto& t : talkers) {
      if (word(t.talker, 2) != talker) continue;
      for (const auto& h : types) {
        if (word(h.type, 3) == type) {
          found = h.handle;
          m_System = t.system;
          m_Gp = t.system == kNmeaGps;
          break;
        }
      }
      break;
    }
  } else if (idLength <= 8) {
    const uint64_t key = word(m_Identifier, idLength);
    for (const auto& h : own) {
      if (word(h.id, std::strlen(h.id)) == key) {
        found = h.handle;
        break;
      }
    }
  }
  EnterCriticalSection(&m_Lock);
  if (found)
    (this->*found)();
  else
    ++m_UnhandledCount;
  ++m_SentenceCount;
  LeaveCriticalSection(&m_Lock);
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
  // A GP sentence's numbers are read from their first two characters, as they always were; the
  // other systems number their satellites up to 437.
  WORD prn[12];
  for (int i = 0; i < 12; ++i) {
    if (!Field(2 + i, f)) {
      prn[i] = 0;
    } else if (m_Gp) {
      char two[3] = {f[0], f[1], 0};
      prn[i] = static_cast<WORD>(parseInt(two));
    } else {
      prn[i] = static_cast<WORD>(parseInt(f));
    }
  }
  g.pdop = Field(14, f) ? parseDecimal(f) : 0;
  g.hdop = Field(15, f) ? parseDecimal(f) : 0;
  g.vdop = Field(16, f) ? parseDecimal(f) : 0;
  ++g.count;
  // A GN sentence is one system's: NMEA 4.11 names it in field 17, earlier receivers tell it by
  // the numbers of its satellites.
  int system = m_System;
  if (system == kNmeaMixed) {
    WORD first = 0;
    for (WORD p : prn) first = first ? first : p;
    system = Field(17, f) ? systemOfId(parseInt(f)) : systemOfPrn(first);
  }
  // The record's own list holds the GPS satellites.
  if (system == kNmeaGps) std::memcpy(g.prn, prn, sizeof prn);
  NmeaSky& sky = m_Record.sky[system];
  std::memcpy(sky.used, prn, sizeof prn);
  ++sky.gsaCount;
  m_Record.systems |= 1u << system;
  if (m_Record.systems & ~(1u << kNmeaGps)) MergeSky();
}

void CNmeaParser::OnGsv() {
  NmeaGsv& g = m_Record.gsv;
  char f[25];
  int messages = 0;
  if (!Field(0, f) || !smallNumber(f, 0, 9, &messages)) return;
  if (messages < 1 || messages > 8) return;
  int number = 0;
  if (!Field(1, f) || !smallNumber(f, 1, 9, &number)) return;
  const bool hasInView = Field(2, f);
  const WORD inView = hasInView ? static_cast<WORD>(parseInt(f)) : 0;
  NmeaSatellite satellites[4];
  for (int i = 0; i < 4; ++i) {
    NmeaSatellite& s = satellites[i];
    int base = 3 + i * 4;
    s.prn = Field(base, f) ? static_cast<WORD>(parseInt(f)) : 0;
    s.elevation = Field(base + 1, f) ? static_cast<WORD>(parseInt(f)) : 0;
    s.azimuth = Field(base + 2, f) ? static_cast<WORD>(parseInt(f)) : 0;
    s.snr = Field(base + 3, f) ? static_cast<WORD>(parseInt(f)) : 0;
    s.used = 0;
  }
  if (m_Gp) {
    // The record's own table, as a GPS receiver has always filled it.
    if (hasInView) g.inView = inView;
    for (int i = 0; i < 4; ++i) {
      NmeaSatellite& s = g.satellites[(number - 1) * 4 + i];
      s = satellites[i];
      if (s.prn != 0)
        for (WORD prn : m_Record.gsa.prn)
          if (prn == s.prn) s.used = 1;
    }
  }
  ++g.count;
  // The system's own table. A sentence that ends in a signal id after whole satellites belongs
  // to the sequence of that signal; the table follows one signal of the system.
  NmeaSky& sky = m_Record.sky[m_System];
  if ((m_FieldCount - 3) % 4 == 1) {
    const int signal = Field(m_FieldCount - 1, f) ? static_cast<int>(std::strtol(f, nullptr, 16)) : 0x100;
    if (sky.signal < 0) sky.signal = signal;
    if (signal != sky.signal) return;
  }
  if (hasInView) sky.inView = inView;
  std::memcpy(&sky.satellites[(number - 1) * 4], satellites, sizeof satellites);
  ++sky.gsvCount;
  m_Record.systems |= 1u << m_System;
  if (m_Record.systems & ~(1u << kNmeaGps)) MergeSky();
}

bool CNmeaParser::UsedBy(int system, WORD prn) const {
  // A GSA whose system could not be told counts for every system, and a mixed sequence's
  // satellites may be in any system's list.
  for (int s = 0; s < kNmeaSystems; ++s) {
    if (s != system && s != kNmeaMixed && system != kNmeaMixed) continue;
    for (WORD used : m_Record.sky[s].used)
      if (used == prn) return true;
  }
  return false;
}

void CNmeaParser::MergeSky() {
  NmeaSatellite merged[36] = {};
  int n = 0;
  unsigned inView = 0;
  // Satellites used in the fix first, then the others: whoever reads the first entries for a
  // used one finds it, whichever system it belongs to.
  for (int used = 1; used >= 0; --used) {
    for (int system = 0; system < kNmeaSystems; ++system) {
      if (!(m_Record.systems & (1u << system))) continue;
      const NmeaSky& sky = m_Record.sky[system];
      if (used) inView += sky.inView;
      for (int i = 0; i < std::min<int>(sky.inView, 36) && n < 36; ++i) {
        NmeaSatellite s = sky.satellites[i];
        if (s.prn == 0) continue;
        s.used = UsedBy(system, s.prn) ? 1 : 0;
        if (static_cast<int>(s.used) == used) merged[n++] = s;
      }
    }
  }
  m_Record.gsv.inView = static_cast<WORD>(std::min(inView, 0xFFFFu));
  std::memcpy(m_Record.gsv.satellites, merged, sizeof merged);
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
