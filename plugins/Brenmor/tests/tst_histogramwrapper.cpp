// The histogram wrapper against a scripted histogrammer: clamps, fuzzy comparison, the edges
// trim, tasks serialised on the module mutex, rates, integration time, statistics, peak and
// alignment, files, and the end of the callback registration.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>
#include <thread>

#include "chartelle/filter1d.h"
#include "scriptedhistogrammer.h"
#include "tdchistogrammerwrapper.h"
#include "testmain.h"

namespace {
std::mutex g_logMutex;
QStringList g_messages;
void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_messages.append(message);
}

QStringList messages()
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    return g_messages;
}

// Tasks run on the pool and report through queued signals: wait for both.
bool settle(TDCHistogrammerWrapper &w, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (w.runningTasks() > 0) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(1);
    }
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return true;
}

std::vector<std::uint64_t> block(std::size_t n, std::initializer_list<std::pair<std::size_t, std::uint64_t>> bins)
{
    std::vector<std::uint64_t> counts(n, 0);
    for (const auto &b : bins)
        counts[b.first] = b.second;
    return counts;
}

bool near(double a, double b, double tolerance)
{
    return std::abs(a - b) <= tolerance;
}
} // namespace

class HistogramWrapperTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedHistogrammer> m_device;
    std::unique_ptr<TDCHistogrammerWrapper> m_wrapper;
    QTemporaryDir m_dir;

    TDCHistogrammerWrapper &make()
    {
        m_wrapper.reset();
        m_device = std::make_unique<ScriptedHistogrammer>();
        m_wrapper = std::make_unique<TDCHistogrammerWrapper>(m_device.get(), m_device.get(), nullptr);
        return *m_wrapper;
    }

    void deliver(const std::vector<std::uint64_t> &counts, std::uint32_t window, bool running = true)
    {
        QVERIFY(m_device->deliver(counts, window, running));
        QCoreApplication::processEvents();
    }

private slots:
    void cleanup()
    {
        m_wrapper.reset();
        m_device.reset();
    }

    void constructionStopsTheModuleAndClearsTheChart()
    {
        TDCHistogrammerWrapper &w = make();
        const QStringList calls = m_device->calls();
        QCOMPARE(calls.first(), QString("disable"));
        QVERIFY(calls.contains("setCallback"));
        QVERIFY(m_device->hasCallback());
        QVERIFY(w.name().startsWith("Histogram "));
        const uint number = w.name().mid(10).toUInt();
        ScriptedHistogrammer other;
        TDCHistogrammerWrapper second(&other, &other, nullptr);
        QCOMPARE(second.name(), QString("Histogram %1").arg(number + 1));

        QCOMPARE(w.persistedProperties(),
                 QStringList({"refCH", "refPolarity", "measCH", "measPolarity", "leftBound", "rightBound", "binWidth",
                              "refreshPeriod", "multiHit", "accumulate", "name"}));
        QCOMPARE(w.binAddrWidth(), 10u);
        QCOMPARE(w.waitPause(), 0.0);
        QCOMPARE(w.minWindowFSR(), 1e-12);
        QCOMPARE(w.refreshPeriod(), 50);
        QVERIFY(!w.isActive());
        QCOMPARE(w.expectedBins(), 1024);
        QVERIFY(near(w.dataContainer()->area().width(), 10240e-12, 1e-20));
        QCOMPARE(w.logDataContainer()->area(), w.dataContainer()->area());
        QCOMPARE(w.dataContainer()->data(), QVector<double>(1024, 0.0));
        QCOMPARE(w.numBins(), 1024u);
        QVERIFY(std::isnan(w.mean()));
        QCOMPARE(w.property("refCH").toInt(), 1);
        QCOMPARE(w.property("measCH").toInt(), 2);
    }

    void fuzzyComparisonStartsNothing()
    {
        TDCHistogrammerWrapper &w = make();
        QSignalSpy width(&w, &TDCHistogrammerWrapper::binWidthChanged);
        m_device->clearCalls();
        w.setBinWidth(10e-12 * (1 + 1e-13));
        w.setLeftBound(0.0);
        w.setBinWidth(std::nan(""));
        w.setBinWidth(-1e-12);
        QVERIFY(settle(w));
        QCOMPARE(width.count(), 0);
        QVERIFY(!m_device->calls().contains("setBounds"));
        QVERIFY(!m_device->calls().contains("disable"));

        w.setBinWidth(10e-12 * (1 + 1e-9));
        QVERIFY(settle(w));
        QVERIFY(m_device->calls().contains("setBounds"));
        QCOMPARE(width.count(), 1);
    }

    void valuesAreClampedToTheModulesLimits()
    {
        TDCHistogrammerWrapper &w = make();
        w.disableEdgesTrim(); // the limits are not multiples of the bin width
        QSignalSpy left(&w, &TDCHistogrammerWrapper::leftBoundChanged);
        w.setLeftBound(5e-6);
        QVERIFY(settle(w));
        QCOMPARE(left.count(), 1);
        QVERIFY(near(left.last().at(0).toDouble(), 1e-6 - 16e-12, 1e-18));

        QSignalSpy right(&w, &TDCHistogrammerWrapper::rightBoundChanged);
        w.setRightBound(-5e-6);
        QVERIFY(settle(w));
        QVERIFY(near(right.last().at(0).toDouble(), -1e-6 + 16e-12, 1e-18));

        make();
        TDCHistogrammerWrapper &v = *m_wrapper;
        v.setWindowFSR(1.0);
        QVERIFY(settle(v));
        QVERIFY(near(v.windowFSR(), 1e-6, 1e-15));
        v.setWindowFSR(1e-15);
        QVERIFY(settle(v));
        QVERIFY(v.windowFSR() >= 16e-12 - 1e-20 && v.windowFSR() <= 20e-12);
    }

    void edgesTrimKeepsTheRangeOnTheGrid()
    {
        TDCHistogrammerWrapper &w = make();
        m_device->m_left = -105;
        m_device->m_right = 107;
        m_device->m_width = 7;
        w.setBinWidth(10e-12);
        QVERIFY(settle(w));
        QCOMPARE(m_device->m_left, -110LL);
        QCOMPARE(m_device->m_right, 110LL);
        QCOMPARE(w.expectedBins(), 22);
        QVERIFY(near(w.dataContainer()->area().left(), -110e-12, 1e-20));

        // Already on the grid: unchanged.
        m_device->m_right = 120;
        w.setLeftBound(-100e-12);
        QVERIFY(settle(w));
        QCOMPARE(m_device->m_left, -100LL);
        QCOMPARE(m_device->m_right, 120LL);

        // Switched off (parameter files load several bounds in a row), the bounds stay as given.
        w.disableEdgesTrim();
        w.setRightBound(107e-12);
        QVERIFY(settle(w));
        QCOMPARE(m_device->m_right, 107LL);
        w.enableEdgesTrim();
        w.setRightBound(113e-12);
        QVERIFY(settle(w));
        QCOMPARE(m_device->m_right, 120LL);
    }

    void timeOffsetMovesTheWindowAndKeepsItsWidth()
    {
        TDCHistogrammerWrapper &w = make();
        QSignalSpy offset(&w, &TDCHistogrammerWrapper::timeOffsetChanged);
        w.setTimeOffset(5e-9);
        QVERIFY(settle(w));
        QCOMPARE(m_device->m_left, 5000LL);
        QCOMPARE(m_device->m_right, 15240LL);
        QCOMPARE(offset.count(), 1);
        QVERIFY(near(w.timeOffset(), 5e-9, 1e-20));
        QVERIFY(near(w.windowFSR(), 10240e-12, 1e-20));
        // The same offset again starts nothing.
        w.setTimeOffset(5e-9);
        QVERIFY(settle(w));
        QCOMPARE(offset.count(), 1);
        // Past the end: the window still ends at the maximum offset.
        w.setTimeOffset(2e-6);
        QVERIFY(settle(w));
        QVERIFY(m_device->m_right <= 1000000);
        QCOMPARE(m_device->m_right - m_device->m_left, 10240LL);
    }

    void channelSetters()
    {
        TDCHistogrammerWrapper &w = make();
        QSignalSpy refCh(&w, &TDCHistogrammerWrapper::refCHChanged);
        QSignalSpy refEdge(&w, &TDCHistogrammerWrapper::refPolarityChanged);
        QSignalSpy measCh(&w, &TDCHistogrammerWrapper::measCHChanged);
        m_device->clearCalls();
        w.setRefCH(1, 1);
        QVERIFY(settle(w));
        QVERIFY(!m_device->calls().contains("setRefCh"));
        QCOMPARE(refCh.count(), 0);

        w.setRefCH(1, 2);
        QVERIFY(settle(w));
        QCOMPARE(refCh.count(), 1);
        QCOMPARE(refEdge.count(), 1);
        QCOMPARE(w.refPolarity(), 2);

        w.setMeasChannel(2);
        QVERIFY(settle(w));
        QCOMPARE(measCh.count(), 0);
        w.setMeasChannel(3);
        QVERIFY(settle(w));
        QCOMPARE(measCh.count(), 1);
        QCOMPARE(w.measCH(), 3);
        QCOMPARE(w.measPolarity(), 1);

        w.swapChannels();
        QVERIFY(settle(w));
        QCOMPARE(w.refCH(), 3);
        QCOMPARE(w.refPolarity(), 1);
        QCOMPARE(w.measCH(), 1);
        QCOMPARE(w.measPolarity(), 2);
        QCOMPARE(measCh.count(), 2);

        // The sync input cannot be swapped into the measurement.
        w.setRefCH(0, 1);
        QVERIFY(settle(w));
        m_device->clearCalls();
        w.swapChannels();
        QVERIFY(settle(w));
        QCOMPARE(w.refCH(), 0);
        QVERIFY(!m_device->calls().contains("setMeasCh"));
    }

    void tasksSerialiseOnTheModuleMutex()
    {
        TDCHistogrammerWrapper &w = make();
        m_device->callTime = std::chrono::microseconds(200);
        for (int i = 1; i <= 12; ++i) {
            w.setLeftBound(-i * 100e-12);
            w.setRefCH(i % 4 + 1, 1 + i % 2);
            w.setBinWidth((10 + i) * 1e-12);
            w.resetIntegration();
            w.setIsActive(i % 2 == 0);
            (void)w.rightBound(); // reads on this thread take the same mutex
        }
        QVERIFY(settle(w, 20000));
        QVERIFY(!m_device->overlapped());
        m_device->callTime = std::chrono::microseconds(0);
    }

    void ratesWithAccumulateOffAndOn()
    {
        TDCHistogrammerWrapper &w = make();
        deliver(block(1024, {{3, 600}, {4, 400}}), 1);
        QCOMPARE(w.integrationEvent(), 1000ull);
        QCOMPARE(w.eventsRate(), 20000.0);
        // Without accumulation the rate is a whole number of events per second.
        w.setrefreshPeriod(30);
        deliver(block(1024, {{3, 1}}), 2);
        QCOMPARE(w.eventsRate(), 33.0);

        w.setrefreshPeriod(50);
        w.setAccumulate(true);
        QVERIFY(w.accumulate());
        deliver(block(1024, {{3, 1000}}), 1);
        QCOMPARE(w.eventsRate(), 20000.0);
        deliver(block(1024, {{3, 1500}}), 2);
        QCOMPARE(w.eventsRate(), 10000.0);
        // A period of no time is refused rather than divided by.
        w.setrefreshPeriod(0);
        QCOMPARE(w.refreshPeriod(), 50);
    }

    void integrationTimeAcrossPauses()
    {
        TDCHistogrammerWrapper &w = make();
        w.setIsActive(true);
        QVERIFY(settle(w));
        QVERIFY(m_device->calls().contains("enable 0.05 0"));
        for (std::uint32_t win = 1; win <= 3; ++win)
            deliver(block(1024, {{1, win}}), win);
        QCOMPARE(w.integrationTime(), 150ull);

        w.setIsActive(false);
        QVERIFY(settle(w));
        QVERIFY(m_device->calls().contains("pause"));
        deliver(block(1024, {{1, 3}}), 3, false); // the last block of the pause
        QCOMPARE(w.integrationTime(), 150ull);
        w.setIsActive(true);
        QVERIFY(settle(w));
        deliver(block(1024, {{1, 4}}), 1);
        QCOMPARE(w.integrationTime(), 200ull);
        deliver(block(1024, {{1, 5}}), 2);
        QCOMPARE(w.integrationTime(), 250ull);

        // A parameter change starts counting again.
        w.setBinWidth(20e-12);
        QVERIFY(settle(w));
        deliver(block(512, {{1, 1}}), 1);
        QCOMPARE(w.integrationTime(), 50ull);

        // Long runs do not wrap at 32 bits.
        w.setrefreshPeriod(60000);
        deliver(block(512, {{1, 1}}), 100000);
        QCOMPARE(w.integrationTime(), 6000000000ull);
        w.setIsActive(false);
        QVERIFY(settle(w));
    }

    void wholeAndVisibleStatistics()
    {
        TDCHistogrammerWrapper &w = make();
        deliver(block(1024, {{2, 3}, {3, 1}}), 1);
        QVERIFY(near(w.mean(), 22.5e-12, 1e-24));
        QVERIFY(near(w.std(), std::sqrt(0.1875) * 10e-12, 1e-24));
        QVERIFY(std::isnan(w.chartMean())); // no zoom yet: nothing visible

        QSignalSpy chartMean(&w, &TDCHistogrammerWrapper::chartMeanChanged);
        w.setZoomRect(QRectF(20e-12, 0, 20e-12, 100));
        QCOMPARE(chartMean.count(), 1);
        QVERIFY(near(w.chartMean(), 22.5e-12, 1e-24));
        w.setZoomRect(QRectF(20e-12, 0, 10e-12, 100));
        QVERIFY(near(w.chartMean(), 20e-12, 1e-24));
        QCOMPARE(w.chartStd(), 0.0);
        w.setZoomRect(QRectF(-1e-9, 0, 100e-12, 100));
        QVERIFY(std::isnan(w.chartMean()) && std::isnan(w.chartStd()));
        w.setXOffset(10e-12);
        QCOMPARE(chartMean.count(), 4);

        QVector<double> logs = w.logDataContainer()->data();
        QCOMPARE(logs[2], std::log10(3.0));
        QCOMPARE(logs[0], 0.0);

        deliver(block(1024, {}), 2);
        QVERIFY(std::isnan(w.mean()) && std::isnan(w.std()));
        QCOMPARE(w.logDataContainer()->data(), QVector<double>(1024, 0.0));
    }

    void peakAndAlign()
    {
        TDCHistogrammerWrapper &w = make();
        QVERIFY(!w.alignPeak());
        QVERIFY(std::isnan(w.alignTimeOffset()));
        QSignalSpy peak(&w, &TDCHistogrammerWrapper::peakChanged);
        deliver(block(1024, {{499, 50}, {500, 100}, {501, 50}}), 1);
        QCOMPARE(peak.count(), 1);
        QVERIFY(near(w.peak(), 5005e-12, 1e-20));
        QVERIFY(near(w.fwhm(), 20e-12, 1e-20));
        QCOMPARE(w.peakCounts(), 100.0);
        QVERIFY(near(w.alignTimeOffset(), 5005e-12 - 5120e-12, 1e-20));

        QVERIFY(w.alignPeak());
        QVERIFY(settle(w));
        // The window keeps its width and, on the bin grid, has the peak in its middle.
        QCOMPARE(m_device->m_right - m_device->m_left, 10240LL + 10);
        const double middle = (m_device->m_left + m_device->m_right) / 2.0 * 1e-12;
        QVERIFY(near(middle, 5005e-12, 10e-12));
    }

    void resetClearsTheChartOnlyWhenStopped()
    {
        TDCHistogrammerWrapper &w = make();
        deliver(block(1024, {{7, 9}}), 1);
        w.resetBtnFired();
        QVERIFY(settle(w));
        QCOMPARE(w.dataContainer()->data(), QVector<double>(1024, 0.0));

        w.setIsActive(true);
        QVERIFY(settle(w));
        deliver(block(1024, {{7, 9}}), 1);
        w.resetBtnFired();
        QVERIFY(settle(w));
        QCOMPARE(w.dataContainer()->data()[7], 9.0);
        w.setIsActive(false);
        QVERIFY(settle(w));
    }

    void blocksFromTheLibraryThreadKeepTheirWindowIndex()
    {
        TDCHistogrammerWrapper &w = make();
        w.setHistogramNumber(3);
        QSignalSpy windows(&w, &TDCHistogrammerWrapper::timeTriggerData);
        std::atomic<int> handled{0};
        connect(&w, &TDCHistogrammerWrapper::timeTriggerData, this, [&handled] { ++handled; });
        std::atomic<bool> quit{false};
        std::thread producer([&] {
            for (std::uint32_t win = 1; win <= 300 && !quit; ++win) {
                // Stay within what the wrapper queues, as a board at a sane period does.
                while (int(win) - handled > 32 && !quit)
                    std::this_thread::yield();
                m_device->deliver(block(1024, {{win % 1024, win}}), win, win != 300);
            }
        });
        // The GUI thread keeps reading while blocks arrive.
        QElapsedTimer timer;
        timer.start();
        while (windows.count() < 300 && timer.elapsed() < 20000) {
            QCoreApplication::processEvents();
            (void)w.integrationTime();
        }
        quit = true;
        producer.join();
        QCOMPARE(windows.count(), 300);
        QCOMPARE(w.droppedBlocks(), quint64(0));
        for (int i = 0; i < 300; ++i) {
            QCOMPARE(windows[i][0].toUInt(), 3u);
            QCOMPARE(windows[i][1].toUInt(), uint(i + 1));
            QCOMPARE(windows[i][2].toBool(), i == 299);
        }
        QCOMPARE(w.integrationTime(), 50ull * 299);
        QCOMPARE(w.integrationEvent(), 300ull);
    }

    void aGuiThreadFarBehindDropsBlocksButNeverTheLast()
    {
        TDCHistogrammerWrapper &w = make();
        QSignalSpy windows(&w, &TDCHistogrammerWrapper::timeTriggerData);
        for (std::uint32_t win = 1; win <= 100; ++win)
            QVERIFY(m_device->deliver(block(1024, {{1, win}}), win, true));
        QVERIFY(m_device->deliver(block(1024, {{1, 101}}), 101, false));
        QCOMPARE(w.droppedBlocks(), quint64(100 - TDCHistogrammerWrapper::maxQueuedBlocks));
        QCoreApplication::processEvents();
        QCOMPARE(windows.count(), TDCHistogrammerWrapper::maxQueuedBlocks + 1);
        QCOMPARE(windows.last()[1].toUInt(), 101u);
        QVERIFY(windows.last()[2].toBool());
        // Caught up: nothing is dropped any more.
        QVERIFY(m_device->deliver(block(1024, {{1, 1}}), 1, true));
        QCoreApplication::processEvents();
        QCOMPARE(w.droppedBlocks(), quint64(100 - TDCHistogrammerWrapper::maxQueuedBlocks));
        QCOMPARE(windows.count(), TDCHistogrammerWrapper::maxQueuedBlocks + 2);
    }

    void shortBlocksArePaddedAndLongOnesCut()
    {
        TDCHistogrammerWrapper &w = make();
        deliver(std::vector<std::uint64_t>{1, 2, 3}, 1);
        QCOMPARE(w.dataContainer()->data().size(), 1024);
        QCOMPARE(w.integrationEvent(), 6ull);
        std::vector<std::uint64_t> big(2000, 1);
        deliver(big, 2);
        QCOMPARE(w.dataContainer()->data().size(), 1024);
        QCOMPARE(w.integrationEvent(), 1024ull);
    }

    void reusedBuffersNeverChangeDataStillHeld()
    {
        // Buffers are recycled from block to block: a vector someone still holds (a plotter, a
        // file being written) must keep its values, and a short block after a full one must
        // not show the full one's tail.
        TDCHistogrammerWrapper &w = make();
        std::vector<std::uint64_t> full(1024, 9);
        deliver(full, 1);
        const QVector<double> heldCounts = w.dataContainer()->data();
        const QVector<double> heldLogs = w.logDataContainer()->data();
        for (std::uint32_t window = 2; window < 12; ++window) {
            if (window % 2)
                deliver(full, window);
            else
                deliver(block(1024, {{3, window}}), window);
        }
        QCOMPARE(heldCounts, QVector<double>(1024, 9.0));
        QCOMPARE(heldLogs, QVector<double>(1024, std::log10(9.0)));
        deliver(std::vector<std::uint64_t>{4, 5}, 12);
        QVector<double> expected(1024, 0.0);
        expected[0] = 4;
        expected[1] = 5;
        QCOMPARE(w.dataContainer()->data(), expected);
        QCOMPARE(w.logDataContainer()->data()[1], std::log10(5.0));
        QCOMPARE(w.logDataContainer()->data()[1023], 0.0);
        // Counts at 2^63 and beyond are converted exactly too.
        std::vector<std::uint64_t> huge(1024, 1);
        huge[5] = (std::uint64_t(1) << 63) + (std::uint64_t(1) << 20);
        deliver(huge, 13);
        QCOMPARE(w.dataContainer()->data()[5], double(huge[5]));
        QCOMPARE(w.dataContainer()->data()[6], 1.0);
    }

    void textFilesUseTheCurrentBounds()
    {
        TDCHistogrammerWrapper &w = make();
        w.setName("H");
        m_device->m_left = 100;
        deliver(block(1024, {{0, 4}, {2, 6}}), 1);
        const QString path = m_dir.filePath("whole.csv");
        QVERIFY(w.exportCSV(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        QCOMPARE(lines[0], QString("# ---------- H ---------- #"));
        QCOMPARE(lines[2], QString("1.1e-10,4"));
        QCOMPARE(lines[4], QString("1.3e-10,6"));
        QCOMPARE(lines.size(), 1024 + 5);
        QVERIFY(!w.exportCSV(m_dir.filePath("missing/x.csv")));

        // The visible range: bins 1 … 3 of the chart.
        m_device->m_left = 0;
        w.setZoomRect(QRectF(10e-12, 0, 30e-12, 100));
        const QString visible = m_dir.filePath("visible.csv");
        QVERIFY(w.exportVisibleCSV(visible));
        QFile vf(visible);
        QVERIFY(vf.open(QIODevice::ReadOnly));
        const QStringList v = QString::fromUtf8(vf.readAll()).split('\n');
        QCOMPARE(v[0], QString("# ---------- H ---------- #"));
        QCOMPARE(v[1], QString("# Visible range [s]: 1e-11 to 4e-11"));
        QVERIFY(v[2].startsWith("# Chart mean [s]: 2e-11"));
        QCOMPARE(v[4], QString("# Bin value [s], Counts"));
        QCOMPARE(v.mid(5, 3), QStringList({"2e-11,0", "3e-11,6", "4e-11,0"}));
        QCOMPARE(v[8], QString("# ---------------------------------------- #"));
        w.setZoomRect(QRectF(-1, 0, 1e-12, 100));
        QVERIFY(!w.exportVisibleCSV(visible));
    }

    void timeTriggerModeAndLogTexts()
    {
        TDCHistogrammerWrapper &w = make();
        g_messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collect);
        w.setLeftBound(-1e-9);
        QVERIFY(settle(w));
        w.setIsActive(true);
        QVERIFY(settle(w));
        w.startTimeTrigger(); // running on its own: not taken
        w.setIsActive(false);
        QVERIFY(settle(w));
        w.startTimeTrigger();
        w.setIsActive(true); // refused during a run
        qInstallMessageHandler(previous);

        const QStringList m = messages();
        QVERIFY(m.contains("Setting leftBound to: " + QString::number(-1e-9)));
        QVERIFY(m.contains("Setup runner to set leftBound asynchronously"));
        QVERIFY(m.contains("Runner set correclty for leftBound"));
        QVERIFY(m.contains("leftBound correclty set"));
        const QString id = w.modelUUID();
        QVERIFY(m.contains("Set isActive property of Histogrammer[" + id + "] to: true"));
        QVERIFY(m.contains("Runner to start/stop(false) the Histogrammer[" + id + "] started correctly"));
        QVERIFY(w.isTimeTrigActive());
        QVERIFY(!w.isActive());
        w.disableTimeTrigger();
        QVERIFY(!w.isTimeTrigActive());
    }

    void releasedWrapperIsCutOffFromItsModule()
    {
        TDCHistogrammerWrapper &w = make();
        // The callback as the library holds it, kept beyond the wrapper's release.
        HistogrammerDevice::Callback held = m_device->setCallback(HistogrammerDevice::Callback());
        m_device->setCallback(held);
        w.releaseModule();
        QVERIFY(!m_device->hasCallback());
        QCOMPARE(w.device(), nullptr);
        m_device->clearCalls();
        w.setBinWidth(1e-9);
        w.setIsActive(true);
        w.setAccumulate(true);
        w.swapChannels();
        QVERIFY(settle(w));
        QVERIFY(m_device->calls().isEmpty());
        // A block already on its way reaches nothing, even once the wrapper is gone.
        m_wrapper.reset();
        held(std::vector<std::uint64_t>(1024, 1), HistogrammerDevice::Status{1, true});
        QCoreApplication::processEvents();
    }
};

TESSARON_TEST_MAIN(QCoreApplication, HistogramWrapperTest)
#include "tst_histogramwrapper.moc"
