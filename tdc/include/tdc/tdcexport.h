#pragma once
// What libtdc exports. The library is built with hidden visibility; only what carries
// TDC_EXPORT is seen by programs and plugins (classes whole, so their type information is
// shared and run-time type tests work across the library boundary).

#define TDC_EXPORT __attribute__((visibility("default")))
