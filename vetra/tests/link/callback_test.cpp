// User callbacks that throw: the library's threads catch, report and go on.

#include "link_fixture.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace {

using mme_common::BurstType;

class user_callbacks : public link_fixture {
protected:
    std::size_t thrown()
    {
        const auto reported = linkErrors();
        return static_cast<std::size_t>(
            std::count(reported.begin(), reported.end(), make_error_code(vetraError::callback_threw)));
    }

    // Waits until `n` throws have been reported, then a little longer, so that a second
    // report of the same throw would show up.
    bool reportedExactly(std::size_t n)
    {
        const bool reached = eventually([&] { return thrown() >= n; });
        std::this_thread::sleep_for(50ms);
        return reached && thrown() == n;
    }

    // The link still answers a plain read.
    void expectWorkingLink()
    {
        answerEverything();
        link.setTimeout(10s);
        const auto result = link.read(0x40, 2, BurstType::INCREMENTING).get();
        EXPECT_FALSE(result.first) << result.first.message();
        ASSERT_TRUE(result.second);
        EXPECT_EQ(*result.second, (std::vector<std::uint32_t>{0x40, 0x41}));
    }
};

} // namespace

TEST_F(user_callbacks, ThrowingResponseHandlersAreReportedOnceEach)
{
    answerEverything();
    std::atomic<int> reads{0}, writes{0}, sent{0};
    const auto throwingRead = [&](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>>, BurstType,
                                  std::error_code, std::uint32_t) {
        ++reads;
        throw std::runtime_error("read handler");
    };
    const auto throwingWrite = [&](std::uint32_t, std::uint32_t, BurstType, std::error_code, std::uint32_t) {
        ++writes;
        throw 42; // not even a standard exception
    };
    const auto throwingSent = [&](const std::error_code &, std::size_t) {
        ++sent;
        throw std::logic_error("sent handler");
    };
    constexpr int rounds = 5;
    for (int k = 0; k < rounds; ++k) {
        link.asyncRead(0x10, 1, BurstType::INCREMENTING, throwingRead, throwingSent);
        link.asyncWrite(0x20, std::make_shared<const std::vector<std::uint32_t>>(1, k), BurstType::FIXED,
                        throwingWrite, {});
    }
    EXPECT_TRUE(reportedExactly(3 * rounds)) << thrown();
    EXPECT_EQ(reads, rounds);
    EXPECT_EQ(writes, rounds);
    EXPECT_EQ(sent, rounds);
    expectWorkingLink();
}

TEST_F(user_callbacks, ThrowingTimeOutDeliveriesAreReportedOnceEach)
{
    board.setScript([](board_sim &, const board_sim::packet &) { return true; }); // never answers
    link.setTimeout(20ms);
    std::atomic<int> timeouts{0};
    for (int k = 0; k < 4; ++k)
        link.asyncRead(0x10, 1, BurstType::INCREMENTING,
                       [&](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>>, BurstType, std::error_code ec,
                           std::uint32_t) {
                           if (ec == mme_error::timed_out)
                               ++timeouts;
                           throw std::runtime_error("time-out handler");
                       },
                       {});
    EXPECT_TRUE(reportedExactly(4)) << thrown();
    EXPECT_EQ(timeouts, 4);
    expectWorkingLink();
}

TEST_F(user_callbacks, ThrowingStreamAndRangeHandlersAreReportedOnceEach)
{
    std::atomic<int> packets{0}, unsolicited{0};
    link.setStreamCallback(9, [&](std::uint8_t, std::unique_ptr<std::vector<std::uint32_t>>) {
        ++packets;
        throw std::runtime_error("stream callback");
    });
    ASSERT_FALSE(link.setRangeCallback(
        0x100, 0x1FF,
        [&](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>>, BurstType, std::error_code, std::uint32_t) {
            ++unsolicited;
            throw std::runtime_error("range handler");
        },
        {}));
    for (std::uint32_t k = 0; k < 3; ++k) {
        board.send(9, {k});
        board.send(readStream, {0x80000001u, 0x150, 0x00000001, k, 8});
    }
    EXPECT_TRUE(reportedExactly(6)) << thrown();
    EXPECT_EQ(packets, 3);
    EXPECT_EQ(unsolicited, 3);
    link.deleteStreamCallback(9);
    expectWorkingLink();
}

TEST_F(user_callbacks, AThrowingErrorCallbackIsSwallowed)
{
    std::atomic<int> calls{0};
    vetra other([&](const std::error_code &, vetra::buffer_list) {
        ++calls;
        throw std::runtime_error("error callback");
    });
    board_sim second;
    ASSERT_FALSE(other.open({{"class", "Serial"}, {"name", second.portName()}}, {}, readStream, writeStream));
    second.releaseSlave();
    other.setStreamCallback(3, [](std::uint8_t, std::unique_ptr<std::vector<std::uint32_t>>) {
        throw std::runtime_error("stream callback");
    });
    second.send(3, {1});
    second.sendBytes({0x01, 0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x05, 0x05, 0x05, 0x05, 0, 0, 0, 0});
    // One report of the throw, one of the bad packet; each throws in turn and nothing dies.
    EXPECT_TRUE(eventually([&] { return calls >= 2; }));
    second.setScript([](board_sim &b, const board_sim::packet &p) {
        board_sim::answer(b, p);
        return true;
    });
    other.setTimeout(10s);
    EXPECT_FALSE(other.read(0x8, 1, BurstType::INCREMENTING).get().first);
    EXPECT_TRUE(other.isOpen());
    other.close();
}

TEST_F(user_callbacks, ReadingAgainAfterTheBoardWentIsReportedNotFatal)
{
    // The unplugged board: pending reads time out, and the handler asks for the next read,
    // which throws on the timer thread because the link is gone.
    board.setScript([](board_sim &, const board_sim::packet &) { return true; });
    link.setTimeout(100ms);
    std::atomic<int> refused{0};
    std::error_code reopen;
    std::function<void()> next;
    next = [&] {
        link.asyncRead(0x10, 1, BurstType::INCREMENTING,
                       [&](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>>, BurstType, std::error_code,
                           std::uint32_t) {
                           try {
                               next();
                           } catch (const mme_defs::device_disconnected &) {
                               // Reopening from here would join this very thread.
                               reopen = link.open({{"class", "Serial"}, {"name", "/dev/null"}}, {}, 1, 2);
                               ++refused;
                               throw;
                           }
                       },
                       {});
    };
    next();
    board.releaseSlave();
    board.closeMaster();
    EXPECT_TRUE(eventually([&] { return !link.isOpen(); }));
    EXPECT_TRUE(reportedExactly(1)) << thrown();
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(reopen, std::make_error_code(std::errc::resource_deadlock_would_occur));
    const auto reported = linkErrors();
    EXPECT_EQ(std::count(reported.begin(), reported.end(), make_error_code(vetraError::device_disconnected)), 1);
    link.close();
}

TEST_F(user_callbacks, CloseFromACallbackIsRefused)
{
    answerEverything();
    std::error_code closeRefusal;
    std::error_code openRefusal;
    std::atomic<bool> done{false};
    link.asyncRead(0x10, 1, BurstType::INCREMENTING,
                   [&](std::uint32_t, std::unique_ptr<std::vector<std::uint32_t>>, BurstType, std::error_code,
                       std::uint32_t) {
                       try {
                           link.close();
                       } catch (const std::system_error &e) {
                           closeRefusal = e.code();
                       }
                       openRefusal = link.open({{"class", "Serial"}, {"name", "/dev/null"}}, {}, 1, 2);
                       done = true;
                   },
                   {});
    ASSERT_TRUE(eventually([&] { return done.load(); }));
    EXPECT_EQ(closeRefusal, std::make_error_code(std::errc::resource_deadlock_would_occur));
    // The object is still open, so open refuses for that reason first.
    EXPECT_EQ(openRefusal, std::make_error_code(std::errc::already_connected));
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(thrown(), 0u);
    expectWorkingLink();
}

TEST_F(user_callbacks, IsOpenFollowsTheLink)
{
    EXPECT_TRUE(link.isOpen());
    link.close();
    EXPECT_FALSE(link.isOpen());
    vetra moved(std::move(link));
    EXPECT_FALSE(moved.isOpen());
    EXPECT_FALSE(link.isOpen()); // NOLINT(bugprone-use-after-move): the source is left closed
}
