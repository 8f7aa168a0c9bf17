// The threshold model's voltage rules and persistence against the DACs of a virtual board.
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "programmablethresholdwrapper.h"
#include "tessaron/vectorstream.h"
#include "testmain.h"
#include "thresholdboard.h"

class ThresholdWrapperTest : public QObject {
    Q_OBJECT
private:
    ThresholdBoard m_board;
    double m_step = 0;

    std::unique_ptr<ProgrammableThresholdWrapper> makeWrapper()
    {
        // Every test starts from the same thresholds, whatever the one before left.
        for (std::uint16_t c = 1; c < m_board.channels; ++c)
            m_board.dac->setVoltage(c, 0.1);
        return std::make_unique<ProgrammableThresholdWrapper>(m_board.dac, &m_board.parent);
    }

    double board(std::uint16_t channel) { return m_board.dac->getVoltage(channel).second; }
    bool near(double a, double b) const { return std::abs(a - b) <= m_step; }

private slots:
    void initTestCase()
    {
        const QString failure = m_board.open();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        m_step = m_board.dac->step();
        tessaron::registerDoubleVectorStreamOperators();
    }

    void cleanupTestCase() { m_board.backend.reset(); }

    void channelsFromTheBoard()
    {
        auto wrapper = makeWrapper();
        const auto channels = wrapper->channels();
        QCOMPARE(channels.size(), int(m_board.channels));
        QCOMPARE(wrapper->persistedProperties(), QStringList{"dacVoltages"});
        QVERIFY(!wrapper->autoTuning());
        for (ProgrammableThresholdChannel *channel : channels) {
            const std::uint16_t c = channel->id();
            QCOMPARE(channel->parent(), wrapper.get());
            QCOMPARE(channel->fixed(), c == 0);
            QCOMPARE(channel->minVoltage(), m_board.dac->getRange(c).min);
            QCOMPARE(channel->maxVoltage(), m_board.dac->getRange(c).max);
            QVERIFY(!channel->selected());
            QVERIFY(channel->enabled());
            QVERIFY(!channel->pending());
            QCOMPARE(channel->voltage(), board(c));
        }
        QCOMPARE(channels[3]->voltage(), board(3));
        QVERIFY(near(channels[3]->voltage(), 0.1));

        // QML sees the channel list as a sequence of objects.
        const QVariant list = wrapper->property("channels");
        QVERIFY(list.canConvert<QVariantList>());
        const QVariantList items = list.value<QVariantList>();
        QCOMPARE(items.size(), channels.size());
        QCOMPARE(items[2].value<QObject *>(), channels[2]);
        QVERIFY(QMetaType::type("ProgrammableThresholdChannel*") != QMetaType::UnknownType);
        QVERIFY(QMetaType::type("QVector<double>") != QMetaType::UnknownType);

        // Writing a channel's properties changes the object only, and only on a real change.
        QSignalSpy voltage(channels[2], &ProgrammableThresholdChannel::voltageChanged);
        channels[2]->setVoltage(channels[2]->voltage() * (1 + 1e-14));
        QCOMPARE(voltage.count(), 0);
        QVERIFY(channels[2]->setProperty("voltage", 0.42));
        QCOMPARE(voltage.count(), 1);
        QTest::qWait(250);
        QVERIFY(near(board(2), 0.1));
        QVERIFY(!wrapper->flushPending());
    }

    // The backend may count more inputs than the DAC module has thresholds for: only the
    // DAC's channels are shown, whether one or many are missing.
    void channelsTheDacLacksAreNotShown()
    {
        const int dacChannels = int(m_board.dac->numChannels());
        for (int extra : {1, 5}) {
            QObject backend;
            backend.setProperty("numCh", dacChannels + extra);
            ProgrammableThresholdWrapper wrapper(m_board.dac, &backend);
            QCOMPARE(wrapper.channels().size(), dacChannels);
        }
    }

    void voltageIsCappedAboveOnly()
    {
        auto wrapper = makeWrapper();
        ProgrammableThresholdChannel *channel = wrapper->channels()[3];
        wrapper->setChVoltage(3, 3.1);
        QCOMPARE(channel->voltage(), 2.5);
        QVERIFY(channel->pending());
        wrapper->setChVoltage(3, -1);
        QCOMPARE(channel->voltage(), -1.0);
        // The board limits the voltage to its range; the channel then shows what applies.
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->flushPending(), 5000);
        QVERIFY(!channel->pending());
        QVERIFY(near(board(3), channel->minVoltage()));
        QCOMPARE(channel->voltage(), board(3));

        wrapper->setChVoltage(3, std::nan(""));
        wrapper->setChVoltage(3, INFINITY);
        QCOMPARE(channel->voltage(), board(3));
        QVERIFY(!wrapper->flushPending());
    }

    void selectionRules()
    {
        auto wrapper = makeWrapper();
        const auto channels = wrapper->channels();
        // A fixed channel in the selection keeps its threshold.
        channels[0]->setSelected(true);
        channels[1]->setSelected(true);
        const double sync = channels[0]->voltage();
        wrapper->setChVoltage(1, 0.5);
        QCOMPARE(channels[1]->voltage(), 0.5);
        QCOMPARE(channels[0]->voltage(), sync);
        QVERIFY(!channels[0]->pending());

        // Every selected programmable channel follows; the others stay.
        channels[4]->setSelected(true);
        wrapper->setChVoltage(4, 0.3);
        QCOMPARE(channels[1]->voltage(), 0.3);
        QCOMPARE(channels[4]->voltage(), 0.3);
        QVERIFY(near(channels[2]->voltage(), 0.1));
        QCOMPARE(channels[0]->voltage(), sync);

        // An unselected channel changes alone.
        wrapper->setChVoltage(5, 0.5);
        QCOMPARE(channels[5]->voltage(), 0.5);
        QCOMPARE(channels[1]->voltage(), 0.3);
        QCOMPARE(channels[4]->voltage(), 0.3);

        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->flushPending(), 5000);
        QVERIFY(near(board(1), 0.3));
        QVERIFY(near(board(4), 0.3));
        QVERIFY(near(board(5), 0.5));
        QVERIFY(near(board(2), 0.1));
        QCOMPARE(board(0), sync);
    }

    void movesWithinTheIntervalAreOneWrite()
    {
        auto wrapper = makeWrapper();
        MessageLog log;
        wrapper->setChVoltage(6, 0.2);
        wrapper->setChVoltage(6, 0.3);
        wrapper->setChVoltage(6, 0.4);
        QVERIFY(wrapper->flushPending());
        QVERIFY(near(board(6), 0.1));
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->flushPending(), 5000);
        const QStringList writes = log.matching("Write threshold");
        QCOMPARE(writes.size(), 1);
        QVERIFY2(writes[0].contains("0.4 V to channels 6"), qPrintable(writes[0]));
        QVERIFY(near(board(6), 0.4));
        QCOMPARE(wrapper->channels()[6]->voltage(), 0.4);

        // Another channel changed within the same interval keeps its own voltage.
        wrapper->setChVoltage(2, 0.25);
        wrapper->setChVoltage(7, 0.6);
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->flushPending(), 5000);
        QVERIFY(near(board(2), 0.25));
        QVERIFY(near(board(7), 0.6));
    }

    void channelOutOfRangeIsRefused()
    {
        auto wrapper = makeWrapper();
        MessageLog log;
        wrapper->setChVoltage(ushort(m_board.channels), 0.5);
        wrapper->setChEnable(ushort(m_board.channels + 4), false);
        QVERIFY(!wrapper->flushPending());
        const QStringList warnings = log.all(QtWarningMsg);
        QCOMPARE(warnings.size(), 2);
        QCOMPARE(warnings[0], QStringLiteral("Try to set ch. %1 when ProgrammableThreshold total channels are %1")
                                  .arg(m_board.channels));
    }

    void enableFollowsTheSelection()
    {
        auto wrapper = makeWrapper();
        const auto channels = wrapper->channels();
        channels[4]->setSelected(true);
        channels[5]->setSelected(true);
        QSignalSpy enabled(channels[5], &ProgrammableThresholdChannel::enabledChanged);
        wrapper->setChEnable(4, false);
        QVERIFY(!channels[4]->enabled());
        QVERIFY(!channels[5]->enabled());
        QVERIFY(channels[6]->enabled());
        QCOMPARE(enabled.count(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks(), 0, 10000);
        // A switched-off input counts nothing; its neighbour still counts.
        QCOMPARE(m_board.rate(5), 0.0);
        QVERIFY(m_board.rate(6) > 0);

        channels[4]->setSelected(false);
        wrapper->setChEnable(5, true);
        QVERIFY(channels[5]->enabled());
        QVERIFY(!channels[4]->enabled());
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks(), 0, 10000);
        QVERIFY(m_board.rate(5) > 0);
        QCOMPARE(m_board.rate(4), 0.0);
        wrapper->setChEnable(4, true);
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->runningTasks(), 0, 10000);
    }

    void dacVoltagesRoundTrip()
    {
        auto wrapper = makeWrapper();
        wrapper->setChVoltage(2, 0.35);
        wrapper->setChVoltage(3, 0.45);
        QTRY_VERIFY_WITH_TIMEOUT(!wrapper->flushPending(), 5000);
        const QVector<double> saved = wrapper->dacVoltages();
        QCOMPARE(saved.size(), int(m_board.channels));
        QCOMPARE(saved[2], 0.35);
        QCOMPARE(saved[3], 0.45);

        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        {
            QSettings settings(path, QSettings::IniFormat);
            wrapper->saveModelSettings(&settings);
        }
        // After a reconnection: the board is back at its thresholds, the stored ones return.
        wrapper.reset();
        auto restored = makeWrapper();
        QVERIFY(near(board(2), 0.1));
        QSettings settings(path, QSettings::IniFormat);
        restored->loadModelSettings(&settings);
        QCOMPARE(restored->channels()[2]->voltage(), 0.35);
        QCOMPARE(restored->channels()[3]->voltage(), 0.45);
        QVERIFY(near(board(2), 0.35));
        QVERIFY(near(board(3), 0.45));
        QCOMPARE(board(0), saved[0]);
    }

    void dacVoltagesOfAnotherBoardChangeNothing()
    {
        auto wrapper = makeWrapper();
        MessageLog log;
        const QVector<double> before = wrapper->dacVoltages();
        QVERIFY(wrapper->setProperty("dacVoltages", QVariant::fromValue(QVector<double>{0.3, 0.3, 0.3, 0.3})));
        QCOMPARE(wrapper->dacVoltages(), before);
        QVERIFY(near(board(1), 0.1));
        const QStringList warnings = log.all(QtWarningMsg);
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings[0].startsWith("Cannot load ProgrammableThreshold saved configuration.\n"));
        QVERIFY2(warnings[0].contains(QStringLiteral("Wrong number of channels: received 4 real %1").arg(m_board.channels)),
                 qPrintable(warnings[0]));

        QVector<double> damaged = before;
        damaged[2] = std::nan("");
        wrapper->setDacVoltages(damaged);
        QCOMPARE(wrapper->dacVoltages(), before);
        QCOMPARE(log.all(QtWarningMsg).size(), 2);
    }

    void releasingWritesWhatIsPendingThenLeavesTheBoardAlone()
    {
        auto wrapper = makeWrapper();
        wrapper->setChVoltage(7, 0.55);
        wrapper->releaseModule();
        QVERIFY(near(board(7), 0.55));
        QCOMPARE(wrapper->hardwareModule(), nullptr);

        wrapper->setChVoltage(7, 0.2);
        wrapper->setChEnable(7, false);
        wrapper->startAutoTuning();
        wrapper->setDacVoltages(QVector<double>(int(m_board.channels), 0.3));
        QTest::qWait(250);
        QVERIFY(!wrapper->autoTuning());
        QVERIFY(near(board(7), 0.55));
        QVERIFY(m_board.rate(7) > 0);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, ThresholdWrapperTest)
#include "tst_thresholdwrapper.moc"
