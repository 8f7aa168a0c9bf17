#include "modulefactory.h"

#include <sstream>
#include <stdexcept>

#include "tdc/dorrin.h"
#include "tdc/programmablethreshold.h"
#include "tdc/tdcfennick.h"
#include "tdc/tdchistogrammermodule.h"
#include "tdc/tdcoldhistogrammermodule.h"
#include "tdc/tdcmastermodule.h"
#include "tdc/tdcmodule.h"
#include "tdclink.h"

const ModuleFactory &ModuleFactory::standard()
{
    static const ModuleFactory factory = [] {
        ModuleFactory f;
        f.add(TDCMasterModule::TypeID, createMasterModule);
        f.add(TDCModule::TypeID, createTdcModule);
        f.add(TDCFennick::TypeID, createFennick);
        f.add(Dorrin::TypeID, createDorrin);
        f.add(TDCHistogrammerModule::TypeID, createHistogrammer);
        f.add(TDCOldHistogrammerModule::TypeID, createOldHistogrammer);
        f.add(DACModule::TypeID, createProgrammableThreshold);
        return f;
    }();
    return factory;
}

std::unique_ptr<TessaronModule> ModuleFactory::create(const ModuleEntry &entry,
                                                      const std::shared_ptr<TDCLink> &link) const
{
    const auto it = creators_.find(entry.typeID);
    if (it == creators_.end())
        return {};
    return it->second(entry, link);
}

std::vector<std::uint32_t> readModuleRegisters(TDCLink &link, const ModuleEntry &entry, const char *what,
                                               std::uint32_t offset, std::uint32_t count)
{
    std::vector<std::uint32_t> words;
    if (offset + count > entry.size) {
        std::ostringstream s;
        s << "The " << what << " at 0x" << std::hex << entry.base << " is too small (0x" << entry.size
          << " words) for its registers";
        throw std::runtime_error(s.str());
    }
    if (const auto ec = link.read(entry.base + offset, count, words)) {
        std::ostringstream s;
        s << "Cannot read the " << what << " at 0x" << std::hex << entry.base << ": " << ec.message();
        throw std::runtime_error(s.str());
    }
    return words;
}
