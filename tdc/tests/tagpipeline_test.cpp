// The capture queue between the link's receive thread and the tag callback: everything
// arrives in order, a slow consumer costs counted losses and never blocks the receiver, and
// board overflows reach the callback as losses before the batch that follows them.

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>

#include "modules/tagger/tagencoder.h"
#include "tagpipeline.h"

using namespace std::chrono_literals;
namespace kw = kestrane::tagwire;

namespace {

// A packet of `n` tags of channel 1 and 2 alternately, starting at `t`.
std::unique_ptr<std::vector<std::uint32_t>> packet(std::uint64_t t, std::size_t n)
{
    auto out = std::make_unique<std::vector<std::uint32_t>>();
    kw::Encoder e;
    e.begin(*out, t);
    for (std::size_t i = 0; i < n; ++i)
        e.add(*out, {t + i * 1000, static_cast<std::uint8_t>(1 + i % 2), kw::rising});
    return out;
}

} // namespace

TEST(TagPipeline, DeliversEveryTagInOrder)
{
    std::vector<Dorrin::measurement> got;
    std::mutex m;
    TagPipeline p(
        [&](const std::vector<Dorrin::measurement> &batch) {
            std::lock_guard<std::mutex> lock(m);
            got.insert(got.end(), batch.begin(), batch.end());
        },
        100, 0);
    for (int i = 0; i < 50; ++i)
        p.push(packet(static_cast<std::uint64_t>(i) * 1'000'000'000ull, 64));
    ASSERT_TRUE(p.waitEmpty(5000ms));
    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(got.size(), 50u * 64u);
    for (std::size_t i = 1; i < got.size(); ++i)
        ASSERT_LT(got[i - 1].tag, got[i].tag) << i;
    EXPECT_EQ(p.captured(), got.size());
    EXPECT_EQ(p.lost(), 0u);
}

TEST(TagPipeline, SlowConsumerCostsCountedLossesNotABlockedReceiver)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<std::uint64_t> delivered{0};
    std::atomic<std::uint64_t> reportedLost{0};
    {
        TagPipeline p(
            [&](const std::vector<Dorrin::measurement> &batch) {
                released.wait();
                delivered += batch.size();
                for (const auto &l : Dorrin::losses_before_batch())
                    reportedLost += l.count;
            },
            10, 4);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 200; ++i)
            p.push(packet(static_cast<std::uint64_t>(i) << 30, 10));
        // The receiver never waited for the stuck consumer.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_GE(p.lost(), (200u - 5u) * 10u);
        release.set_value();
        ASSERT_TRUE(p.waitEmpty(5000ms));
        EXPECT_EQ(delivered + p.lost(), 2000u);
        EXPECT_EQ(p.lost(1) + p.lost(2), p.lost());
        EXPECT_EQ(p.lost(1), p.lost(2));
        EXPECT_EQ(reportedLost.load(), p.lost());
        EXPECT_EQ(p.captured(), delivered.load());
    }
}

TEST(TagPipeline, BoardOverflowsAreCountedAndReportedBeforeTheNextBatch)
{
    std::vector<std::pair<std::size_t, std::vector<Dorrin::loss>>> calls;
    std::mutex m;
    TagPipeline p(
        [&](const std::vector<Dorrin::measurement> &batch) {
            std::lock_guard<std::mutex> lock(m);
            calls.emplace_back(batch.size(), Dorrin::losses_before_batch());
        },
        0, 0);
    auto words = packet(5000, 3);
    kw::Encoder e;
    e.overflow(*words, 4, 777, 6000);
    p.push(std::move(words));
    ASSERT_TRUE(p.waitEmpty(5000ms));
    EXPECT_EQ(p.lost(), 777u);
    EXPECT_EQ(p.lost(4), 777u);
    EXPECT_EQ(p.captured(), 3u);
    std::lock_guard<std::mutex> lock(m);
    std::size_t tags = 0;
    std::vector<Dorrin::loss> losses;
    for (const auto &[n, l] : calls) {
        tags += n;
        losses.insert(losses.end(), l.begin(), l.end());
    }
    EXPECT_EQ(tags, 3u);
    ASSERT_EQ(losses.size(), 1u);
    EXPECT_EQ(losses[0].channel, 4);
    EXPECT_EQ(losses[0].tag, 6000u);
    // Outside a callback there is nothing to report.
    EXPECT_TRUE(Dorrin::losses_before_batch().empty());
}

TEST(TagPipeline, ACallbackThatThrowsDoesNotEndTheCapture)
{
    std::atomic<int> calls{0};
    TagPipeline p(
        [&](const std::vector<Dorrin::measurement> &) {
            ++calls;
            throw std::runtime_error("consumer failed");
        },
        1, 0);
    p.push(packet(0, 1));
    ASSERT_TRUE(p.waitEmpty(5000ms));
    p.push(packet(10, 1));
    ASSERT_TRUE(p.waitEmpty(5000ms));
    EXPECT_EQ(calls.load(), 2);
}

TEST(TagPipeline, AClosedCaptureCountsLatePacketsAsLost)
{
    std::atomic<std::uint64_t> delivered{0};
    TagPipeline p([&](const std::vector<Dorrin::measurement> &b) { delivered += b.size(); }, 0, 0);
    p.push(packet(0, 5));
    ASSERT_TRUE(p.waitEmpty(5000ms));
    p.close();
    p.push(packet(1000, 7));
    ASSERT_TRUE(p.waitEmpty(5000ms));
    EXPECT_EQ(delivered.load(), 5u);
    EXPECT_EQ(p.lost(), 7u);
    EXPECT_EQ(p.captured(), 5u);
}
