// Boards that misbehave: silent ones, ones whose module table or registers make no sense.

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

#include "boards.h"
#include "tdc/tdcerror.h"
#include "tdc/tdclog.h"
#include "tdc/tdcfennick.h"
#include "tdc/tdcmastermodule.h"
#include "tdc/tdcmodule.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class Scripted : public ::testing::Test {
protected:
    void SetUp() override
    {
        board = std::make_shared<testboards::ScriptedBoard>();
        serial = testboards::uniqueSerial("TS");
        ASSERT_TRUE(ft60x_virtual::addDevice({serial, "scripted test board"}, board));
    }
    void TearDown() override { ft60x_virtual::removeDevice(serial); }

    std::error_code open(std::chrono::milliseconds timeout = 2000ms)
    {
        return backend.open(testboards::findDevice(backend, serial), {}, timeout);
    }
    // The message loadModules throws, or "" when it succeeds.
    std::string loadError()
    {
        try {
            backend.loadModules(0);
        } catch (const std::runtime_error &e) {
            return e.what();
        }
        return "";
    }

    std::shared_ptr<testboards::ScriptedBoard> board;
    std::string serial;
    TDCBackend backend;
};

void addMaster(std::map<std::uint32_t, std::uint32_t> &mem, std::uint32_t base, const std::string &tag)
{
    mem[base] = 0x12345678;
    mem[base + 1] = 0x1;
    mem[base + 2] = static_cast<std::uint32_t>(tag.size());
    for (std::size_t i = 0; i < (tag.size() + 3) / 4; ++i) {
        std::uint32_t w = 0;
        for (std::size_t k = 0; k < 4 && 4 * i + k < tag.size(); ++k)
            w |= static_cast<std::uint32_t>(static_cast<unsigned char>(tag[4 * i + k])) << (8 * k);
        mem[base + 0x20 + static_cast<std::uint32_t>(i)] = w;
    }
}

} // namespace

TEST_F(Scripted, ASilentBoardFailsOpenWithinItsTimeOut)
{
    board->silent = true;
    const auto start = Clock::now();
    const auto ec = open(1000ms);
    const auto took = Clock::now() - start;
    EXPECT_EQ(ec, make_error_code(tdcError::timeout));
    EXPECT_EQ(ec.message(), "Board did not answer in time");
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 1000ms + 5s) << "generous bound for a loaded machine";
    EXPECT_FALSE(backend.isOpen());
    EXPECT_THROW(backend.loadModules(0), std::runtime_error);
}

TEST_F(Scripted, ABoardThatFallsSilentFailsLoadModulesWithAClearText)
{
    testboards::writeTable(board->memory, {{1, 0x1000, 0x100}});
    addMaster(board->memory, 0x1000, "x");
    ASSERT_FALSE(open());
    board->silent = true;
    const auto start = Clock::now();
    const std::string error = loadError();
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_NE(error.find("Cannot read the board's module table: Board did not answer in time"), std::string::npos)
        << error;
}

TEST_F(Scripted, AModuleTableReadThatTimesOutOnceIsAskedAgain)
{
    testboards::writeTable(board->memory, {{1, 0x1000, 0x100}});
    addMaster(board->memory, 0x1000, "x");
    ASSERT_FALSE(open());
    // The header read goes unanswered once and is asked again.
    board->unansweredRequests = 1;
    EXPECT_EQ(loadError(), "");
    EXPECT_EQ(backend.getModules().size(), 1u);
    EXPECT_EQ(board->unansweredRequests, 0);
}

TEST_F(Scripted, SomethingElseOnTheLineIsNotTakenForABoard)
{
    board->memory[0] = 0xDEADBEEF;
    EXPECT_EQ(open(), make_error_code(tdcError::badResponse));
    EXPECT_FALSE(backend.isOpen());
}

TEST_F(Scripted, TablesThatMakeNoSenseAreRefused)
{
    struct Case {
        std::vector<std::array<std::uint32_t, 3>> entries;
        std::map<std::uint32_t, std::uint32_t> patch;
        const char *mentions;
    };
    const Case cases[] = {
        {{{1, 0x1000, 0x100}}, {{1, 7}}, "table format 7"},
        {{}, {}, "lists 0 modules"},
        {{{1, 0x1000, 0x100}}, {{2, 65}}, "lists 65 modules"},
        {{{1, 0x1000, 0x100}}, {{3, 6}}, "entries have 6 words"},
        {{{1, 0x1000, 0x100}, {2, 0x10F0, 0x100}}, {}, "overlap"},
        {{{1, 0x1000, 0}}, {}, "empty register window"},
        {{{1, 0x800, 0x100}}, {}, "inside the module table"},
        {{{1, 0xFFFFFF00, 0x200}}, {}, "past the end of the address space"},
        {{{1, 0x1000, 0x100}, {1, 0x2000, 0x100}}, {{0x10 + 8 + 5, 0x2000}, {0x10 + 8 + 6, 0x100}}, ""},
    };
    for (const auto &c : cases) {
        board->memory.clear();
        testboards::writeTable(board->memory, c.entries);
        for (const auto &[a, v] : c.patch)
            board->memory[a] = v;
        addMaster(board->memory, 0x1000, "m");
        addMaster(board->memory, 0x2000, "n");
        ASSERT_FALSE(open());
        const std::string error = loadError();
        if (*c.mentions) {
            EXPECT_NE(error.find("The board's module table makes no sense"), std::string::npos) << error;
            EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
            EXPECT_TRUE(backend.getModules().empty());
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(backend.getModules().size(), 2u);
        }
        backend.close();
    }
}

TEST_F(Scripted, UnknownModulesAreSkippedAndBadRegistersRefused)
{
    testboards::writeTable(board->memory, {{0x7777, 0x3000, 0x10}, {1, 0x1000, 0x100}, {2, 0x2000, 0x100}});
    addMaster(board->memory, 0x1000, std::string("tag\0hidden", 10));
    // A TDC module claiming 0 channels.
    for (std::uint32_t i = 0; i < 5; ++i)
        board->memory[0x2000 + i] = 0;
    ASSERT_FALSE(open());
    std::string error = loadError();
    EXPECT_NE(error.find("The TDC module reports 0 channels"), std::string::npos) << error;

    board->memory[0x2000] = 2;
    board->memory[0x2001] = 8;
    board->memory[0x2002] = 16;
    board->memory[0x2003] = 2500000;
    board->memory[0x2004] = 1000;
    error = loadError();
    EXPECT_NE(error.find("Cannot read the TDC module at 0x2000"), std::string::npos) << error;
    EXPECT_NE(error.find("Not supported by this firmware"), std::string::npos) << "periods are missing: " << error;

    for (std::uint32_t i = 0; i < 4; ++i)
        board->memory[0x2010 + i] = i == 0 ? 5 : 0;
    ASSERT_EQ(loadError(), "");
    const auto modules = backend.getModules();
    ASSERT_EQ(modules.size(), 2u) << "the unknown module is skipped";
    auto *master = dynamic_cast<TDCMasterModule *>(modules[0]);
    ASSERT_TRUE(master);
    EXPECT_EQ(master->firmwareTag(), "tag") << "a NUL ends the tag";
    EXPECT_EQ(master->compileTime(), 0x112345678LL);
    EXPECT_EQ(master->hardwareVersion().major, 1);
    EXPECT_EQ(master->hardwareVersion().minor, 2);
    EXPECT_EQ(master->hardwareVersion().patch, 3);
    EXPECT_EQ(master->softwareVersion().major, 4);
    auto *tdc = dynamic_cast<TDCModule *>(modules[1]);
    ASSERT_TRUE(tdc);
    EXPECT_EQ(tdc->ch(0).getPeriod(), 5u);

    // A tag longer than a master window can hold.
    board->memory[0x1002] = 5000;
    error = loadError();
    EXPECT_NE(error.find("firmware tag of 5000 bytes"), std::string::npos) << error;
}

TEST_F(Scripted, CounterSamplesOfTheWrongSizeAreDropped)
{
    testboards::writeTable(board->memory, {{0x10, 0x1000, 0x100}});
    board->memory[0x1000] = 0;
    board->memory[0x1001] = 200000;
    board->memory[0x1002] = 3;
    board->memory[0x1003] = 0;
    ASSERT_FALSE(open());
    ASSERT_EQ(loadError(), "");
    auto *counter = dynamic_cast<TDCFennick *>(backend.getModules().at(0));
    ASSERT_TRUE(counter);
    EXPECT_EQ(counter->numChannels(), 3u);
    EXPECT_EQ(counter->inputLogic(), 0);
    // Auto push on this board is just a register; the samples the test cannot push here are
    // covered against the virtual board. Writing works and is remembered:
    EXPECT_FALSE(counter->setAutoPush(true));
    EXPECT_EQ(board->memory[0x1000], 1u);
    EXPECT_TRUE(counter->autoPushEnabled());
}

TEST(SilentSerialLine, OpenFailsWithinItsTimeOut)
{
    // A pseudo-terminal with nobody behind it.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    char name[128];
    ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);
    TDCBackend backend;
    const auto start = Clock::now();
    const auto ec = backend.open({{"class", "Serial"}, {"name", name}}, {}, 1000ms);
    EXPECT_EQ(ec, make_error_code(tdcError::timeout)) << ec.message();
    EXPECT_LT(Clock::now() - start, 1000ms + 5s);
    ::close(master);
}

TEST(Open, DevicesThatCannotBeOpenedGiveClearErrors)
{
    TDCBackend backend;
    EXPECT_EQ(backend.open({{"class", "USB"}}, {}, 1000ms), make_error_code(tdcError::noSuchDevice));
    EXPECT_EQ(backend.open({}, {}, 1000ms), make_error_code(tdcError::noSuchDevice));
    EXPECT_TRUE(backend.open({{"class", "Serial"}, {"name", "/nonexistent/tty"}}, {}, 1000ms));
    EXPECT_TRUE(backend.open({{"class", "D3XX"}, {"serialNumber", "NOPE"}}, {}, 1000ms));
    EXPECT_EQ(backend.open({{"class", "D3XX"}, {"serialNumber", "NOPE"}}, {}, 0ms),
              make_error_code(tdcError::invalidArgument));
    EXPECT_FALSE(backend.isOpen());
    EXPECT_TRUE(backend.getModules().empty());
}

TEST(Library, ErrorsVersionsAndLogLevel)
{
    EXPECT_STREQ(tdc_category().name(), "tdc");
    EXPECT_EQ(make_error_code(tdcError::disconnected).message(), "Board disconnected");
    EXPECT_EQ(make_error_code(tdcError::timeout), std::errc::timed_out);
    EXPECT_EQ(make_error_code(static_cast<tdcError>(99)).message(), "Unknown error");
    EXPECT_FALSE(TDCBackend::version().empty());
    EXPECT_EQ(TDCBackend::buildInfo().rfind("Version v" + TDCBackend::version() + " built by ", 0), 0u);

    const int before = libtdcLog::level();
    libtdcLog::setLevel(42);
    EXPECT_EQ(libtdcLog::level(), 6);
    libtdcLog::setLevel(-3);
    EXPECT_EQ(libtdcLog::level(), 0);
    libtdcLog::setLevel(before);
}
