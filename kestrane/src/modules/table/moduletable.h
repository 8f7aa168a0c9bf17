#pragma once
// The module table at address 0: how a host learns which modules the board has and where
// their register windows lie.

#include <vector>

#include "../module.h"

namespace kestrane {

struct TableEntry {
    std::uint32_t typeID;
    ModuleVersion hw;
    ModuleVersion sw;
    std::uint32_t base;
    std::uint32_t size;
};

class ModuleTable : public Module {
public:
    static constexpr std::uint32_t magic = 0x4B455354;
    static constexpr std::uint32_t format = 1;
    static constexpr std::uint32_t entryWords = 8;
    static constexpr std::uint32_t firstEntry = 0x10;
    static constexpr std::uint32_t windowSize = 0x1000;

    explicit ModuleTable(std::vector<TableEntry> entries) : entries_(std::move(entries)) {}

    std::uint32_t typeID() const override { return 0; }
    ModuleVersion hardwareVersion() const override { return {1, 0, 0}; }
    ModuleVersion softwareVersion() const override { return {1, 0, 0}; }
    std::uint32_t size() const override { return windowSize; }

    Status read(std::uint32_t offset, std::uint32_t &value) override;
    Status canWrite(std::uint32_t offset) const override;
    void write(std::uint32_t, std::uint32_t, std::int64_t) override {}

private:
    std::vector<TableEntry> entries_;
};

} // namespace kestrane
