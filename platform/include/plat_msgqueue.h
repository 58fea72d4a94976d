// (Filled by the msgqueue area.)
#pragma once

#include "plat_types.h"
