#include "moduletable.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "registers.h"
#include "tdc/tdcerror.h"
#include "tdclink.h"

namespace {

[[noreturn]] void refuse(const std::string &why)
{
    throw std::runtime_error("The board's module table makes no sense: " + why);
}

TessaronVersion version(std::uint32_t high, std::uint32_t patch)
{
    TessaronVersion v;
    v.major = static_cast<std::uint8_t>(high >> 16);
    v.minor = static_cast<std::uint16_t>(high & 0xFFFF);
    v.patch = static_cast<std::uint16_t>(patch & 0xFFFF);
    return v;
}

std::string hex(std::uint32_t v)
{
    std::ostringstream s;
    s << "0x" << std::hex << v;
    return s.str();
}

// Reading the table is idempotent, and a board busy streaming (or a loaded host) can miss one
// request's time-out; a few attempts keep a slow answer from failing the whole connection.
constexpr int readAttempts = 3;

std::error_code readTableWords(TDCLink &link, std::uint32_t at, std::uint32_t count,
                               std::vector<std::uint32_t> &words)
{
    std::error_code ec;
    for (int attempt = 0; attempt < readAttempts; ++attempt) {
        ec = link.read(at, count, words);
        if (ec != make_error_code(tdcError::timeout))
            break;
    }
    return ec;
}

// Reads of the whole table before it is given up as changing all the time.
constexpr int stableAttempts = 3;

struct RawTable {
    std::vector<std::uint32_t> header;
    std::vector<std::uint32_t> entries; // empty when the header's count is out of bounds
};

RawTable readRawTable(TDCLink &link)
{
    using namespace tdcregs::table;
    RawTable t;
    if (const auto ec = readTableWords(link, address, headerWords, t.header))
        throw std::runtime_error("Cannot read the board's module table: " + ec.message());
    const std::uint32_t count = t.header[2];
    // A header that makes no sense is refused once the table is read the same twice.
    if (t.header[0] != magic || t.header[1] != format || count == 0 || count > maxModules ||
        t.header[3] != entryWords)
        return t;
    if (const auto ec = readTableWords(link, address + firstEntry, count * entryWords, t.entries))
        throw std::runtime_error("Cannot read the board's module table: " + ec.message());
    return t;
}

} // namespace

std::vector<ModuleEntry> readModuleTable(TDCLink &link)
{
    using namespace tdcregs::table;
    // A table read while the board rewrites it could mix two tables (a header of one, entries
    // of the other): only a table read the same twice in a row is taken.
    RawTable table = readRawTable(link);
    for (int attempt = 0;; ++attempt) {
        RawTable again = readRawTable(link);
        if (again.header == table.header && again.entries == table.entries)
            break;
        if (attempt + 1 == stableAttempts)
            throw std::runtime_error("Cannot read the board's module table: it changed while it was read");
        table = std::move(again);
    }
    const std::vector<std::uint32_t> &header = table.header;
    if (header[0] != magic)
        refuse("its signature is " + hex(header[0]) + " instead of " + hex(magic));
    if (header[1] != format)
        refuse("table format " + std::to_string(header[1]) + " is not known");
    const std::uint32_t count = header[2];
    if (count == 0 || count > maxModules)
        refuse("it lists " + std::to_string(count) + " modules");
    if (header[3] != entryWords)
        refuse("its entries have " + std::to_string(header[3]) + " words instead of " +
               std::to_string(entryWords));

    const std::vector<std::uint32_t> &words = table.entries;

    std::vector<ModuleEntry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t *w = &words[i * entryWords];
        ModuleEntry e;
        e.typeID = w[0];
        e.hw = version(w[1], w[2]);
        e.sw = version(w[3], w[4]);
        e.base = w[5];
        e.size = w[6];
        const std::string which = "module " + std::to_string(i) + " (type " + hex(e.typeID) + ")";
        if (e.size == 0)
            refuse(which + " has an empty register window");
        if (static_cast<std::uint64_t>(e.base) + e.size > 0x100000000ULL)
            refuse(which + " runs past the end of the address space");
        if (e.base < reserved)
            refuse(which + " lies inside the module table at " + hex(e.base));
        entries.push_back(e);
    }
    auto sorted = entries;
    std::sort(sorted.begin(), sorted.end(),
              [](const ModuleEntry &a, const ModuleEntry &b) { return a.base < b.base; });
    for (std::size_t i = 1; i < sorted.size(); ++i)
        if (static_cast<std::uint64_t>(sorted[i - 1].base) + sorted[i - 1].size > sorted[i].base)
            refuse("the modules at " + hex(sorted[i - 1].base) + " and " + hex(sorted[i].base) +
                   " overlap");
    return entries;
}
