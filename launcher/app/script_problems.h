// What a skin author is told when a screen script of the running skin no longer loads: the file
// and the parser's error with its line, in the form compilers use (file:line: message) so that
// an editor can jump there.
#pragma once

#include <filesystem>
#include <string>

namespace app {

// Why the XML document `file` (a host path) does not load: "<path>:<line>: <message>" for a
// document that is not well-formed (offsets in the parser's message become lines and columns),
// "<path>: <reason>" for a file that cannot be read. Empty when it loads.
std::string documentProblem(const std::filesystem::path& file);

// Why `script` (a host path) does not load as a screen script: "<path>:<line>: <message>" for a
// document that is not well-formed (offsets in the parser's message become lines and columns),
// "<path>: <reason>" for a file that cannot be read, "<path>:1: ..." for a well-formed document
// that gives no page. Empty when the script loads with at least one page.
std::string scriptLoadProblem(const std::filesystem::path& script);

// Prints the script's problems on the debug console, one line each: the load problem above,
// then what the skin checker finds in the script. `skinFolder` is the host folder that holds
// the skin's scripts and "image.xml"; a relative `script` is taken in it.
void printScriptProblems(const std::filesystem::path& skinFolder, const std::filesystem::path& script);

}  // namespace app
