// The outside suites the tests read (receiver logs, the picture suites, the XML conformance
// suite) live in ../shared/testdata beside the project. A clone of its own has none: a test
// that reads them skips with one line that the test command counts ("missing test data").
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#define HU_SKIP_WITHOUT_TEST_DATA(path)                                                          \
  do {                                                                                           \
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "missing test data: " << (path);         \
  } while (0)
