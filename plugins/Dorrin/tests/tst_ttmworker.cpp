// The preview histogram: pairing of reference and measure tags, bins of 10 ps, the draw
// vector, and the hand-over between the preview and a recording's writer.
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <map>
#include <random>

#include "bincounts.h"
#include "testmain.h"
#include "ttmworker.h"

namespace {
using M = Dorrin::measurement;
constexpr std::uint8_t R = 1;
constexpr std::uint8_t F = 2;

// The histogram as the views were first written against: three nested ordered maps keyed by
// the high 32, middle 16 and low 16 bits of the bin. The worker must draw exactly the same.
struct ReferenceHistogram {
    QMap<quint32, QMap<quint16, QMap<quint16, quint64>>> map;
    unsigned refCh = 0, measCh = 0;
    std::uint8_t refEdge = F, measEdge = F;
    bool seen = false;
    std::uint64_t last = 0;
    double scale = 1;

    void add(const std::vector<M> &batch)
    {
        for (const M &m : batch) {
            if (m.channel == refCh && m.edge == refEdge) {
                last = m.tag;
                seen = true;
            } else if (m.channel == measCh && m.edge == measEdge && seen) {
                const auto d = static_cast<std::int64_t>(m.tag - last);
                if (d < 0)
                    continue;
                const auto b = static_cast<std::uint64_t>(static_cast<double>(d) * scale);
                ++map[quint32(b >> 32)][quint16(b >> 16)][quint16(b)];
            }
        }
    }

    QVector<double> draw() const
    {
        QVector<double> out;
        std::uint64_t previous = 0;
        for (auto hi = map.begin(); hi != map.end(); ++hi)
            for (auto mid = hi->begin(); mid != hi->end(); ++mid)
                for (auto lo = mid->begin(); lo != mid->end(); ++lo) {
                    const std::uint64_t b = (std::uint64_t(hi.key()) << 32) | (std::uint64_t(mid.key()) << 16) | lo.key();
                    if (b - previous > 1)
                        out << double(b - previous - 1) * 1e-11 << 0.0;
                    out << 1e-11 << double(lo.value());
                    previous = b;
                }
        return out;
    }
};

// `count` tags at bin distance `bin` (scale 1: one tag unit is one bin) after a reference.
std::vector<M> pairAt(std::uint64_t reference, std::uint64_t bin, int count)
{
    std::vector<M> batch{{1, R, reference}};
    for (int i = 0; i < count; ++i)
        batch.push_back({2, R, reference + bin});
    return batch;
}

void compareVectors(const QVector<double> &actual, const QVector<double> &expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i)
        if (!qFuzzyCompare(1.0 + actual[i], 1.0 + expected[i]))
            QFAIL(qPrintable(QStringLiteral("value %1: %2 instead of %3").arg(i).arg(actual[i]).arg(expected[i])));
}
} // namespace

class TTMWorkerTest : public QObject {
    Q_OBJECT
private slots:
    void binsWithGapsAndWithout()
    {
        TTMWorker w(1.0);
        w.setReference(1, R);
        w.setMeasure(2, R);
        QVERIFY(w.compute_draw_vector().isEmpty());

        w.addBatch(pairAt(1000, 5, 2));
        w.addBatch(pairAt(2000, 6, 1));
        w.addBatch(pairAt(3000, 9, 4));
        compareVectors(w.compute_draw_vector(), {4e-11, 0, 1e-11, 2, 1e-11, 1, 2e-11, 0, 1e-11, 4});

        w.clearHistogram();
        w.addBatch(pairAt(10, 0, 3));
        w.addBatch(pairAt(20, 1, 7));
        compareVectors(w.compute_draw_vector(), {1e-11, 3, 1e-11, 7});
    }

    void scaleTurnsTagUnitsIntoTenPicosecondBins()
    {
        // 1 ps tags: 12 ns apart is bin 1200; 10.9 ps rounds down into bin 1.
        TTMWorker w(1e-12 / 1e-11);
        w.setReference(1, R);
        w.setMeasure(2, R);
        w.addBatch({{1, R, 500}, {2, R, 12500}, {1, R, 1000}, {2, R, 1010}, {2, R, 1019}});
        QCOMPARE(w.binValue(1200), quint64(1));
        QCOMPARE(w.binValue(1), quint64(2));
        QCOMPARE(w.binCount(), std::size_t(2));
    }

    void pairingRules()
    {
        TTMWorker w(1.0);
        w.setReference(1, R);
        w.setMeasure(1, F);   // same channel, other edge: the pulse width
        // Measures before any reference, other channels and other edges are ignored; one
        // reference pairs with every measure after it until the next one.
        w.addBatch({{1, F, 5}, {3, R, 8}, {1, R, 10}, {1, F, 15}, {1, F, 17}, {2, F, 18}, {1, R, 20}, {1, F, 21}});
        QCOMPARE(w.binCount(), std::size_t(3));
        QCOMPARE(w.binValue(5), quint64(1));
        QCOMPARE(w.binValue(7), quint64(1));
        QCOMPARE(w.binValue(1), quint64(1));
        QCOMPARE(w.binValue(10), quint64(0));
    }

    void referenceCarriesAcrossBatches()
    {
        TTMWorker w(1.0);
        w.setReference(0, R);
        w.setMeasure(4, R);
        w.addBatch({{0, R, 100}});
        w.addBatch({{4, R, 130}});
        QCOMPARE(w.binValue(30), quint64(1));
    }

    void measureBeforeItsReferenceIsDropped()
    {
        // Tags slightly out of order across channels: the difference is negative. It must not
        // become a bin near 2^64 (a bar 184 000 s away that ruins the chart's range).
        TTMWorker w(1.0);
        w.setReference(1, R);
        w.setMeasure(2, R);
        w.addBatch({{1, R, 1000}, {2, R, 999}, {2, R, 1003}});
        QCOMPARE(w.binCount(), std::size_t(1));
        QCOMPARE(w.binValue(3), quint64(1));
        const QVector<double> v = w.compute_draw_vector();
        QCOMPARE(v.size(), 4);
        QVERIFY(v[0] < 1e-10);
    }

    void channelChangeKeepsCountsButForgetsTheReference()
    {
        TTMWorker w(1.0);
        w.setReference(1, R);
        w.setMeasure(2, R);
        w.addBatch(pairAt(100, 4, 1));
        w.addBatch({{1, R, 200}});
        w.setMeasure(3, R);
        // The reference at 200 came before the change; a measure on the new channel finds none.
        w.addBatch({{3, R, 210}});
        QCOMPARE(w.binCount(), std::size_t(1));
        QCOMPARE(w.binValue(4), quint64(1));
        w.addBatch({{1, R, 300}, {3, R, 302}});
        QCOMPARE(w.binValue(2), quint64(1));
        w.clearHistogram();
        QCOMPARE(w.binCount(), std::size_t(0));
        QVERIFY(w.compute_draw_vector().isEmpty());
    }

    void drawVectorEqualsTheNestedMapsOnRandomInput()
    {
        std::mt19937_64 rng(20261208);
        for (int round = 0; round < 40; ++round) {
            const double scale = round % 3 == 0 ? 0.1 : round % 3 == 1 ? 1.0 : 2.5;
            TTMWorker w(scale);
            ReferenceHistogram ref;
            ref.scale = scale;
            w.setReference(1, R);
            w.setMeasure(2, round % 2 ? F : R);
            ref.refCh = 1;
            ref.refEdge = R;
            ref.measCh = 2;
            ref.measEdge = round % 2 ? F : R;
            // Differences from a few units to beyond 2^32 and 2^48 bins, so every level of the
            // nested maps and the gaps between them are exercised, and some negative ones.
            const unsigned spreadBits = 8 + unsigned(round % 6) * 9;
            std::uint64_t t = rng() >> 20;
            for (int b = 0; b < 6; ++b) {
                std::vector<M> batch;
                for (int i = 0; i < 3000; ++i) {
                    const auto kind = rng() % 8;
                    if (kind < 2) {
                        t += rng() % 1000;
                        batch.push_back({1, R, t});
                    } else if (kind < 7) {
                        const std::uint64_t d = (rng() >> (64 - spreadBits)) % 1000 == 0 ? rng() >> (64 - spreadBits)
                                                                                          : rng() % 64;
                        const bool before = rng() % 50 == 0;
                        batch.push_back({2, std::uint8_t(rng() % 2 ? R : F), before ? t - 1 - rng() % 5 : t + d});
                    } else {
                        batch.push_back({3, R, t + rng() % 100});
                    }
                }
                w.addBatch(batch);
                ref.add(batch);
            }
            const QVector<double> expected = ref.draw();
            const QVector<double> actual = w.compute_draw_vector();
            QVERIFY(!expected.isEmpty());
            QCOMPARE(actual, expected);
        }
    }

    void binCountsGrowAndClear()
    {
        BinCounts c;
        std::vector<std::uint64_t> bins;
        std::mt19937_64 rng(7);
        std::map<std::uint64_t, std::uint64_t> expected;
        for (int i = 0; i < 200000; ++i) {
            const std::uint64_t b = i % 3 ? rng() : rng() % 100;
            bins.push_back(b);
            ++expected[b];
        }
        bins.push_back(0);
        ++expected[0];
        bins.push_back(~std::uint64_t(0));
        ++expected[~std::uint64_t(0)];
        // In pieces, each read in between, so later counts merge into bins already listed.
        const std::size_t third = bins.size() / 3;
        c.add(bins.data(), third);
        QVERIFY(c.size() > 0);
        for (std::size_t i = third; i < 2 * third; ++i)
            c.add(bins[i]);
        QCOMPARE(c.count(bins[0]), quint64(std::count(bins.begin(), bins.begin() + 2 * third, bins[0])));
        c.add(bins.data() + 2 * third, bins.size() - 2 * third);
        QCOMPARE(c.size(), expected.size());
        const auto sorted = c.sorted();
        const std::vector<std::pair<std::uint64_t, std::uint64_t>> want(expected.begin(), expected.end());
        QVERIFY(sorted == want);
        c.clear();
        QVERIFY(c.empty());
        QCOMPARE(c.count(0), quint64(0));
    }

    void batchesGoToTheWriterOrThePreviewNeverBoth()
    {
        QTemporaryDir dir;
        TTMWorker w(1.0);
        w.setReference(1, R);
        w.setMeasure(2, R);
        const std::vector<M> batch{{1, R, 10}, {2, R, 14}};

        w.handleBatch(batch);   // neither preview nor recording
        QCOMPARE(w.binCount(), std::size_t(0));

        w.setPreview(true);
        w.handleBatch(batch);
        QCOMPARE(w.binValue(4), quint64(1));

        Dorrin::file_writer::description d;
        d.channels = 9;
        const std::string path = (dir.path() + "/t.csv").toStdString();
        w.setWriter(std::make_unique<Dorrin::file_writer>(path, Dorrin::file_writer::csv, false, d, 1, 0,
                                                          std::chrono::seconds(0), Dorrin::file_writer::Clock()));
        w.setSaving(true);
        w.handleBatch(batch);
        w.handleBatch(batch);
        QCOMPARE(w.binValue(4), quint64(1));   // the preview saw nothing while saving
        QCOMPARE(w.tagsToWriter(), quint64(4));
        const TTMWorker::WriterSummary s = w.closeWriter();
        QVERIFY(s.closed);
        QCOMPARE(s.tags, quint64(4));
        QCOMPARE(s.lost, quint64(0));
        QVERIFY(s.bytes > 0);
        QCOMPARE(w.writtenBytes(), s.bytes);
        QVERIFY(!w.closeWriter().closed);

        QFile f(dir.path() + "/t.csv");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("channel,edge,tag\n1,1,10\n2,1,14\n1,1,10\n2,1,14\n"));

        // Saving without a writer (the drain has taken it) feeds nothing at all.
        w.handleBatch(batch);
        QCOMPARE(w.binValue(4), quint64(1));
    }
};

TESSARON_TEST_MAIN(QCoreApplication, TTMWorkerTest)
#include "tst_ttmworker.moc"
