// The standard headers and the platform's interface nearly every source reads, precompiled
// once per target (CMakeLists.txt, hu_common_headers). Only headers every source may see.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "windows.h"
