// skin-preview: a page of a skin as the engine paints it, without the launcher, as a PNG; or
// a contact sheet of every page of every script in every language.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "preview.h"
#include "sheet.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitNoPicture = 2;
// However a skin is made, the preview ends within this much real time.
constexpr int kWatchdogSeconds = 120;

struct CommandLine {
  std::string skin;
  std::string script;
  std::string output;
  int page = 0;
  int language = -1;
  bool focus = false;
  int focusAction = 0;
  bool sheet = false;
  bool verbose = false;
  bool help = false;
  std::string error;
};

void usage(FILE* out) {
  std::fputs(
      "usage: skin-preview SKIN_FOLDER SCRIPT [--page N] [--lang ID] [--focus ACTION] -o OUT.png\n"
      "       skin-preview SKIN_FOLDER --sheet -o SHEET.png\n"
      "  SKIN_FOLDER       the skin (beside it: language.xml and the language modules)\n"
      "  SCRIPT            a screen script of the skin, e.g. Main_Menu_Script.xml\n"
      "  --page N          the page, counted from 0 (default 0)\n"
      "  --lang ID         a LANGID of language.xml (default: its first language)\n"
      "  --focus ACTION    show the remote focus on the button, progress bar or table item\n"
      "                    with this action id\n"
      "  --sheet           every page of every script in every language, labelled\n"
      "  -o FILE           the PNG to write\n"
      "  -v, --verbose     show the engine's console lines\n"
      "exit status: 0 picture written, 2 no picture (the reason on standard error)\n",
      out);
}

// Whole decimal numbers only: "2x" or "" is a mistake the user should hear of.
bool parseNumber(const std::string& text, bool allowNegative, int& out) {
  if (text.empty() || text.size() > 10) return false;
  size_t i = text[0] == '-' && allowNegative ? 1 : 0;
  if (i == text.size()) return false;
  for (size_t k = i; k < text.size(); ++k)
    if (text[k] < '0' || text[k] > '9') return false;
  long long value = std::atoll(text.c_str());
  if (value > 0x7FFFFFFF || value < -0x7FFFFFFFLL) return false;
  out = static_cast<int>(value);
  return true;
}

CommandLine parse(int argc, char** argv) {
  CommandLine line;
  std::vector<std::string> positional;
  for (int i = 1; i < argc && line.error.empty(); ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) line.error = "option " + arg + " needs a value";
      else into = argv[++i];
    };
    auto number = [&](bool negative, int& into) {
      std::string text;
      value(text);
      if (line.error.empty() && !parseNumber(text, negative, into))
        line.error = "option " + arg + " takes a whole number, not \"" + text + "\"";
    };
    if (arg == "--page") number(false, line.page);
    else if (arg == "--lang") number(false, line.language);
    else if (arg == "--focus") {
      number(true, line.focusAction);
      line.focus = true;
    } else if (arg == "-o" || arg == "--output") value(line.output);
    else if (arg == "--sheet") line.sheet = true;
    else if (arg == "-v" || arg == "--verbose") line.verbose = true;
    else if (arg == "--help" || arg == "-h") line.help = true;
    else if (!arg.empty() && arg[0] == '-') line.error = "unknown option " + arg;
    else positional.push_back(arg);
  }
  if (!line.error.empty() || line.help) return line;
  const size_t wanted = line.sheet ? 1 : 2;
  if (positional.size() != wanted)
    line.error = line.sheet ? "--sheet takes the skin folder only" : "give the skin folder and a script";
  else if (line.output.empty())
    line.error = "give the picture to write with -o FILE.png";
  else {
    line.skin = positional[0];
    if (!line.sheet) line.script = positional[1];
  }
  return line;
}

// Ends the process with a message when the work takes longer than any skin should.
class Watchdog {
 public:
  Watchdog() {
    m_thread = std::thread([this] {
      std::unique_lock<std::mutex> guard(m_lock);
      if (!m_wake.wait_for(guard, std::chrono::seconds(kWatchdogSeconds), [this] { return m_done; })) {
        std::fprintf(stderr, "skin-preview: gave up after %d s: the skin takes too long to paint\n", kWatchdogSeconds);
        std::fflush(stderr);
        _exit(kExitNoPicture);
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      m_done = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_wake;
  bool m_done = false;
  std::thread m_thread;
};

// A script's name without its folder, as the user may give "Skin/Main_Menu_Script.xml".
std::string fileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string languageLabel(int language) { return language < 0 ? "no language" : "lang " + std::to_string(language); }

int makeSheet(skinpreview::Previewer& previewer, const skinpreview::SkinLocation& location, skinpreview::Picture& out,
              std::string& error) {
  std::vector<int> languages = previewer.Languages();
  if (languages.empty()) languages.push_back(-1);
  std::vector<skinpreview::SheetCell> cells;
  int made = 0;
  for (const std::string& script : skinpreview::ScriptsOf(location.skinFolder)) {
    int pages = 1;
    for (int page = 0; page < pages; ++page) {
      for (int language : languages) {
        skinpreview::Request request;
        request.script = script;
        request.page = page;
        request.language = language;
        skinpreview::SheetCell cell;
        cell.label = script + "  page " + std::to_string(page) + "  " + languageLabel(language);
        std::string why;
        int count = 0;
        if (previewer.Render(request, cell.picture, why, &count)) {
          ++made;
          for (const std::string& note : previewer.Notes())
            std::fprintf(stderr, "skin-preview: warning: %s, page %d: %s\n", script.c_str(), page, note.c_str());
        } else {
          cell.failure = why;
          std::fprintf(stderr, "skin-preview: %s\n", why.c_str());
        }
        if (page == 0 && count > pages) pages = count;
        cells.push_back(std::move(cell));
        if (static_cast<int>(cells.size()) > skinpreview::kMaxSheetCells) {
          error = "the skin has more than " + std::to_string(skinpreview::kMaxSheetCells) + " pages in all";
          return kExitNoPicture;
        }
      }
    }
  }
  if (made == 0) {
    error = "no page of the skin could be painted";
    return kExitNoPicture;
  }
  return skinpreview::ComposeSheet(cells, static_cast<int>(languages.size()), out, error) ? kExitDone : kExitNoPicture;
}

int run(const CommandLine& line) {
  skinpreview::SkinLocation location;
  std::string error;
  if (!skinpreview::LocateSkin(line.skin, location, error)) {
    std::fprintf(stderr, "skin-preview: %s\n", error.c_str());
    return kExitNoPicture;
  }
  Watchdog watchdog;
  skinpreview::PrepareSkinPlatform(location, line.verbose);
  int status = kExitDone;
  skinpreview::Picture picture;
  {
    skinpreview::Previewer previewer(location);
    if (!previewer.Open(error)) {
      status = kExitNoPicture;
    } else if (line.sheet) {
      status = makeSheet(previewer, location, picture, error);
    } else {
      skinpreview::Request request;
      request.script = fileNameOf(line.script);
      request.page = line.page;
      request.language = line.language;
      request.focus = line.focus;
      request.focusAction = line.focusAction;
      if (!previewer.Render(request, picture, error)) status = kExitNoPicture;
      for (const std::string& note : previewer.Notes())
        std::fprintf(stderr, "skin-preview: warning: %s\n", note.c_str());
    }
  }
  skinpreview::EndSkinPlatform();
  if (status != kExitDone) {
    std::fprintf(stderr, "skin-preview: %s\n", error.c_str());
    return status;
  }
  if (!skinpreview::WritePng(line.output, picture)) {
    std::fprintf(stderr, "skin-preview: cannot write %s\n", line.output.c_str());
    return kExitNoPicture;
  }
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line = parse(argc, argv);
  if (line.help) {
    usage(stdout);
    return kExitDone;
  }
  if (!line.error.empty()) {
    std::fprintf(stderr, "skin-preview: %s\n", line.error.c_str());
    usage(stderr);
    return kExitNoPicture;
  }
  return run(line);
}
