// SPDX-License-Identifier: MIT
// win32.h -- <windows.h> as the Windows back end takes it: without the
// rarely used parts and without the min and max macros.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
