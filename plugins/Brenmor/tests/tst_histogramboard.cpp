// The histogram wrapper and a time-trigger run against the histogrammers of a virtual board:
// the correlated pair of the board's default profile (channel 1 to channel 2, 12 ns apart)
// shows up as the peak, and a grouped run delivers every window into files.
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

#include "tdc/tdcbackend.h"
#include "tdc/tdchistogrammermodule.h"
#include "tdchistogrammerwrapper.h"
#include "testmain.h"
#include "timetriggermodel.h"

namespace {
bool settle(TDCHistogrammerWrapper &w)
{
    QElapsedTimer timer;
    timer.start();
    while (w.runningTasks() > 0 && timer.elapsed() < 10000)
        QThread::msleep(1);
    QCoreApplication::processEvents();
    return w.runningTasks() == 0;
}
} // namespace

class HistogramBoardTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TDCBackend> m_backend;
    std::vector<TDCHistogrammerModule *> m_modules;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        qputenv("TESSARON_VIRTUAL_BOARDS", "1");
        m_backend = std::make_unique<TDCBackend>();
        const auto devices = m_backend->getDevices().first;
        QVERIFY2(!devices.empty(), "no virtual board listed");
        QVERIFY(!m_backend->open(devices.front(), {{"baudrate", "2000000"}}, 5000));
        m_backend->loadModules(0);
        for (TessaronModule *module : m_backend->getModules())
            if (auto *h = dynamic_cast<TDCHistogrammerModule *>(module))
                m_modules.push_back(h);
        QVERIFY2(m_modules.size() >= 2, "the virtual board has fewer than two histogrammers");
    }

    void cleanupTestCase() { m_backend.reset(); }

    void theCorrelatedPairMakesThePeak()
    {
        TDCHistogrammerWrapper w(m_modules[0], nullptr);
        QCOMPARE(w.numBins(), m_modules[0]->memoryBins);
        w.setRefCH(1, 1);
        w.setMeasCH(2, 1);
        w.disableEdgesTrim();
        w.setLeftBound(0.0);
        w.setRightBound(50e-9);
        w.setBinWidth(100e-12);
        QVERIFY(settle(w));
        w.enableEdgesTrim();
        QCOMPARE(w.refCH(), 1);
        QCOMPARE(w.measCH(), 2);
        QVERIFY(std::abs(w.binWidth() - 100e-12) < 1e-15);
        QCOMPARE(w.expectedBins(), 500);
        w.setAccumulate(true);
        w.setrefreshPeriod(20);

        QSignalSpy blocks(&w, &TDCHistogrammerWrapper::timeTriggerData);
        w.setIsActive(true);
        QTRY_VERIFY_WITH_TIMEOUT(w.peakCounts() >= 20, 15000);
        QCOMPARE(w.numBins(), 500u);
        QVERIFY2(std::abs(w.peak() - 12e-9) <= 100e-12, qPrintable(QString::number(w.peak())));
        QVERIFY(w.fwhm() > 0 && w.fwhm() < 2e-9);
        QVERIFY(w.eventsRate() >= 0);
        QVERIFY(w.integrationTime() > 0);
        QVERIFY(std::abs(w.mean() - 12e-9) < 2e-9);

        // Align: the window keeps its width and the peak moves to its middle.
        const double width = w.windowFSR();
        QVERIFY(w.alignPeak());
        QVERIFY(settle(w));
        // Both bounds go to the bin grid, so the window may grow by one bin.
        QVERIFY2(std::abs(w.windowFSR() - width) <= 1.5 * w.binWidth(), qPrintable(QString("%1 %2 %3 %4").arg(w.leftBound()).arg(w.rightBound()).arg(w.windowFSR()).arg(width)));
        QVERIFY(std::abs(w.leftBound() + w.windowFSR() / 2 - 12e-9) <= 2 * w.binWidth());
        const int before = blocks.count();
        QTRY_VERIFY_WITH_TIMEOUT(blocks.count() > before + 3 && w.peakCounts() >= 5, 15000);
        QVERIFY2(std::abs(w.peak() - 12e-9) <= 100e-12, qPrintable(QString::number(w.peak())));

        w.setIsActive(false);
        QVERIFY(settle(w));
        w.releaseModule();
        QVERIFY(!m_modules[0]->setCallback(TDCHistogrammerModule::Callback()));
    }

    void aGroupedRunWritesEveryWindow()
    {
        auto a = std::make_unique<TDCHistogrammerWrapper>(m_modules[0], nullptr);
        auto b = std::make_unique<TDCHistogrammerWrapper>(m_modules[1], nullptr);
        a->setName("A");
        b->setName("B");
        b->setRefCH(3, 1);
        b->setMeasCH(4, 1);
        QVERIFY(settle(*b));
        TimeTriggerModel model;
        QDir(m_dir.path()).mkpath("run");
        model.setFolder(QUrl::fromLocalFile(m_dir.path()));
        model.setSubFolder("run");
        model.setFilePrefix("w");
        model.setExtension({".csv"});
        model.setRefreshPeriod(20);
        model.setRepetition(6);
        model.addHistModel(a.get());
        model.addHistModel(b.get());
        QStringList order;
        for (TDCHistogrammerWrapper *w : {a.get(), b.get()})
            connect(w, &TDCHistogrammerWrapper::timeTriggerData, this,
                    [&order](uint h, uint win, bool last) { order << QString("%1:%2%3").arg(h).arg(win).arg(last ? "L" : ""); });
        model.setEnableTimeTrigger(true);
        QVERIFY(a->isTimeTrigActive() && b->isTimeTrigActive());
        QTRY_VERIFY_WITH_TIMEOUT(!model.enableTimeTrigger(), 15000);
        QVERIFY2(model.winNum() == 6u, qPrintable(order.join(' ')));
        QVERIFY2(model.lostWindows() == 0u,
                 qPrintable(QString("lost %1: by A %2, by B %3; blocks dropped by A %4, by B %5; %6")
                                .arg(model.lostWindows()).arg(model.lostBy(0)).arg(model.lostBy(1))
                                .arg(a->droppedBlocks()).arg(b->droppedBlocks()).arg(order.join(' '))));
        model.waitForWrites();
        QCoreApplication::processEvents();
        for (int n = 1; n <= 6; ++n)
            for (const char *name : {"A", "B"})
                QVERIFY2(QFileInfo::exists(m_dir.filePath(QString("run/w%1_%2.csv").arg(n).arg(name))),
                         qPrintable(QString("window %1 of %2").arg(n).arg(name)));
        QVERIFY(model.savedFilesSize() > 0);
        QVERIFY(!a->isTimeTrigActive() && !b->isTimeTrigActive());
    }

    void aWrapperReleasedDuringARunLeavesItCleanly()
    {
        auto a = std::make_unique<TDCHistogrammerWrapper>(m_modules[0], nullptr);
        auto b = std::make_unique<TDCHistogrammerWrapper>(m_modules[1], nullptr);
        TimeTriggerModel model;
        model.setExtension({".png"});
        model.setRefreshPeriod(20);
        model.addHistModel(a.get());
        model.addHistModel(b.get());
        QSignalSpy images(&model, &TimeTriggerModel::exportHistogram);
        model.setEnableTimeTrigger(true);
        QTRY_VERIFY_WITH_TIMEOUT(images.count() >= 2, 10000);
        // The program lets go of a model when the board goes (disconnection) …
        a->releaseModule();
        QCOMPARE(a->device(), nullptr);
        // … and the run is stopped afterwards by its view.
        model.setEnableTimeTrigger(false);
        QVERIFY(!a->isTimeTrigActive() && !b->isTimeTrigActive());
        QVERIFY(!m_modules[1]->isRunning());
        a.reset();
        QTest::qWait(100);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, HistogramBoardTest)
#include "tst_histogramboard.moc"
