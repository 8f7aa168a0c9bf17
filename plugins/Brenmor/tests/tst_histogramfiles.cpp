// The histogram text file, the combined file, the parameter file, FileIO and the file writer
// thread.
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <thread>

#include "combinedgrid.h"
#include "fileio.h"
#include "filewriterqueue.h"
#include "histogramtextfile.h"
#include "parameterfile.h"
#include "testmain.h"

namespace {
QString readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}
} // namespace

class HistogramFilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void histogramBlockExactText()
    {
        const double counts[] = {5, 0, 7};
        std::string text;
        histfile::appendHistogramBlock(text, "Histogram 0", 0.0, 1e-11, counts, 3);
        QCOMPARE(QString::fromStdString(text), QStringLiteral("# ---------- Histogram 0 ---------- #\n"
                                                              "# Bin value [s], Counts\n"
                                                              "1e-11,5\n"
                                                              "2e-11,0\n"
                                                              "3e-11,7\n"
                                                              "# ---------------------------------------- #\n"
                                                              "\n"));
    }

    void binValuesStartAtTheLeftBound()
    {
        const double counts[] = {1, 2};
        std::string text;
        histfile::appendHistogramBlock(text, "H", 10e-9, 1e-9, counts, 2);
        QVERIFY(text.find("\n1.1e-08,1\n1.2e-08,2\n") != std::string::npos);
        text.clear();
        histfile::appendHistogramBlock(text, "H", -2e-9, 1e-9, counts, 2);
        QVERIFY(text.find("\n-1e-09,1\n0,2\n") != std::string::npos);
    }

    void histogramBlockMatchesPrintfLineByLine()
    {
        // Random bounds (negative left bounds, widths down to attoseconds) and counts of every
        // size, including the ones that are not whole or not numbers; each block is formatted
        // twice so the second one comes from the kept bin column.
        std::mt19937_64 rng(7);
        std::uniform_real_distribution<double> unit(0, 1);
        for (int round = 0; round < 40; ++round) {
            const double left = (unit(rng) - 0.5) * std::pow(10.0, -3 - 12 * unit(rng));
            const double width = std::pow(10.0, -18 + 15 * unit(rng)) * (1 + unit(rng));
            const std::size_t n = 1 + std::size_t(unit(rng) * 3000);
            std::vector<double> counts(n);
            for (double &c : counts) {
                const double r = unit(rng);
                c = r < 0.5 ? std::floor(unit(rng) * 10) : r < 0.9 ? std::floor(std::pow(10.0, 19 * unit(rng))) : unit(rng) * 30;
            }
            counts[0] = std::nan("");
            counts[n - 1] = -3;
            std::string expected = "# ---------- H ---------- #\n# Bin value [s], Counts\n";
            char line[96];
            for (std::size_t i = 0; i < n; ++i) {
                const double c = counts[i] > 0 ? counts[i] : 0;
                std::snprintf(line, sizeof line, "%g,%llu\n", left + double(i + 1) * width,
                              static_cast<unsigned long long>(c));
                expected += line;
            }
            expected += "# ---------------------------------------- #\n\n";
            for (int pass = 0; pass < 2; ++pass) {
                std::string text = "kept";
                histfile::appendHistogramBlock(text, "H", left, width, counts.data(), n);
                if (text != "kept" + expected)
                    QFAIL(qPrintable(QString("round %1 pass %2: left %3 width %4 n %5 differ")
                                         .arg(round).arg(pass).arg(left).arg(width).arg(n)));
            }
        }
    }

    void repeatedAppendsKeepEveryBlock()
    {
        const QString path = m_dir.filePath("twice.csv");
        const double counts[] = {1};
        std::string text;
        histfile::appendHistogramBlock(text, "A", 0, 1, counts, 1);
        QVERIFY(histfile::appendToFile(path, text));
        QVERIFY(histfile::appendToFile(path, text));
        QCOMPARE(readAll(path), QString::fromStdString(text + text));
        // A folder that does not exist: nothing written, failure reported.
        QVERIFY(!histfile::appendToFile(m_dir.filePath("no/such/folder/x.csv"), text));
        QVERIFY(!histfile::appendToFile(QString(), text));
    }

    void combinedGridFillsAndLeavesNan()
    {
        // A: 4 bins of 1 ns from 0; B: 2 bins of 2 ns from 2 ns (starts later, twice as wide).
        CombinedGrid grid({{0, 1e-9, 4e-9}, {2e-9, 2e-9, 6e-9}});
        QCOMPARE(grid.rows(), std::size_t(6));
        QCOMPARE(grid.startRow(1), std::size_t(2));
        QCOMPARE(grid.binRatio(1), std::size_t(2));
        const double a[] = {1, 2, 3, 4};
        const double b[] = {7, 8};
        grid.put(0, a, 4);
        grid.put(1, b, 2);
        std::string text;
        grid.appendText(text, {"Histogram 0", "Histogram 1"});
        QCOMPARE(QString::fromStdString(text), QStringLiteral("# Bin value [s],Histogram 0,Histogram 1\n"
                                                              "0,1,nan\n"
                                                              "1e-09,2,nan\n"
                                                              "2e-09,3,7\n"
                                                              "3e-09,4,nan\n"
                                                              "4e-09,nan,8\n"
                                                              "5e-09,nan,nan\n"));
        // A later window overwrites what it writes and keeps the rest.
        const double a2[] = {9};
        grid.put(0, a2, 1);
        QCOMPARE(grid.cell(0, 0), 9.0);
        QCOMPARE(grid.cell(1, 0), 2.0);
        // Counts beyond the grid and unknown columns are ignored.
        const double many[] = {1, 1, 1, 1, 1, 1, 1, 1};
        grid.put(1, many, 8);
        grid.put(5, many, 8);
        QCOMPARE(grid.cell(4, 1), 1.0);
    }

    void combinedGridSurvivesRoundingAndHugeRanges()
    {
        // Bounds that are multiples of 10 ps whose quotients are not exact in binary.
        CombinedGrid grid({{0.3e-9, 0.1e-9, 0.7e-9}, {0.1e-9, 0.3e-9, 0.7e-9}});
        QCOMPARE(grid.rows(), std::size_t(6));
        QCOMPARE(grid.startRow(0), std::size_t(2));
        QCOMPARE(grid.binRatio(1), std::size_t(3));
        // A picosecond grid over a second is not allocated whole.
        CombinedGrid huge({{0, 1e-12, 1.0}, {0, 1e-9, 1.0}});
        QCOMPARE(huge.rows(), CombinedGrid::maxRows);
        QVERIFY(huge.wantedRows() > CombinedGrid::maxRows);
        CombinedGrid none(std::vector<CombinedGrid::Bounds>{});
        QCOMPARE(none.rows(), std::size_t(0));
    }

    void parameterFileTextAndKeyOrder()
    {
        const QVariantMap entry{{"name", "Histogram 0"}, {"refPolarity", 1},   {"refCH", 0},
                                {"measPolarity", 2},     {"measCH", 3},        {"leftBound", -1.5e-9},
                                {"rightBound", 5e-8},    {"binWidth", 1e-11},  {"refreshPeriod", 50}};
        const QString text = paramfile::toText({entry});
        QCOMPARE(text, QStringLiteral("[\n"
                                      "    {\n"
                                      "        \"name\": \"Histogram 0\",\n"
                                      "        \"refPolarity\": 1,\n"
                                      "        \"refCH\": 0,\n"
                                      "        \"measPolarity\": 2,\n"
                                      "        \"measCH\": 3,\n"
                                      "        \"leftBound\": -1.5e-09,\n"
                                      "        \"rightBound\": 5e-08,\n"
                                      "        \"binWidth\": 1e-11,\n"
                                      "        \"refreshPeriod\": 50\n"
                                      "    }\n"
                                      "]\n"));
        const paramfile::Parsed back = paramfile::parse(text);
        QVERIFY(back.ok);
        QCOMPARE(back.entries.size(), 1);
        const QVariantMap read = back.entries[0].toMap();
        QCOMPARE(read.value("rightBound").toDouble(), 5e-8);
        QCOMPARE(read.value("name").toString(), QString("Histogram 0"));
    }

    void shortLongAndBrokenParameterFiles()
    {
        QVERIFY(paramfile::parse(paramfile::toText({})).ok);
        QCOMPARE(paramfile::parse(paramfile::toText({})).entries.size(), 0);

        QVariantList many;
        for (int i = 0; i < 64; ++i)
            many.append(QVariantMap{{"name", QString("H \"%1\"").arg(i)}, {"binWidth", 1e-12 * (i + 1)}});
        const paramfile::Parsed back = paramfile::parse(paramfile::toText(many));
        QVERIFY(back.ok);
        QCOMPARE(back.entries.size(), 64);
        QCOMPARE(back.entries[63].toMap().value("name").toString(), QString("H \"63\""));
        QCOMPARE(back.entries[63].toMap().value("binWidth").toDouble(), 64e-12);

        for (const char *bad : {"", "[", "{\"name\": 1}", "[1, 2]", "not json", "[{\"a\": 1},]"}) {
            const paramfile::Parsed p = paramfile::parse(QString::fromLatin1(bad));
            QVERIFY2(!p.ok, bad);
            QVERIFY(p.entries.isEmpty());
            QVERIFY(!p.error.isEmpty());
        }
    }

    void saveNameRules()
    {
        QCOMPARE(paramfile::savePath("/f", "a.", "json"), QString("/f/a.json"));
        QCOMPARE(paramfile::savePath("/f", "a.json", "json"), QString("/f/a.json"));
        QCOMPARE(paramfile::savePath("/f", "a", "json"), QString("/f/a.json"));
        QCOMPARE(paramfile::savePath("/f", "a.txt", "json"), QString("/f/a.txt.json"));
        QCOMPARE(paramfile::savePath("/f", "ajson", "json"), QString("/f/ajson.json"));
    }

    void fileIoReadsWritesAndMeasures()
    {
        FileIO io;
        const QString path = m_dir.filePath("histConfig.json");
        QVERIFY(!io.write(QString(), "x"));
        QVERIFY(io.write(path, "first text"));
        QVERIFY(io.write(path, "second"));
        QCOMPARE(io.read(path), QString("second"));
        QCOMPARE(io.getFileLength(path), qulonglong(6));
        QVERIFY(io.read(QString()).isNull());
        QVERIFY(io.read(m_dir.filePath("absent")).isNull());
        QCOMPARE(io.getFileLength(m_dir.filePath("absent")), qulonglong(0));
        QVERIFY(!io.write(m_dir.filePath("no/such/dir/x"), "x"));

        const QVariantMap parsed = io.parseParameters("[{\"name\": \"H\"}]");
        QVERIFY(parsed.value("ok").toBool());
        QCOMPARE(parsed.value("entries").toList().size(), 1);
        QVERIFY(!io.parseParameters("{oops").value("ok").toBool());
        QCOMPARE(io.saveFilePath("/d", "histConfig", "json"), QString("/d/histConfig.json"));
    }

    void fileLengthBeyondFourGiB()
    {
        // A sparse file: its size is what counts, not its blocks.
        const QString path = m_dir.filePath("big.bin");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const qint64 size = (qint64(5) << 30) + 3;
        if (!file.resize(size))
            QSKIP("the temporary folder cannot hold a sparse 5 GiB file");
        file.close();
        FileIO io;
        QCOMPARE(io.getFileLength(path), qulonglong(size));
    }

    void writerKeepsOrderAndReportsFailures()
    {
        FileWriterQueue queue;
        std::vector<QString> done;
        std::mutex mutex;
        std::atomic<int> failures{0};
        const QString path = m_dir.filePath("ordered.txt");
        for (int i = 0; i < 200; ++i) {
            const QString target = i == 100 ? m_dir.filePath("missing/dir/x.txt") : path;
            queue.post(
                target, [i](std::string &text) { text = std::to_string(i) + "\n"; },
                [&, i](const QString &p, bool ok, std::uint64_t bytes) {
                    std::lock_guard<std::mutex> lock(mutex);
                    done.push_back(QString::number(i));
                    if (!ok) {
                        ++failures;
                        QCOMPARE(bytes, std::uint64_t(0));
                        QVERIFY(p.contains("missing"));
                    }
                });
        }
        // A job that throws loses its file, not the thread.
        queue.post(path, [](std::string &) { throw std::runtime_error("no"); }, {});
        queue.post(path, [](std::string &text) { text = "end\n"; }, {});
        queue.waitIdle();
        QCOMPARE(queue.pending(), std::size_t(0));
        QCOMPARE(int(done.size()), 200);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(done[std::size_t(i)], QString::number(i));
        QCOMPARE(failures.load(), 1);
        const QStringList lines = readAll(path).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 200);
        QCOMPARE(lines.first(), QString("0"));
        QCOMPARE(lines[99], QString("99"));
        QCOMPARE(lines[100], QString("101"));
        QCOMPARE(lines.last(), QString("end"));
    }

    void writerThreadsKeepKeysInOrderAndReportInPostingOrder()
    {
        FileWriterQueue queue(3);
        QCOMPARE(queue.threads(), 3u);
        std::vector<int> reported;
        std::mutex mutex;
        std::atomic<int> inKey{0};
        std::atomic<int> overlap{0};
        std::atomic<int> maxParallel{0};
        std::atomic<int> running{0};
        const QString shared = m_dir.filePath("keyed.txt");
        for (int i = 0; i < 60; ++i) {
            // Every third job shares one key (and one file); the others have files of their
            // own and finish in a scrambled order, the slow ones first.
            const bool keyed = i % 3 == 0;
            const QString path = keyed ? shared : m_dir.filePath(QString("own%1.txt").arg(i));
            queue.post(
                path,
                [&, i, keyed](std::string &text) {
                    const int now = ++running;
                    int seen = maxParallel.load();
                    while (now > seen && !maxParallel.compare_exchange_weak(seen, now)) {}
                    if (keyed && ++inKey > 1)
                        ++overlap;
                    std::this_thread::sleep_for(std::chrono::milliseconds((60 - i) % 7));
                    if (keyed)
                        --inKey;
                    --running;
                    text = std::to_string(i) + "\n";
                },
                [&, i](const QString &, bool ok, std::uint64_t bytes) {
                    std::lock_guard<std::mutex> lock(mutex);
                    reported.push_back(ok && bytes == std::to_string(i).size() + 1 ? i : -1 - i);
                },
                keyed ? QStringLiteral("grid") : QString());
        }
        queue.waitIdle();
        QCOMPARE(queue.pending(), std::size_t(0));
        QCOMPARE(overlap.load(), 0);
        QVERIFY2(maxParallel.load() > 1, "the jobs never ran side by side");
        QCOMPARE(int(reported.size()), 60);
        for (int i = 0; i < 60; ++i)
            QCOMPARE(reported[std::size_t(i)], i);
        QString expected;
        for (int i = 0; i < 60; i += 3)
            expected += QString::number(i) + "\n";
        QCOMPARE(readAll(shared), expected);
    }

    void writerFinishesPostedJobsWhenDestroyed()
    {
        const QString path = m_dir.filePath("late.txt");
        {
            FileWriterQueue queue;
            for (int i = 0; i < 50; ++i)
                queue.post(path, [](std::string &text) { text = "x"; }, {});
        }
        QCOMPARE(readAll(path), QString(50, 'x'));
    }
};

TESSARON_TEST_MAIN(QCoreApplication, HistogramFilesTest)
#include "tst_histogramfiles.moc"
