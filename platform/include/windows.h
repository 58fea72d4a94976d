// The CE interface subset this system calls, re-created on Linux. Code above the platform
// includes this one header.
#pragma once

#include "plat_types.h"
#include "plat_core.h"
#include "plat_strings.h"
#include "plat_thread.h"
#include "plat_time.h"
#include "plat_file.h"
#include "plat_registry.h"
#include "plat_window.h"
#include "plat_gdi.h"
#include "plat_image.h"
#include "plat_module.h"
#include "plat_serial.h"
#include "plat_msgqueue.h"
#include "plat_process.h"
#include "plat_device.h"
#include "plat_notify.h"
#include "plat_sound.h"
