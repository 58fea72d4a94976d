// Runs the skin-preview program of this build and reads the pictures it writes.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stb/stb_image.h>

namespace preview_test {

struct Run {
  int status = -1;
  std::string errors;  // standard error
};

inline std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// `scratch` is a folder of the test's own for standard error.
inline Run runPreview(const std::vector<std::string>& args, const std::string& scratch) {
  std::string command = quoted(std::string(HU_BINARY_DIR) + "/tools/skin-preview");
  for (const std::string& arg : args) command += " " + quoted(arg);
  const std::string errors = scratch + "/preview-stderr.txt";
  command += " >/dev/null 2>" + quoted(errors);
  Run run;
  int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
  std::ifstream in(errors);
  std::stringstream text;
  text << in.rdbuf();
  run.errors = text.str();
  return run;
}

struct Png {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB
};

inline bool readPng(const std::string& path, Png& out) {
  int channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &out.width, &out.height, &channels, 3);
  if (!data) return false;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (size_t i = 0; i < out.pixels.size(); ++i)
    out.pixels[i] = uint32_t(data[i * 3]) << 16 | uint32_t(data[i * 3 + 1]) << 8 | data[i * 3 + 2];
  stbi_image_free(data);
  return true;
}

}  // namespace preview_test
