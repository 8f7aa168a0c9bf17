// The rate histories of the counter model, without a board.
#include <QtTest>

#include "counterhistory.h"
#include "testmain.h"

class CounterHistoryTest : public QObject {
    Q_OBJECT
private slots:
    void sampleAppendsRatesAndShifts()
    {
        CounterHistory history(3, 100);
        QCOMPARE(history.histories().size(), 3);
        QVERIFY(history.applySample(0.2, {1000, 50}));
        QCOMPARE(history.histories()[0].size(), 100);
        QCOMPARE(history.histories()[0].last(), 5000.0);
        QCOMPARE(history.histories()[1].last(), 250.0);
        QCOMPARE(history.histories()[2].last(), 0.0);   // no count for it: unchanged
        QCOMPARE(history.clock(), 5000.0);

        QVERIFY(history.applySample(0.5, {10, 20}));
        QCOMPARE(history.histories()[0].size(), 100);
        QCOMPARE(history.histories()[0][98], 5000.0);
        QCOMPARE(history.histories()[0][99], 20.0);
        QCOMPARE(history.clock(), 20.0);
    }

    void countsBeyondTheHistoriesAreIgnored()
    {
        CounterHistory history(2, 4);
        QVERIFY(history.applySample(1.0, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
        QCOMPARE(history.histories().size(), 2);
        QCOMPARE(history.histories()[0], (QVector<double>{0, 0, 0, 1}));
        QCOMPARE(history.histories()[1], (QVector<double>{0, 0, 0, 2}));
    }

    void samplesWithoutRateAreRefused()
    {
        CounterHistory history(2, 3);
        QVERIFY(history.applySample(1.0, {7, 8}));
        const auto before = history.histories();
        QVERIFY(!history.applySample(0.0, {1, 2}));
        QVERIFY(!history.applySample(-1.0, {1, 2}));
        QVERIFY(!history.applySample(std::nan(""), {1, 2}));
        QVERIFY(!history.applySample(1.0, {}));
        QCOMPARE(history.histories(), before);
        QCOMPARE(history.clock(), 7.0);
    }

    void resizingKeepsTheFirstValues()
    {
        CounterHistory history(2, 100);
        for (int i = 1; i <= 100; ++i)
            history.applySample(1.0, {std::uint32_t(i), std::uint32_t(2 * i)});
        history.setLength(50);
        QCOMPARE(history.histories()[0].size(), 50);
        QCOMPARE(history.histories()[0].first(), 1.0);
        QCOMPARE(history.histories()[0].last(), 50.0);
        QCOMPARE(history.histories()[1].last(), 100.0);
        history.setLength(100);
        QCOMPARE(history.histories()[0].size(), 100);
        QCOMPARE(history.histories()[0][49], 50.0);
        QCOMPARE(history.histories()[0][50], 0.0);
        QCOMPARE(history.histories()[0].last(), 0.0);
        QCOMPARE(history.length(), 100);
    }

    void boardWithoutChannels()
    {
        CounterHistory history(0, 100);
        QVERIFY(history.histories().isEmpty());
        QVERIFY(history.applySample(0.2, {1000}));   // the clock still reads
        QCOMPARE(history.clock(), 5000.0);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, CounterHistoryTest)
#include "tst_counterhistory.moc"
