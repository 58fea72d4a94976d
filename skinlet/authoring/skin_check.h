// The skin checker: explains a skin folder against the loader's own read orders and tables,
// so that a skin author learns of what the engine would skip or miss without looking hard at
// the screen. Used by the skin-check tool and by the launcher's watch mode.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace skinlet::check {

enum class Severity { Warning, Error };

struct Finding {
  std::string file;
  int line = 0;
  Severity severity = Severity::Warning;
  std::string message;
};

struct Options {
  // The folder that holds "language.xml" and the language modules it names by bare name;
  // empty: the skin folder's parent, where the engine finds them in a unit.
  std::filesystem::path languageFolder;
};

// Every finding of the whole skin folder (every script in it, image.xml, the language modules
// named by language.xml found the way the engine finds them), in file then line order.
std::vector<Finding> checkSkin(const std::filesystem::path& skinFolder);
std::vector<Finding> checkSkin(const std::filesystem::path& skinFolder, const Options& options);

// The findings of one script of that skin (plus what it refers to: images, texts, files).
std::vector<Finding> checkScript(const std::filesystem::path& skinFolder, const std::filesystem::path& script);
std::vector<Finding> checkScript(const std::filesystem::path& skinFolder, const std::filesystem::path& script,
                                 const Options& options);

// "file:line: error: message" / "file:line: warning: message", the form compilers use
// ("file: error: message" for a finding about a whole file).
std::string format(const Finding& finding);

// Files larger than this are refused with a finding instead of being read.
constexpr std::uintmax_t kMaxFileBytes = 4u << 20;

}  // namespace skinlet::check
