#include "mastermodule.h"

namespace kestrane {

MasterModule::MasterModule(std::int64_t compileTime, std::string tag)
    : compileTime_(compileTime), tag_(std::move(tag))
{
    if (tag_.size() > maxTagBytes)
        tag_.resize(maxTagBytes);
}

Status MasterModule::read(std::uint32_t offset, std::uint32_t &value)
{
    value = 0;
    const auto time = static_cast<std::uint64_t>(compileTime_);
    switch (offset) {
    case regCompileTimeLow: value = static_cast<std::uint32_t>(time); return Status::ok;
    case regCompileTimeHigh: value = static_cast<std::uint32_t>(time >> 32); return Status::ok;
    case regTagLength: value = static_cast<std::uint32_t>(tag_.size()); return Status::ok;
    case regScratch: value = scratch_; return Status::ok;
    default: break;
    }
    if (offset >= regTag && offset < windowSize) {
        const std::size_t first = (offset - regTag) * 4;
        for (std::size_t i = 0; i < 4 && first + i < tag_.size(); ++i)
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(tag_[first + i])) << (8 * i);
        return Status::ok;
    }
    // Words the module does not list read as zero, like every module's.
    return offset < windowSize ? Status::ok : Status::decodeError;
}

Status MasterModule::canWrite(std::uint32_t offset) const
{
    if (offset == regScratch)
        return Status::ok;
    return offset < windowSize ? Status::slaveError : Status::decodeError;
}

void MasterModule::write(std::uint32_t offset, std::uint32_t value, std::int64_t)
{
    if (offset == regScratch)
        scratch_ = value;
}

} // namespace kestrane
