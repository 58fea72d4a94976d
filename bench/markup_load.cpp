// Loading and walking screen-script-like documents with CMarkup, side by side with pugixml doing
// the same work in the same run. Prints the CMarkup/pugixml throughput ratio of each pair.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "markup.h"
#include "median_times.h"
#include "markup_text.h"

namespace {

// Attribute names per element kind, so that both walks read every attribute.
const std::vector<std::u16string> kMenuAttrs = {u"ID", u"Name", u"Background", u"Type"};
const std::vector<std::u16string> kWidgetAttrs = {u"ID",    u"LocX",  u"LocY",   u"Width",
                                                  u"Hight", u"Image", u"Action", u"Font"};
const std::vector<std::u16string> kTextAttrs = {u"ID", u"Color", u"Size"};

// A screen script: SCRIPT > MENU > BUTTON / PICTURE > TEXT, with attributes and some text.
std::string makeDocument(size_t targetBytes) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- generated screen script -->\r\n<SCRIPT Name=\"Main_Menu\">\r\n";
  int menu = 0;
  while (s.size() < targetBytes) {
    ++menu;
    s += "  <MENU ID=\"" + std::to_string(menu) + "\" Name=\"page" + std::to_string(menu) +
         "\" Background=\"" + std::to_string(menu * 7 % 300) + "\" Type=\"0\">\r\n";
    for (int w = 0; w < 20; ++w) {
      const char* kind = (w % 3 == 0) ? "PICTURE" : "BUTTON";
      int id = menu * 100 + w;
      s += std::string("    <") + kind + " ID=\"" + std::to_string(id) + "\" LocX=\"" + std::to_string(w * 37 % 800) +
           "\" LocY=\"" + std::to_string(w * 23 % 480) + "\" Width=\"120\" Hight=\"48\" Image=\"" +
           std::to_string(id % 500) + "\" Action=\"" + std::to_string(1000 + id) + "\" Font=\"Arial\">\r\n";
      s += "      <TEXT ID=\"" + std::to_string(id) + "\" Color=\"16777215\" Size=\"18\">Label " +
           std::to_string(id) + " &amp; \xE4\xB8\xAD\xE6\x96\x87</TEXT>\r\n";
      s += std::string("    </") + kind + ">\r\n";
    }
    s += "  </MENU>\r\n";
  }
  s += "</SCRIPT>\r\n";
  return s;
}

const std::string& document(int megabytes) {
  static std::map<int, std::string> docs;
  auto it = docs.find(megabytes);
  if (it == docs.end()) it = docs.emplace(megabytes, makeDocument(static_cast<size_t>(megabytes) << 20)).first;
  return it->second;
}

// A document written once into a file of a temporary folder; later calls give the same path.
const std::string& writtenOnce(std::map<int, std::string>& files, int megabytes, const char* name,
                               const std::string& (*text)(int)) {
  auto it = files.find(megabytes);
  if (it == files.end()) {
    char dir[] = "/tmp/bench_markup_XXXXXX";
    std::string path = std::string(mkdtemp(dir)) + "/" + name + std::to_string(megabytes) + ".xml";
    std::ofstream(path, std::ios::binary) << text(megabytes);
    it = files.emplace(megabytes, path).first;
  }
  return it->second;
}

// The same document as a file in a temporary folder.
const std::string& documentFile(int megabytes) {
  static std::map<int, std::string> files;
  return writtenOnce(files, megabytes, "doc", &document);
}

// With no unit root set, a host path is also the device path of the file.
std::u16string devicePathOf(const std::string& host) { return std::u16string(host.begin(), host.end()); }

const std::string& osmFile(int megabytes);

void removeFiles() {
  auto drop = [](const std::string& path) {
    unlink(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
  };
  for (int mb : {1, 10}) drop(documentFile(mb));
  for (int mb : {1, 4, 16}) drop(osmFile(mb));
}

// ----------------------------------------------------------------------------------------------

void BM_CMarkup_DecodeAndParse(benchmark::State& state) {
  const std::string& doc = document(static_cast<int>(state.range(0)));
  CMarkup m;
  for (auto _ : state) {
    std::u16string text = markup::decodeUtf8(doc.data(), doc.size());
    bool ok = m.SetDoc(std::move(text));
    benchmark::DoNotOptimize(ok);
    if (!ok) state.SkipWithError("not well-formed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}

void BM_Pugixml_Parse(benchmark::State& state) {
  const std::string& doc = document(static_cast<int>(state.range(0)));
  pugi::xml_document d;
  for (auto _ : state) {
    pugi::xml_parse_result r = d.load_buffer(doc.data(), doc.size());
    benchmark::DoNotOptimize(r.status);
    if (!r) state.SkipWithError("parse failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}

void BM_CMarkup_LoadFile(benchmark::State& state) {
  std::u16string path = devicePathOf(documentFile(static_cast<int>(state.range(0))));
  CMarkup m;
  for (auto _ : state) {
    bool ok = m.Load(path);
    benchmark::DoNotOptimize(ok);
    if (!ok) state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(document(static_cast<int>(state.range(0))).size()));
}

void BM_Pugixml_LoadFile(benchmark::State& state) {
  const std::string& path = documentFile(static_cast<int>(state.range(0)));
  pugi::xml_document d;
  for (auto _ : state) {
    pugi::xml_parse_result r = d.load_file(path.c_str());
    benchmark::DoNotOptimize(r.status);
    if (!r) state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(document(static_cast<int>(state.range(0))).size()));
}

// Every element, every attribute and every leaf's text.
size_t walkCMarkup(CMarkup& m) {
  size_t seen = 0;
  m.ResetPos();
  m.FindElem(u"SCRIPT");
  seen += m.GetAttrib(u"Name").size();
  m.IntoElem();
  while (m.FindElem(u"MENU")) {
    for (const auto& a : kMenuAttrs) seen += m.GetAttrib(a).size();
    m.IntoElem();
    while (m.FindElem()) {
      for (const auto& a : kWidgetAttrs) seen += m.GetAttrib(a).size();
      seen += m.GetTagName().size();
      while (m.FindChildElem(u"TEXT")) {
        for (const auto& a : kTextAttrs) seen += m.GetChildAttrib(a).size();
        seen += m.GetChildData().size();
      }
    }
    m.OutOfElem();
  }
  return seen;
}

// The same reads through pugixml's interface: every attribute by name, as the system reads its
// files (a screen script's loader asks for "LocX", "Hight" ... by name).
std::vector<std::string> narrow(const std::vector<std::u16string>& names) {
  std::vector<std::string> out;
  for (const auto& n : names) out.emplace_back(n.begin(), n.end());
  return out;
}

size_t walkPugixml(const pugi::xml_document& d) {
  static const auto menuAttrs = narrow(kMenuAttrs), widgetAttrs = narrow(kWidgetAttrs), textAttrs = narrow(kTextAttrs);
  size_t seen = 0;
  pugi::xml_node script = d.child("SCRIPT");
  seen += strlen(script.attribute("Name").value());
  for (pugi::xml_node menu : script.children("MENU")) {
    for (const auto& a : menuAttrs) seen += strlen(menu.attribute(a.c_str()).value());
    for (pugi::xml_node w : menu.children()) {
      if (w.type() != pugi::node_element) continue;
      for (const auto& a : widgetAttrs) seen += strlen(w.attribute(a.c_str()).value());
      seen += strlen(w.name());
      for (pugi::xml_node t : w.children("TEXT")) {
        for (const auto& a : textAttrs) seen += strlen(t.attribute(a.c_str()).value());
        seen += strlen(t.child_value());
      }
    }
  }
  return seen;
}

// pugixml's fastest way through the same tree: attributes in order, no look-up by name.
size_t walkPugixmlSequential(const pugi::xml_document& d) {
  size_t seen = 0;
  pugi::xml_node script = d.child("SCRIPT");
  for (pugi::xml_attribute a : script.attributes()) seen += strlen(a.value());
  for (pugi::xml_node menu : script.children("MENU")) {
    for (pugi::xml_attribute a : menu.attributes()) seen += strlen(a.value());
    for (pugi::xml_node w : menu.children()) {
      if (w.type() != pugi::node_element) continue;
      for (pugi::xml_attribute a : w.attributes()) seen += strlen(a.value());
      seen += strlen(w.name());
      for (pugi::xml_node t : w.children("TEXT")) {
        for (pugi::xml_attribute a : t.attributes()) seen += strlen(a.value());
        seen += strlen(t.child_value());
      }
    }
  }
  return seen;
}

void BM_CMarkup_Walk(benchmark::State& state) {
  const std::string& doc = document(static_cast<int>(state.range(0)));
  CMarkup m;
  m.SetDoc(markup::decodeUtf8(doc.data(), doc.size()));
  for (auto _ : state) benchmark::DoNotOptimize(walkCMarkup(m));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}

void BM_Pugixml_Walk(benchmark::State& state) {
  const std::string& doc = document(static_cast<int>(state.range(0)));
  pugi::xml_document d;
  d.load_buffer(doc.data(), doc.size());
  for (auto _ : state) benchmark::DoNotOptimize(walkPugixml(d));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}

void BM_Pugixml_WalkSequential(benchmark::State& state) {
  const std::string& doc = document(static_cast<int>(state.range(0)));
  pugi::xml_document d;
  d.load_buffer(doc.data(), doc.size());
  for (auto _ : state) benchmark::DoNotOptimize(walkPugixmlSequential(d));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}

// ----------------------------------------------------------------------------------------------
// Real map data: the OpenStreetMap extracts of the test data, their top-level elements repeated
// (alternating the two files) up to the asked size, so that 1 to 16 MB of real attribute and
// text shapes are read.

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The top-level elements of an extract: each starts on a line that opens with one step of
// indentation and "<" (not an end tag), and runs up to the next such line or the closing "</osm>".
std::vector<std::string> osmChunks(const std::string& text) {
  std::vector<std::string> chunks;
  size_t body = text.find("<osm");
  body = body == std::string::npos ? body : text.find('\n', body);
  const size_t close = text.rfind("</osm>");
  if (body == std::string::npos || close == std::string::npos) return chunks;
  // The indentation of the first child line marks the top-level elements.
  const size_t firstTag = text.find('<', body);
  const std::string open = text.substr(body + 1, firstTag - body - 1) + "<", end = open + "/";
  size_t i = body + 1, start = std::string::npos;
  while (i < close) {
    size_t eol = text.find('\n', i);
    if (eol == std::string::npos || eol > close) eol = close;
    if (text.compare(i, open.size(), open) == 0 && text.compare(i, end.size(), end) != 0) {
      if (start != std::string::npos) chunks.push_back(text.substr(start, i - start));
      start = i;
    }
    i = eol + 1;
  }
  if (start != std::string::npos) chunks.push_back(text.substr(start, close - start));
  return chunks;
}

const std::string& osmDocument(int megabytes) {
  static std::map<int, std::string> docs;
  auto it = docs.find(megabytes);
  if (it != docs.end()) return it->second;
  std::string dir = std::string(HU_TESTDATA_DIR) + "/xml/osm/";
  std::vector<std::string> a = osmChunks(readFile(dir + "monaco.osm"));
  std::vector<std::string> b = osmChunks(readFile(dir + "moscow.osm"));
  std::string s = "<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" generator=\"pbf2osm\">\n";
  const size_t target = static_cast<size_t>(megabytes) << 20;
  size_t ia = 0, ib = 0;
  while (!a.empty() && !b.empty() && s.size() < target) {
    s += a[ia++ % a.size()];
    if (s.size() < target) s += b[ib++ % b.size()];
  }
  s += "</osm>\n";
  if (a.empty() || b.empty()) std::fprintf(stderr, "map extracts not found in %s\n", dir.c_str());
  return docs.emplace(megabytes, std::move(s)).first->second;
}

const std::string& osmFile(int megabytes) {
  static std::map<int, std::string> files;
  return writtenOnce(files, megabytes, "map", &osmDocument);
}

// The attributes each map element carries, read by name as a reader of such files would.
struct OsmKind {
  const char* name;
  std::vector<std::string> attrs;
};
const std::vector<OsmKind>& osmKinds() {
  static const std::vector<OsmKind> kinds = {
      {"node", {"id", "lat", "lon", "version", "changeset", "user", "uid", "timestamp"}},
      {"way", {"id", "version", "changeset", "user", "uid", "timestamp"}},
      {"relation", {"id", "version", "changeset", "user", "uid", "timestamp"}},
      {"nd", {"ref"}},
      {"tag", {"k", "v"}},
      {"member", {"type", "ref", "role"}},
  };
  return kinds;
}
struct OsmKind16 {
  std::u16string name;
  std::vector<std::u16string> attrs;
};
const std::vector<OsmKind16>& osmKinds16() {
  static const std::vector<OsmKind16> kinds = [] {
    std::vector<OsmKind16> out;
    for (const auto& k : osmKinds()) {
      OsmKind16 w{std::u16string(k.name, k.name + std::strlen(k.name)), {}};
      for (const auto& a : k.attrs) w.attrs.emplace_back(a.begin(), a.end());
      out.push_back(std::move(w));
    }
    return out;
  }();
  return kinds;
}

// Every element, and every attribute of it by name, with the values as strings.
size_t osmWalkCMarkup(CMarkup& m) {
  const auto& kinds = osmKinds16();
  size_t seen = 0;
  auto readAll = [&](const std::u16string& tag) {
    for (const auto& k : kinds)
      if (k.name == tag) {
        for (const auto& a : k.attrs) seen += m.GetAttrib(a).size();
        return;
      }
  };
  m.ResetPos();
  if (!m.FindElem()) return 0;
  seen += m.GetAttrib(u"version").size() + m.GetAttrib(u"generator").size();
  m.IntoElem();
  while (m.FindElem()) {
    readAll(m.GetTagName());
    if (m.IntoElem()) {
      while (m.FindElem()) readAll(m.GetTagName());
      m.OutOfElem();
    }
  }
  return seen;
}

// The same walk reading each value into one reused string (no heap string per value).
size_t osmWalkCMarkupInto(CMarkup& m) {
  const auto& kinds = osmKinds16();
  size_t seen = 0;
  std::u16string value, tag;
  auto readAll = [&](const std::u16string& name) {
    for (const auto& k : kinds)
      if (k.name == name) {
        for (const auto& a : k.attrs) {
          m.GetAttrib(a, value);
          seen += value.size();
        }
        return;
      }
  };
  m.ResetPos();
  if (!m.FindElem()) return 0;
  m.GetAttrib(u"version", value);
  seen += value.size();
  m.GetAttrib(u"generator", value);
  seen += value.size();
  m.IntoElem();
  while (m.FindElem()) {
    readAll(m.GetTagName());
    if (m.IntoElem()) {
      while (m.FindElem()) readAll(m.GetTagName());
      m.OutOfElem();
    }
  }
  return seen;
}

size_t osmWalkPugixml(const pugi::xml_document& d) {
  const auto& kinds = osmKinds();
  size_t seen = 0;
  auto readAll = [&](const pugi::xml_node& e) {
    for (const auto& k : kinds)
      if (std::strcmp(k.name, e.name()) == 0) {
        for (const auto& a : k.attrs) seen += std::strlen(e.attribute(a.c_str()).value());
        return;
      }
  };
  pugi::xml_node osm = d.first_child();
  while (osm && osm.type() != pugi::node_element) osm = osm.next_sibling();
  seen += std::strlen(osm.attribute("version").value()) + std::strlen(osm.attribute("generator").value());
  for (pugi::xml_node e = osm.first_child(); e; e = e.next_sibling()) {
    if (e.type() != pugi::node_element) continue;
    readAll(e);
    for (pugi::xml_node c = e.first_child(); c; c = c.next_sibling())
      if (c.type() == pugi::node_element) readAll(c);
  }
  return seen;
}

// Loading the file and walking it (`walk`, one of the two ways of reading values), per pass.
template <class Walk>
void cmarkupOsmLoadWalk(benchmark::State& state, Walk walk) {
  const int mb = static_cast<int>(state.range(0));
  std::u16string path = devicePathOf(osmFile(mb));
  for (auto _ : state) {
    CMarkup m;
    if (!m.Load(path)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(walk(m));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(osmDocument(mb).size()));
}

// Walking a document parsed once.
template <class Walk>
void cmarkupOsmWalk(benchmark::State& state, Walk walk) {
  const int mb = static_cast<int>(state.range(0));
  CMarkup m;
  const std::string& doc = osmDocument(mb);
  if (!m.SetDoc(markup::decodeUtf8(doc.data(), doc.size()))) state.SkipWithError("not well-formed");
  for (auto _ : state) benchmark::DoNotOptimize(walk(m));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}

void BM_CMarkup_OsmLoadWalk(benchmark::State& state) { cmarkupOsmLoadWalk(state, osmWalkCMarkup); }

void BM_Pugixml_OsmLoadWalk(benchmark::State& state) {
  const int mb = static_cast<int>(state.range(0));
  const std::string& path = osmFile(mb);
  for (auto _ : state) {
    pugi::xml_document d;
    if (!d.load_file(path.c_str())) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(osmWalkPugixml(d));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(osmDocument(mb).size()));
}

void BM_CMarkup_OsmWalk(benchmark::State& state) { cmarkupOsmWalk(state, osmWalkCMarkup); }

// ----------------------------------------------------------------------------------------------
// Load + walk with each library in a process of its own, as a program that reads one map would
// run it. In a process that has done nothing else, pugixml's buffers come fresh from the system
// on every load, and a page fault costs 10 to 13 us on the virtual machines we run on; in the
// benchmarks above the process has already freed large blocks, the C library keeps pugixml's
// memory in its heap and no round faults. Both figures are true of pugixml; this one is what a
// program of its own sees.

constexpr int kOwnProcessRounds = 12;

double cpuMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The child's part (`--own-process c|p FILE ROUNDS`): loads and walks the file ROUNDS times and
// prints "own-process MEDIAN BEST" in CPU milliseconds per round.
int ownProcessChild(char kind, const char* file, int rounds) {
  std::vector<double> times;
  size_t seen = 0;
  const std::string host = file;
  for (int r = 0; r < rounds; ++r) {
    const double t0 = cpuMilliseconds();
    if (kind == 'c') {
      CMarkup m;
      if (!m.Load(devicePathOf(host))) return 1;
      seen += osmWalkCMarkup(m);
    } else {
      pugi::xml_document d;
      if (!d.load_file(file)) return 1;
      seen += osmWalkPugixml(d);
    }
    times.push_back(cpuMilliseconds() - t0);
  }
  if (times.empty() || seen == 0) return 1;
  std::sort(times.begin(), times.end());
  std::printf("own-process %.4f %.4f\n", times[times.size() / 2], times.front());
  return 0;
}

// Runs the child for one library; false when it did not report.
bool runOwnProcess(char kind, const std::string& file, double& median, double& best) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return false;
  self[n] = 0;
  const std::string command = std::string("'") + self + "' --own-process " + kind + " '" + file + "' " +
                              std::to_string(kOwnProcessRounds) + " 2>/dev/null";
  FILE* out = popen(command.c_str(), "r");
  if (!out) return false;
  char line[256];
  bool reported = false;
  while (std::fgets(line, sizeof line, out))
    if (std::sscanf(line, "own-process %lf %lf", &median, &best) == 2) reported = true;
  return pclose(out) == 0 && reported;
}

// One iteration runs both children; the counters carry the medians of their rounds, the ratio
// and the ratio of the best rounds.
void BM_OsmLoadWalkOwnProcess(benchmark::State& state) {
  const int mb = static_cast<int>(state.range(0));
  const std::string& file = osmFile(mb);
  double ours = 0, oursBest = 0, theirs = 0, theirsBest = 0;
  for (auto _ : state) {
    if (!runOwnProcess('c', file, ours, oursBest) || !runOwnProcess('p', file, theirs, theirsBest)) {
      state.SkipWithError("a child process did not report");
      return;
    }
  }
  state.counters["cmarkup_ms"] = ours;
  state.counters["pugixml_ms"] = theirs;
  state.counters["ratio"] = theirs / ours;
  state.counters["best_ratio"] = theirsBest / oursBest;
}

void BM_CMarkup_OsmLoadWalkInto(benchmark::State& state) { cmarkupOsmLoadWalk(state, osmWalkCMarkupInto); }

void BM_CMarkup_OsmWalkInto(benchmark::State& state) { cmarkupOsmWalk(state, osmWalkCMarkupInto); }

void BM_Pugixml_OsmWalk(benchmark::State& state) {
  const int mb = static_cast<int>(state.range(0));
  pugi::xml_document d;
  const std::string& doc = osmDocument(mb);
  d.load_buffer(doc.data(), doc.size());
  for (auto _ : state) benchmark::DoNotOptimize(osmWalkPugixml(d));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}

// ----------------------------------------------------------------------------------------------
// Building a document element by element: a root, then map nodes with four attributes, every
// other one with a child holding two. The element count is the argument.

void BM_CMarkup_Build(benchmark::State& state) {
  const int elements = static_cast<int>(state.range(0));
  for (auto _ : state) {
    CMarkup m;
    m.AddElem(u"osm");
    m.SetAttrib(u"version", u"0.6");
    m.IntoElem();
    int made = 1;
    for (int i = 0; made < elements; ++i) {
      m.AddElem(u"node");
      m.SetAttrib(u"id", 21911863 + i);
      m.SetAttrib(u"lat", u"43.7370125");
      m.SetAttrib(u"lon", u"7.4220280");
      m.SetAttrib(u"user", u"Scrup");
      ++made;
      if (i % 2 == 0 && made < elements) {
        m.AddChildElem(u"tag");
        m.SetChildAttrib(u"k", u"highway");
        m.SetChildAttrib(u"v", u"crossing");
        ++made;
      }
    }
    benchmark::DoNotOptimize(m.GetDoc().size());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * elements);
}

void BM_Pugixml_Build(benchmark::State& state) {
  const int elements = static_cast<int>(state.range(0));
  for (auto _ : state) {
    pugi::xml_document d;
    pugi::xml_node osm = d.append_child("osm");
    osm.append_attribute("version").set_value("0.6");
    int made = 1;
    for (int i = 0; made < elements; ++i) {
      pugi::xml_node n = osm.append_child("node");
      n.append_attribute("id").set_value(21911863 + i);
      n.append_attribute("lat").set_value("43.7370125");
      n.append_attribute("lon").set_value("7.4220280");
      n.append_attribute("user").set_value("Scrup");
      ++made;
      if (i % 2 == 0 && made < elements) {
        pugi::xml_node t = n.append_child("tag");
        t.append_attribute("k").set_value("highway");
        t.append_attribute("v").set_value("crossing");
        ++made;
      }
    }
    benchmark::DoNotOptimize(d.first_child());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * elements);
}

// Attributes set by turns on a node and its child: every one but the first moves its element's
// entries to the end of the attribute table, which must stay linear.
void BM_CMarkup_BuildByTurns(benchmark::State& state) {
  const int elements = static_cast<int>(state.range(0));
  for (auto _ : state) {
    CMarkup m;
    m.AddElem(u"osm");
    m.IntoElem();
    for (int made = 1; made < elements; made += 2) {
      m.AddElem(u"node");
      m.SetAttrib(u"id", 21911863 + made);
      m.AddChildElem(u"tag");
      m.SetChildAttrib(u"k", u"highway");
      m.SetAttrib(u"lat", u"43.7370125");
      m.SetChildAttrib(u"v", u"crossing");
      m.SetAttrib(u"lon", u"7.4220280");
    }
    benchmark::DoNotOptimize(m.GetDoc().size());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * elements);
}

void BM_Pugixml_BuildByTurns(benchmark::State& state) {
  const int elements = static_cast<int>(state.range(0));
  for (auto _ : state) {
    pugi::xml_document d;
    pugi::xml_node osm = d.append_child("osm");
    for (int made = 1; made < elements; made += 2) {
      pugi::xml_node n = osm.append_child("node");
      n.append_attribute("id").set_value(21911863 + made);
      pugi::xml_node t = n.append_child("tag");
      t.append_attribute("k").set_value("highway");
      n.append_attribute("lat").set_value("43.7370125");
      t.append_attribute("v").set_value("crossing");
      n.append_attribute("lon").set_value("7.4220280");
    }
    benchmark::DoNotOptimize(d.first_child());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * elements);
}

}  // namespace

BENCHMARK(BM_CMarkup_OsmLoadWalk)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_Pugixml_OsmLoadWalk)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_CMarkup_OsmWalk)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_Pugixml_OsmWalk)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_OsmLoadWalkOwnProcess)->Arg(1)->Arg(4)->Arg(16)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CMarkup_OsmLoadWalkInto)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_CMarkup_OsmWalkInto)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_CMarkup_Build)->Arg(2000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_Pugixml_Build)->Arg(2000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_CMarkup_BuildByTurns)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_Pugixml_BuildByTurns)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);

BENCHMARK(BM_CMarkup_DecodeAndParse)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_Pugixml_Parse)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_CMarkup_LoadFile)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_Pugixml_LoadFile)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_CMarkup_Walk)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_Pugixml_Walk)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);
BENCHMARK(BM_Pugixml_WalkSequential)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", bench::bestOf);

namespace {

// Console output as usual, then each CMarkup benchmark against its pugixml twin from the same
// run, by CPU time per iteration (the median when the run asks for repetitions: the machine is
// shared, and CPU time of the median round is the steady figure).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    bench::keepMedianCpuTimes(runs, ns_);
    bench::keepBestCpuTimes(runs, best_);
    for (const Run& r : runs) {
      const std::string name = r.run_name.str();
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if (r.error_occurred || name.rfind("BM_OsmLoadWalkOwnProcess/", 0) != 0) continue;
      const int mb = std::atoi(name.c_str() + name.find('/') + 1);
      if ((r.run_type == Run::RT_Iteration && !ownProcess_.count(mb)) || median) {
        auto counter = [&](const char* key) {
          auto it = r.counters.find(key);
          return it == r.counters.end() ? 0.0 : static_cast<double>(it->second);
        };
        ownProcess_[mb] = {counter("cmarkup_ms"), counter("pugixml_ms"), counter("ratio"), counter("best_ratio")};
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    struct Pair {
      const char *what, *ours, *theirs, *target;
      std::vector<const char*> args;
      bool time;  // the ratio of times (lower is better) rather than of throughputs
    };
    const Pair pairs[] = {
        {"OSM load + walk, throughput", "BM_CMarkup_OsmLoadWalk", "BM_Pugixml_OsmLoadWalk", ">= 1.0x", {"/1", "/4", "/16"}, false},
        {"OSM walk by name, throughput", "BM_CMarkup_OsmWalk", "BM_Pugixml_OsmWalk", ">= 1.0x", {"/1", "/4", "/16"}, false},
        {"OSM load + walk, values into one string", "BM_CMarkup_OsmLoadWalkInto", "BM_Pugixml_OsmLoadWalk", ">= 1.0x", {"/1", "/4", "/16"}, false},
        {"OSM walk by name, values into one string", "BM_CMarkup_OsmWalkInto", "BM_Pugixml_OsmWalk", ">= 1.0x", {"/1", "/4", "/16"}, false},
        {"build, time", "BM_CMarkup_Build", "BM_Pugixml_Build", "<= 1.5x", {"/2000", "/20000", "/100000"}, true},
        {"build, attributes by turns, time", "BM_CMarkup_BuildByTurns", "BM_Pugixml_BuildByTurns", "",
         {"/20000", "/100000"}, true},
        {"screen script decode + parse, throughput", "BM_CMarkup_DecodeAndParse", "BM_Pugixml_Parse", "", {"/1", "/10"}, false},
        {"screen script load file, throughput", "BM_CMarkup_LoadFile", "BM_Pugixml_LoadFile", "", {"/1", "/10"}, false},
        {"screen script walk, throughput", "BM_CMarkup_Walk", "BM_Pugixml_Walk", "", {"/1", "/10"}, false},
    };
    std::printf("\nCMarkup against pugixml, same run (CPU time%s)\n",
                best_.empty() ? "" : ", medians of repetitions, then the best round of each");
    for (const Pair& p : pairs) {
      for (const char* arg : p.args) {
        auto a = ns_.find(std::string(p.ours) + arg);
        auto b = ns_.find(std::string(p.theirs) + arg);
        if (a == ns_.end() || b == ns_.end() || a->second <= 0 || b->second <= 0) continue;
        const double ratio = p.time ? a->second / b->second : b->second / a->second;
        std::printf("  %-42s %-8s %6.2fx  (CMarkup %.3f ms, pugixml %.3f ms)", p.what, arg + 1, ratio, a->second,
                    b->second);
        auto ba = best_.find(a->first);
        auto bb = best_.find(b->first);
        if (ba != best_.end() && bb != best_.end() && ba->second > 0 && bb->second > 0)
          std::printf(" best rounds %.2fx", p.time ? ba->second / bb->second : bb->second / ba->second);
        std::printf(" %s%s\n", *p.target ? "target " : "", p.target);
      }
    }
    for (const auto& [mb, o] : ownProcess_) {
      if (o.ours <= 0 || o.theirs <= 0) continue;
      std::printf("  %-42s %-8d %6.2fx  (CMarkup %.3f ms, pugixml %.3f ms) best rounds %.2fx target >= 1.0x\n",
                  "OSM load + walk, each in its own process", mb, o.ratio, o.ours,
                  o.theirs, o.bestRatio);
    }
    if (ns_.count("BM_CMarkup_Build/20000") && ns_.count("BM_CMarkup_Build/100000"))
      std::printf("  %-42s %.2fx from 20k to 100k elements (linear: 1.00x)\n", "build, cost per element",
                  (ns_["BM_CMarkup_Build/100000"] / 100000) / (ns_["BM_CMarkup_Build/20000"] / 20000));
    if (ns_.count("BM_CMarkup_BuildByTurns/20000") && ns_.count("BM_CMarkup_BuildByTurns/100000"))
      std::printf("  %-42s %.2fx from 20k to 100k elements (linear: 1.00x)\n", "build, by turns, cost per element",
                  (ns_["BM_CMarkup_BuildByTurns/100000"] / 100000) / (ns_["BM_CMarkup_BuildByTurns/20000"] / 20000));
  }

 private:
  std::map<std::string, double> ns_;    // CPU time per iteration, in milliseconds (every pair's unit)
  std::map<std::string, double> best_;  // the same of the best repetition, when there were some
  struct OwnProcess {
    double ours, theirs, ratio, bestRatio;
  };
  std::map<int, OwnProcess> ownProcess_;  // medians of the children's rounds, by megabytes
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--own-process") == 0)
    return ownProcessChild(argv[2][0], argv[3], std::atoi(argv[4]));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  removeFiles();
  return 0;
}
