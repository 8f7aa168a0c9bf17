// The board's threshold search started from the model, against a virtual board whose inputs
// have a noise wall below and a pulse-height edge above a plateau of flat rates.
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cmath>

#include "programmablethresholdwrapper.h"
#include "testmain.h"
#include "thresholdboard.h"

class ThresholdTuningTest : public QObject {
    Q_OBJECT
private:
    ThresholdBoard m_board;

    std::unique_ptr<ProgrammableThresholdWrapper> makeWrapper()
    {
        return std::make_unique<ProgrammableThresholdWrapper>(m_board.dac, &m_board.parent);
    }

    void setSweep(unsigned steps, int gateMs)
    {
        const auto applied = m_board.dac->setSweep(steps, std::chrono::milliseconds(gateMs));
        QVERIFY(!applied.first);
        QCOMPARE(applied.second.first, steps);
    }

private slots:
    void initTestCase()
    {
        const QString failure = m_board.open();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void cleanupTestCase() { m_board.backend.reset(); }

    void everyChannelLandsInItsPlateauAndTheRatesFollow()
    {
        // A short sweep: 40 steps of 25 ms still see a plateau of several steps.
        setSweep(40, 25);
        auto wrapper = makeWrapper();
        const auto channels = wrapper->channels();
        // Channel 3 starts high on the pulse-height edge, where it counts a small part of its
        // pulses.
        wrapper->setChVoltage(3, 0.62);
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->flushPending(), 5000);
        const double edgeRate = m_board.rate(3);

        QSignalSpy tuning(wrapper.get(), &ProgrammableThresholdWrapper::autoTuningChanged);
        QSignalSpy failed(wrapper.get(), &ProgrammableThresholdWrapper::cannotAutoTuningCh);
        // Everything QML reads must change on the GUI thread.
        std::atomic<int> offThread{0};
        QThread *gui = QThread::currentThread();
        for (ProgrammableThresholdChannel *channel : channels)
            connect(channel, &ProgrammableThresholdChannel::voltageChanged, channel,
                    [&offThread, gui] { if (QThread::currentThread() != gui) ++offThread; }, Qt::DirectConnection);
        connect(wrapper.get(), &ProgrammableThresholdWrapper::autoTuningChanged, wrapper.get(),
                [&offThread, gui] { if (QThread::currentThread() != gui) ++offThread; }, Qt::DirectConnection);

        MessageLog log;
        wrapper->startAutoTuning();
        QVERIFY(wrapper->autoTuning());
        QCOMPARE(tuning.count(), 1);
        // A second start while the search runs is refused, not turned into busy channels.
        wrapper->startAutoTuning();
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->autoTuning(), 30000);
        QCOMPARE(tuning.count(), 2);
        QCOMPARE(offThread.load(), 0);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(log.matching("already running").size(), 1);
        QCOMPARE(log.matching("ProgrammableThreshold AutoTuning Completed").size(), 1);

        // Nothing was selected: every programmable channel was tuned, the sync one skipped.
        for (ProgrammableThresholdChannel *channel : channels) {
            const std::uint16_t c = channel->id();
            if (channel->fixed())
                continue;
            const auto plateau = m_board.dac->getPlateau(c);
            QVERIFY2(!plateau.first, qPrintable(QStringLiteral("channel %1: %2").arg(c).arg(QString::fromStdString(plateau.first.message()))));
            QVERIFY2(channel->voltage() >= plateau.second.from && channel->voltage() <= plateau.second.to,
                     qPrintable(QStringLiteral("channel %1 at %2 V, plateau %3 … %4 V").arg(c)
                                    .arg(channel->voltage()).arg(plateau.second.from).arg(plateau.second.to)));
            QCOMPARE(channel->voltage(), m_board.dac->getVoltage(c).second);
        }
        // On its plateau channel 3 counts all of its pulses again, as the board found.
        const double plateauRate = m_board.dac->getPlateau(3).second.rate;
        const double tunedRate = m_board.rate(3, 1.0);
        QVERIFY2(edgeRate < 0.3 * plateauRate, qPrintable(QStringLiteral("%1 vs %2").arg(edgeRate).arg(plateauRate)));
        QVERIFY2(std::abs(tunedRate - plateauRate) < 0.15 * plateauRate,
                 qPrintable(QStringLiteral("%1 vs %2").arg(tunedRate).arg(plateauRate)));
    }

    void everyChannelAtTheBoardsDefaultSweep()
    {
        // The GUI's case: nothing selected, so all channels sweep together at the board's
        // default sweep (4 s of board time) through the noise, while the watcher polls.
        setSweep(100, 40);
        auto wrapper = makeWrapper();
        const auto channels = wrapper->channels();
        for (ProgrammableThresholdChannel *channel : channels)
            if (!channel->fixed())
                wrapper->setChVoltage(channel->id(), 0.9);
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->flushPending(), 5000);
        QSignalSpy failed(wrapper.get(), &ProgrammableThresholdWrapper::cannotAutoTuningCh);
        MessageLog log;
        wrapper->startAutoTuning();
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->autoTuning(), 60000);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(log.all(QtWarningMsg), QStringList());
        int tuned = 0;
        for (ProgrammableThresholdChannel *channel : channels) {
            if (channel->fixed())
                continue;
            const auto plateau = m_board.dac->getPlateau(channel->id());
            QVERIFY2(!plateau.first, qPrintable(QString::fromStdString(plateau.first.message())));
            QVERIFY2(channel->voltage() >= plateau.second.from && channel->voltage() <= plateau.second.to,
                     qPrintable(QStringLiteral("channel %1 at %2 V").arg(channel->id()).arg(channel->voltage())));
            ++tuned;
        }
        QCOMPARE(tuned, int(m_board.channels) - 1);
        QVERIFY(tuned >= 8);
    }

    void onlyTheSelectionIsTuned()
    {
        setSweep(40, 25);
        auto wrapper = makeWrapper();
        const auto channels = wrapper->channels();
        wrapper->setChVoltage(2, 0.7);
        wrapper->setChVoltage(5, 0.7);
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->flushPending(), 5000);
        channels[5]->setSelected(true);
        wrapper->startAutoTuning();
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->autoTuning(), 30000);
        QVERIFY(channels[5]->voltage() < 0.5);
        // An unselected channel keeps its threshold on the board.
        QCOMPARE(channels[2]->voltage(), 0.7);
        QVERIFY(std::abs(m_board.dac->getVoltage(2).second - 0.7) <= m_board.dac->step());
    }

    void abortEndsWithoutWarnings()
    {
        // The default sweep takes four seconds: long enough to abort in the middle.
        setSweep(100, 40);
        auto wrapper = makeWrapper();
        const QVector<double> before = wrapper->dacVoltages();
        QSignalSpy failed(wrapper.get(), &ProgrammableThresholdWrapper::cannotAutoTuningCh);
        MessageLog log;
        wrapper->startAutoTuning();
        QTRY_VERIFY_WITH_TIMEOUT(m_board.dac->autoThresholdRunning(), 10000);
        QTest::qWait(300);
        wrapper->abortAutoTuning();
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->autoTuning(), 10000);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(log.all(QtWarningMsg), QStringList());
        QCOMPARE(log.matching("Abort AutoTuning:  true").size(), 1);
        // The board put every channel back where it was.
        QCOMPARE(wrapper->dacVoltages(), before);
        for (ProgrammableThresholdChannel *channel : wrapper->channels())
            QCOMPARE(m_board.dac->getVoltage(channel->id()).second, channel->voltage());
    }

    void releasingAbortsARunningSearch()
    {
        setSweep(100, 40);
        auto wrapper = makeWrapper();
        wrapper->startAutoTuning();
        QTRY_VERIFY_WITH_TIMEOUT(m_board.dac->autoThresholdRunning(), 10000);
        wrapper->releaseModule();
        QCOMPARE(wrapper->runningTasks(), 0);
        QVERIFY(!m_board.dac->autoThresholdRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->autoTuning(), 5000);
        // A model deleted while its results are still queued drops them.
        wrapper.reset();
        QCoreApplication::processEvents();
    }
};

TESSARON_TEST_MAIN(QCoreApplication, ThresholdTuningTest)
#include "tst_thresholdtuning.moc"
