// Callbacks handed across the core's interfaces use stdcall on 32-bit
// Windows, so the shipped 32-bit build keeps the calling contract of its
// callers; the macro is empty elsewhere.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define VARNELLE_CALLBACK __stdcall
#else
#define VARNELLE_CALLBACK
#endif
