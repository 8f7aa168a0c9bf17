#include "tdc/tdcmastermodule.h"

#include <stdexcept>

#include "modulefactory.h"
#include "registers.h"
#include "tdclink.h"

std::unique_ptr<TessaronModule> createMasterModule(const ModuleEntry &e, const std::shared_ptr<TDCLink> &link)
{
    using namespace tdcregs::master;
    const auto head = readModuleRegisters(*link, e, "master module", compileTime, 3);
    const std::int64_t time = static_cast<std::int64_t>(head[0] | (std::uint64_t(head[1]) << 32));
    const std::uint32_t length = head[2];
    if (length > maxTagBytes)
        throw std::runtime_error("The master module reports a firmware tag of " + std::to_string(length) +
                                 " bytes, more than its window holds");
    std::string tag;
    if (length > 0) {
        const auto words = readModuleRegisters(*link, e, "master module", tdcregs::master::tag,
                                               (length + 3) / 4);
        tag.reserve(length);
        for (std::uint32_t i = 0; i < length; ++i)
            tag += static_cast<char>((words[i / 4] >> (8 * (i % 4))) & 0xFF);
        // A tag is text; a NUL inside would cut it short for every C caller.
        const auto nul = tag.find('\0');
        if (nul != std::string::npos)
            tag.resize(nul);
    }
    return std::make_unique<TDCMasterModule>(e.base, e.size, e.hw, e.sw, time, std::move(tag));
}
