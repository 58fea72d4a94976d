// (Filled by the sound area.)
#pragma once

#include "plat_types.h"
