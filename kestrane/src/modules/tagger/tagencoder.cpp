#include "tagencoder.h"

namespace kestrane {
namespace tagwire {

void Encoder::begin(std::vector<std::uint32_t> &out, std::uint64_t time)
{
    out.clear();
    epoch_ = time >> lowBits;
    out.push_back(epochHighType | static_cast<std::uint32_t>(epoch_ >> 28));
    out.push_back(epochLowType | static_cast<std::uint32_t>(epoch_ & 0x0FFFFFFF));
}

void Encoder::setEpoch(std::vector<std::uint32_t> &out, std::uint64_t epoch)
{
    if ((epoch >> 28) != (epoch_ >> 28))
        out.push_back(epochHighType | static_cast<std::uint32_t>(epoch >> 28));
    out.push_back(epochLowType | static_cast<std::uint32_t>(epoch & 0x0FFFFFFF));
    epoch_ = epoch;
}

void Encoder::add(std::vector<std::uint32_t> &out, const Tag &tag)
{
    const std::uint64_t epoch = tag.time >> lowBits;
    if (epoch != epoch_)
        setEpoch(out, epoch);
    out.push_back((static_cast<std::uint32_t>(tag.channel & 0x3F) << channelShift) |
                  (tag.edge == falling ? fallingBit : 0u) | (static_cast<std::uint32_t>(tag.time) & lowMask));
}

void Encoder::overflow(std::vector<std::uint32_t> &out, std::uint8_t channel, std::uint64_t count,
                       std::uint64_t time)
{
    while (count > 0) {
        const std::uint32_t part = count > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(count);
        out.push_back(overflowType | (channel & 0x3Fu));
        out.push_back(part);
        out.push_back(static_cast<std::uint32_t>(time));
        out.push_back(static_cast<std::uint32_t>(time >> 32));
        count -= part;
    }
}

} // namespace tagwire
} // namespace kestrane
