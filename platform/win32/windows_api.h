// <windows.h> as the Windows host includes it: without the min/max macros, and without the
// A/W macros whose names the platform-neutral interfaces use as method names (MessageBox,
// LoadString). Our own code calls the single-byte functions by their full names.
#ifndef BRINDLE_PLATFORM_WIN32_WINDOWS_API_H
#define BRINDLE_PLATFORM_WIN32_WINDOWS_API_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef MessageBox
#undef LoadString

#endif
