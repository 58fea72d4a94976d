// (Filled by the notify area.)
#pragma once

#include "plat_types.h"
