// Every word of every module window that the register maps do not list as writable refuses
// writes and keeps its value; and memory responses echo full 31-bit transaction ids.

#include <gtest/gtest.h>

#include <mutex>
#include <set>

#include "kestrane/board.h"
#include "modules/counter/countermodule.h"
#include "modules/dac/dacmodule.h"
#include "modules/histogrammer/histogrammermodule.h"
#include "modules/legacy/legacyhistogrammer.h"
#include "modules/master/mastermodule.h"
#include "modules/table/moduletable.h"
#include "modules/tagger/timetaggermodule.h"
#include "modules/tdc/tdcchannelmodule.h"

using kestrane::Board;

namespace {

constexpr std::uint32_t ok = 8, slaveError = 4;

struct Window {
    std::uint32_t type;
    std::uint32_t base;
    std::uint32_t size;
};

class ReadOnlyRegisters : public ::testing::Test {
protected:
    ReadOnlyRegisters() : board(kestrane::defaultProfile(), clock.clock(), 5) {}

    std::uint32_t read(std::uint32_t address)
    {
        std::uint32_t v = 0;
        EXPECT_EQ(board.readWord(address, v), ok) << std::hex << address;
        return v;
    }

    // A word's read status and value in one.
    std::uint64_t peek(std::uint32_t address)
    {
        std::uint32_t v = 0;
        const std::uint32_t status = board.readWord(address, v);
        return (std::uint64_t(status) << 32) | v;
    }

    std::vector<Window> windows()
    {
        std::vector<Window> out{{0, 0, kestrane::ModuleTable::windowSize}};
        const std::uint32_t count = read(2);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t e = kestrane::ModuleTable::firstEntry + kestrane::ModuleTable::entryWords * i;
            out.push_back({read(e + 0), read(e + 5), read(e + 6)});
        }
        return out;
    }

    // The writable words of a window, from the register maps.
    std::set<std::uint32_t> writable(const Window &w)
    {
        using C = kestrane::CounterModule;
        using D = kestrane::DacModule;
        using H = kestrane::HistogrammerModule;
        using L = kestrane::LegacyHistogrammer;
        using T = kestrane::TimeTaggerModule;
        switch (w.type) {
        case kestrane::MasterModule::typeId:
            return {kestrane::MasterModule::regScratch};
        case C::typeId:
            return {C::regControl, C::regIntegrationUs};
        case T::typeId:
            return {T::regControl, T::regRisingMask, T::regRisingMask + 1, T::regFallingMask, T::regFallingMask + 1};
        case H::typeId:
            return {H::regControl, H::regCommand, H::regPeriodUs, H::regWindows, H::regRef, H::regMeas,
                    H::regGroup, H::regLeft, H::regLeft + 1, H::regWidth, H::regWidth + 1, H::regRight,
                    H::regRight + 1};
        case L::typeId:
            return {L::regControl, L::regCommand, L::regBitTrunc, L::regOffsetLow, L::regOffsetHigh,
                    L::regReference, L::regMeasurement, L::regTriggerLow, L::regTriggerHigh};
        case D::typeId: {
            std::set<std::uint32_t> out{D::regTuneControl, D::regSweepSteps, D::regGateUs, D::regMaskLow,
                                        D::regMaskHigh};
            const std::uint32_t channels = read(w.base + D::regChannels);
            for (std::uint32_t c = 0; c < channels; ++c) {
                const std::uint32_t first = D::regChannelBase + D::channelWords * c;
                out.insert(first + D::chStatus);
                if (read(w.base + first + D::chKind) != 0) // a channel with a fixed level has no code to set
                    out.insert(first + D::chCode);
            }
            return out;
        }
        default: // the module table and the TDC description are read-only throughout
            return {};
        }
    }

    kestrane::ManualClock clock;
    Board board;
};

} // namespace

TEST_F(ReadOnlyRegisters, EveryModuleWindowRefusesWritesToItsReadOnlyWords)
{
    const std::vector<Window> all = windows();
    ASSERT_EQ(all.size(), 12u) << "the table and eleven modules";
    std::set<std::uint32_t> typesSeen;
    for (const Window &w : all) {
        typesSeen.insert(w.type);
        const std::set<std::uint32_t> open = writable(w);
        // Words past a histogrammer's memory refuse reads too: the status is kept with the value.
        std::vector<std::uint64_t> before(w.size);
        for (std::uint32_t o = 0; o < w.size; ++o)
            before[o] = peek(w.base + o);
        std::size_t refused = 0;
        for (std::uint32_t o = 0; o < w.size; ++o) {
            if (open.count(o))
                continue;
            const std::uint32_t status = board.writeWord(w.base + o, 0xA5A5A5A5u);
            if (status != slaveError)
                ADD_FAILURE() << "module type 0x" << std::hex << w.type << " at 0x" << w.base << " accepted a write to read-only word 0x" << o
                              << " (status " << std::dec << status << ")";
            else
                ++refused;
        }
        EXPECT_EQ(refused, w.size - open.size()) << std::hex << "type 0x" << w.type;
        for (std::uint32_t o = 0; o < w.size; ++o)
            if (!open.count(o) && peek(w.base + o) != before[o])
                ADD_FAILURE() << "module type 0x" << std::hex << w.type << " word 0x" << o << " changed";
    }
    EXPECT_EQ(typesSeen.size(), 8u) << "table, master, TDC, counter, time tagger, histogrammer, legacy, DAC";
}

TEST_F(ReadOnlyRegisters, WritableWordsAcceptAWrite)
{
    // The other half of the map: a word listed as writable is not refused. Each is written
    // with the value it reads, which every register takes as "no change".
    for (const Window &w : windows())
        for (std::uint32_t o : writable(w))
            EXPECT_EQ(board.writeWord(w.base + o, read(w.base + o)), ok)
                << std::hex << "type 0x" << w.type << " word 0x" << o;
}

TEST_F(ReadOnlyRegisters, ResponsesEchoIdsBeyondSixteenBits)
{
    std::vector<std::vector<std::uint32_t>> sent;
    std::mutex m;
    board.setOutput([&](std::uint8_t, const std::vector<std::uint32_t> &p) {
        std::lock_guard<std::mutex> lock(m);
        sent.push_back(p);
    });
    for (std::uint32_t id : {0xFFFFu, 0x10000u, 0x12345u, 0x7FFFFFFFu}) {
        board.handlePacket(Board::readStream, {id, Board::masterBase + kestrane::MasterModule::regScratch, 1});
        board.handlePacket(Board::writeStream,
                           {id, Board::masterBase + kestrane::MasterModule::regScratch, (1u << 25) | 1, id});
    }
    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(sent.size(), 8u);
    const std::uint32_t ids[] = {0xFFFFu, 0x10000u, 0x12345u, 0x7FFFFFFFu};
    for (std::size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(sent[k].at(0), ids[k / 2]) << k;
        EXPECT_EQ(sent[k].back(), ok) << k;
    }
    EXPECT_EQ(sent[6].at(3), 0x12345u) << "the read sees the previous write";
}

TEST_F(ReadOnlyRegisters, BurstsReachingOnePastAWindowFailAsAWhole)
{
    std::vector<std::vector<std::uint32_t>> sent;
    std::mutex m;
    board.setOutput([&](std::uint8_t, const std::vector<std::uint32_t> &p) {
        std::lock_guard<std::mutex> lock(m);
        sent.push_back(p);
    });
    constexpr std::uint32_t decodeError = 2;
    for (const Window &w : windows()) {
        // The last word of the window and the one after it: whatever module lies beyond, the
        // burst leaves its own module and fails with a decode error, without data.
        const std::uint32_t last = w.base + w.size - 1;
        board.handlePacket(Board::readStream, {1, last, 2});
        board.handlePacket(Board::writeStream, {2, last, (1u << 25) | 2, 0, 0});
        std::lock_guard<std::mutex> lock(m);
        ASSERT_EQ(sent.size(), 2u) << std::hex << "type 0x" << w.type;
        EXPECT_EQ(sent[0], (std::vector<std::uint32_t>{1, last, 2, decodeError})) << std::hex << "type 0x" << w.type;
        EXPECT_EQ(sent[1], (std::vector<std::uint32_t>{2, last, (1u << 25) | 2, decodeError}))
            << std::hex << "type 0x" << w.type;
        sent.clear();
    }
}
