#include "moduletable.h"

namespace kestrane {

namespace {
std::uint32_t versionHigh(const ModuleVersion &v)
{
    return (static_cast<std::uint32_t>(v.major) << 16) | v.minor;
}
} // namespace

Status ModuleTable::read(std::uint32_t offset, std::uint32_t &value)
{
    value = 0;
    switch (offset) {
    case 0: value = magic; return Status::ok;
    case 1: value = format; return Status::ok;
    case 2: value = static_cast<std::uint32_t>(entries_.size()); return Status::ok;
    case 3: value = entryWords; return Status::ok;
    default: break;
    }
    if (offset < firstEntry)
        return Status::ok; // reserved words read as zero
    const std::uint32_t index = (offset - firstEntry) / entryWords;
    if (index >= entries_.size())
        return Status::ok;
    const TableEntry &e = entries_[index];
    switch ((offset - firstEntry) % entryWords) {
    case 0: value = e.typeID; break;
    case 1: value = versionHigh(e.hw); break;
    case 2: value = e.hw.patch; break;
    case 3: value = versionHigh(e.sw); break;
    case 4: value = e.sw.patch; break;
    case 5: value = e.base; break;
    case 6: value = e.size; break;
    default: value = 0; break;
    }
    return Status::ok;
}

Status ModuleTable::canWrite(std::uint32_t) const
{
    return Status::slaveError;
}

} // namespace kestrane
