// (Filled by the process area.)
#pragma once

#include "plat_types.h"
