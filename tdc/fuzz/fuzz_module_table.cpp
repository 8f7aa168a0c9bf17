// The module table as a board may present it: any header, any entries, reads that time out,
// fail or answer with the wrong number of words. The reader either refuses with a clear text
// or returns a table whose windows are sane and apart.
//
// Input: a flag byte (bit 0: start from a header the reader accepts, so entries are reached
// quickly), then per read request a byte saying how the board answers, then its words.

#include "fuzz_input.h"

#include "moduletable.h"
#include "registers.h"
#include "tdc/tdcerror.h"

#include <algorithm>
#include <stdexcept>

int fuzz_module_table(const std::uint8_t *data, std::size_t size)
{
    fuzz::input in(data, size);
    const unsigned flags = in.byte();
    bool first = true;
    std::size_t requests = 0;
    const TableRead read = [&](std::uint32_t address, std::uint32_t count, std::vector<std::uint32_t> &words) {
        ++requests;
        FUZZ_CHECK(count > 0 && count <= tdcregs::table::firstEntry + tdcregs::table::maxModules * tdcregs::table::entryWords);
        if (first && (flags & 1)) {
            first = false;
            words = {tdcregs::table::magic, tdcregs::table::format, 1u + in.below(tdcregs::table::maxModules),
                     tdcregs::table::entryWords};
            return std::error_code();
        }
        first = false;
        const unsigned answer = in.byte();
        switch (answer & 7) {
        case 0: return make_error_code(tdcError::timeout);
        case 1: return make_error_code(tdcError::disconnected);
        case 2: words = in.words(count + 1 + (answer >> 6)); return std::error_code(); // too many
        case 3: words = in.words(answer >> 3); return std::error_code();              // too few, likely
        default: break;
        }
        words = in.words(count);
        words.resize(count, in.word());
        (void)address;
        return std::error_code();
    };

    std::vector<ModuleEntry> entries;
    try {
        entries = readModuleTable(read);
    } catch (const std::runtime_error &e) {
        FUZZ_CHECK(std::string(e.what()).size() > 0);
        return 0;
    }
    // The header and the entries, with a few retries of timed-out reads at most.
    FUZZ_CHECK(requests <= 6);
    FUZZ_CHECK(!entries.empty() && entries.size() <= tdcregs::table::maxModules);
    std::sort(entries.begin(), entries.end(), [](const ModuleEntry &a, const ModuleEntry &b) { return a.base < b.base; });
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto &e = entries[i];
        FUZZ_CHECK(e.size > 0);
        FUZZ_CHECK(e.base >= tdcregs::table::reserved);
        FUZZ_CHECK(std::uint64_t(e.base) + e.size <= 0x100000000ULL);
        if (i > 0)
            FUZZ_CHECK(std::uint64_t(entries[i - 1].base) + entries[i - 1].size <= e.base);
    }
    return 0;
}
