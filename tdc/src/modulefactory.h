#pragma once
// Creates module objects from the entries of the board's module table, keyed by typeID.
// Each module kind registers one creator; a kind the library does not know is skipped.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "tdc/tessaronmodule.h"

class TDCLink;

struct ModuleEntry {
    std::uint32_t typeID = 0;
    TessaronVersion hw;
    TessaronVersion sw;
    std::uint32_t base = 0;
    std::uint32_t size = 0;
};

class ModuleFactory {
public:
    // Reads what the module needs from the board and builds it; throws std::runtime_error
    // with a clear text when the module's registers cannot be read or make no sense.
    using Creator = std::function<std::unique_ptr<TessaronModule>(const ModuleEntry &,
                                                                  const std::shared_ptr<TDCLink> &)>;

    // Every module kind of this library.
    static const ModuleFactory &standard();

    void add(std::uint32_t typeID, Creator creator) { creators_[typeID] = std::move(creator); }
    // Empty when the typeID is unknown.
    std::unique_ptr<TessaronModule> create(const ModuleEntry &entry,
                                           const std::shared_ptr<TDCLink> &link) const;

private:
    std::map<std::uint32_t, Creator> creators_;
};

// The creators, one per module kind, beside their classes.
std::unique_ptr<TessaronModule> createMasterModule(const ModuleEntry &, const std::shared_ptr<TDCLink> &);
std::unique_ptr<TessaronModule> createTdcModule(const ModuleEntry &, const std::shared_ptr<TDCLink> &);
std::unique_ptr<TessaronModule> createFennick(const ModuleEntry &, const std::shared_ptr<TDCLink> &);
std::unique_ptr<TessaronModule> createDorrin(const ModuleEntry &, const std::shared_ptr<TDCLink> &);
std::unique_ptr<TessaronModule> createHistogrammer(const ModuleEntry &, const std::shared_ptr<TDCLink> &);
std::unique_ptr<TessaronModule> createOldHistogrammer(const ModuleEntry &, const std::shared_ptr<TDCLink> &);
std::unique_ptr<TessaronModule> createProgrammableThreshold(const ModuleEntry &, const std::shared_ptr<TDCLink> &);

// Reads one module's registers or throws std::runtime_error naming the module and the reason.
std::vector<std::uint32_t> readModuleRegisters(TDCLink &link, const ModuleEntry &entry, const char *what,
                                               std::uint32_t offset, std::uint32_t count);
