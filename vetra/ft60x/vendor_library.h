#pragma once
// The vendor's D3XX run-time library, loaded on first use when it is installed. Absent
// (the usual case on machines without FT60x hardware) it is simply not there: nothing is
// printed and nothing fails.

#include <vetra/ftd3xx.h>

namespace ft60x {

struct vendor_library {
    FT_STATUS (*createDeviceInfoList)(uint32_t *);
    FT_STATUS (*getDeviceInfoList)(FT_DEVICE_LIST_INFO_NODE *, uint32_t *);
    FT_STATUS (*create)(void *, uint32_t, FT_HANDLE *);
    FT_STATUS (*setPipeTimeout)(FT_HANDLE, unsigned char, uint32_t);
    FT_STATUS (*writePipe)(FT_HANDLE, unsigned char, unsigned char *, uint32_t, uint32_t *, LPOVERLAPPED);
    FT_STATUS (*readPipe)(FT_HANDLE, unsigned char, unsigned char *, uint32_t, uint32_t *, LPOVERLAPPED);
    FT_STATUS (*abortPipe)(FT_HANDLE, unsigned char);
    FT_STATUS (*close)(FT_HANDLE);

    // Loads `file` and resolves every function; null when the file or a function is missing.
    // The library stays loaded for the life of the process (its handles may be in use until
    // the very end).
    static const vendor_library *load(const char *file);
};

// The vendor library's usual file name.
constexpr const char *vendor_library_file = "libftd3xx.so";

} // namespace ft60x
