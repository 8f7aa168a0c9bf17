// A board that lies to the device library: line noise and damaged copies before its answers,
// answers to requests nobody made, answers far longer than asked for, and a module table
// that changes between reads. The library logs and counts, refuses what makes no sense, and
// the requests that follow still succeed.

#include <gtest/gtest.h>

#include <vetra/multicobs.h>
#include <vetra/crc32c.h>

#include "boards.h"
#include "tdc/tdcerror.h"
#include "tdc/tdclog.h"
#include "tdclink.h"

using namespace std::chrono_literals;

namespace {

class LyingBoard : public testboards::ScriptedBoard {
public:
    std::atomic<bool> noise{false};          // garbage and a wrong-CRC copy before each answer
    std::atomic<bool> strayAnswers{false};   // an answer to an id never used before each answer
    std::atomic<int> oversizedAnswers{0};    // the next this many reads get far more words
    std::atomic<int> tableChanges{0};        // the table changes after this many header reads
    std::atomic<bool> tableNeverStill{false};
    std::map<std::uint32_t, std::uint32_t> otherTable; // swapped in when the table changes

protected:
    void beforeAnswer(std::uint8_t stream, const std::vector<std::uint32_t> &request,
                      std::vector<std::uint32_t> &answer, ft60x_virtual::device_port &port) override
    {
        if (noise) {
            std::vector<std::uint8_t> garbage(24, 7);
            garbage.insert(garbage.end(), 4, 0);
            port.toHost(garbage.data(), garbage.size());
            std::vector<std::uint32_t> words = {stream};
            words.insert(words.end(), answer.begin(), answer.end());
            words.push_back(crc32c::extend_words(0, words.data(), words.size()) ^ 1u);
            auto bytes = multicobs::encode({{words.data(), words.size()}});
            bytes.insert(bytes.end(), 4, 0);
            port.toHost(bytes.data(), bytes.size());
        }
        if (strayAnswers) {
            auto stray = answer;
            stray[0] ^= 0x00200000u;
            const auto bytes = kestrane::wire::encode(stream, stray);
            port.toHost(bytes.data(), bytes.size());
        }
        if (stream == 1 && oversizedAnswers > 0) {
            --oversizedAnswers;
            const std::uint32_t status = answer.back();
            answer.pop_back();
            answer.resize(answer.size() + 20000, 0x5A5A5A5A);
            answer.push_back(status);
        }
        if (stream == 1 && request[1] == 0 && (tableNeverStill || (tableChanges > 0 && --tableChanges == 0)))
            std::swap(memory, otherTable);
    }
};

// A master module's registers: time stamp, version and a firmware tag.
void addMaster(std::map<std::uint32_t, std::uint32_t> &mem, std::uint32_t base)
{
    mem[base] = 0x12345678;
    mem[base + 1] = 0x1;
    mem[base + 2] = 4;
    mem[base + 0x20] = 0x74736574; // "test"
}

std::map<std::uint32_t, std::uint32_t> tableOf(const std::vector<std::uint32_t> &bases)
{
    std::map<std::uint32_t, std::uint32_t> mem;
    std::vector<std::array<std::uint32_t, 3>> entries;
    for (const auto b : bases) {
        entries.push_back({1, b, 0x100});
        addMaster(mem, b);
    }
    testboards::writeTable(mem, entries);
    // Unused entry slots read as zeros, as a board's memory does, up to three entries.
    for (std::uint32_t a = 0x10; a < 0x10 + 3 * 8; ++a)
        mem.emplace(a, 0);
    return mem;
}

class Lying : public ::testing::Test {
protected:
    void SetUp() override
    {
        libtdcLog::setLevel(1); // the warnings are what this test provokes
        board = std::make_shared<LyingBoard>();
        serial = testboards::uniqueSerial("TL");
        ASSERT_TRUE(ft60x_virtual::addDevice({serial, "lying test board"}, board));
    }
    void TearDown() override
    {
        ft60x_virtual::removeDevice(serial);
        libtdcLog::setLevel(3);
    }
    DeviceMap device() { return testboards::findDevice(backend, serial); }
    std::vector<std::uint32_t> basesOfLoadedModules()
    {
        std::vector<std::uint32_t> bases;
        for (auto *m : backend.getModules())
            bases.push_back(m->baseAddress());
        return bases;
    }

    std::shared_ptr<LyingBoard> board;
    std::string serial;
    TDCBackend backend;
};

TEST_F(Lying, NoiseAndStrayAnswersAreCountedAndEveryRealReadSucceeds)
{
    board->memory = tableOf({0x1000});
    board->memory[0x5000] = 42;
    board->memory[0x5001] = 43;
    TDCLink link;
    ASSERT_FALSE(link.open(device(), {}, 2000ms));
    board->noise = true;
    board->strayAnswers = true;
    constexpr int reads = 10;
    for (int i = 0; i < reads; ++i) {
        std::vector<std::uint32_t> words;
        ASSERT_FALSE(link.read(0x5000, 2, words)) << i;
        EXPECT_EQ(words, (std::vector<std::uint32_t>{42, 43}));
    }
    ASSERT_FALSE(link.write(0x5000, {7}));
    // Each answer came after garbage and a copy with a wrong CRC.
    EXPECT_EQ(link.linkErrors(), 2u * (reads + 1));
    EXPECT_TRUE(link.isOpen());
    link.close();
}

TEST_F(Lying, AnAnswerFarLongerThanAskedIsRefusedAndTheNextReadSucceeds)
{
    board->memory = tableOf({0x1000});
    TDCLink link;
    ASSERT_FALSE(link.open(device(), {}, 2000ms));
    board->oversizedAnswers = 1;
    std::vector<std::uint32_t> words;
    EXPECT_EQ(link.read(0, 4, words), make_error_code(tdcError::badResponse));
    EXPECT_TRUE(words.empty());
    ASSERT_FALSE(link.read(0, 4, words));
    EXPECT_EQ(words[0], 0x4B455354u);
    link.close();
}

TEST_F(Lying, ATableThatChangesOnceIsReadAgainAndTakenWhole)
{
    board->memory = tableOf({0x1000, 0x2000});
    board->otherTable = tableOf({0x1000, 0x3000, 0x2000});
    ASSERT_FALSE(backend.open(device(), {}, 2000ms));
    // The first header read sees two modules; from then on the board lists three. A reader
    // that mixed the two would load two modules of the new table.
    board->tableChanges = 1;
    ASSERT_NO_THROW(backend.loadModules(0));
    EXPECT_EQ(basesOfLoadedModules(), (std::vector<std::uint32_t>{0x1000, 0x3000, 0x2000}));
}

TEST_F(Lying, ATableThatNeverHoldsStillIsRefusedAndLoadsOnceItDoes)
{
    board->memory = tableOf({0x1000, 0x2000});
    board->otherTable = tableOf({0x1000, 0x3000, 0x2000});
    ASSERT_FALSE(backend.open(device(), {}, 2000ms));
    board->tableNeverStill = true;
    try {
        backend.loadModules(0);
        FAIL() << "a table that changes on every read was taken";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Cannot read the board's module table: it changed while it was read");
    }
    EXPECT_TRUE(backend.getModules().empty());
    board->tableNeverStill = false;
    ASSERT_NO_THROW(backend.loadModules(0));
    // Whichever table the board was left with is the one loaded, whole.
    const bool leftWithThree = board->memory.at(2) == 3;
    EXPECT_EQ(basesOfLoadedModules(), leftWithThree ? (std::vector<std::uint32_t>{0x1000, 0x3000, 0x2000})
                                                    : (std::vector<std::uint32_t>{0x1000, 0x2000}));
    EXPECT_TRUE(backend.isOpen());
}

} // namespace
