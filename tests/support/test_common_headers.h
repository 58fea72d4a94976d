// What the test programs precompile: the common headers, GoogleTest and <filesystem>.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "../../cmake/common_headers.h"
