// (Filled by the serial area.)
#pragma once

#include "plat_types.h"
