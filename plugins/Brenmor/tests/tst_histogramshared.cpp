// Formatting, statistics, peak analysis and time-trigger bookkeeping of the histogram plugin.
#include <QtTest>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include "histogramstats.h"
#include "numberformat.h"
#include "testmain.h"
#include "windowtracker.h"

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string printfG(double x)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", x);
    return buffer;
}

std::string g6(double x)
{
    std::string s;
    histfmt::appendG6(s, x);
    return s;
}

histstats::Window wholeWindow(std::size_t n, double left, double width)
{
    return {left, double(n) * width, left, double(n) * width, 0.0};
}
} // namespace

class HistogramSharedTest : public QObject {
    Q_OBJECT
private slots:
    void g6MatchesPrintfOnRandomValues()
    {
        std::mt19937_64 rng(12345);
        std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
        std::uniform_int_distribution<int> exponent(-320, 310);
        std::uniform_int_distribution<std::uint64_t> bits;
        int checked = 0;
        for (int i = 0; i < 200000; ++i) {
            double x;
            switch (i % 4) {
            case 0: x = mantissa(rng) * std::pow(10.0, exponent(rng)); break;
            case 1: { const std::uint64_t b = bits(rng); std::memcpy(&x, &b, sizeof x); break; }
            case 2: x = std::round(mantissa(rng) * 1e6) / 1e6 * std::pow(10.0, exponent(rng) % 20); break;
            default: x = double(std::int64_t(bits(rng) % 2000001) - 1000000) * 1e-12; break;
            }
            if (std::isnan(x))
                continue;
            const std::string expected = printfG(x);
            const std::string got = g6(x);
            if (expected != got)
                QFAIL(qPrintable(QString("%1: printf %2, formatted %3")
                                     .arg(x, 0, 'g', 17).arg(expected.c_str()).arg(got.c_str())));
            ++checked;
        }
        QVERIFY(checked > 150000);
    }

    void g6SpecialValuesAndRoundingEdges()
    {
        for (double x : {0.0, -0.0, 1e-11, 2.5e-10, 0.001, 999999.5, 9999995.0, 0.00001, 0.0001, 123456.0,
                         1234567.0, 1e100, 5e-324, 1.7976931348623157e308, 0.5, 1.0 / 3.0, 100000.0, 1e6,
                         std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()})
            QCOMPARE(g6(x), printfG(x));
        QCOMPARE(g6(kNaN), std::string("nan"));
        QCOMPARE(g6(1e-11), std::string("1e-11"));
        QCOMPARE(g6(2.5e-10), std::string("2.5e-10"));
        QCOMPARE(g6(0.001), std::string("0.001"));
    }

    void countsAreWholeUnsignedNumbers()
    {
        const auto text = [](double v) {
            std::string s;
            histfmt::appendCount(s, v);
            return s;
        };
        QCOMPARE(text(0), std::string("0"));
        QCOMPARE(text(7), std::string("7"));
        QCOMPARE(text(7.9), std::string("7"));
        QCOMPARE(text(9007199254740992.0), std::string("9007199254740992"));
        // Never undefined conversions: negative and non-numbers are 0, huge values saturate.
        QCOMPARE(text(-3), std::string("0"));
        QCOMPARE(text(kNaN), std::string("0"));
        QCOMPARE(text(1e30), std::string("18446744073709551615"));
    }

    void wholeHistogramStatistics()
    {
        // Counts 1, 2, 1 at bins 0..2 with bin width 1 ns from 10 ns: mean index 1, spread sqrt(0.5).
        const std::vector<double> d{1, 2, 1};
        const auto a = histstats::analyse(d.data(), d.size(), 4, 1e-9, wholeWindow(3, 10e-9, 1e-9), nullptr);
        QVERIFY(std::abs(a.whole.mean - 11e-9) < 1e-21);
        QVERIFY(std::abs(a.whole.std - std::sqrt(0.5) * 1e-9) < 1e-21);
        QCOMPARE(a.argmax, std::size_t(1));
        QCOMPARE(a.maxValue, 2.0);
        // The whole histogram visible: the window's total is the block's total.
        QVERIFY(std::abs(a.visible.mean - 11e-9) < 1e-21);
        QVERIFY(std::abs(a.visible.std - a.whole.std) < 1e-21);

        // A long histogram checks the unrolled sums against a plain loop.
        std::vector<double> big(1001);
        double total = 0, s1 = 0;
        for (std::size_t i = 0; i < big.size(); ++i) {
            big[i] = double((i * 37) % 11);
            total += big[i];
            s1 += double(i) * big[i];
        }
        double s2 = 0;
        for (std::size_t i = 0; i < big.size(); ++i)
            s2 += big[i] * (double(i) - s1 / total) * (double(i) - s1 / total);
        const auto b = histstats::analyse(big.data(), big.size(), total, 1.0, wholeWindow(big.size(), 0, 1), nullptr);
        QVERIFY(std::abs(b.whole.mean - s1 / total) < 1e-9);
        QVERIFY(std::abs(b.whole.std - std::sqrt(s2 / total)) < 1e-9);
    }

    void allZeroAndEmptyHistograms()
    {
        const std::vector<double> d(8, 0.0);
        std::vector<double> logs(8, -1.0);
        const auto a = histstats::analyse(d.data(), d.size(), 0, 1e-9, wholeWindow(8, 0, 1e-9), logs.data());
        QVERIFY(std::isnan(a.whole.mean));
        QVERIFY(std::isnan(a.whole.std));
        QCOMPARE(logs, std::vector<double>(8, 0.0));
        const auto p = histstats::findPeak(d.data(), d.size(), 0, 1e-9);
        QVERIFY(std::isnan(p.position));
        QVERIFY(std::isnan(p.fwhm));
        QCOMPARE(p.counts, 0.0);

        const auto e = histstats::analyse(nullptr, 0, 0, 1e-9, wholeWindow(0, 0, 1e-9), nullptr);
        QVERIFY(std::isnan(e.whole.mean) && std::isnan(e.visible.mean));
        QVERIFY(std::isnan(histstats::findPeak(nullptr, 0, 0, 1).position));
    }

    void logVectorOfSmallAndLargeCounts()
    {
        const std::vector<double> d{0, 1, 10, 4095, 4096, 1e12, 2.5};
        std::vector<double> logs(d.size());
        histstats::logCounts(d.data(), d.size(), logs.data());
        QCOMPARE(logs[0], 0.0);
        for (std::size_t i = 1; i < d.size(); ++i)
            QCOMPARE(logs[i], std::log10(d[i]));
    }

    void visibleWindowRanges()
    {
        // 10 bins of 1 s from 0.
        const std::vector<double> d{0, 0, 3, 1, 0, 0, 0, 0, 0, 5};
        histstats::Window w{0, 10, 2, 2, 0};
        auto r = histstats::visibleRange(10, w);
        QCOMPARE(r.start, 2);
        QCOMPARE(r.end, 4);
        QCOMPARE(r.count, 2);
        auto m = histstats::visibleMoments(d.data(), d.size(), 9, 1.0, w);
        // Index 0.25 from the window's first bin, reported from the window's left edge.
        QCOMPARE(m.mean, 2.25);
        QVERIFY(std::abs(m.std - std::sqrt(0.75 * 0.0625 + 0.25 * 0.5625)) < 1e-12);

        // Entirely left of the data: nothing visible.
        w = {0, 10, -30, 5, 0};
        m = histstats::visibleMoments(d.data(), d.size(), 9, 1.0, w);
        QVERIFY(std::isnan(m.mean) && std::isnan(m.std));
        // Right of the data as well.
        w = {0, 10, 12, 5, 0};
        QVERIFY(std::isnan(histstats::visibleMoments(d.data(), d.size(), 9, 1.0, w).mean));

        // Exactly one bin wide: no spread.
        w = {0, 10, 2, 1, 0};
        m = histstats::visibleMoments(d.data(), d.size(), 9, 1.0, w);
        QCOMPARE(m.mean, 2.0);
        QCOMPARE(m.std, 0.0);

        // Starting left of the data: the part inside counts.
        w = {0, 10, -2, 5, 0};
        r = histstats::visibleRange(10, w);
        QCOMPARE(r.start, 0);
        QCOMPARE(r.end, 3);
        QCOMPARE(r.count, 3);
        // Running past the end is cut at the last bin.
        w = {0, 10, 8, 5, 0};
        r = histstats::visibleRange(10, w);
        QCOMPARE(r.start, 8);
        QCOMPARE(r.end, 10);
        QCOMPARE(r.count, 2);
        // The x offset shifts the first visible bin.
        w = {0, 10, 2, 2, 1};
        QCOMPARE(histstats::visibleRange(10, w).start, 3);
        // A visible window with no counts has no mean.
        w = {0, 10, 4, 3, 0};
        QVERIFY(std::isnan(histstats::visibleMoments(d.data(), d.size(), 9, 1.0, w).mean));
        // Absurd zooms do not overflow.
        w = {0, 10, -1e300, 1e300, 0};
        r = histstats::visibleRange(10, w);
        QVERIFY(r.count <= 10);
    }

    void peakOfAGaussian()
    {
        const double sigma = 4.0, centre = 300.3;
        std::vector<double> d(1000);
        for (std::size_t i = 0; i < d.size(); ++i)
            d[i] = std::round(10000 * std::exp(-0.5 * std::pow((double(i) - centre) / sigma, 2)));
        const auto p = histstats::findPeak(d.data(), d.size(), 1e-9, 1e-12);
        // Bins counted at their centres: the curve's centre lies at bin position 300.3 + 0.5; the
        // centroid of the whole bins above half maximum is off by a fraction of a bin at most.
        QVERIFY2(std::abs(p.position - (1e-9 + (centre + 0.5) * 1e-12)) < 0.25e-12, qPrintable(QString::number(p.position, 'g', 12)));
        QVERIFY2(std::abs(p.fwhm - 2.3548 * sigma * 1e-12) < 0.1e-12, qPrintable(QString::number(p.fwhm)));
        QCOMPARE(p.counts, *std::max_element(d.begin(), d.end()));
    }

    void peakOfOneBinAndAtTheEdges()
    {
        std::vector<double> d(16, 0.0);
        d[5] = 8;
        auto p = histstats::findPeak(d.data(), d.size(), 0, 2.0);
        QCOMPARE(p.position, 11.0);
        QCOMPARE(p.fwhm, 2.0);
        QCOMPARE(p.counts, 8.0);

        // A plateau: the centroid sits in its middle, the width spans it.
        std::fill(d.begin(), d.end(), 0.0);
        d[4] = d[5] = d[6] = 10;
        p = histstats::findPeak(d.data(), d.size(), 0, 1.0);
        QCOMPARE(p.position, 5.5);
        QCOMPARE(p.fwhm, 3.0);

        // At the first bin the crossing is the data's edge.
        std::fill(d.begin(), d.end(), 0.0);
        d[0] = 6;
        d[1] = 2;
        p = histstats::findPeak(d.data(), d.size(), 0, 1.0);
        QCOMPARE(p.position, 0.5);
        QCOMPARE(p.fwhm, 1.25); // from the edge at -0.5 to the crossing at 0.75
        std::fill(d.begin(), d.end(), 0.0);
        d[15] = 3;
        p = histstats::findPeak(d.data(), d.size(), 0, 1.0);
        QCOMPARE(p.position, 15.5);
        QCOMPARE(p.fwhm, 1.0);
    }

    void windowsLostAndCompleted()
    {
        WindowTracker t;
        t.start(2);
        for (std::uint32_t w : {1u, 2u, 4u}) {
            auto s = t.deliver(0, w, false);
            QVERIFY(!s.complete);
            s = t.deliver(1, w, false);
            QVERIFY(s.complete);
            t.exportDone(w, s.lost);
        }
        QCOMPARE(t.winNum(), 4u);
        QCOMPARE(t.lostWindows(), 1u);
        QCOMPARE(t.lostBy(0), 1u);

        // The last windows end the run once both have arrived.
        auto s = t.deliver(0, 5, true);
        QVERIFY(!s.finished);
        s = t.deliver(1, 5, true);
        QVERIFY(s.complete && s.finished);
    }

    void skewedHistogramsCompleteEveryWindow()
    {
        // Histogram 0 runs two windows ahead of histogram 1: every window still completes,
        // in order, and nothing is lost.
        WindowTracker t;
        t.start(2);
        auto s = t.deliver(0, 1, false);
        QVERIFY(!s.complete && !s.overrun);
        QVERIFY(!t.deliver(0, 2, false).complete);
        QVERIFY(!t.deliver(0, 3, true).complete);
        for (std::uint32_t w : {1u, 2u, 3u}) {
            s = t.deliver(1, w, w == 3);
            QVERIFY(s.complete);
            QCOMPARE(s.lost, 0u);
            t.exportDone(w, s.lost);
        }
        QVERIFY(s.finished);
        QCOMPARE(t.lostWindows(), 0u);
        QCOMPARE(t.assembling().size(), std::size_t(0));
    }

    void overrunAbandonsTheWindow()
    {
        WindowTracker t;
        t.start(2);
        QVERIFY(!t.deliver(0, 1, false).complete);
        auto s = t.deliver(0, 1, false);
        QVERIFY(s.overrun && !s.complete);
        // The window starts again from nothing: histogram 1 alone does not complete it.
        QVERIFY(!t.deliver(1, 1, false).complete);
        QVERIFY(!t.deliver(0, 2, false).complete);
        s = t.deliver(1, 2, false);
        QVERIFY(s.complete);
        QCOMPARE(s.lost, 1u);
        t.exportDone(2, s.lost);
        QCOMPARE(t.assembling().size(), std::size_t(0));
        // A window at or behind the exported one is not exported again.
        QVERIFY(!t.deliver(0, 2, false).complete);
        QVERIFY(!t.deliver(1, 2, false).complete);
        QVERIFY(!t.deliver(0, 1, false).complete);
        QCOMPARE(t.assembling().size(), std::size_t(0));
    }

    void windowsTooFarApartAreGivenUp()
    {
        WindowTracker t;
        t.start(2);
        auto s = t.deliver(0, 1, false);
        s = t.deliver(1, 1, false);
        QVERIFY(s.complete);
        t.exportDone(1, s.lost);
        // Histogram 0 gets ten windows ahead: only the newest windows are kept.
        for (std::uint32_t w = 2; w <= 11; ++w)
            QVERIFY(!t.deliver(0, w, false).complete);
        QCOMPARE(t.assembling().size(), WindowTracker::maxAssembling);
        QCOMPARE(t.assembling().front(), 4u);
        // Window 2 was given up; window 4 is still complete when histogram 1 gets there.
        QVERIFY(!t.deliver(1, 2, false).complete);
        QVERIFY(!t.deliver(1, 3, false).complete);
        s = t.deliver(1, 4, false);
        QVERIFY(s.complete);
        QCOMPARE(s.lost, 2u);
        t.exportDone(4, s.lost);
        QCOMPARE(t.lostWindows(), 2u);
        QCOMPARE(t.lostBy(1), 0u);
    }

    void emptyRunEndsOnlyByItsOwner()
    {
        WindowTracker t;
        t.start(0);
        QCOMPARE(t.histograms(), std::size_t(0));
        const auto s = t.deliver(0, 1, false);
        QVERIFY(s.finished && !s.complete);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, HistogramSharedTest)
#include "tst_histogramshared.moc"
