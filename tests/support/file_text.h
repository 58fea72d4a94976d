// Whole content of a host file, for tests that check what was written to disk.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace hu::test {

// Empty when the file cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace hu::test
