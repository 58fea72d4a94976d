// The launcher's entry point: reads the command line, brings the platform up on the unit
// root, runs the start-up steps of the shell, the message loop, and the shutdown.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app_info.h"
#include "app/config.h"
#include "app/navi_path_list_wnd.h"
#include "app/screen_snapshots.h"
#include "app/shell.h"
#include "app/skin_watch.h"
#include "app/status_bar_wnd.h"
#include "links/gpsd_com.h"
#include "plat_display.h"
#include "plat_msgqueue.h"
#include "plat_process.h"
#include "services/program_allow_list.h"
#include "services/utility.h"
#include "windows.h"

namespace {

// Exit status when the settings could not be set up at all (not even from built-in defaults).
constexpr int kExitConfigurationUnusable = 3;
// How long the started programs get to end by themselves when the launcher ends.
constexpr DWORD kProgramGraceMs = 2000;

struct CommandLine {
  std::string unit;
  std::string consoleFile;
  std::string gps;  // empty: $HU_GPS, else the serial port
  std::string module;
  std::string display;
  std::string script;
  std::string snapshots;
  std::string allowPrograms;
  std::string queueGroup;
  int scale = 1;
  bool fullscreen = false;
  bool accelerated = false;
  bool watch = false;
  bool help = false;
  std::string error;
};

void usage(FILE* out) {
  std::fputs(
      "usage: launcher [options]\n"
      "  --unit DIR          host folder that stands for the unit's \"\\\" (default: $HU_UNIT_DIR;\n"
      "                      one of the two is required)\n"
      "  --module PATH       device path of the program (default \\Windows\\launcher.exe); its folder holds\n"
      "                      the skins, language.xml and Config.bak\n"
      "  --display KIND      headless, sdl or auto (default auto: sdl when a display is present)\n"
      "  --scale N           sdl only: each screen pixel becomes N x N window pixels (1 to 8)\n"
      "  --fullscreen        sdl only: fill the whole display, the screen scaled to fit (a unit's kiosk)\n"
      "  --accelerated       sdl only: present through the GPU's renderer instead of the window surface\n"
      "  --script FILE       play an input script (taps, keys, waits, snapshots; docs/input-scripts.md)\n"
      "  --snapshots DIR     headless only: write a PNG of the screen to DIR each time it changes\n"
      "                      (default: a new folder under $XDG_RUNTIME_DIR or /tmp, named at start)\n"
      "  --console-file F    copy every debug-console line to the host file F\n"
      "  --allow-programs F  start only the programs the host file F lists with their SHA-256 digest,\n"
      "                      one a line as sha256sum writes it (digest, blanks, device path)\n"
      "  --queue-group G     make the companion's message queues 0660 and give them to group G\n"
      "                      (default: the user's alone, 0600)\n"
      "  --watch             reload the screens when a script, image.xml, a bitmap or a language\n"
      "                      file of the skin changes on disk (for skin authors; docs/live-reload.md)\n"
      "  --gps SOURCE        where the GPS receiver is read: serial (COM9, else COM3; the default),\n"
      "                      gpsd (localhost, port 2947) or gpsd:HOST:PORT (default: $HU_GPS)\n"
      "  --help              this text\n",
      out);
}

CommandLine parse(int argc, char** argv) {
  CommandLine line;
  for (int i = 1; i < argc && line.error.empty(); ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) line.error = "option " + arg + " needs a value";
      else into = argv[++i];
    };
    std::string scale;
    if (arg == "--unit") value(line.unit);
    else if (arg == "--console-file") value(line.consoleFile);
    else if (arg == "--module") value(line.module);
    else if (arg == "--display") value(line.display);
    else if (arg == "--script") value(line.script);
    else if (arg == "--snapshots") value(line.snapshots);
    else if (arg == "--allow-programs") value(line.allowPrograms);
    else if (arg == "--queue-group") value(line.queueGroup);
    else if (arg == "--gps") {
      value(line.gps);
      GpsSource checked;
      if (line.error.empty() && !ParseGpsSource(line.gps, &checked, &line.error)) line.error = "--gps: " + line.error;
    } else if (arg == "--scale") {
      value(scale);
      line.scale = std::atoi(scale.c_str());
      if (line.error.empty() && (line.scale < 1 || line.scale > 8)) line.error = "--scale takes 1 to 8";
    } else if (arg == "--fullscreen") line.fullscreen = true;
    else if (arg == "--accelerated") line.accelerated = true;
    else if (arg == "--watch") line.watch = true;
    else if (arg == "--help" || arg == "-h") line.help = true;
    else line.error = "unknown option " + arg;
  }
  return line;
}

// The GPS source: the option, else $HU_GPS, else the serial port. A bad $HU_GPS must not keep a
// unit from starting: the serial port is read, and `error` says why for the console.
GpsSource gpsSource(const CommandLine& line, std::string* error) {
  GpsSource source;
  const char* fromEnv = std::getenv("HU_GPS");
  if (!line.gps.empty())
    ParseGpsSource(line.gps, &source, error);
  else if (fromEnv && *fromEnv && !ParseGpsSource(fromEnv, &source, error))
    source = GpsSource();
  else
    error->clear();
  return source;
}

int run(const CommandLine& line, const GpsSource& gps) {
  // The configuration store and the system services exist before anything else (main deletes
  // them on every way out).
  g_pConfig = new CConfig();
  g_pUtility = new CUtility();
  // This thread's message queue exists from here on, so that an input script's "quit" that
  // comes before the first window still reaches the message loop.
  MSG first;
  PeekMessageW(&first, nullptr, 0, 0, PM_NOREMOVE);
  // The display comes first so that the windows of start-up have a screen to draw on.
  plat::display::Options display;
  if (!line.display.empty() && !plat::display::parseBackend(line.display, display.backend)) {
    NKDbgPrintfW(u"[Vexa APP] unknown display %S, using auto\n", line.display.c_str());
  }
  display.scale = line.scale;
  display.fullscreen = line.fullscreen;
  display.accelerated = line.accelerated;
  // Full screen is how a unit runs: with no screen to show, end and let the service try again.
  display.fallBackToHeadless = !line.fullscreen;
  display.script = line.script;
  if (!plat::display::open(display)) {
    NKDbgPrintfW(u"[Vexa APP] no screen to show the shell on, ending\n");
    return line.fullscreen ? HU_DISPLAY_LOST_EXIT_STATUS : 0;
  }
  app::ScreenSnapshots snapshots;
  if (plat::display::active() == plat::display::Backend::Headless) snapshots.Start(line.snapshots);

  app::CShell shell;
  if (!shell.Start(GetModuleHandleW(nullptr), gps)) {
    // A supervisor must see this as a failure, not as a clean end.
    plat::display::close();
    return kExitConfigurationUnusable;
  }

  std::unique_ptr<app::CSkinWatch> watch;
  if (line.watch) {
    // The watch owns the tables from here on: it hands new ones to the screens on a reload.
    watch = std::make_unique<app::CSkinWatch>(shell.TakeImages(), shell.TakeTexts());
    watch->AddScreen(shell.StatusBar());
    watch->AddScreen(shell.MainWindow());
    watch->Start();
  }

  int status = 0;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The quit code says why the loop ended: 0 normally, or the display going away, which the
  // supervisor must see to start the shell again.
  if (msg.message == WM_QUIT && static_cast<int>(msg.wParam) == HU_DISPLAY_LOST_EXIT_STATUS)
    status = HU_DISPLAY_LOST_EXIT_STATUS;
  snapshots.Stop();
  if (watch) watch->Stop();
  shell.Stop();
  // The screens are gone: the tables the watch kept can go too.
  watch.reset();
  plat::display::close();
  return status;
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
  // Never the current folder by default: the unit's settings and registry are written back.
  options.unitRoot = line.unit;
  if (options.unitRoot.empty()) {
    const char* fromEnv = std::getenv("HU_UNIT_DIR");
    if (fromEnv && *fromEnv) options.unitRoot = fromEnv;
  }
  if (options.unitRoot.empty()) {
    std::fprintf(stderr,
                 "launcher: no unit folder: name one with --unit DIR or HU_UNIT_DIR "
                 "(scripts/prepare-unit.sh DIR lays out the default unit)\n");
    return 2;
  }
  std::error_code error;
  auto root = std::filesystem::canonical(options.unitRoot, error);
  if (error || !std::filesystem::is_directory(root)) {
    std::fprintf(stderr, "launcher: unit folder %s does not exist\n", options.unitRoot.c_str());
    return 2;
  }
  options.unitRoot = root.string();
  if (!line.module.empty()) options.moduleFileName = plat::utf8ToUtf16(line.module);
  options.consoleFile = line.consoleFile;
  // Before any thread runs: the programs the shell starts read the receiver where it reads it.
  std::string gpsError;
  const GpsSource gps = gpsSource(line, &gpsError);
  setenv("HU_GPS", FormatGpsSource(gps).c_str(), 1);
  plat::startup(options);
  plat::quitOnTerminationRequest(GetCurrentThreadId());
  NKDbgPrintfW(u"[Vexa APP] launcher %s on unit %S\n", app::programVersion(), options.unitRoot.c_str());

  if (!gpsError.empty()) NKDbgPrintfW(u"[Vexa APP] HU_GPS: %S; reading the serial port\n", gpsError.c_str());
  if (gps.gpsd) NKDbgPrintfW(u"[Vexa APP] GPS through gpsd at %S:%d\n", gps.host.c_str(), gps.port);

  if (!line.queueGroup.empty()) plat::msgqueue::setAccessGroup(line.queueGroup);
  std::unique_ptr<CProgramAllowList> allowList;
  if (!line.allowPrograms.empty()) {
    allowList = std::make_unique<CProgramAllowList>();
    allowList->Load(line.allowPrograms);
    g_pProgramAllowList = allowList.get();
  }

  int result = run(line, gps);
  // The programs started from the card end with the shell (a next start would otherwise find a
  // second copy running); their watchers have no window left to report to.
  if (size_t ended = plat::process::endStartedPrograms(kProgramGraceMs))
    NKDbgPrintfW(u"[Vexa APP] %d started program%s ended with the launcher\n", static_cast<int>(ended),
                 ended == 1 ? u"" : u"s");

  g_pProgramAllowList = nullptr;

  delete g_pUtility;
  g_pUtility = nullptr;
  delete g_pConfig;
  g_pConfig = nullptr;
  plat::shutdown();
  return result;
}
