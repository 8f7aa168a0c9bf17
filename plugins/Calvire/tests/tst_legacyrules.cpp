// The legacy model's arithmetic: derived constants, the events rate, finished extensions.
#include <QtTest>

#include <cmath>

#include "legacyrules.h"
#include "testmain.h"

class LegacyRulesTest : public QObject {
    Q_OBJECT
private slots:
    void derivedConstants()
    {
        // 8 coarse, 16 fine and 8 overflow bits of 1 ps; 2^12 bins.
        const LegacyConstants c = legacyConstants(8, 16, 8, 12, 1e-12);
        QCOMPARE(c.bitTimeStamp, 32u);
        QCOMPARE(c.maxBitTrunc, 20u);
        QCOMPARE(c.maxFSR, 1e-12 * 4294967296.0);
        QCOMPARE(c.minWindowFSR, 4.096e-9);
        // More address bits than time-stamp bits leaves nothing to truncate, not a wrap.
        QCOMPARE(legacyConstants(2, 2, 0, 12, 1e-12).maxBitTrunc, 0u);
    }

    void eventsRate()
    {
        QCOMPARE(::eventsRate(1000, 3000, 0, 500000000, 0), 4000.0);
        // Two blocks in the same instant, or the clock not moving: the previous rate stands.
        QCOMPARE(::eventsRate(1000, 3000, 7000000, 7000000, 123.0), 123.0);
        QCOMPARE(::eventsRate(1000, 3000, 7000001, 7000000, 123.0), 123.0);
        // Within one millisecond the nanoseconds still tell the blocks apart.
        QCOMPARE(::eventsRate(0, 10, 1000000, 1000500, 0), 2e7);
        // A reset between the blocks: all counts are new.
        QCOMPARE(::eventsRate(5000, 200, 0, 1000000000, 0), 200.0);
        QVERIFY(std::isfinite(::eventsRate(0, 0, 5, 5, 0)));
    }

    void completedExtensions()
    {
        QCOMPARE(completedExtension(".png"), QString(".png"));
        QCOMPARE(completedExtension("/data/run0.png"), QString(".png"));
        // Dots in the folders are not the file's extension.
        QCOMPARE(completedExtension("/data/run.2/legacy0.jpeg"), QString(".jpeg"));
        QCOMPARE(completedExtension("/data/run.2/legacy0"), QString());
        QCOMPARE(completedExtension("file:///data/v1.0/w.csv"), QString(".csv"));
    }
};

TESSARON_TEST_MAIN(QCoreApplication, LegacyRulesTest)
#include "tst_legacyrules.moc"
