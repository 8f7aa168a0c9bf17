#include "soakcycle.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "puller.h"
#include "rawcheck.h"
#include "tdc/dorrin.h"
#include "tdc/tdcerror.h"
#include "tdc/tdcfennick.h"
#include "tdc/tdchistogrammermodule.h"

namespace soak {

using namespace std::chrono_literals;
using Hist = TDCHistogrammerModule;

const char *faultName(Fault f)
{
    switch (f) {
    case Fault::duringOpen: return "during open";
    case Fault::duringLoad: return "during module loading";
    case Fault::midBurst: return "mid-burst";
    case Fault::midRecording: return "mid-recording";
    case Fault::none: return "no fault";
    }
    return "?";
}

namespace {

// What the callbacks saw. Shared with them, so a callback that ran late still finds it.
struct Deliveries {
    std::atomic<bool> closed{false};
    std::atomic<std::uint64_t> late{0};
    std::atomic<std::uint64_t> samples{0};
    std::atomic<std::uint64_t> blocks{0};
    std::atomic<std::uint64_t> tags{0};

    void arrived(std::atomic<std::uint64_t> &what, std::uint64_t n)
    {
        if (closed)
            ++late;
        what += n;
    }
};

class Cycle {
public:
    Cycle(SoakBoard &board, Watchdog &dog, std::mt19937_64 &rng, const CycleOptions &o, StepTimes &times,
          std::uint64_t index, Fault fault)
        : board_(board), dog_(dog), rng_(rng), o_(o), times_(times), index_(index),
          deliveries_(std::make_shared<Deliveries>())
    {
        report_.fault = fault;
    }

    CycleReport run();

private:
    std::chrono::microseconds moment(double fromMs, double toMs)
    {
        std::uniform_real_distribution<double> d(fromMs * o_.timeScale, toMs * o_.timeScale);
        return std::chrono::microseconds(static_cast<std::int64_t>(d(rng_) * 1000));
    }
    // A step's duration enters its running mean, so the next pull aimed at it lands inside.
    static void learn(double &meanMs, std::chrono::steady_clock::time_point started)
    {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        meanMs += 0.2 * (ms - meanMs);
    }
    void armPull(std::chrono::microseconds delay) { puller_ = std::make_unique<Puller>(board_, dog_, delay); }
    bool pulled() const { return puller_ && puller_->pulled(); }
    Watchdog::Step step(const char *name) { return dog_.step(name, o_.stepLimit); }
    // An error is expected once the board is gone, a failure while it is still there.
    void check(const std::error_code &ec, const char *what)
    {
        if (!ec || pulled())
            return;
        if (ec == make_error_code(tdcError::timeout))
            report_.slowAnswers.push_back(what);
        else
            fail(std::string(what) + ": " + ec.message());
    }
    void fail(std::string what) { report_.failures.push_back(std::move(what)); }

    bool connect();
    void startWork();
    void runWork();
    void tearDown();
    void checkFiles(bool stillGrowing);

    SoakBoard &board_;
    Watchdog &dog_;
    std::mt19937_64 &rng_;
    const CycleOptions &o_;
    StepTimes &times_;
    std::uint64_t index_;
    CycleReport report_;
    std::shared_ptr<Deliveries> deliveries_;
    std::unique_ptr<Puller> puller_;

    std::unique_ptr<TDCBackend> backend_;
    std::vector<TDCFennick *> counters_;
    std::vector<Hist *> hists_;
    std::unique_ptr<Hist::Group> group_;
    Dorrin *tagger_ = nullptr;
    bool recording_ = false;
    std::string filePattern_;
    std::unique_ptr<Dorrin::file_writer> writer_;
    std::chrono::steady_clock::time_point workStarted_{};
};

bool Cycle::connect()
{
    backend_ = std::make_unique<TDCBackend>();
    {
        auto s = step("plug in");
        std::string error;
        if (!board_.plugIn(error)) {
            fail("cannot plug the board in: " + error);
            return false;
        }
    }
    if (report_.fault == Fault::duringOpen)
        armPull(moment(0, times_.openMs / o_.timeScale)); // learned: already at this build's speed
    const auto openStarted = std::chrono::steady_clock::now();
    DeviceMap device;
    {
        auto s = step("list devices");
        device = board_.device(*backend_);
    }
    if (device.empty()) {
        if (!pulled())
            fail("the board plugged in is not listed");
        return false;
    }
    {
        auto s = step("open");
        check(backend_->open(device, {}, o_.openTimeout), "open");
    }
    report_.opened = backend_->isOpen();
    if (!report_.opened)
        return false;
    if (!pulled())
        learn(times_.openMs, openStarted);
    if (report_.fault == Fault::duringLoad)
        armPull(moment(0, times_.loadMs / o_.timeScale));
    const auto loadStarted = std::chrono::steady_clock::now();
    {
        auto s = step("load modules");
        try {
            backend_->loadModules(0);
        } catch (const std::exception &e) {
            if (!pulled())
                fail(std::string("load modules: ") + e.what());
            return false;
        }
    }
    for (auto *m : backend_->getModules()) {
        if (auto *f = dynamic_cast<TDCFennick *>(m))
            counters_.push_back(f);
        else if (auto *h = dynamic_cast<Hist *>(m))
            hists_.push_back(h);
        else if (auto *t = dynamic_cast<Dorrin *>(m))
            tagger_ = t;
    }
    report_.loaded = true;
    if (!pulled())
        learn(times_.loadMs, loadStarted);
    if (counters_.empty() || hists_.size() < 4 || !tagger_) {
        std::ostringstream s;
        s << "the board lists " << counters_.size() << " counters, " << hists_.size() << " histogrammers and "
          << (tagger_ ? "a" : "no") << " time tagger";
        fail(s.str());
        return false;
    }
    hists_.resize(4);
    return true;
}

void Cycle::startWork()
{
    const std::weak_ptr<Deliveries> weak = deliveries_;
    {
        auto s = step("start counters");
        for (auto *c : counters_) {
            c->setCallback([weak](std::mutex &, std::chrono::duration<double>, const std::vector<std::uint32_t> &) {
                if (const auto d = weak.lock())
                    d->arrived(d->samples, 1);
            });
            check(c->setIntegrationTime(0.01).first, "counter integration time");
            check(c->setAutoPush(true), "counter auto-push");
        }
    }
    {
        auto s = step("start histograms");
        group_ = std::make_unique<Hist::Group>();
        for (auto *h : hists_) {
            h->setCallback([weak](const std::vector<std::uint64_t> &, Hist::Status) {
                if (const auto d = weak.lock())
                    d->arrived(d->blocks, 1);
            });
            check(h->setRefCh({0, 1}), "histogram reference channel");
            check(h->setMeasCh({1, 1}), "histogram measurement channel");
            check(h->setBounds({0.0, std::nullopt, 2e-6}).first, "histogram bounds");
            check(group_->addHistogram(*h), "add to the group");
        }
        if (report_.fault == Fault::midBurst)
            armPull(moment(0, 60));
        check(group_->enable(o_.histogramPeriod, 0).first, "group enable");
    }
    {
        auto s = step("start recording");
        filePattern_ = o_.fileDir + "/cycle" + std::to_string(index_) + "-{:d}.bin";
        // Split small so a cycle leaves several files, the last of them cut by the pull.
        writer_ = std::make_unique<Dorrin::file_writer>(filePattern_, Dorrin::file_writer::binary, false, tagger_, 0,
                                                        256u << 10, std::chrono::seconds(0), Dorrin::file_writer::Clock{});
        Dorrin::file_writer *writer = writer_.get();
        // The writer outlives every callback: it is destroyed only after the backend closed.
        const auto ec = tagger_->enable(
            [weak, writer](const std::vector<Dorrin::measurement> &batch) {
                writer->write(batch);
                if (const auto d = weak.lock())
                    d->arrived(d->tags, batch.size());
            },
            0, {{1, TDCChannel::RISING}, {2, TDCChannel::RISING}, {3, TDCChannel::BOTH}}, 0);
        check(ec, "recording enable");
        recording_ = !ec;
        if (report_.fault == Fault::midRecording)
            armPull(moment(100, 600));
    }
    workStarted_ = std::chrono::steady_clock::now();
}

void Cycle::runWork()
{
    if (puller_) {
        auto s = step("run");
        // The pull is at most 600 ms of scaled time away.
        if (!puller_->waitPulled(std::chrono::milliseconds(static_cast<long>(2000 * o_.timeScale) + 1000)))
            fail("the board was never pulled");
    } else {
        auto s = step("run");
        std::this_thread::sleep_for(moment(150, 400));
    }
}

void Cycle::checkFiles(bool stillGrowing)
{
    if (filePattern_.empty())
        return;
    std::uint64_t tags = 0;
    std::uint64_t files = 0;
    for (std::uint32_t n = 0;; ++n) {
        const auto name = Dorrin::file_writer::fileName(filePattern_, n, true);
        std::error_code ec;
        if (!std::filesystem::exists(name, ec))
            break;
        ++files;
        const RawCheck c = checkRawFile(name, stillGrowing);
        tags += c.tags;
        if (!c.ok)
            fail(std::string(stillGrowing ? "recording in progress: " : "recording: ") + c.error);
        // Only the newest file of a series may be cut: the older ones were finished.
        if (c.cut && std::filesystem::exists(Dorrin::file_writer::fileName(filePattern_, n + 1, true), ec))
            fail("a finished file of the series is cut short: " + name);
    }
    if (!stillGrowing) {
        report_.tagsRead = tags;
        report_.files = files;
    }
}

void Cycle::tearDown()
{
    const bool wasPulled = pulled();
    if (recording_) {
        auto s = step("stop recording");
        check(tagger_->disable(), "recording disable");
        if (!tagger_->queue_waitEmpty(std::chrono::milliseconds(3000)))
            fail("the capture queue did not drain within 3 s of the stop");
    }
    if (group_) {
        auto s = step("stop histograms");
        check(group_->disable(true), "group disable");
    }
    {
        auto s = step("stop counters");
        for (auto *c : counters_)
            check(c->setAutoPush(false), "counter auto-push off");
    }
    if (wasPulled && recording_) {
        // What a reader finds while the writer is still open: whole blocks up to a cut.
        auto s = step("read files while open");
        checkFiles(true);
    }
    {
        auto s = step("close");
        backend_->close();
        deliveries_->closed = true;
        counters_.clear();
        hists_.clear();
        tagger_ = nullptr;
    }
    {
        auto s = step("watch for late callbacks");
        std::this_thread::sleep_for(30ms);
        if (const auto late = deliveries_->late.load())
            fail(std::to_string(late) + " callbacks ran after close");
    }
    std::uint64_t written = 0;
    if (writer_) {
        auto s = step("finish files");
        writer_->flush();
        written = writer_->tags_written();
        if (writer_->error())
            fail("the recording stopped: " + writer_->error().message());
        writer_.reset();
    }
    group_.reset();
    {
        auto s = step("read files");
        checkFiles(false);
    }
    report_.samples = deliveries_->samples;
    report_.blocks = deliveries_->blocks;
    report_.tags = deliveries_->tags;
    if (recording_ && report_.tagsRead != written)
        fail("the files hold " + std::to_string(report_.tagsRead) + " tags of the " + std::to_string(written) +
             " written");
    if (recording_ && written != report_.tags)
        fail("the writer took " + std::to_string(written) + " tags of the " + std::to_string(report_.tags) +
             " delivered");
    {
        auto s = step("unplug");
        puller_.reset();
        board_.pull();
        backend_.reset();
    }
    for (std::uint32_t n = 0; !filePattern_.empty(); ++n) {
        std::error_code ec;
        if (!std::filesystem::remove(Dorrin::file_writer::fileName(filePattern_, n, true), ec))
            break;
    }
}

CycleReport Cycle::run()
{
    if (connect()) {
        startWork();
        runWork();
        if (puller_ && puller_->pulled()) {
            // The host must see the board go by itself, without being asked.
            auto s = step("notice the lost link");
            const auto deadline = std::chrono::steady_clock::now() + o_.lossNoticeLimit;
            while (backend_->isOpen() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(2ms);
            if (backend_->isOpen())
                fail("the host did not report the lost link within " +
                     std::to_string(o_.lossNoticeLimit.count()) + " ms");
        }
        // A board that ran undisturbed must have delivered something of each kind.
        if (!pulled()) {
            if (deliveries_->samples == 0)
                fail("no counter sample arrived");
            if (deliveries_->blocks == 0)
                fail("no histogram block arrived");
            if (recording_ && deliveries_->tags == 0)
                fail("no tag arrived");
        }
    } else if (puller_) {
        // Wait for the pull that was planned, so it cannot land in the next cycle's board.
        auto s = step("run");
        puller_->waitPulled(std::chrono::milliseconds(static_cast<long>(1000 * o_.timeScale) + 1000));
    }
    if (puller_ && puller_->pulled())
        report_.removedDuring = puller_->during();
    tearDown();
    return report_;
}

} // namespace

CycleReport runCycle(SoakBoard &board, Watchdog &dog, std::mt19937_64 &rng, const CycleOptions &options,
                     StepTimes &times, std::uint64_t index)
{
    std::uniform_int_distribution<int> kind(0, faultKinds - 1);
    const Fault fault = static_cast<Fault>(kind(rng));
    return Cycle(board, dog, rng, options, times, index, fault).run();
}

} // namespace soak
