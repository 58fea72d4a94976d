// The GPS receiver's NMEA 0183 parser: a byte-at-a-time state machine that checks each
// sentence's checksum, splits it into fields and keeps the values in one GPS record.
//
// Receivers that track several satellite systems name the system in the talker id ($GNRMC,
// $GLGSV, $GAGSV ...): the sentences are taken from the talkers GP, GN, GL, GA, GB, BD, GQ and QZ
// alike. Each system's satellites are kept apart (`sky`), and once a second system shows up the
// record's `gsv` is the merged view of all of them. A receiver that only says GP leaves the record
// as it always did.
#pragma once

#include <windows.h>

struct NmeaGga {
  BYTE hour, minute, second;
  double latitude, longitude;  // degrees, south and west negative
  BYTE quality;
  BYTE satellitesUsed;
  double hdop;
  double altitude;  // metres
  DWORD count;
  double previousAltitude;
  int previousTime;     // minutes * 60 + seconds of the previous GGA
  double verticalRate;  // metres per minute
};

struct NmeaGsa {
  char mode;
  BYTE fixType;
  WORD prn[12];  // satellites used in the fix, 0 = empty slot
  double pdop, hdop, vdop;
  DWORD count;
};

struct NmeaSatellite {
  WORD prn;
  WORD snr;
  DWORD used;  // 1 when the PRN is one of the GSA's
  WORD azimuth;
  WORD elevation;
};

struct NmeaGsv {
  WORD inView;
  NmeaSatellite satellites[36];
  DWORD count;
};

struct NmeaRmb {
  char status;
  double crossTrack;
  char steer;
  char origin[32];
  char destination[32];
  double destLatitude, destLongitude;
  double range, bearing, closingVelocity;
  char arrival;
  DWORD count;
};

struct NmeaRmc {
  BYTE hour, minute, second;
  char status;
  double latitude, longitude;
  double speedKnots;
  double course;
  BYTE day, month;
  WORD year;
  double magneticVariation;  // west negative
  DWORD count;
};

struct NmeaZda {
  BYTE hour, minute, second;
  BYTE day, month;
  WORD year;
  BYTE zoneHours, zoneMinutes;
  DWORD count;
};

struct NmeaGll {
  double latitude, longitude;
  BYTE hour, minute, second;
  DWORD count;
};

struct NmeaVtg {
  double speedKmh;
};

// The receiver's own sentences.
struct NmeaReceiver {
  int status603;      // PNMRX603 status code
  int value603a;      // field 3
  signed char value603b;  // field 4, a small value
  int value603c;      // field 5
  int complete603;    // set by status code 4; later PNMRX603 sentences are ignored
  char raw600[256];   // data of the last PNMRX600
  int syn[2];
  int key;
};

// The satellite systems, by talker: GP, GL, GA, GB or BD, GQ or QZ, and GN for a sequence that
// mixes systems.
enum NmeaSystem : int { kNmeaGps, kNmeaGlonass, kNmeaGalileo, kNmeaBeidou, kNmeaQzss, kNmeaMixed, kNmeaSystems };

// One satellite system's own view: its GSV sequence and its GSA's satellites.
struct NmeaSky {
  WORD inView;
  WORD used[12];  // PRNs of the system's satellites used in the fix, 0 = empty slot
  NmeaSatellite satellites[36];
  // Receivers of NMEA 4.11 send one GSV sequence per signal (L1, L2 ...) of the same satellites;
  // the table follows the first signal id it meets (-1: none yet).
  int signal;
  DWORD gsvCount;
  DWORD gsaCount;
};

struct NmeaGpsRecord {
  NmeaGga gga;
  NmeaGsa gsa;
  NmeaGsv gsv;
  NmeaRmb rmb;
  NmeaRmc rmc;
  NmeaZda zda;
  NmeaGll gll;
  NmeaVtg vtg;
  NmeaReceiver receiver;
  NmeaSky sky[kNmeaSystems];
  DWORD systems;  // bit per system whose GSV or GSA was stored
};

class CNmeaParser {
 public:
  CNmeaParser();
  virtual ~CNmeaParser();
  CNmeaParser(const CNmeaParser&) = delete;
  CNmeaParser& operator=(const CNmeaParser&) = delete;

  // Runs the state machine over the bytes. Each finished sentence is stored in the record
  // under the record lock, as a whole. Always 1.
  int Feed(const BYTE* bytes, int count);

  // The record. Readers that need a consistent view hold the lock (Lock/Unlock): they see
  // every sentence either not yet stored or stored completely.
  const NmeaGpsRecord& Record() const { return m_Record; }
  void Lock() { EnterCriticalSection(&m_Lock); }
  void Unlock() { LeaveCriticalSection(&m_Lock); }

  DWORD SentenceCount() const { return m_SentenceCount; }
  // 1 while sentence starts keep arriving (fewer than 200 bytes apart).
  int IsStreamAlive() const { return m_StreamAlive; }
  // Sentences dispatched whose identifier has no handler (other talkers, other types).
  DWORD UnhandledCount() const { return m_UnhandledCount; }

 private:
  void Dispatch();
  void ResetRecord();
  // The satellites of every system seen, as one `gsv` table: those used in the fix first.
  void MergeSky();
  bool UsedBy(int system, WORD prn) const;

  // Field n of the current data text, cut to 24 characters; false when missing or empty.
  bool Field(int n, char* out) const;
  void SplitFields();

  void OnGga();
  void OnGsa();
  void OnGsv();
  void OnRmb();
  void OnRmc();
  void OnZda();
  void OnGll();
  void OnVtg();
  void OnPnmrx603();
  void OnPnmrx600();
  void OnSyn();
  void OnKey();

  int m_State;
  BYTE m_Checksum;
  BYTE m_ReceivedChecksum;
  bool m_ChecksumDigitsValid;
  WORD m_Index;
  char m_Identifier[10];
  char m_Data[256];
  DWORD m_SentenceCount;
  DWORD m_UnhandledCount;
  volatile int m_StreamAlive;
  CRITICAL_SECTION m_Lock;      // the record and the sentence counts
  CRITICAL_SECTION m_FeedLock;  // the assembly state, for one Feed call at a time
  NmeaGpsRecord m_Record;

  // Where each field of the current sentence starts in m_Data, and how many there are.
  static constexpr int kMaxFields = 128;
  WORD m_FieldStart[kMaxFields];
  int m_FieldCount;
  int m_DataLength;
  // The system of the sentence being stored, and whether its talker is GP.
  int m_System;
  bool m_Gp;
};
