// The legacy histogram model against the legacy histogrammer of a virtual board.
#include <QCoreApplication>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

#include "chartelle/filter1d.h"
#include "legacyboards.h"
#include "tdcoldhistogrammerwrapper.h"
#include "testmain.h"

class OldHistogrammerWrapperTest : public QObject {
    Q_OBJECT
private:
    std::vector<std::unique_ptr<LegacyBoard>> m_boards;
    TDCOldHistogrammerModule *m_module = nullptr;
    QObject *m_facts = nullptr;

    std::unique_ptr<TDCOldHistogrammerWrapper> makeWrapper()
    {
        auto wrapper = std::make_unique<TDCOldHistogrammerWrapper>(m_module, m_facts);
        // The construction sets 10 ps bins in a task.
        [&] { QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks(), 0, 10000); }();
        return wrapper;
    }

private slots:
    void initTestCase()
    {
        const QString failure = openLegacyBoards(m_boards, 1);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        m_module = m_boards[0]->legacy;
        m_facts = &m_boards[0]->facts;
    }

    void cleanupTestCase() { m_boards.clear(); }

    void constantsFromTheBoard()
    {
        auto wrapper = makeWrapper();
        const unsigned stamp = m_facts->property("bitCoarse").toUInt() + m_facts->property("bitFine").toUInt()
                               + m_module->bitOverflow;
        QCOMPARE(wrapper->bitTimeStamp(), stamp);
        QCOMPARE(wrapper->maxBitTrunc(), stamp - m_module->bin_addr_width);
        QCOMPARE(wrapper->maxBitTrunc(), m_module->maxBitTrunc());
        QCOMPARE(wrapper->binAddrWidth(), m_module->bin_addr_width);
        QCOMPARE(wrapper->binDataWidth(), m_module->bin_data_width);
        const double minBin = m_facts->property("minBinWidth").toDouble();
        QCOMPARE(wrapper->maxFSR(), minBin * std::pow(2.0, stamp));
        QCOMPARE(wrapper->minWindowFSR(), minBin * std::pow(2.0, m_module->bin_addr_width));
        QCOMPARE(wrapper->persistedProperties(),
                 (QStringList{"refCH", "refPolarity", "measCH", "measPolarity", "bitTrunc", "timeOffset", "autopush", "name"}));
        // 10 ps bins: the nearest power of two of 1 ps is 8 ps.
        QCOMPARE(wrapper->binWidth(), m_module->getBinW().count());
        QVERIFY(std::abs(wrapper->binWidth() - 1e-11) < 5e-12);
        QCOMPARE(wrapper->dataContainer()->data().size(), 1 << m_module->bin_addr_width);
        QCOMPARE(wrapper->dataContainer()->area().width(), wrapper->windowFSR());
        QVERIFY(wrapper->name().startsWith("Histogram "));
    }

    void bitTruncationLimit()
    {
        auto wrapper = makeWrapper();
        QSignalSpy changed(wrapper.get(), &TDCOldHistogrammerWrapper::bitTruncChanged);
        const uint before = wrapper->bitTrunc();
        wrapper->setBitTrunc(wrapper->maxBitTrunc() + 1);
        QCOMPARE(wrapper->runningTasks(), 0);
        QCOMPARE(wrapper->bitTrunc(), before);
        wrapper->setBitTrunc(wrapper->maxBitTrunc());
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 10000);
        QCOMPARE(changed.takeFirst().at(0).toUInt(), wrapper->maxBitTrunc());
        QCOMPARE(uint(m_module->getBitTrunc(true)), wrapper->maxBitTrunc());
        QCOMPARE(wrapper->binWidth(), m_facts->property("minBinWidth").toDouble() * std::pow(2.0, wrapper->maxBitTrunc()));
        wrapper->setBitTrunc(3);
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->bitTrunc(), 3u, 10000);
    }

    void offsetChangesWithin200msAreOneUpdate()
    {
        auto wrapper = makeWrapper();
        MessageLog log;
        QSignalSpy applied(wrapper.get(), &TDCOldHistogrammerWrapper::timeOffsetChanged);
        const double fsr = wrapper->windowFSR();
        wrapper->setTimeOffset(fsr);
        wrapper->setTimeOffset(2 * fsr);
        wrapper->setTimeOffset(3 * fsr);
        QVERIFY(wrapper->offsetPending());
        QCOMPARE(log.count("Setting timeOffset Timer"), 1);
        QTRY_COMPARE_WITH_TIMEOUT(applied.count(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks(), 0, 10000);
        QCOMPARE(log.count("Setting time offset to: "), 1);
        QVERIFY(std::abs(applied.takeFirst().at(0).toDouble() - 3 * fsr) < 1e-12);
        QVERIFY(std::abs(m_module->getTimeOffset(true).count() - 3 * fsr) < 1e-12);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(wrapper->dataContainer()->area().left() - 3 * fsr) < 1e-12, 5000);

        // Clamped into the time-stamp range.
        wrapper->setTimeOffset(-1);
        QTRY_COMPARE_WITH_TIMEOUT(applied.count(), 1, 10000);
        QCOMPARE(applied.takeFirst().at(0).toDouble(), 0.0);
        wrapper->setTimeOffset(1e6);
        QTRY_COMPARE_WITH_TIMEOUT(applied.count(), 1, 10000);
        QVERIFY(applied.takeFirst().at(0).toDouble() <= wrapper->maxFSR() - fsr + 1e-12);
        wrapper->setTimeOffset(0);
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks() == 0 && !wrapper->offsetPending(), true, 10000);
    }

    // Asking for more than the time stamps reach gives the last window that fits, not a
    // refusal that leaves the old offset in place.
    void theLargestOffsetIsTheLastWindowThatFits()
    {
        auto wrapper = makeWrapper();
        QSignalSpy applied(wrapper.get(), &TDCOldHistogrammerWrapper::timeOffsetChanged);
        const double highest = wrapper->maxFSR() - wrapper->windowFSR();
        QVERIFY(highest > 0);
        wrapper->setTimeOffset(1e6);
        QTRY_COMPARE_WITH_TIMEOUT(applied.count(), 1, 10000);
        const double got = applied.takeFirst().at(0).toDouble();
        QVERIFY2(std::abs(got - highest) <= 1e-9 * highest, qPrintable(QString::number(got)));
        wrapper->setTimeOffset(0);
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks() == 0 && !wrapper->offsetPending(), true, 10000);
    }

    void forcePushTimer()
    {
        auto wrapper = makeWrapper();
        QCOMPARE(wrapper->forcePushInterval(), 2500);
        QVERIFY(!wrapper->forcePushRunning());
        wrapper->setRefreshRate(2);
        QCOMPARE(wrapper->forcePushInterval(), 2000);
        QVERIFY(!wrapper->forcePushRunning());
        wrapper->setIsActive(true);
        QVERIFY(wrapper->forcePushRunning());
        wrapper->setForceAutopush(false);
        QVERIFY(!wrapper->forcePushRunning());
        wrapper->setRefreshActive(true);
        QVERIFY(wrapper->forcePushRunning());
        wrapper->setRefreshActive(false);
        wrapper->setForceAutopush(true);
        QVERIFY(wrapper->forcePushRunning());
        wrapper->setRefreshRate(0);
        QCOMPARE(wrapper->forcePushInterval(), 2000);

        // A tick asks the running board for its counts; nothing else pushes them.
        wrapper->setRefCH(1, TDCChannel::RISING);
        wrapper->setMeasCH(2, TDCChannel::RISING);
        QVERIFY(!m_module->setAutoPush(false));
        QTRY_VERIFY_WITH_TIMEOUT(m_module->isStarted(true), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(wrapper->integrationEvent() > 0, 8000);
        wrapper->setIsActive(false);
        QVERIFY(!wrapper->forcePushRunning());
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks(), 0, 10000);
    }

    void countsStatisticsAndRate()
    {
        auto wrapper = makeWrapper();
        // Channel 2 takes half of channel 1's pulses 12 ns later.
        wrapper->setRefCH(1, TDCChannel::RISING);
        wrapper->setMeasCH(2, TDCChannel::RISING);
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks(), 0, 10000);
        QCOMPARE(wrapper->refCH(), 1);
        QCOMPARE(wrapper->measCH(), 2);
        wrapper->setAutopush(true);
        wrapper->setIsActive(true);
        QTRY_VERIFY_WITH_TIMEOUT(wrapper->integrationEvent() > 20, 20000);
        QVERIFY(std::abs(wrapper->mean() - 12e-9) < 1e-9);
        QVERIFY(wrapper->std() < 1e-9);
        QVERIFY(wrapper->eventsRate() > 0 && std::isfinite(wrapper->eventsRate()));
        wrapper->setIsActive(false);
        wrapper->setAutopush(false);
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks(), 0, 10000);

        // Two blocks within the same millisecond keep a finite rate.
        QVector<double> block(1 << wrapper->binAddrWidth(), 0.0);
        block[3] = 10;
        emit wrapper->newData(block, 10);
        emit wrapper->newData(block, 20);
        QVERIFY(std::isfinite(wrapper->eventsRate()));
        QVERIFY(wrapper->eventsRate() >= 0);
        // An empty histogram has no mean.
        emit wrapper->newData(QVector<double>(block.size(), 0.0), 0);
        QVERIFY(std::isnan(wrapper->mean()));
    }

    void badChannelsAreRefused()
    {
        auto wrapper = makeWrapper();
        MessageLog log;
        const int ref = wrapper->refCH();
        wrapper->setRefCH(999, TDCChannel::RISING);
        wrapper->setRefCH(1, 7);
        wrapper->setMeasChannel(-1);
        QCOMPARE(wrapper->runningTasks(), 0);
        QCOMPARE(wrapper->refCH(), ref);
        int warnings = 0;
        for (const auto &e : log.entries())
            warnings += e.type == QtWarningMsg ? 1 : 0;
        QCOMPARE(warnings, 3);
    }

    void tasksAndTheGuiThreadTakeTurnsOnTheModule()
    {
        // Every parameter task reads back what it set; tasks that overlapped another's calls
        // would read the other's value.
        auto wrapper = makeWrapper();
        MessageLog log;
        QSignalSpy changed(wrapper.get(), &TDCOldHistogrammerWrapper::bitTruncChanged);
        QMap<uint, int> requested;
        for (int i = 0; i < 40; ++i) {
            const uint value = 2 + uint(i % 4);
            const int before = log.count("Setup runner to set bitTrunc");
            wrapper->setBitTrunc(value);
            if (log.count("Setup runner to set bitTrunc") > before)
                ++requested[value];
            wrapper->resetIntegration();
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks(), 0, 20000);
        int expected = 0;
        for (int n : requested)
            expected += n;
        QVERIFY(expected > 0);
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), expected, 10000);
        QMap<uint, int> reported;
        for (const QList<QVariant> &args : changed)
            ++reported[args.at(0).toUInt()];
        QCOMPARE(reported, requested);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, OldHistogrammerWrapperTest)
#include "tst_oldhistogrammerwrapper.moc"
