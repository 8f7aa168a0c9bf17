#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "kestrane/board.h"
#include "modules/counter/countermodule.h"
#include "modules/master/mastermodule.h"
#include "modules/table/moduletable.h"
#include "modules/tdc/tdcchannelmodule.h"

using namespace std::chrono_literals;
using kestrane::Board;
using kestrane::CounterModule;

namespace {

constexpr std::uint32_t ok = 8, decodeError = 2, slaveError = 4;
constexpr std::uint32_t respond = 1u << 25;

struct Sent {
    std::uint8_t stream;
    std::vector<std::uint32_t> payload;
};

class BoardTest : public ::testing::Test {
protected:
    BoardTest()
        : board(kestrane::defaultProfile(), clock.clock(), 3,
                kestrane::FirmwareIdentity{1234567890123LL, "Kestrane virtual;repo = r;SHA = s;branch = b"})
    {
        board.setOutput([this](std::uint8_t s, const std::vector<std::uint32_t> &p) {
            std::lock_guard<std::mutex> lock(m);
            sent.push_back({s, p});
        });
    }

    std::uint32_t read(std::uint32_t address)
    {
        std::uint32_t v = 0;
        EXPECT_EQ(board.readWord(address, v), ok) << std::hex << address;
        return v;
    }

    std::vector<Sent> take()
    {
        std::lock_guard<std::mutex> lock(m);
        auto out = std::move(sent);
        sent.clear();
        return out;
    }

    kestrane::ManualClock clock;
    Board board;
    std::mutex m;
    std::vector<Sent> sent;
};

} // namespace

TEST_F(BoardTest, ModuleTableDescribesEveryModule)
{
    EXPECT_EQ(read(0), kestrane::ModuleTable::magic);
    EXPECT_EQ(read(1), 1u);
    ASSERT_EQ(read(2), 11u) << "master, channels, two counters, the time tagger, four histogrammers, legacy histogrammer, DACs";
    EXPECT_EQ(read(3), 8u);
    // The histogrammers follow, each with a window for its registers and every bin.
    for (std::uint32_t i = 5; i < 9; ++i) {
        const std::uint32_t e = 0x10 + 8 * i;
        EXPECT_EQ(read(e + 0), 0x0020u);
        EXPECT_EQ(read(e + 5), Board::histogrammerBase + (i - 5) * Board::histogrammerStride);
        EXPECT_EQ(read(e + 6), 0x100u + 65536u);
    }
    // The time tagger sits before the histogrammers; the legacy histogrammer and the DACs come last.
    const std::uint32_t types[] = {0x0001, 0x0002, 0x0010, 0x0010, 0x0030, 0x0021, 0x0040};
    const std::uint32_t bases[] = {Board::masterBase, Board::tdcBase, Board::processedCounterBase,
                                   Board::inputCounterBase, Board::timeTaggerBase,
                                   Board::legacyHistogrammerBase, Board::dacBase};
    const std::uint32_t sizes[] = {0x100, 0x100, 0x100, 0x100, 0x100, 0x2000, 0x400};
    const std::uint32_t entries[] = {0, 1, 2, 3, 4, 9, 10};
    for (std::uint32_t k = 0; k < 7; ++k) {
        const std::uint32_t e = 0x10 + 8 * entries[k];
        EXPECT_EQ(read(e + 0), types[k]);
        EXPECT_EQ(read(e + 5), bases[k]);
        EXPECT_EQ(read(e + 6), sizes[k]);
        EXPECT_NE(read(e + 1) >> 16, 0u) << "every module has a major hardware version";
    }
}

TEST_F(BoardTest, MasterModuleGivesCompileTimeAndTag)
{
    const std::uint64_t t = read(Board::masterBase) | (std::uint64_t(read(Board::masterBase + 1)) << 32);
    EXPECT_EQ(t, 1234567890123ULL);
    const std::uint32_t length = read(Board::masterBase + 2);
    std::string tag;
    for (std::uint32_t i = 0; i < length; ++i)
        tag += static_cast<char>(read(Board::masterBase + 0x20 + i / 4) >> (8 * (i % 4)));
    EXPECT_EQ(tag, "Kestrane virtual;repo = r;SHA = s;branch = b");
    EXPECT_EQ(board.writeWord(Board::masterBase + 3, 0xCAFEF00D), ok);
    EXPECT_EQ(read(Board::masterBase + 3), 0xCAFEF00Du);
}

TEST_F(BoardTest, TdcModuleReportsTheProfile)
{
    EXPECT_EQ(read(Board::tdcBase + 0), 9u);
    EXPECT_EQ(read(Board::tdcBase + 1), 8u);
    EXPECT_EQ(read(Board::tdcBase + 2), 16u);
    EXPECT_EQ(read(Board::tdcBase + 3), 2500000u);
    EXPECT_EQ(read(Board::tdcBase + 4), 1000u);
    EXPECT_EQ(read(Board::tdcBase + 0x10), 277777777u);
    EXPECT_EQ(read(Board::tdcBase + 0x11), 0u);
    EXPECT_EQ(read(Board::tdcBase + 0x12), 0u) << "inputs are not periodic";
}

TEST_F(BoardTest, BadAccessesFailAsAWholeAndChangeNothing)
{
    std::uint32_t v = 0;
    EXPECT_EQ(board.readWord(0x9000, v), decodeError);
    EXPECT_EQ(board.writeWord(Board::tdcBase, 5), slaveError);
    EXPECT_EQ(board.writeWord(0, 5), slaveError);
    EXPECT_EQ(board.writeWord(Board::masterBase + 0x10, 5), slaveError) << "unlisted words are read-only";
    EXPECT_EQ(board.readWord(Board::masterBase + 0x10, v), ok);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(board.writeWord(0x1500, 5), decodeError) << "in no module's window";

    // A burst reaching past the end of the master's window fails without data.
    board.handlePacket(Board::readStream, {7, Board::masterBase + 0xF0, 0x20});
    auto out = take();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].payload, (std::vector<std::uint32_t>{7, Board::masterBase + 0xF0, 0x20, decodeError}));

    // A write burst with one read-only word leaves the writable one alone.
    const std::uint32_t base = Board::processedCounterBase;
    board.handlePacket(Board::writeStream, {8, base + 1, respond | 2, 5000, 9});
    out = take();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].payload.back(), slaveError);
    EXPECT_EQ(read(base + 1), CounterModule::defaultIntegrationUs);

    // Data length and count disagree.
    board.handlePacket(Board::writeStream, {9, base + 1, respond | 2, 5000});
    EXPECT_EQ(take().at(0).payload.back(), slaveError);

    // Too short to be a request, or on a stream the board does not serve: no answer.
    board.handlePacket(Board::readStream, {1, 2});
    board.handlePacket(5, {1, 2, 3});
    EXPECT_TRUE(take().empty());
}

TEST_F(BoardTest, ResponsesEchoTheRequestAndFixedBurstsRepeatOneAddress)
{
    board.handlePacket(Board::readStream, {0x1234, 0, 4});
    auto out = take();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].stream, Board::readStream);
    EXPECT_EQ(out[0].payload,
              (std::vector<std::uint32_t>{0x1234, 0, 4, kestrane::ModuleTable::magic, 1, read(2), 8, ok}));

    board.handlePacket(Board::readStream, {1, 0, (1u << 24) | 3});
    out = take();
    EXPECT_EQ(out.at(0).payload, (std::vector<std::uint32_t>{1, 0, (1u << 24) | 3,
                                                             kestrane::ModuleTable::magic,
                                                             kestrane::ModuleTable::magic,
                                                             kestrane::ModuleTable::magic, ok}));

    // Writes answer only when asked to.
    board.handlePacket(Board::writeStream, {2, Board::masterBase + 3, 1, 42});
    EXPECT_TRUE(take().empty());
    board.handlePacket(Board::writeStream, {3, Board::masterBase + 3, respond | 1, 43});
    out = take();
    EXPECT_EQ(out.at(0).stream, Board::writeStream);
    EXPECT_EQ(out.at(0).payload, (std::vector<std::uint32_t>{3, Board::masterBase + 3, respond | 1, ok}));
    EXPECT_EQ(read(Board::masterBase + 3), 43u);
}

TEST_F(BoardTest, CountersPushSamplesOnlyWhileAutoPushIsOn)
{
    const std::uint32_t base = Board::processedCounterBase;
    EXPECT_EQ(read(base + 2), 9u);
    EXPECT_EQ(read(base + 3), 0u);
    EXPECT_EQ(read(Board::inputCounterBase + 3), 1u);

    ASSERT_EQ(board.writeWord(base + 1, 10000), ok); // 10 ms
    clock.advance(25ms);
    board.service();
    EXPECT_TRUE(take().empty()) << "no push without auto push";
    EXPECT_EQ(read(base + 4), 2u) << "the counter still counts";

    ASSERT_EQ(board.writeWord(base, 1), ok);
    clock.advance(10ms);
    board.service();
    auto out = take();
    ASSERT_EQ(out.size(), 1u);
    const auto &msg = out[0].payload;
    ASSERT_EQ(msg.size(), 3u + 10u + 1u);
    EXPECT_EQ(out[0].stream, Board::readStream);
    EXPECT_EQ(msg[0], 0x80000000u | 3u);
    EXPECT_EQ(msg[1], base + 0x10);
    EXPECT_EQ(msg[2], 10u);
    EXPECT_EQ(msg[3], 10000u);
    EXPECT_EQ(msg[4], 36u) << "a 277.78 us sync period gives 36 edges in 10 ms";
    EXPECT_EQ(msg.back(), ok);
    // The same sample can be read back.
    for (std::uint32_t i = 0; i < 10; ++i)
        EXPECT_EQ(read(base + 0x10 + i), msg[3 + i]);

    board.hostDetached();
    clock.advance(30ms);
    board.service();
    EXPECT_TRUE(take().empty()) << "a host that left gets no pushes";
    EXPECT_EQ(read(base), 0u);
}

TEST_F(BoardTest, IntegrationTimeIsClampedAndRestartsThePeriod)
{
    const std::uint32_t base = Board::inputCounterBase;
    ASSERT_EQ(board.writeWord(base + 1, 1), ok);
    EXPECT_EQ(read(base + 1), CounterModule::minIntegrationUs);
    ASSERT_EQ(board.writeWord(base + 1, 0xFFFFFFFF), ok);
    EXPECT_EQ(read(base + 1), CounterModule::maxIntegrationUs);

    ASSERT_EQ(board.writeWord(base + 1, 50000), ok);
    ASSERT_EQ(board.writeWord(base, 1), ok);
    clock.advance(40ms);
    board.service();
    EXPECT_TRUE(take().empty());
    ASSERT_EQ(board.writeWord(base + 1, 20000), ok); // restarts at 40 ms
    clock.advance(15ms);
    board.service();
    EXPECT_TRUE(take().empty()) << "the old period must not complete";
    clock.advance(5ms);
    board.service();
    auto out = take();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].payload[3], 20000u);
}

TEST_F(BoardTest, LongStallsDoNotFloodTheHost)
{
    const std::uint32_t base = Board::processedCounterBase;
    ASSERT_EQ(board.writeWord(base + 1, 100), ok);
    ASSERT_EQ(board.writeWord(base, 1), ok);
    clock.advance(10s);
    board.service();
    EXPECT_LE(take().size(), static_cast<std::size_t>(CounterModule::maxCatchUp));
    EXPECT_EQ(board.nextDue(), clock.clock()() + 100us);
}

TEST(BoardPacing, PacerPushesOnTheWallClock)
{
    Board board(kestrane::defaultProfile(), kestrane::wallClock(), 1);
    std::mutex m;
    std::condition_variable cv;
    int samples = 0;
    board.setOutput([&](std::uint8_t, const std::vector<std::uint32_t> &p) {
        if (p[0] & 0x80000000u) {
            std::lock_guard<std::mutex> lock(m);
            ++samples;
            cv.notify_all();
        }
    });
    ASSERT_EQ(board.writeWord(Board::processedCounterBase + 1, 1000), ok);
    ASSERT_EQ(board.writeWord(Board::processedCounterBase, 1), ok);
    board.start();
    std::unique_lock<std::mutex> lock(m);
    EXPECT_TRUE(cv.wait_for(lock, 20s, [&] { return samples >= 20; }));
    lock.unlock();
    board.stop();
}
