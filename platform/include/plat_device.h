// (Filled by the device area.)
#pragma once

#include "plat_types.h"
