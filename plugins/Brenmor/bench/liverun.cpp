#include "liverun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "benchdevice.h"
#include "tdchistogrammerwrapper.h"
#include "timetriggermodel.h"

namespace {
double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A peak on a thin background, as a start–stop histogram looks.
std::vector<std::uint64_t> shape(std::uint32_t bins, unsigned seed)
{
    std::mt19937 rng(seed);
    std::poisson_distribution<int> background(0.7);
    std::vector<std::uint64_t> counts(bins);
    const double centre = bins * 0.4, sigma = bins / 200.0 + 1;
    for (std::uint32_t i = 0; i < bins; ++i)
        counts[i] = std::uint64_t(background(rng)) +
                    std::uint64_t(5000 * std::exp(-0.5 * std::pow((i - centre) / sigma, 2)));
    return counts;
}
} // namespace

LiveRunResult runLive(const LiveRunOptions &o)
{
    LiveRunResult result;
    QTemporaryDir dir;
    std::vector<std::unique_ptr<BenchDevice>> devices;
    std::vector<std::unique_ptr<TDCHistogrammerWrapper>> wrappers;
    for (int h = 0; h < o.histograms; ++h) {
        devices.push_back(std::make_unique<BenchDevice>(o.bins));
        wrappers.push_back(std::make_unique<TDCHistogrammerWrapper>(devices.back().get(), devices.back().get(), nullptr));
        wrappers.back()->setrefreshPeriod(o.windowMs);
        wrappers.back()->setZoomRect(QRectF(o.bins * 0.3e-12, 0, o.bins * 0.2e-12, 100));
    }
    const std::vector<std::vector<std::uint64_t>> blocks{shape(o.bins, 1), shape(o.bins, 2)};

    auto model = std::make_unique<TimeTriggerModel>();
    if (o.timeTrigger) {
        QDir(dir.path()).mkpath(QStringLiteral("tt"));
        model->setFolder(QUrl::fromLocalFile(dir.path()));
        model->setSubFolder(QStringLiteral("tt"));
        model->setFilePrefix(QStringLiteral("w"));
        model->setExtension({QStringLiteral(".csv")});
        model->setRefreshPeriod(uint(o.windowMs));
        for (auto &w : wrappers)
            model->addHistModel(w.get());
        QObject::connect(model.get(), &TimeTriggerModel::winNumChanged, [&] {
            if (model->winNum() > 0)
                ++result.windowsExported;
        });
        model->setEnableTimeTrigger(true);
    }
    QCoreApplication::processEvents();

    std::atomic<std::uint64_t> delivered{0};
    std::atomic<bool> stop{false};
    const auto period = std::chrono::microseconds(o.windowMs * 1000);
    std::thread feeder([&] {
        const auto start = std::chrono::steady_clock::now();
        for (std::uint32_t w = 1; !stop; ++w) {
            std::this_thread::sleep_until(start + w * period);
            if (stop)
                break;
            for (std::size_t h = 0; h < wrappers.size(); ++h)
                wrappers[h]->deliverCounts(blocks[(w + h) % 2], HistogrammerDevice::Status{w, true});
            delivered = w;
        }
    });

    QEventLoop loop;
    QElapsedTimer wall;
    wall.start();
    const double cpuStart = threadCpuSeconds();

    QTimer probe;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QObject::connect(&probe, &QTimer::timeout, [&] {
        result.maxTimerLatenessMs = std::max(result.maxTimerLatenessMs, sinceTick.nsecsElapsed() / 1e6 - 10.0);
        sinceTick.restart();
        const std::uint64_t d = delivered;
        if (o.timeTrigger) {
            const std::uint64_t exported = model->winNum();
            result.maxLagWindows = std::max(result.maxLagWindows, d > exported ? d - exported : 0);
            result.maxWriterBacklog = std::max(result.maxWriterBacklog, std::size_t(model->pendingWrites()));
        }
    });
    probe.start(10);

    // Files written and counted are done with: the disk need not hold a minute of them, and
    // what is measured is how fast the program formats and writes, not how fast this machine's
    // disk takes gigabytes (--keep-files measures that). Files of windows before the one
    // written last are complete. Deleting is the kernel's work on the deleting thread, so it
    // runs on a thread of its own, not on the GUI thread being measured.
    std::atomic<uint> writtenWindow{0};
    std::atomic<bool> sweeping{o.timeTrigger && !o.keepFiles};
    QTimer publishWritten;
    QObject::connect(&publishWritten, &QTimer::timeout, [&] { writtenWindow = model->lastWrittenWindow(); });
    publishWritten.start(100);
    const QString ttPath = dir.filePath(QStringLiteral("tt"));
    std::thread sweeper([&] {
        while (sweeping) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const uint written = writtenWindow;
            const uint keepFrom = written > 2 ? written - 2 : 0;
            QDir tt(ttPath);
            for (const QString &name : tt.entryList(QDir::Files)) {
                const uint n = name.mid(1, name.indexOf(QLatin1Char('_')) - 1).toUInt();
                if (n < keepFrom)
                    tt.remove(name);
            }
        }
    });

    QTimer::singleShot(int(o.seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double busy = threadCpuSeconds() - cpuStart;
    result.seconds = wall.nsecsElapsed() / 1e9;
    result.guiBusyShare = busy / result.seconds;
    stop = true;
    feeder.join();
    probe.stop();
    publishWritten.stop();
    sweeping = false;
    sweeper.join();
    result.windowsDelivered = delivered;
    for (auto &w : wrappers)
        result.droppedBlocks += w->droppedBlocks();

    // Drain what is still queued, then end the run and count.
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < 5000 && o.timeTrigger && model->winNum() < delivered)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (o.timeTrigger) {
        model->setEnableTimeTrigger(false);
        model->waitForWrites();
        QCoreApplication::processEvents();
        result.lostWindows = model->lostWindows();
        // The feeder skips no window, so every lost window is one whose files were not written.
        result.files = (result.windowsExported - result.lostWindows) * std::uint64_t(o.histograms);
        result.bytes = model->savedFilesSize();
    }
    model.reset();
    return result;
}
