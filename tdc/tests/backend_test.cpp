// Every module class against the virtual board, in-process and through kestrane-emu on a
// pseudo-terminal: the same tests, two links.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <thread>

#include "boards.h"
#include "tdc/tdcerror.h"
#include "tdc/dorrin.h"
#include "tdc/programmablethreshold.h"
#include "tdc/tdcfennick.h"
#include "tdc/tdcoldhistogrammermodule.h"
#include "tdc/tdchistogrammermodule.h"
#include "tdc/tdcmastermodule.h"
#include "tdc/tdcmodule.h"

using namespace std::chrono_literals;

namespace {

// High rates and a dead time large enough to see, so a second of counting tells them apart.
const char *profileJson = R"({"inputs": 4, "syncPeriod": 1e-4, "rates": [50000, 20000, 0, 100000],
  "pairs": [{"from": 1, "to": 3, "delay": 1e-8, "jitter": 1e-10, "fraction": 0.5}],
  "deadTime": 1e-6, "coarseBits": 10, "fineBits": 12, "tdcPeriod": 4e-9, "minBinWidth": 5e-12,
  "seed": 9})";

kestrane::Profile testProfile()
{
    kestrane::Profile p;
    std::string error;
    if (!kestrane::parseProfile(profileJson, p, error))
        throw std::runtime_error(error);
    return p;
}

// Collects samples from a counter's callback.
struct Collector {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<double, std::vector<std::uint32_t>>> samples;
    std::mutex *libraryMutex = nullptr;
    bool mutexWasFree = true;

    TDCFennick::Callback callback()
    {
        return [this](std::mutex &lib, std::chrono::duration<double> dt, const std::vector<std::uint32_t> &c) {
            const bool free = lib.try_lock();
            if (free)
                lib.unlock();
            std::lock_guard<std::mutex> lock(m);
            if (!free || (libraryMutex && libraryMutex != &lib))
                mutexWasFree = false;
            libraryMutex = &lib;
            samples.emplace_back(dt.count(), c);
            cv.notify_all();
        };
    }
    bool waitFor(std::size_t n, std::chrono::seconds limit = 30s)
    {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, limit, [&] { return samples.size() >= n; });
    }
    std::size_t size()
    {
        std::lock_guard<std::mutex> lock(m);
        return samples.size();
    }
};

class Backend : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        if (GetParam() == "inprocess")
            board = std::make_unique<testboards::InProcessBoard>(testProfile());
        else
            board = std::make_unique<testboards::EmuBoard>(profileJson);
        const auto device = board->device(backend);
        ASSERT_FALSE(device.empty()) << "the board is not listed";
        ASSERT_FALSE(backend.open(device, {}, 5000ms));
        ASSERT_NO_THROW(backend.loadModules(0));
        for (auto *m : backend.getModules()) {
            if (auto *x = dynamic_cast<TDCMasterModule *>(m))
                master = x;
            else if (auto *t = dynamic_cast<TDCModule *>(m))
                tdc = t;
            else if (auto *f = dynamic_cast<TDCFennick *>(m))
                (f->inputLogic() ? input : processed) = f;
        }
        ASSERT_TRUE(master && tdc && processed && input);
    }

    std::unique_ptr<testboards::Board> board;
    // Declared before the backend so they outlive every callback that fills them.
    Collector c, p, in;
    TDCBackend backend;
    TDCMasterModule *master = nullptr;
    TDCModule *tdc = nullptr;
    TDCFennick *processed = nullptr;
    TDCFennick *input = nullptr;
};

} // namespace

TEST_P(Backend, ModulesDescribeTheBoard)
{
    const auto modules = backend.getModules();
    ASSERT_EQ(modules.size(), 11u);
    EXPECT_EQ(modules[0]->typeID(), TDCMasterModule::TypeID);
    for (std::size_t i = 5; i < 9; ++i)
        EXPECT_TRUE(dynamic_cast<TDCHistogrammerModule *>(modules[i])) << "module " << i;
    EXPECT_TRUE(dynamic_cast<Dorrin *>(modules[4]));
    EXPECT_TRUE(dynamic_cast<TDCOldHistogrammerModule *>(modules[9]));
    EXPECT_TRUE(dynamic_cast<ProgrammableThreshold *>(modules[10]));
    EXPECT_EQ(modules[1]->typeID(), TDCModule::TypeID);
    EXPECT_EQ(modules[2]->typeID(), TDCFennick::TypeID);
    EXPECT_EQ(modules[2], processed) << "the processed counter comes first";
    EXPECT_EQ(modules[3], input);
    const auto *tagger = dynamic_cast<const Dorrin *>(modules[4]);
    ASSERT_NE(tagger, nullptr);
    EXPECT_EQ(tagger->numChannels(), 5u);
    EXPECT_DOUBLE_EQ(tagger->tagUnit(), 5e-12);

    EXPECT_EQ(master->firmwareTag().rfind("Kestrane virtual;repo = ", 0), 0u) << master->firmwareTag();
    EXPECT_NE(master->firmwareTag().find(";SHA = "), std::string::npos);
    EXPECT_NE(master->firmwareTag().find(";branch = "), std::string::npos);
    // Built in this century, and not in the future.
    const auto now100ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch()).count() / 100;
    EXPECT_GT(master->compileTime(), 946684800LL * 10000000);
    EXPECT_LE(master->compileTime(), now100ns);
    EXPECT_EQ(master->hardwareVersion().major, 1);
    EXPECT_EQ(master->softwareVersion().minor, 2);

    EXPECT_EQ(tdc->numChannels(), 5u);
    EXPECT_EQ(tdc->coarseBits(), 10u);
    EXPECT_EQ(tdc->fineBits(), 12u);
    EXPECT_DOUBLE_EQ(tdc->tdcPeriod(), 4e-9);
    EXPECT_DOUBLE_EQ(tdc->minBinWidth(), 5e-12);
    EXPECT_EQ(tdc->ch(0).getPeriod(), 20000000u) << "1e-4 s in units of 5 ps";
    EXPECT_EQ(tdc->ch(4).getPeriod(), 0u);
    EXPECT_THROW(tdc->ch(5), std::out_of_range);
    EXPECT_EQ(tdc->hardwareVersion().major, 2);
    EXPECT_EQ(tdc->softwareVersion().patch, 1);

    EXPECT_EQ(processed->numChannels(), 5u);
    EXPECT_EQ(processed->inputLogic(), 0);
    EXPECT_NE(input->inputLogic(), 0);
    EXPECT_FALSE(processed->autoPushEnabled());
    EXPECT_DOUBLE_EQ(processed->integrationTime(), 0.2);
}

TEST_P(Backend, MeasuredRatesMatchTheProfile)
{
    const auto profile = testProfile();
    processed->setCallback(p.callback());
    input->setCallback(in.callback());
    ASSERT_EQ(processed->setIntegrationTime(0.05).second, 0.05);
    ASSERT_EQ(input->setIntegrationTime(0.05).second, 0.05);
    ASSERT_FALSE(processed->setAutoPush(true));
    ASSERT_FALSE(input->setAutoPush(true));
    EXPECT_TRUE(processed->autoPushEnabled());
    ASSERT_TRUE(p.waitFor(21));
    ASSERT_TRUE(in.waitFor(21));
    processed->setAutoPush(false);
    input->setAutoPush(false);

    auto check = [&](Collector &col, bool raw) {
        std::lock_guard<std::mutex> lock(col.m);
        // The first sample may have begun before the integration time was set.
        std::vector<double> sums(5, 0);
        double seconds = 0;
        for (std::size_t i = 1; i < 21; ++i) {
            EXPECT_DOUBLE_EQ(col.samples[i].first, 0.05);
            ASSERT_EQ(col.samples[i].second.size(), 5u);
            // The sync channel is a clock: 500 edges in 50 ms, give or take the one at a border.
            EXPECT_NEAR(col.samples[i].second[0], 500, 1);
            for (std::size_t ch = 0; ch < 5; ++ch)
                sums[ch] += col.samples[i].second[ch];
            seconds += col.samples[i].first;
        }
        for (std::uint32_t ch = 1; ch < 5; ++ch) {
            const double expected = (raw ? profile.inputRate(ch) : profile.processedRate(ch)) * seconds;
            EXPECT_NEAR(sums[ch], expected, 5 * std::sqrt(expected) + 1)
                << (raw ? "raw" : "processed") << " channel " << ch;
        }
        EXPECT_TRUE(col.mutexWasFree) << "the callback must get the library's mutex unlocked, always the same";
    };
    check(p, false);
    check(in, true);
}

TEST_P(Backend, IntegrationTimeChangesTakeEffect)
{
    processed->setCallback(c.callback());
    ASSERT_FALSE(processed->setIntegrationTime(0.02).first);
    ASSERT_FALSE(processed->setAutoPush(true));
    ASSERT_TRUE(c.waitFor(3));
    const auto [ec, applied] = processed->setIntegrationTime(0.07);
    ASSERT_FALSE(ec);
    EXPECT_DOUBLE_EQ(applied, 0.07);
    EXPECT_DOUBLE_EQ(processed->integrationTime(), 0.07);
    const std::size_t before = c.size();
    ASSERT_TRUE(c.waitFor(before + 3));
    {
        std::lock_guard<std::mutex> lock(c.m);
        for (std::size_t i = before; i < c.samples.size(); ++i)
            EXPECT_DOUBLE_EQ(c.samples[i].first, 0.07) << "sample " << i;
    }

    // The board's clock quantises and bounds the time; the answer says what was applied.
    auto r = processed->setIntegrationTime(1e-6);
    EXPECT_FALSE(r.first);
    EXPECT_DOUBLE_EQ(r.second, 1e-4);
    for (double bad : {0.0, -1.0, std::nan(""), 1e9}) {
        r = processed->setIntegrationTime(bad);
        EXPECT_EQ(r.first, make_error_code(tdcError::invalidArgument)) << bad;
        EXPECT_DOUBLE_EQ(r.second, 1e-4) << "a refused time leaves the applied one";
    }
}

TEST_P(Backend, CallbacksStopWithAutoPushAndWithTheBackend)
{
    EXPECT_FALSE(processed->setCallback(c.callback()));
    auto previous = processed->setCallback(c.callback());
    EXPECT_TRUE(previous) << "setCallback returns the callback it replaces";
    ASSERT_FALSE(processed->setIntegrationTime(0.001).first);
    ASSERT_FALSE(processed->setAutoPush(true));
    ASSERT_TRUE(c.waitFor(5));
    ASSERT_FALSE(processed->setAutoPush(false));
    std::this_thread::sleep_for(100ms);
    const std::size_t stopped = c.size();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(c.size(), stopped) << "no samples once auto push is off";

    // While samples pour in, destroying the backend ends them before it returns.
    std::atomic<bool> destroyed{false};
    std::atomic<int> late{0};
    std::atomic<int> seen{0};
    processed->setCallback([&](std::mutex &, std::chrono::duration<double>, const std::vector<std::uint32_t> &) {
        if (destroyed)
            ++late;
        ++seen;
        std::this_thread::sleep_for(1ms); // widen the window for a race
    });
    ASSERT_FALSE(processed->setAutoPush(true));
    while (seen < 5)
        std::this_thread::sleep_for(1ms);
    backend.close();
    destroyed = true;
    EXPECT_TRUE(backend.getModules().empty());
    EXPECT_FALSE(backend.isOpen());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(late, 0);
}

TEST_P(Backend, TheBoardCanBeOpenedAgain)
{
    backend.close();
    EXPECT_THROW(backend.loadModules(0), std::runtime_error);
    ASSERT_FALSE(backend.open(board->device(backend), {}, 5000ms));
    ASSERT_NO_THROW(backend.loadModules(0));
    EXPECT_EQ(backend.getModules().size(), 11u);
    // Loading again replaces the module objects.
    ASSERT_NO_THROW(backend.loadModules(0));
    EXPECT_EQ(backend.getModules().size(), 11u);
}

TEST_P(Backend, AVanishedBoardStopsCallbacksAndReportsErrors)
{
    processed->setCallback(c.callback());
    ASSERT_FALSE(processed->setIntegrationTime(0.01).first);
    ASSERT_FALSE(processed->setAutoPush(true));
    ASSERT_TRUE(c.waitFor(3));

    board->remove();
    // Operations fail, within their time-outs, with an error that says why.
    const auto r = processed->setIntegrationTime(0.02);
    EXPECT_TRUE(r.first == make_error_code(tdcError::disconnected) || r.first == make_error_code(tdcError::timeout))
        << r.first.message();
    std::this_thread::sleep_for(200ms);
    const std::size_t after = c.size();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(c.size(), after) << "no samples from a board that is gone";
    EXPECT_TRUE(processed->setAutoPush(false));
    EXPECT_THROW(backend.loadModules(0), std::runtime_error);
    backend.close(); // and destruction is clean
}

TEST_P(Backend, TheLongestIntegrationTimeIsAcceptedAndNothingLonger)
{
    auto r = processed->setIntegrationTime(60.0);
    EXPECT_FALSE(r.first) << r.first.message();
    EXPECT_DOUBLE_EQ(r.second, 60.0);
    EXPECT_DOUBLE_EQ(processed->integrationTime(), 60.0);
    r = processed->setIntegrationTime(60.001);
    EXPECT_EQ(r.first, make_error_code(tdcError::invalidArgument));
    EXPECT_DOUBLE_EQ(r.second, 60.0);
}

INSTANTIATE_TEST_SUITE_P(Links, Backend, ::testing::Values("inprocess", "pty"),
                         [](const auto &info) { return info.param; });
