#include "moduletable.h"

#include <algorithm>
#include <exception>
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

std::error_code readTableWords(const TableRead &read, std::uint32_t at, std::uint32_t count,
                               std::vector<std::uint32_t> &words)
{
    std::error_code ec;
    for (int attempt = 0; attempt < readAttempts; ++attempt) {
        words.clear();
        ec = read(at, count, words);
        if (ec != make_error_code(tdcError::timeout))
            break;
    }
    // Everything below indexes the words it asked for.
    if (!ec && words.size() != count)
        ec = make_error_code(tdcError::badResponse);
    return ec;
}

} // namespace

namespace {

// Reads of the whole table before it is given up as changing all the time.
constexpr int stableAttempts = 3;

// One pass over the board's table, with every word it read.
struct Pass {
    std::vector<std::vector<std::uint32_t>> reads;
    std::error_code lastReadError;
    std::vector<ModuleEntry> entries;
    std::exception_ptr error;
};

Pass readOnce(TDCLink &link)
{
    Pass p;
    const TableRead read = [&](std::uint32_t at, std::uint32_t count, std::vector<std::uint32_t> &words) {
        p.lastReadError = link.read(at, count, words);
        if (!p.lastReadError)
            p.reads.push_back(words);
        return p.lastReadError;
    };
    try {
        p.entries = readModuleTable(read);
    } catch (const std::runtime_error &) {
        p.error = std::current_exception();
    }
    return p;
}

} // namespace

std::vector<ModuleEntry> readModuleTable(TDCLink &link)
{
    // A table read while the board rewrites it could mix two tables (a header of one, entries
    // of the other): only what two passes in a row read alike is taken.
    Pass last = readOnce(link);
    for (int attempt = 0;; ++attempt) {
        if (last.error && last.lastReadError)
            std::rethrow_exception(last.error); // the board did not answer; asking again changes nothing
        Pass again = readOnce(link);
        if (again.reads == last.reads && !(again.error && again.lastReadError)) {
            if (again.error)
                std::rethrow_exception(again.error);
            return again.entries;
        }
        if (attempt + 1 == stableAttempts)
            throw std::runtime_error("Cannot read the board's module table: it changed while it was read");
        last = std::move(again);
    }
}

std::vector<ModuleEntry> readModuleTable(const TableRead &link)
{
    using namespace tdcregs::table;
    std::vector<std::uint32_t> header;
    if (const auto ec = readTableWords(link, address, headerWords, header))
        throw std::runtime_error("Cannot read the board's module table: " + ec.message());
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

    std::vector<std::uint32_t> words;
    if (const auto ec = readTableWords(link, address + firstEntry, count * entryWords, words))
        throw std::runtime_error("Cannot read the board's module table: " + ec.message());

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
