#pragma once

// ZOK_EXPORT marks the few entry points that the shared library exports; everything else
// stays hidden. ZOK_BUILDING is defined while the library itself is compiled.
#if defined(_WIN32)
#if defined(ZOK_BUILDING)
#define ZOK_EXPORT __declspec(dllexport)
#else
#define ZOK_EXPORT __declspec(dllimport)
#endif
#else
#define ZOK_EXPORT __attribute__((visibility("default")))
#endif
