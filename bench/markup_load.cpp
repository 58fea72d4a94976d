// Loading and walking screen-script-like documents with CMarkup, side by side with pugixml doing
// the same work in the same run. Prints the CMarkup/pugixml throughput ratio of each pair.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "markup.h"
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

// The same document as a file in a temporary folder.
const std::string& documentFile(int megabytes) {
  static std::map<int, std::string> files;
  auto it = files.find(megabytes);
  if (it == files.end()) {
    char dir[] = "/tmp/bench_markup_XXXXXX";
    std::string path = std::string(mkdtemp(dir)) + "/doc" + std::to_string(megabytes) + ".xml";
    std::ofstream(path, std::ios::binary) << document(megabytes);
    it = files.emplace(megabytes, path).first;
  }
  return it->second;
}

// With no unit root set, a host path is also the device path of the file.
std::u16string devicePathOf(const std::string& host) { return std::u16string(host.begin(), host.end()); }

void removeFiles() {
  for (int mb : {1, 10}) {
    std::string path = documentFile(mb);
    unlink(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
  }
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

}  // namespace

BENCHMARK(BM_CMarkup_DecodeAndParse)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pugixml_Parse)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CMarkup_LoadFile)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pugixml_LoadFile)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CMarkup_Walk)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pugixml_Walk)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pugixml_WalkSequential)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

namespace {

// Console output as usual, plus the throughput of each CMarkup benchmark over its pugixml twin.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) rates_[r.benchmark_name()] = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const std::pair<const char*, const char*> pairs[] = {{"BM_CMarkup_DecodeAndParse", "BM_Pugixml_Parse"},
                                                         {"BM_CMarkup_LoadFile", "BM_Pugixml_LoadFile"},
                                                         {"BM_CMarkup_Walk", "BM_Pugixml_Walk"},
                                                         {"BM_CMarkup_Walk", "BM_Pugixml_WalkSequential"}};
    for (const auto& [ours, theirs] : pairs) {
      for (const char* size : {"/1", "/10"}) {
        auto a = rates_.find(std::string(ours) + size);
        auto b = rates_.find(std::string(theirs) + size);
        if (a == rates_.end() || b == rates_.end() || b->second <= 0) continue;
        std::printf("ratio CMarkup/pugixml %s vs %s%s MB: %.2f (%.1f vs %.1f MB/s)\n", ours + 11, theirs + 11, size,
                    a->second / b->second,
                    a->second / 1048576.0, b->second / 1048576.0);
      }
    }
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  removeFiles();
  return 0;
}
