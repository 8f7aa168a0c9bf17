// Counter samples pushed by a board: only those of the module's own size reach the callback.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "boards.h"
#include "tdc/tdcfennick.h"

using namespace std::chrono_literals;

TEST(CounterSamples, OnlySamplesOfTheModulesSizeReachTheCallback)
{
    auto board = std::make_shared<testboards::ScriptedBoard>();
    const std::string serial = testboards::uniqueSerial("CS");
    ASSERT_TRUE(ft60x_virtual::addDevice({serial, "counter sample board"}, board));
    {
        TDCBackend backend;
        testboards::writeTable(board->memory, {{0x10, 0x1000, 0x100}});
        board->memory[0x1000] = 0;
        board->memory[0x1001] = 200000;
        board->memory[0x1002] = 3;
        board->memory[0x1003] = 0;
        ASSERT_FALSE(backend.open(testboards::findDevice(backend, serial), {}, 2000ms));
        backend.loadModules(0);
        auto *counter = dynamic_cast<TDCFennick *>(backend.getModules().at(0));
        ASSERT_TRUE(counter);
        ASSERT_EQ(counter->numChannels(), 3u);

        std::mutex m;
        std::condition_variable arrived;
        std::vector<std::vector<std::uint32_t>> samples;
        counter->setCallback([&](std::mutex &libraryMutex, std::chrono::duration<double>,
                                 const std::vector<std::uint32_t> &counts) {
            std::vector<std::uint32_t> copy;
            {
                std::lock_guard<std::mutex> library(libraryMutex);
                copy = counts;
            }
            std::lock_guard<std::mutex> lock(m);
            samples.push_back(copy);
            arrived.notify_all();
        });
        // An unsolicited read response: id with bit 31, address, word count, the words, status.
        const auto sample = [&](std::vector<std::uint32_t> words) {
            std::vector<std::uint32_t> p{0x80000001u, 0x1010, std::uint32_t(words.size())};
            p.insert(p.end(), words.begin(), words.end());
            p.push_back(8);
            board->push(1, p);
        };
        sample({200000, 1, 2, 3});
        sample({200000, 1, 2, 3, 4}); // one channel too many
        sample({200000, 1, 2});       // one too few
        sample({200000, 7, 8, 9});
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(arrived.wait_for(lock, 5s, [&] { return samples.size() >= 2; }));
        lock.unlock();
        std::this_thread::sleep_for(50ms);
        lock.lock();
        ASSERT_EQ(samples.size(), 2u);
        EXPECT_EQ(samples[0], (std::vector<std::uint32_t>{1, 2, 3}));
        EXPECT_EQ(samples[1], (std::vector<std::uint32_t>{7, 8, 9}));
        lock.unlock();
        counter->setCallback({});
    }
    ft60x_virtual::removeDevice(serial);
}

TEST(CounterSamples, ACounterThatWasPushingIsSwitchedOffWhenItsModuleGoes)
{
    auto board = std::make_shared<testboards::ScriptedBoard>();
    const std::string serial = testboards::uniqueSerial("CP");
    ASSERT_TRUE(ft60x_virtual::addDevice({serial, "counter push board"}, board));
    {
        TDCBackend backend;
        testboards::writeTable(board->memory, {{0x10, 0x1000, 0x100}});
        board->memory[0x1000] = 0;
        board->memory[0x1001] = 200000;
        board->memory[0x1002] = 3;
        board->memory[0x1003] = 0;
        ASSERT_FALSE(backend.open(testboards::findDevice(backend, serial), {}, 2000ms));
        backend.loadModules(0);
        auto *counter = dynamic_cast<TDCFennick *>(backend.getModules().at(0));
        ASSERT_TRUE(counter);
        ASSERT_FALSE(counter->setAutoPush(true));
        ASSERT_EQ(board->memory[0x1000], 1u);
        backend.close();
    }
    // The board is detached once the backend has closed: its memory is the test's again.
    EXPECT_EQ(board->memory[0x1000], 0u) << "the board would go on pushing to nobody";
    ft60x_virtual::removeDevice(serial);
}
