// The pure rules of the threshold model: how pending changes become board writes and what a
// tuning result means for the view.
#include <QtTest>

#include <cerrno>

#include "tdc/tdcerror.h"
#include "testmain.h"
#include "tuningoutcome.h"
#include "voltagewrites.h"

class ThresholdRulesTest : public QObject {
    Q_OBJECT
private slots:
    void channelsOfOneVoltageGoOutInOneWrite()
    {
        const auto writes = planVoltageWrites({{1, 0.5}, {3, 0.5}, {4, 0.5}});
        QCOMPARE(writes.size(), std::size_t(1));
        QCOMPARE(writes[0].channels, (std::vector<std::uint16_t>{1, 3, 4}));
        QCOMPARE(writes[0].volts, 0.5);
        QVERIFY(planVoltageWrites({}).empty());
    }

    void channelsOfDifferentVoltagesKeepTheirOwn()
    {
        // A selection moved to 0.3 and, within the same interval, another channel to 0.6:
        // neither may end up with the other's voltage.
        const auto writes = planVoltageWrites({{1, 0.3}, {2, 0.3}, {5, 0.6}, {7, 0.3}});
        QCOMPARE(writes.size(), std::size_t(2));
        QCOMPARE(writes[0].channels, (std::vector<std::uint16_t>{1, 2, 7}));
        QCOMPARE(writes[0].volts, 0.3);
        QCOMPARE(writes[1].channels, (std::vector<std::uint16_t>{5}));
        QCOMPARE(writes[1].volts, 0.6);
    }

    void aLowerVoltageAfterAHigherOneKeepsItsOwn()
    {
        // Whatever order the channels come in, only equal voltages share a write.
        const auto writes = planVoltageWrites({{2, 0.6}, {4, 0.3}, {6, -0.1}, {8, 0.6}});
        QCOMPARE(writes.size(), std::size_t(3));
        QCOMPARE(writes[0].channels, (std::vector<std::uint16_t>{2, 8}));
        QCOMPARE(writes[0].volts, 0.6);
        QCOMPARE(writes[1].channels, (std::vector<std::uint16_t>{4}));
        QCOMPARE(writes[1].volts, 0.3);
        QCOMPARE(writes[2].channels, (std::vector<std::uint16_t>{6}));
        QCOMPARE(writes[2].volts, -0.1);
    }

    void tuningOutcomes()
    {
        QCOMPARE(tuningOutcome({}), TuningOutcome::Applied);
        QCOMPARE(tuningOutcome(std::make_error_code(std::errc::operation_canceled)), TuningOutcome::Cancelled);
        // The same condition reported by the operating system is a cancellation too.
        QCOMPARE(tuningOutcome(std::error_code(ECANCELED, std::system_category())), TuningOutcome::Cancelled);
        // 105 is ECANCELED on one platform only; here it is another error and must be told.
        if (ECANCELED != 105)
            QCOMPARE(tuningOutcome(std::error_code(105, std::generic_category())), TuningOutcome::Failed);
        QCOMPARE(tuningOutcome(make_error_code(tdcError::fixedThreshold)), TuningOutcome::Fixed);
        QCOMPARE(tuningOutcome(make_error_code(tdcError::noPlateau)), TuningOutcome::Failed);
        QCOMPARE(tuningOutcome(make_error_code(tdcError::timeout)), TuningOutcome::Failed);
        QCOMPARE(tuningOutcome(make_error_code(tdcError::busy)), TuningOutcome::Failed);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, ThresholdRulesTest)
#include "tst_thresholdrules.moc"
