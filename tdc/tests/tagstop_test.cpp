// Stopping a capture while millions of tags a second are offered: the stop is answered, and
// every tag the board made is either delivered or counted lost.

#include <gtest/gtest.h>

#include <thread>

#include <kestrane/profile.h>

#include "boards.h"
#include "tdc/dorrin.h"

using namespace std::chrono_literals;

namespace {

Dorrin *tagger(TDCBackend &backend)
{
    for (auto *m : backend.getModules())
        if (auto *d = dynamic_cast<Dorrin *>(m))
            return d;
    return nullptr;
}

} // namespace

TEST(TagStop, StoppingAtMillionsOfTagsPerSecondIsAnsweredAndAccountsForEveryTag)
{
    for (const double rate : {3e6, 10e6}) {
        SCOPED_TRACE(rate);
        kestrane::Profile p;
        p.rates.assign(p.inputs, rate / p.inputs);
        p.pairs.clear();
        p.deadTime = 0;
        testboards::InProcessBoard board(p);
        TDCBackend backend;
        // A short request time-out (0.1 s): the stop's answer often comes later than that.
        ASSERT_FALSE(backend.open(board.device(backend), {}, 1000ms));
        backend.loadModules(0);
        Dorrin *t = tagger(backend);
        ASSERT_NE(t, nullptr);
        Dorrin::ChannelMap channels;
        for (std::uint8_t c = 1; c <= p.inputs; ++c)
            channels[c] = TDCChannel::RISING;
        std::atomic<std::uint64_t> delivered{0};
        for (int round = 0; round < 3; ++round) {
            delivered = 0;
            const auto enabled =
                t->enable([&](const std::vector<Dorrin::measurement> &b) { delivered += b.size(); }, 0, channels, 0);
            ASSERT_FALSE(enabled) << enabled.message();
            std::this_thread::sleep_for(400ms);
            const auto ec = t->disable();
            EXPECT_FALSE(ec) << "round " << round << ": " << ec.message();
            ASSERT_TRUE(t->queue_waitEmpty(10'000ms));
            EXPECT_EQ(delivered.load(), t->captured_events());
            EXPECT_GT(t->captured_events() + t->lost_events(), static_cast<std::uint64_t>(rate * 0.1));
            // The board's own counts of the capture, read without the wire.
            auto &b = board.virtualDevice().board();
            const auto word64 = [&](std::uint32_t offset) {
                std::uint32_t lo = 0, hi = 0;
                b.readWord(t->baseAddress() + offset, lo);
                b.readWord(t->baseAddress() + offset + 1, hi);
                return std::uint64_t(hi) << 32 | lo;
            };
            EXPECT_EQ(word64(0x08) + word64(0x0A), t->captured_events() + t->lost_events());
        }
    }
}
