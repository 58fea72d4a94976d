// The skin checker on any script: whatever the file holds, it answers with findings and
// never faults. The input is written as the one script of a small skin folder whose image
// table and language list are fixed, so that references get looked up too.
#include "authoring/skin_check.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::filesystem::path makeSkin() {
  char pattern[] = "/tmp/fuzz-skin-check-XXXXXX";
  std::filesystem::path unit = mkdtemp(pattern) ? pattern : "/tmp/fuzz-skin-check";
  std::filesystem::create_directories(unit / "Skin/Skin");
  std::ofstream(unit / "language.xml") << "<LANGUAGES><LANGUAGE LANGID=\"1033\">lang_en.rc</LANGUAGE></LANGUAGES>";
  std::ofstream(unit / "lang_en.rc") << "STRINGTABLE\nBEGIN\n    1, \"one\"\nEND\n";
  std::ofstream(unit / "Skin/image.xml") << "<IMAGES><IMAGE ImgId=\"1\">a.bmp</IMAGE></IMAGES>";
  std::ofstream(unit / "Skin/Skin/a.bmp") << "BM";
  static const std::filesystem::path made = unit;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(made, ec);
  });
  return unit / "Skin";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path skin = makeSkin();
  const std::filesystem::path script = skin / "Fuzz_Script.xml";
  std::ofstream(script, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  for (const skinlet::check::Finding& finding : skinlet::check::checkScript(skin, script))
    if (skinlet::check::format(finding).empty()) std::abort();
  return 0;
}
