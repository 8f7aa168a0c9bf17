#pragma once
// Reads a raw tag file back with the library's reader and says whether it holds up: every
// block whole and its CRC right. A file still being written (or left by a writer that died)
// may end inside a block; with `stillGrowing` that cut is accepted after the last complete
// block, anything else is not.

#include <cstdint>
#include <string>

namespace soak {

struct RawCheck {
    bool ok = false;
    bool cut = false;          // the file ended inside a block or its header
    std::uint64_t tags = 0;    // tags of the complete blocks
    std::uint64_t blocks = 0;
    std::string error;         // the reader's sentence when not ok
};

RawCheck checkRawFile(const std::string &path, bool stillGrowing);

} // namespace soak
