// input-digest: decodes outside inputs the way the shell does and prints one digest per input, so
// that two builds (an ARM unit's and the desktop's) can be shown to read the same files the same
// way: `input-digest PATH...` walks files and folders (sorted) and prints
//
//   <path> <kind> <what was read> <digest>
//
// Kinds: nmea (*.log, *.nmea: the receiver parser's record after every sentence), bmp
// (SHLoadDIBitmap's bitmap and the imaging service's pixels), gif (the animation player's frames
// of one cycle and the imaging service's first frame), png and jpeg (the imaging service), xml
// (*.xml, *.osm: CMarkup's verdict, its text, every element's place, name, data and attributes).
// Values go into the digest field by field, never as raw structures, so padding and layout of
// the machine do not count; only what the decoders made of the input does.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "links/nmea_parser.h"
#include "markup.h"
#include "windows.h"

namespace fs = std::filesystem;

namespace {

// FNV-1a, 64 bits, over values written little-endian whatever the machine.
class Digest {
 public:
  void bytes(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) h_ = (h_ ^ p[i]) * 0x100000001b3ull;
  }
  void u64(uint64_t v) {
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    bytes(b, 8);
  }
  void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
  void real(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u64(bits);
  }
  void text(const std::string& s) {
    u64(s.size());
    bytes(s.data(), s.size());
  }
  void text(const std::u16string& s) {
    u64(s.size());
    for (char16_t c : s) u64(c);
  }
  void pixels(const uint32_t* p, size_t n) {
    u64(n);
    for (size_t i = 0; i < n; ++i) u64(p[i]);
  }
  uint64_t value() const { return h_; }

 private:
  uint64_t h_ = 0xcbf29ce484222325ull;
};

std::vector<uint8_t> readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// --- receiver logs --------------------------------------------------------------------------

void addSatellite(Digest& d, const NmeaSatellite& s) {
  for (uint64_t v : {uint64_t(s.prn), uint64_t(s.snr), uint64_t(s.used), uint64_t(s.azimuth), uint64_t(s.elevation)})
    d.u64(v);
}

// The parts of the record a sentence changed (by their counts), so a log costs its length, not
// its length times the record's size.
void addChanged(Digest& d, const NmeaGpsRecord& r, const NmeaGpsRecord& before) {
  if (r.gga.count != before.gga.count) {
    const NmeaGga& g = r.gga;
    d.u64(1);
    for (int v : {int(g.hour), int(g.minute), int(g.second), int(g.quality), int(g.satellitesUsed), g.previousTime})
      d.i64(v);
    for (double v : {g.latitude, g.longitude, g.hdop, g.altitude, g.previousAltitude, g.verticalRate}) d.real(v);
  }
  if (r.gsa.count != before.gsa.count) {
    d.u64(2);
    d.i64(r.gsa.mode);
    d.u64(r.gsa.fixType);
    for (WORD prn : r.gsa.prn) d.u64(prn);
    for (double v : {r.gsa.pdop, r.gsa.hdop, r.gsa.vdop}) d.real(v);
  }
  if (r.gsv.count != before.gsv.count || r.gsa.count != before.gsa.count) {
    d.u64(3);
    d.u64(r.gsv.inView);
    for (const NmeaSatellite& s : r.gsv.satellites) addSatellite(d, s);
  }
  if (r.rmb.count != before.rmb.count) {
    const NmeaRmb& b = r.rmb;
    d.u64(4);
    for (char c : {b.status, b.steer, b.arrival}) d.u64(static_cast<uint8_t>(c));  // bytes, whatever char is
    d.text(std::string(b.origin, strnlen(b.origin, sizeof b.origin)));
    d.text(std::string(b.destination, strnlen(b.destination, sizeof b.destination)));
    for (double v : {b.crossTrack, b.destLatitude, b.destLongitude, b.range, b.bearing, b.closingVelocity}) d.real(v);
  }
  if (r.rmc.count != before.rmc.count) {
    const NmeaRmc& c = r.rmc;
    d.u64(5);
    for (int v : {int(c.hour), int(c.minute), int(c.second), int(c.status), int(c.day), int(c.month), int(c.year)})
      d.i64(v);
    for (double v : {c.latitude, c.longitude, c.speedKnots, c.course, c.magneticVariation}) d.real(v);
  }
  if (r.zda.count != before.zda.count) {
    const NmeaZda& z = r.zda;
    d.u64(6);
    for (int v : {int(z.hour), int(z.minute), int(z.second), int(z.day), int(z.month), int(z.year), int(z.zoneHours),
                  int(z.zoneMinutes)})
      d.i64(v);
  }
  if (r.gll.count != before.gll.count) {
    d.u64(7);
    for (int v : {int(r.gll.hour), int(r.gll.minute), int(r.gll.second)}) d.i64(v);
    d.real(r.gll.latitude);
    d.real(r.gll.longitude);
  }
  for (int s = 0; s < kNmeaSystems; ++s) {
    const NmeaSky& k = r.sky[s];
    if (k.gsvCount == before.sky[s].gsvCount && k.gsaCount == before.sky[s].gsaCount) continue;
    d.u64(8 + s);
    d.u64(k.inView);
    d.i64(k.signal);
    for (WORD prn : k.used) d.u64(prn);
    for (const NmeaSatellite& sat : k.satellites) addSatellite(d, sat);
  }
}

std::string digestNmea(const fs::path& file, Digest& d) {
  const std::vector<uint8_t> data = readAll(file);
  CNmeaParser parser;
  const NmeaGpsRecord& r = parser.Record();
  NmeaGpsRecord before = r;
  // Line by line, as a receiver's bursts arrive; binary frames between the lines go in as well.
  for (size_t start = 0; start < data.size();) {
    size_t end = std::find(data.begin() + start, data.end(), '\n') - data.begin();
    end = std::min(end + 1, data.size());
    parser.Feed(data.data() + start, static_cast<int>(end - start));
    addChanged(d, r, before);
    before = r;
    start = end;
  }
  const NmeaReceiver& x = r.receiver;
  for (int v : {x.status603, x.value603a, int(x.value603b), x.value603c, x.complete603, x.syn[0], x.syn[1], x.key})
    d.i64(v);
  d.text(std::string(x.raw600, strnlen(x.raw600, sizeof x.raw600)));
  d.real(r.vtg.speedKmh);
  d.u64(r.systems);
  return std::to_string(parser.SentenceCount()) + "-sentences/" + std::to_string(parser.UnhandledCount()) +
         "-unhandled";
}

// --- pictures -------------------------------------------------------------------------------

// The imaging service's picture, as the thumbnail loader gets it.
std::string addImagingService(Digest& d, const std::vector<uint8_t>& bytes) {
  auto image = plat::image::Image::fromMemory(bytes.data(), bytes.size());
  if (!image) {
    d.u64(0);
    return "refused";
  }
  const std::vector<uint32_t>& px = image->pixels();
  d.i64(image->width());
  d.i64(image->height());
  d.pixels(px.data(), px.size());
  return std::to_string(image->width()) + "x" + std::to_string(image->height()) + (px.empty() ? "-damaged" : "");
}

std::string digestBmp(const fs::path& file, Digest& d) {
  std::string read = "dib:";
  HBITMAP bm = SHLoadDIBitmap(plat::utf8ToUtf16(file.string()).c_str());
  BITMAP desc{};
  if (bm && GetObjectW(bm, sizeof desc, &desc) == static_cast<int>(sizeof desc) && desc.bmBits) {
    d.i64(desc.bmWidth);
    d.i64(desc.bmHeight);
    d.u64(desc.bmBitsPixel);
    // The rows as the bitmap keeps them (bit count and row order), without the padding.
    const size_t used = (static_cast<size_t>(desc.bmWidth) * desc.bmBitsPixel + 7) / 8;
    const auto* bits = static_cast<const uint8_t*>(desc.bmBits);
    for (LONG y = 0; y < std::abs(desc.bmHeight); ++y) d.bytes(bits + static_cast<size_t>(y) * desc.bmWidthBytes, used);
    read += std::to_string(desc.bmWidth) + "x" + std::to_string(desc.bmHeight) + "x" + std::to_string(desc.bmBitsPixel);
  } else {
    d.u64(0);
    read += "refused";
  }
  if (bm) DeleteObject(bm);
  return read + ",image:" + addImagingService(d, readAll(file));
}

std::string digestGif(const fs::path& file, Digest& d) {
  std::vector<uint8_t> bytes = readAll(file);
  std::string read = "player:";
  gif::GifDecoder dec;
  std::string why;
  if (dec.load(std::vector<uint8_t>(bytes), why)) {
    dec.reset(0u);
    int frames = 0;
    // One cycle of the animation; a file that never ends its cycle stops at the guard.
    for (int guard = 0; guard < 10000; ++guard) {
      const gif::GifDecoder::Step step = dec.next();
      d.u64(static_cast<uint64_t>(step));
      if (step == gif::GifDecoder::Step::Frame) {
        ++frames;
        d.i64(dec.delayMs());
        d.pixels(dec.canvas(), static_cast<size_t>(dec.width()) * dec.height());
      } else if (step != gif::GifDecoder::Step::Skipped && step != gif::GifDecoder::Step::Image) {
        break;
      }
    }
    read += std::to_string(frames) + "-frames";
  } else {
    d.text(why);
    read += "refused";
  }
  return read + ",image:" + addImagingService(d, bytes);
}

std::string digestPicture(const fs::path& file, Digest& d) { return "image:" + addImagingService(d, readAll(file)); }

// --- XML ------------------------------------------------------------------------------------

// Attribute names of a start tag (`<name a="1" b='2'>`), to read each value through GetAttrib.
std::vector<std::u16string> attributeNames(const std::u16string& tag) {
  std::vector<std::u16string> names;
  size_t i = 1;
  while (i < tag.size() && std::u16string_view(u" \t\r\n/>").find(tag[i]) == std::u16string_view::npos) ++i;
  while (i < tag.size()) {
    while (i < tag.size() && std::u16string_view(u" \t\r\n").find(tag[i]) != std::u16string_view::npos) ++i;
    const size_t start = i;
    while (i < tag.size() && std::u16string_view(u" \t\r\n=/>").find(tag[i]) == std::u16string_view::npos) ++i;
    if (i == start) break;
    names.push_back(tag.substr(start, i - start));
    while (i < tag.size() && tag[i] != u'"' && tag[i] != u'\'' && tag[i] != u'>') ++i;
    if (i >= tag.size() || tag[i] == u'>') break;
    const size_t close = tag.find(tag[i], i + 1);
    if (close == std::u16string::npos) break;
    i = close + 1;
  }
  return names;
}

void addElements(Digest& d, CMarkup& m, int& count, int depth) {
  while (m.FindElem()) {
    ++count;
    const CMarkup::ElemPos& e = m.ElemAt(m.GetPos());
    for (int64_t v : {int64_t(e.Start), int64_t(e.Length), int64_t(e.TagLens), int64_t(e.Flags), int64_t(depth)})
      d.i64(v);
    d.text(m.GetTagName());
    d.text(m.GetData());
    const std::u16string& doc = m.GetDoc();
    if (e.Start >= 0 && e.Start + e.StartTagLen() <= static_cast<int32_t>(doc.size()))
      for (const std::u16string& name : attributeNames(doc.substr(e.Start, e.StartTagLen()))) {
        d.text(name);
        d.text(m.GetAttrib(name));
      }
    // Deep documents are walked to a depth that any real one stays within.
    if (depth < 256 && m.IntoElem()) {
      addElements(d, m, count, depth + 1);
      m.OutOfElem();
    }
  }
}

std::string digestXml(const fs::path& file, Digest& d) {
  CMarkup m;
  const bool ok = m.Load(plat::utf8ToUtf16(file.string()));
  d.u64(ok);
  d.text(m.GetError());
  d.text(m.GetDoc());
  d.u64(static_cast<uint64_t>(m.GetDocFlags()));
  int elements = 0;
  addElements(d, m, elements, 0);
  return std::string(ok ? "loaded" : "refused") + "," + std::to_string(elements) + "-elements";
}

// --- the walk -------------------------------------------------------------------------------

struct Kind {
  const char* name;
  std::vector<const char*> extensions;
  std::string (*digest)(const fs::path&, Digest&);
};

const Kind kKinds[] = {
    {"nmea", {".log", ".nmea"}, digestNmea},
    {"bmp", {".bmp"}, digestBmp},
    {"gif", {".gif"}, digestGif},
    {"png", {".png"}, digestPicture},
    {"jpeg", {".jpg", ".jpeg"}, digestPicture},
    {"xml", {".xml", ".osm"}, digestXml},
};

const Kind* kindOf(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const Kind& k : kKinds)
    for (const char* e : k.extensions)
      if (ext == e) return &k;
  return nullptr;
}

void digestFile(const fs::path& file) {
  const Kind* kind = kindOf(file);
  if (!kind) return;
  Digest d;
  const std::string read = kind->digest(file, d);
  std::printf("%s %s %s %016" PRIx64 "\n", file.string().c_str(), kind->name, read.c_str(), d.value());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: input-digest PATH...  (files and folders of receiver logs, pictures, XML)\n");
    return argc < 2 ? 2 : 0;
  }
  // The decoders' console lines about damaged inputs are not part of the digest.
  plat::console::setEcho(false);
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    const fs::path root(argv[i]);
    if (fs::is_regular_file(root, ec)) {
      digestFile(root);
      continue;
    }
    if (!fs::is_directory(root, ec)) {
      std::fprintf(stderr, "input-digest: no such file or folder: %s\n", argv[i]);
      status = 1;
      continue;
    }
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      if (it->is_regular_file(ec)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) digestFile(f);
  }
  return status;
}
