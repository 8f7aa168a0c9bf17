// Module tables at the edges of what is allowed: they load. The refusals beside them are in
// failure_test.cpp.

#include <gtest/gtest.h>

#include <chrono>

#include "boards.h"
#include "tdc/tdcbackend.h"
#include "tdc/tdcmastermodule.h"

using namespace std::chrono_literals;

namespace {

class TableLimits : public ::testing::Test {
protected:
    void SetUp() override
    {
        board = std::make_shared<testboards::ScriptedBoard>();
        serial = testboards::uniqueSerial("TL");
        ASSERT_TRUE(ft60x_virtual::addDevice({serial, "table limits board"}, board));
    }
    void TearDown() override { ft60x_virtual::removeDevice(serial); }

    // Loads a table of a master at 0x1000 and the given entries; "" when it loads.
    std::string load(const std::vector<std::array<std::uint32_t, 3>> &more)
    {
        std::vector<std::array<std::uint32_t, 3>> entries{{1, 0x1000, 0x100}};
        entries.insert(entries.end(), more.begin(), more.end());
        board->memory.clear();
        testboards::writeTable(board->memory, entries);
        board->memory[0x1000] = 0x12345678; // compile time
        board->memory[0x1001] = 0x1;
        board->memory[0x1002] = 1; // a firmware tag of one byte
        board->memory[0x1020] = 'm';
        EXPECT_FALSE(backend.open(testboards::findDevice(backend, serial), {}, 2000ms));
        std::string error;
        try {
            backend.loadModules(0);
        } catch (const std::runtime_error &e) {
            error = e.what();
        }
        modules = backend.getModules().size();
        backend.close();
        return error;
    }

    std::shared_ptr<testboards::ScriptedBoard> board;
    std::string serial;
    TDCBackend backend;
    std::size_t modules = 0;
};

} // namespace

TEST_F(TableLimits, SixtyFourModulesAreTheMostATableMayList)
{
    std::vector<std::array<std::uint32_t, 3>> unknown;
    for (std::uint32_t i = 0; i < 63; ++i)
        unknown.push_back({0x7777, 0x3000 + 0x10 * i, 0x10});
    EXPECT_EQ(load(unknown), "");
    EXPECT_EQ(modules, 1u) << "the master; the unknown modules are skipped";
}

TEST_F(TableLimits, WindowsMayTouchAndEndAtTheTopOfTheAddressSpace)
{
    EXPECT_EQ(load({{0x7777, 0x1100, 0x100}, {0x7777, 0xFFFFFF00, 0x100}}), "");
    EXPECT_EQ(modules, 1u);
}
