// The launcher's entry point: reads the command line, brings the platform up on the unit
// root, and runs the start-up steps of the shell.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/app_info.h"
#include "app/config.h"
#include "windows.h"

namespace {

struct CommandLine {
  std::string unit;
  std::string consoleFile;
  std::string module;
  bool help = false;
  std::string error;
};

void usage(FILE* out) {
  std::fputs(
      "usage: launcher [options]\n"
      "  --unit DIR          host folder that stands for the unit's \"\\\" (default: the current folder)\n"
      "  --module PATH       device path of the program (default \\Windows\\launcher.exe); its folder holds\n"
      "                      the skins, language.xml and Config.bak\n"
      "  --console-file F    copy every debug-console line to the host file F\n"
      "  --help              this text\n",
      out);
}

CommandLine parse(int argc, char** argv) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        line.error = "option " + arg + " needs a value";
        return;
      }
      into = argv[++i];
    };
    if (arg == "--unit") value(line.unit);
    else if (arg == "--console-file") value(line.consoleFile);
    else if (arg == "--module") value(line.module);
    else if (arg == "--help" || arg == "-h") line.help = true;
    else line.error = "unknown option " + arg;
    if (!line.error.empty()) break;
  }
  return line;
}

void reportConfiguration(CConfig& config) {
  NKDbgPrintfW(u"[Vexa APP] configuration %s\n", config.ConfigPath());
  static const WCHAR* const kIntegers[] = {u"CURRENT_LANGUAGE", u"VOLUME_LEVEL",  u"GBL_MUTE",
                                           u"KEYTONE_LEVEL",    u"BT_POWEROFF_CHECK", u"CURRENT_SKIN",
                                           u"ANIMATOR_TYPE",    u"TIME_ZONE"};
  for (const WCHAR* key : kIntegers) {
    int value = 0;
    if (config.GetValue(key, &value)) NKDbgPrintfW(u"[Vexa APP]   %s = %d\n", key, value);
    else NKDbgPrintfW(u"[Vexa APP]   %s missing\n", key);
  }
  WCHAR text[MAX_PATH];
  if (config.GetSkinPath(text)) NKDbgPrintfW(u"[Vexa APP]   skin %s\n", text);
  else NKDbgPrintfW(u"[Vexa APP]   no skin configured\n");
  if (config.GetString(u"GPS_MAPPATH", text)) NKDbgPrintfW(u"[Vexa APP]   GPS_MAPPATH = %s\n", text);
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line = parse(argc, argv);
  if (line.help) {
    usage(stdout);
    return 0;
  }
  if (!line.error.empty()) {
    std::fprintf(stderr, "launcher: %s\n", line.error.c_str());
    usage(stderr);
    return 2;
  }

  plat::Options options;
  options.unitRoot = line.unit.empty() ? std::string(".") : line.unit;
  std::error_code error;
  auto root = std::filesystem::canonical(options.unitRoot, error);
  if (error || !std::filesystem::is_directory(root)) {
    std::fprintf(stderr, "launcher: unit folder %s does not exist\n", options.unitRoot.c_str());
    return 2;
  }
  options.unitRoot = root.string();
  if (!line.module.empty()) options.moduleFileName = plat::utf8ToUtf16(line.module);
  options.consoleFile = line.consoleFile;
  plat::startup(options);
  NKDbgPrintfW(u"[Vexa APP] launcher %s on unit %S\n", app::programVersion(), options.unitRoot.c_str());

  g_pConfig = new CConfig();
  int result = 0;
  if (!g_pConfig->Open()) {
    NKDbgPrintfW(u"[Vexa APP] configuration unusable, ending\n");
  } else {
    reportConfiguration(*g_pConfig);
  }

  delete g_pConfig;
  g_pConfig = nullptr;
  plat::shutdown();
  return result;
}
