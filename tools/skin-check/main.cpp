// skin-check: reports what the engine would skip or miss in a skin folder, one finding per
// line in the form compilers use, so that editors jump to it and a skin's CI can run it.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "authoring/skin_check.h"
#include "windows.h"

// Standard error carries the summary alone (nothing with --quiet): the engine library keeps its
// attach line to itself.
extern "C" const int hu_skinlet_entry_lines_off = 1;

namespace {

const char kUsage[] =
    "usage: skin-check SKIN_FOLDER [--lang-dir DIR] [--quiet]\n"
    "\n"
    "Checks every screen script (every *.xml but image.xml) of SKIN_FOLDER, its image table image.xml and\n"
    "the language modules listed in language.xml against what the engine reads.\n"
    "Findings go to standard output, one per line: FILE:LINE: error|warning: MESSAGE.\n"
    "\n"
    "  --lang-dir DIR  the folder that holds language.xml and the modules it names by bare\n"
    "                  name (modules named with a path are found from DIR's parent, the unit\n"
    "                  root). Default: the skin folder's parent, the program's folder of a\n"
    "                  unit, where the engine finds them (unit/Windows for unit/Windows/Skin800x480).\n"
    "  --quiet         no summary line on standard error\n"
    "\n"
    "Exit status: 0 clean, 1 warnings only, 2 errors (also for a missing folder or bad arguments).\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "skin-check: %s\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path folder;
  skinlet::check::Options options;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--lang-dir") {
      if (i + 1 >= argc) return usageError("--lang-dir needs a folder");
      options.languageFolder = argv[++i];
      std::error_code ec;
      if (!std::filesystem::is_directory(options.languageFolder, ec))
        return usageError("--lang-dir " + options.languageFolder.string() + ": no such folder");
    } else if (!arg.empty() && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else if (folder.empty()) {
      folder = arg;
    } else {
      return usageError("more than one skin folder given");
    }
  }
  if (folder.empty()) return usageError("no skin folder given");
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "skin-check: %s: no such folder\n", folder.string().c_str());
    return 2;
  }

  // The findings say what the platform's console lines would: keep standard error for the summary.
  plat::console::setEcho(false);
  int errors = 0;
  int warnings = 0;
  for (const skinlet::check::Finding& finding : skinlet::check::checkSkin(folder, options)) {
    std::printf("%s\n", skinlet::check::format(finding).c_str());
    (finding.severity == skinlet::check::Severity::Error ? errors : warnings)++;
  }
  std::fflush(stdout);
  if (!quiet)
    std::fprintf(stderr, "skin-check: %s: %d error%s, %d warning%s\n", folder.string().c_str(), errors,
                 errors == 1 ? "" : "s", warnings, warnings == 1 ? "" : "s");
  return errors ? 2 : warnings ? 1 : 0;
}
