#pragma once
// Marks what the shared library exports.
#if defined(__GNUC__)
#define VETRA_EXPORT __attribute__((visibility("default")))
#else
#define VETRA_EXPORT
#endif
