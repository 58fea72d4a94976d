// The NMEA parser: checksum rules, sentence framing limits, each handler's fields and defaults,
// and the stream-alive flag.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <atomic>
#include <random>
#include <thread>

#include "links/nmea_parser.h"

namespace {

std::string withChecksum(const std::string& body) {
  BYTE sum = 0;
  for (char c : body) sum ^= static_cast<BYTE>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

void feed(CNmeaParser& p, const std::string& text) {
  p.Feed(reinterpret_cast<const BYTE*>(text.data()), static_cast<int>(text.size()));
}

TEST(NmeaParser, InitialRecord) {
  CNmeaParser p;
  const NmeaGpsRecord& r = p.Record();
  EXPECT_EQ(r.gsa.mode, 'M');
  EXPECT_EQ(r.gsa.fixType, 1);
  EXPECT_EQ(r.rmb.status, 'V');
  EXPECT_EQ(r.rmb.steer, '?');
  EXPECT_EQ(r.rmb.arrival, 'V');
  EXPECT_EQ(r.rmc.status, 'V');
  EXPECT_EQ(r.rmc.day, 1);
  EXPECT_EQ(r.rmc.month, 1);
  EXPECT_EQ(r.rmc.year, 2000);
  EXPECT_EQ(r.zda.year, 2000);
  EXPECT_EQ(r.receiver.status603, -1);
  EXPECT_EQ(r.receiver.value603a, -1);
  EXPECT_EQ(r.receiver.value603b, -1);
  EXPECT_EQ(r.receiver.value603c, -1);
  EXPECT_EQ(r.receiver.key, -1);
  EXPECT_EQ(r.gsv.inView, 0);
  EXPECT_EQ(p.SentenceCount(), 0u);
  EXPECT_EQ(p.IsStreamAlive(), 0);
}

// Whether the RMC sentence text is taken (its time stored) or dropped.
struct FramingCase {
  const char* what;
  std::string text;
  bool taken;
  // A sentence cut after '*' takes the next sentence's first two bytes as its checksum.
  bool eatsNextStart = false;
};

TEST(NmeaParser, FramingAndChecksumRules) {
  const std::string body = "GPRMC,123456.00,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
  std::string good = withChecksum(body);
  // Sentences whose checksum has a letter as its first (high) or its second (low) digit; the
  // text ends "*XY\r\n", so the digits sit 4 and 3 places from the end.
  auto withLetterAt = [&](size_t fromEnd) {
    // Text in plain ASCII never has a letter as its first digit: one byte above 0x7F does.
    std::string letter;
    for (int c = 0x21; c < 0x100; ++c) {
      if (c == '*' || c == '$' || c == ',' || c == 0x7F) continue;
      letter = withChecksum(body + "," + static_cast<char>(c));
      char digit = letter[letter.size() - fromEnd];
      if (digit >= 'A' && digit <= 'F') break;
    }
    return letter;
  };
  auto lowerAt = [](std::string text, size_t fromEnd) {
    text[text.size() - fromEnd] = static_cast<char>(tolower(text[text.size() - fromEnd]));
    return text;
  };
  std::string letter = withLetterAt(3);
  std::string lowered = lowerAt(letter, 3);
  std::string highLetter = withLetterAt(4);
  std::string highLowered = lowerAt(highLetter, 4);
  ASSERT_NE(std::string("ABCDEF").find(letter[letter.size() - 3]), std::string::npos) << letter;
  ASSERT_NE(std::string("ABCDEF").find(highLetter[highLetter.size() - 4]), std::string::npos) << highLetter;
  std::string bad = good;
  bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';
  std::string dollarInside = withChecksum("GPRMC,123456,A,4807.038,N,01131.000,E,1,2,230394,3,W,$X");

  const FramingCase cases[] = {
      {"correct checksum", good, true},
      {"wrong checksum", bad, false},
      {"carriage return without checksum", "$" + body + "\r\n", true},
      {"checksum letter in upper case", letter, true},
      {"second checksum letter in lower case", lowered, false},
      {"first checksum letter in upper case", highLetter, true},
      {"first checksum letter in lower case", highLowered, true},
      {"'$' inside the data", dollarInside, true},
      {"truncated after '*'", "$" + body + "*", false, true},
      {"no start", body + "\r\n", false},
  };
  for (const auto& c : cases) {
    CNmeaParser p;
    feed(p, c.text);
    EXPECT_EQ(p.Record().rmc.count, c.taken ? 1u : 0u) << c.what;
    EXPECT_EQ(p.Record().rmc.hour, c.taken ? 12 : 0) << c.what;
    // Whatever happened, parsing goes on.
    feed(p, good);
    feed(p, good);
    EXPECT_EQ(p.Record().rmc.count, (c.taken ? 3u : 2u) - (c.eatsNextStart ? 1u : 0u)) << c.what;
    EXPECT_EQ(p.Record().rmc.minute, 34) << c.what;
    EXPECT_EQ(p.Record().rmc.second, 56) << c.what;
  }
}

TEST(NmeaParser, IdentifierAndDataLimits) {
  struct {
    std::string text;
    bool counted;
  } cases[] = {
      {withChecksum("ABCDEFGHI,1"), true},                       // 9 characters
      {withChecksum("ABCDEFGHIJ,1"), false},                     // 10
      {withChecksum("GPZZZ," + std::string(255, 'x')), true},    // 255 data characters
      {withChecksum("GPZZZ," + std::string(256, 'x')), false},   // 256
      {withChecksum("GPZZZ," + std::string(5000, 'x')), false},  // far too long
  };
  for (auto& c : cases) {
    CNmeaParser p;
    feed(p, c.text);
    EXPECT_EQ(p.SentenceCount(), c.counted ? 1u : 0u) << c.text.substr(0, 20) << " " << c.text.size();
    feed(p, withChecksum("GPZDA,010203,04,05,2024,,"));
    EXPECT_EQ(p.Record().zda.count, 1u);
  }
}

TEST(NmeaParser, GgaPositionAndVerticalRate) {
  CNmeaParser p;
  feed(p, withChecksum("GPGGA,123519,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,"));
  const NmeaGga& g = p.Record().gga;
  EXPECT_NEAR(g.latitude, -(48 + 7.038 / 60), 1e-9);
  EXPECT_NEAR(g.longitude, -(11 + 31.0 / 60), 1e-9);
  EXPECT_EQ(g.hour, 12);
  EXPECT_EQ(g.minute, 35);
  EXPECT_EQ(g.second, 19);
  EXPECT_EQ(g.quality, 1);
  EXPECT_EQ(g.satellitesUsed, 8);
  EXPECT_DOUBLE_EQ(g.hdop, 0.9);
  EXPECT_DOUBLE_EQ(g.altitude, 545.4);
  // Ten metres up in 30 seconds: 20 metres a minute.
  feed(p, withChecksum("GPGGA,123549,4807.038,N,01131.000,E,2,12,0.9,555.4,M,46.9,M,,"));
  EXPECT_NEAR(g.verticalRate, 20.0, 1e-9);
  EXPECT_GT(g.latitude, 0);
  EXPECT_EQ(g.count, 2u);
  // Same time again: the rate stays, the count grows.
  feed(p, withChecksum("GPGGA,123549,4807.038,N,01131.000,E,2,12,0.9,600.0,M,46.9,M,,"));
  EXPECT_NEAR(g.verticalRate, 20.0, 1e-9);
  EXPECT_EQ(g.count, 3u);
}

TEST(NmeaParser, GsvFillsItsTableSlotsAndMarksSatellitesUsed) {
  CNmeaParser p;
  feed(p, withChecksum("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"));
  const NmeaGsa& a = p.Record().gsa;
  EXPECT_EQ(a.mode, 'A');
  EXPECT_EQ(a.fixType, 3);
  EXPECT_EQ(a.prn[0], 4);
  EXPECT_EQ(a.prn[2], 0);
  EXPECT_EQ(a.prn[7], 24);
  EXPECT_DOUBLE_EQ(a.pdop, 2.5);
  EXPECT_DOUBLE_EQ(a.vdop, 2.1);

  feed(p, withChecksum("GPGSV,3,3,11,24,64,239,45,09,,,,02,10,200,,,,,"));
  const NmeaGsv& g = p.Record().gsv;
  EXPECT_EQ(g.inView, 11);
  EXPECT_EQ(g.count, 1u);
  EXPECT_EQ(g.satellites[8].prn, 24);
  EXPECT_EQ(g.satellites[8].elevation, 64);
  EXPECT_EQ(g.satellites[8].azimuth, 239);
  EXPECT_EQ(g.satellites[8].snr, 45);
  EXPECT_EQ(g.satellites[8].used, 1u);
  EXPECT_EQ(g.satellites[9].prn, 9);
  EXPECT_EQ(g.satellites[9].used, 1u);
  EXPECT_EQ(g.satellites[10].prn, 2);
  EXPECT_EQ(g.satellites[10].used, 0u);
  EXPECT_EQ(g.satellites[11].prn, 0);
  EXPECT_EQ(g.satellites[11].used, 0u);
  EXPECT_EQ(g.satellites[0].prn, 0);

  // Sentences that announce too many messages, or carry a bad message number, store nothing.
  for (const char* body : {"GPGSV,9,1,30,01,02,003,04", "GPGSV,0,1,30,01,02,003,04", "GPGSV,,1,30,01,02,003,04",
                           "GPGSV,3,0,30,01,02,003,04", "GPGSV,3,x,30,01,02,003,04", "GPGSV,12,1,30,01,02,003,04"}) {
    feed(p, withChecksum(body));
    EXPECT_EQ(g.inView, 11) << body;
    EXPECT_EQ(g.count, 1u) << body;
    EXPECT_EQ(g.satellites[0].prn, 0) << body;
  }
  // Message 9 of 8 still fits the table (entries 32 to 35).
  feed(p, withChecksum("GPGSV,8,9,36,31,01,001,01,32,02,002,02,33,03,003,03,34,04,004,04"));
  EXPECT_EQ(g.satellites[35].prn, 34);
}

TEST(NmeaParser, RmcRmbZdaGllVtgFields) {
  CNmeaParser p;
  feed(p, withChecksum("GPRMC,081836,A,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E"));
  const NmeaRmc& r = p.Record().rmc;
  EXPECT_EQ(r.status, 'A');
  EXPECT_NEAR(r.latitude, -(37 + 51.65 / 60), 1e-9);
  EXPECT_NEAR(r.longitude, 145 + 7.36 / 60, 1e-9);
  EXPECT_EQ(r.day, 13);
  EXPECT_EQ(r.month, 9);
  EXPECT_EQ(r.year, 2098);
  EXPECT_DOUBLE_EQ(r.magneticVariation, 11.3);
  feed(p, withChecksum("GPRMC,081837,,,,,,,,,,W"));
  EXPECT_EQ(r.status, 'V');
  EXPECT_EQ(r.speedKnots, 0);
  EXPECT_EQ(r.course, 0);
  EXPECT_EQ(r.magneticVariation, 0);
  EXPECT_EQ(r.second, 37);

  feed(p, withChecksum("GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,V"));
  const NmeaRmb& b = p.Record().rmb;
  EXPECT_EQ(b.status, 'A');
  EXPECT_DOUBLE_EQ(b.crossTrack, 0.66);
  EXPECT_EQ(b.steer, 'L');
  EXPECT_STREQ(b.origin, "003");
  EXPECT_STREQ(b.destination, "004");
  EXPECT_NEAR(b.destLongitude, -(123 + 9.57 / 60), 1e-9);
  EXPECT_DOUBLE_EQ(b.range, 1.3);
  EXPECT_DOUBLE_EQ(b.bearing, 52.5);
  EXPECT_DOUBLE_EQ(b.closingVelocity, 0.5);
  EXPECT_EQ(b.arrival, 'V');
  feed(p, withChecksum("GPRMB,,,,ABCDEFGHIJKLMNOPQRSTUVWXYZ,,,,,,,,,"));
  EXPECT_EQ(b.status, 'V');
  EXPECT_EQ(b.steer, '?');
  EXPECT_STREQ(b.origin, "ABCDEFGHIJKLMNOPQRSTUVWX") << "fields are cut to 24 characters";
  EXPECT_STREQ(b.destination, "");

  feed(p, withChecksum("GPZDA,201530.00,04,07,2002,-05,30"));
  const NmeaZda& z = p.Record().zda;
  EXPECT_EQ(z.hour, 20);
  EXPECT_EQ(z.day, 4);
  EXPECT_EQ(z.month, 7);
  EXPECT_EQ(z.year, 2002);
  EXPECT_EQ(z.zoneMinutes, 30);
  feed(p, withChecksum("GPZDA,201531,,,,,"));
  EXPECT_EQ(z.day, 1);
  EXPECT_EQ(z.month, 1);
  EXPECT_EQ(z.year, 1);

  feed(p, withChecksum("GPGLL,4916.45,N,12311.12,W,225444,A"));
  const NmeaGll& l = p.Record().gll;
  EXPECT_NEAR(l.latitude, 49 + 16.45 / 60, 1e-9);
  EXPECT_NEAR(l.longitude, -(123 + 11.12 / 60), 1e-9);
  EXPECT_EQ(l.hour, 22);
  EXPECT_EQ(l.second, 44);

  feed(p, withChecksum("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"));
  EXPECT_DOUBLE_EQ(p.Record().vtg.speedKmh, 10.2);
}

TEST(NmeaParser, ReceiverSentences) {
  CNmeaParser p;
  const NmeaReceiver& r = p.Record().receiver;
  feed(p, withChecksum("PNMRX603,3,x,y,120,,7"));
  EXPECT_EQ(r.status603, 3);
  EXPECT_EQ(r.value603a, 120);
  EXPECT_EQ(r.value603b, 15);
  EXPECT_EQ(r.value603c, 7);
  feed(p, withChecksum("PNMRX603,3,,,,9,"));
  EXPECT_EQ(r.value603a, 65535);
  EXPECT_EQ(r.value603b, 9);
  EXPECT_EQ(r.value603c, 65535);
  feed(p, withChecksum("PNMRX603,4"));
  EXPECT_EQ(r.complete603, 1);
  feed(p, withChecksum("PNMRX603,3,,,1,2,3"));
  EXPECT_EQ(r.status603, 4) << "nothing changes once complete";
  feed(p, withChecksum("PNMRX603,"));
  EXPECT_EQ(r.status603, 4);

  feed(p, withChecksum("PNMRX600,abc,def"));
  EXPECT_STREQ(r.raw600, "abc,def");
  std::string longData(255, 'z');
  feed(p, withChecksum("PNMRX600," + longData));
  EXPECT_EQ(std::string(r.raw600), longData);

  feed(p, withChecksum("SYN,12,-34"));
  EXPECT_EQ(r.syn[0], 12);
  EXPECT_EQ(r.syn[1], -34);
  feed(p, withChecksum("KEY,5"));
  EXPECT_EQ(r.key, 5);
  feed(p, withChecksum("KEY,"));
  EXPECT_EQ(r.key, -1);
}

// Every satellite system's talker gives time, date and position; others are counted only.
TEST(NmeaParser, TheSatelliteTalkersAreTakenOthersCounted) {
  for (const char* talker : {"GP", "GN", "GL", "GA", "GB", "BD", "GQ", "QZ", "II", "IN", "PQ"}) {
    const bool taken = std::string("GPGNGLGAGBBDGQQZ").find(talker) % 2 == 0;
    CNmeaParser p;
    feed(p, withChecksum(std::string(talker) + "RMC,123456,A,4807.038,N,01131.000,E,1,2,230394,3,W"));
    feed(p, withChecksum(std::string(talker) + "GGA,123519,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(p.Record().rmc.hour, taken ? 12 : 0) << talker;
    EXPECT_EQ(p.Record().rmc.year, taken ? 2094 : 2000) << talker;
    EXPECT_LT(p.Record().gga.latitude, taken ? -48 : 1) << talker;
    EXPECT_EQ(p.UnhandledCount(), taken ? 0u : 2u) << talker;
  }
}

// Several systems: each GSV sequence fills its own system's table, each GSA (told apart by its
// talker, its NMEA 4.11 system id or its satellite numbers) its own system's list, and the
// record's table is the merged one with the used satellites first.
TEST(NmeaParser, SystemsKeepTheirOwnSequencesAndTheMergedTableStartsWithTheUsed) {
  struct Step {
    std::string body;
    int inView;    // of the record's table, after the sentence
    int firstPrn;  // its entry 0
    bool firstUsed;
  } steps[] = {
      {"GPGSA,A,3,,,,,,,,,,,,,2.5,1.3,2.1", 0, 0, false},
      {"GPGSV,4,1,13,01,10,100,30,02,10,100,30,03,10,100,30,04,10,100,30", 13, 1, false},
      {"GPGSV,4,2,13,05,10,100,30,06,10,100,30,07,10,100,30,08,10,100,30", 13, 1, false},
      {"GPGSV,4,3,13,09,10,100,30,10,10,100,30,11,10,100,30,12,10,100,30", 13, 1, false},
      {"GLGSV,1,1,02,65,20,200,40,66,20,200,40", 15, 1, false},  // a second system: merged
      {"GNGSA,A,3,66,,,,,,,,,,,,2.5,1.3,2.1", 15, 66, true},     // GLONASS by its numbers
      {"GAGSV,1,1,01,07,30,300,50,7", 16, 66, true},             // signal 7 ...
      {"GAGSV,1,1,01,09,30,300,50,1", 16, 66, true},             // ... another signal: apart
      {"GNGSA,A,3,07,,,,,,,,,,,,2.5,1.3,2.1,3", 16, 66, true},   // Galileo by its system id
      {"GNGSA,A,3,,,,,,,,,,,,,2.5,1.3,2.1,2", 16, 7, true},      // GLONASS uses none now
      {"GPGSV,4,4,13,13,10,100,30", 16, 7, true},                // GPS's sequence goes on
  };
  CNmeaParser p;
  const NmeaGpsRecord& r = p.Record();
  for (const Step& s : steps) {
    feed(p, withChecksum(s.body));
    EXPECT_EQ(r.gsv.inView, s.inView) << s.body;
    EXPECT_EQ(r.gsv.satellites[0].prn, s.firstPrn) << s.body;
    EXPECT_EQ(r.gsv.satellites[0].used != 0, s.firstUsed) << s.body;
  }
  EXPECT_EQ(r.sky[kNmeaGps].satellites[12].prn, 13);
  EXPECT_EQ(r.sky[kNmeaGalileo].satellites[0].prn, 7);
  EXPECT_EQ(r.sky[kNmeaGlonass].satellites[1].prn, 66);
  EXPECT_EQ(r.gsv.satellites[1].prn, 1);  // the unused follow, system by system
  EXPECT_EQ(r.gsv.satellites[14].prn, 65);
  EXPECT_EQ(r.gsv.count, 7u);
}

TEST(NmeaParser, StreamAliveNeedsSentenceStarts) {
  CNmeaParser p;
  feed(p, withChecksum("GPVTG,,,,,,,1.0,K"));
  EXPECT_EQ(p.IsStreamAlive(), 1);
  feed(p, std::string(150, 'x'));
  EXPECT_EQ(p.IsStreamAlive(), 1);
  feed(p, std::string(100, 'x'));
  EXPECT_EQ(p.IsStreamAlive(), 0);
  feed(p, "$");
  EXPECT_EQ(p.IsStreamAlive(), 1);
}

// The flag drops on the 202nd byte after a '$' (the counter passes 200 on the byte before),
// however the bytes are split into blocks.
TEST(NmeaParser, StreamAliveDropsAtTheSameByteWhateverTheBlocks) {
  for (int length = 0; length <= 450; ++length) {
    for (int split : {0, 1, length / 2, length - 1}) {
      if (split < 0 || split > length) continue;
      CNmeaParser p;
      feed(p, "$GPX,1*");
      const std::string noise(static_cast<size_t>(length), 'x');
      feed(p, noise.substr(0, static_cast<size_t>(split)));
      feed(p, noise.substr(static_cast<size_t>(split)));
      // "GPX,1*" and the two checksum characters are bytes after the '$' too.
      const int after = 6 + length;
      EXPECT_EQ(p.IsStreamAlive(), after <= 201 ? 1 : 0) << length << " split at " << split;
    }
  }
}

TEST(NmeaParser, BinaryNoiseNeverCrashesAndParsingRecovers) {
  CNmeaParser p;
  std::mt19937 random(1234);
  std::vector<BYTE> noise(200000);
  for (auto& b : noise) b = static_cast<BYTE>(random());
  p.Feed(noise.data(), static_cast<int>(noise.size()));
  p.Feed(nullptr, 10);
  p.Feed(noise.data(), 0);
  feed(p, "\r\n" + withChecksum("GPRMC,235959,A,0000.000,N,00000.000,E,,,010199,,"));
  EXPECT_EQ(p.Record().rmc.hour, 23);
  EXPECT_EQ(p.Record().rmc.year, 2099);
}

// A reader holding the parser's lock sees each sentence either not yet stored or stored as a
// whole: the two sentences fed in turn differ in every RMC field, so a torn view shows up as a
// mix. The feeder writes many sentences per block, so a lock released inside a sentence (or not
// taken at all) is caught here, and without doubt by the thread sanitizer build.
TEST(NmeaParser, ReaderUnderTheLockNeverSeesHalfAStoredSentence) {
  CNmeaParser p;
  const std::string a = withChecksum("GPRMC,010101,A,1000.000,N,02000.000,E,001.0,010.0,010101,,");
  const std::string b = withChecksum("GPRMC,020202,V,3000.000,S,04000.000,W,002.0,020.0,020202,,");
  std::string block;
  for (int i = 0; i < 20; ++i) block += (i % 2 ? b : a);
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, looks{0};
  std::thread reader([&] {
    while (!done.load()) {
      p.Lock();
      const NmeaRmc r = p.Record().rmc;
      p.Unlock();
      if (r.count == 0) continue;
      ++looks;
      const bool isA = r.hour == 1 && r.status == 'A' && r.latitude > 0 && r.longitude > 0 && r.speedKnots == 1.0 &&
                       r.day == 1;
      const bool isB = r.hour == 2 && r.status == 'V' && r.latitude < 0 && r.longitude < 0 && r.speedKnots == 2.0 &&
                       r.day == 2;
      if (!isA && !isB) ++torn;
    }
  });
  for (int round = 0; round < 3000 || (looks.load() < 100 && round < 200000); ++round) feed(p, block);
  done = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(p.Record().rmc.hour, 2);  // the last one fed
}

}  // namespace
