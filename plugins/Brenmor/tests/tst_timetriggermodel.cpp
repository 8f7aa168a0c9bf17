// The time-trigger model over scripted histogrammers: the run's start and end, lost windows,
// overruns, file names, the size accounting (also past 4 GiB) and the empty run.
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "scriptedhistogrammer.h"
#include "tdchistogrammerwrapper.h"
#include "testmain.h"
#include "timetriggermodel.h"

namespace {
std::vector<std::uint64_t> counts(std::uint64_t v)
{
    return std::vector<std::uint64_t>(1024, v);
}

qint64 sizeOf(const QString &path)
{
    return QFileInfo(path).size();
}
} // namespace

class TimeTriggerModelTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<ScriptedHistogrammer>> m_devices;
    std::vector<std::unique_ptr<TDCHistogrammerWrapper>> m_wrappers;

    void makeHistograms(int n)
    {
        m_wrappers.clear();
        m_devices.clear();
        for (int i = 0; i < n; ++i) {
            m_devices.push_back(std::make_unique<ScriptedHistogrammer>());
            m_wrappers.push_back(
                std::make_unique<TDCHistogrammerWrapper>(m_devices.back().get(), m_devices.back().get(), nullptr));
            m_wrappers.back()->setName(QString(QChar('A' + i)));
        }
    }

    // Every histogram delivers window w.
    void window(std::uint32_t w, bool last = false, std::uint64_t value = 1)
    {
        for (auto &device : m_devices)
            device->deliver(counts(value), w, !last);
        QCoreApplication::processEvents();
    }

    void configure(TimeTriggerModel &model, const QString &sub, const QStringList &extensions)
    {
        QDir(m_dir.path()).mkpath(sub);
        model.setFolder(QUrl::fromLocalFile(m_dir.path()));
        model.setSubFolder(sub);
        model.setFilePrefix("run");
        model.setExtension(extensions);
        model.setRefreshPeriod(20);
        for (auto &w : m_wrappers)
            model.addHistModel(w.get());
    }

    QString file(const QString &sub, const QString &name) const { return m_dir.filePath(sub + "/" + name); }

private slots:
    void defaults()
    {
        TimeTriggerModel model;
        QCOMPARE(model.elapsedTime(), 10u);
        QCOMPARE(model.extension(), QStringList({".png", ".jpeg"}));
        QCOMPARE(model.refreshPeriod(), 50u);
        QCOMPARE(model.unit(), QString("s"));
        QVERIFY(model.folder().isLocalFile());
        QVERIFY(!model.enableTimeTrigger());
    }

    void aRunExportsEveryCompleteWindowAndCountsTheLostOnes()
    {
        makeHistograms(2);
        m_wrappers[0]->setIsActive(true);
        TimeTriggerModel model;
        configure(model, "S", {".png", ".csv"});
        model.setRepetition(5);
        QSignalSpy images(&model, &TimeTriggerModel::exportHistogram);
        QSignalSpy sizes(&model, &TimeTriggerModel::savedFilesSizeChanged);
        model.setEnableTimeTrigger(true);

        for (int i = 0; i < 2; ++i) {
            QVERIFY(!m_wrappers[i]->isActive());
            QVERIFY(m_wrappers[i]->isTimeTrigActive());
            QCOMPARE(m_wrappers[i]->histogramNumber(), uint(i));
            QVERIFY(m_devices[i]->calls().contains("enable 0.02 5"));
        }
        QCOMPARE(model.elapsedTime(), 0u);
        const int sizeSignalsAtStart = sizes.count();

        window(1);
        QCOMPARE(images.count(), 1);
        QCOMPARE(images[0][0].toString(), file("S", "run1.png"));
        window(2);
        window(4);
        QCOMPARE(model.winNum(), 4u);
        QCOMPARE(model.lostWindows(), 1u);
        QCOMPARE(model.lostBy(0), 1u);
        QCOMPARE(images.count(), 3);
        QCOMPARE(images[2][0].toString(), file("S", "run4.png"));

        model.waitForWrites();
        QCoreApplication::processEvents();
        QCOMPARE(model.lastWrittenWindow(), 4u);
        for (const char *name : {"run1_A.csv", "run1_B.csv", "run2_A.csv", "run4_B.csv"})
            QVERIFY2(QFileInfo::exists(file("S", name)), name);
        // The text files are complete, the images not yet: nothing published.
        QCOMPARE(sizes.count(), sizeSignalsAtStart);

        // The view writes the first image and reports it.
        QFile png(file("S", "run1.png"));
        QVERIFY(png.open(QIODevice::WriteOnly));
        png.write(QByteArray(100, 'p'));
        png.close();
        model.exportComplete(png.fileName());
        QCOMPARE(sizes.count(), sizeSignalsAtStart + 1);
        // Every text file written so far and the image are in the sum.
        qulonglong expected = 100;
        for (const char *name : {"run1_A.csv", "run1_B.csv", "run2_A.csv", "run2_B.csv", "run4_A.csv", "run4_B.csv"})
            expected += qulonglong(sizeOf(file("S", name)));
        QCOMPARE(model.savedFilesSize(), expected);
        QCOMPARE(sizeOf(file("S", "run1_A.csv")), sizeOf(file("S", "run2_A.csv")));

        // The last windows end the run.
        window(5, true);
        QVERIFY(!model.enableTimeTrigger());
        QCOMPARE(model.winNum(), 5u);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!m_wrappers[i]->isTimeTrigActive());
            QVERIFY(!m_wrappers[i]->isActive());
        }
        model.waitForWrites();
        QVERIFY(QFileInfo::exists(file("S", "run5_B.csv")));
        QVERIFY(!QFileInfo::exists(file("S", "run3_A.csv"))); // the lost window
        // Blocks after the end are not windows of the run.
        window(6);
        QCOMPARE(images.count(), 4);
    }

    void blocksQueuedBeforeTheStartAreNotWindowsOfTheRun()
    {
        makeHistograms(2);
        m_wrappers[0]->setIsActive(true);
        m_wrappers[1]->setIsActive(true);
        QTRY_VERIFY(m_wrappers[0]->runningTasks() == 0 && m_wrappers[1]->runningTasks() == 0);
        // Blocks of the wrappers' own accumulation, received but not yet handed over.
        for (auto &device : m_devices)
            device->deliver(counts(9), 40, true);
        TimeTriggerModel model;
        configure(model, "Q", {".png"});
        QSignalSpy images(&model, &TimeTriggerModel::exportHistogram);
        model.setEnableTimeTrigger(true);
        QCoreApplication::processEvents();
        QCOMPARE(images.count(), 0);
        QCOMPARE(model.winNum(), 0u);
        window(1);
        QCOMPARE(images.count(), 1);
        QCOMPARE(model.lostWindows(), 0u);
        QCOMPARE(images[0][0].toString(), file("Q", "run1.png"));
        model.setEnableTimeTrigger(false);
    }

    void aHistogramAheadOfTheOthersLosesNothing()
    {
        // A is two windows ahead of B when window 1 completes: its file of window 1 holds its
        // block of window 1, not the newer one it shows by then.
        makeHistograms(2);
        TimeTriggerModel model;
        configure(model, "K", {".csv"});
        model.setEnableTimeTrigger(true);
        m_devices[0]->deliver(counts(1), 1, true);
        m_devices[0]->deliver(counts(2), 2, true);
        m_devices[0]->deliver(counts(3), 3, true);
        QCoreApplication::processEvents();
        QCOMPARE(model.winNum(), 0u);
        for (std::uint32_t w = 1; w <= 3; ++w) {
            m_devices[1]->deliver(counts(10 * w), w, true);
            QCoreApplication::processEvents();
            QCOMPARE(model.winNum(), w);
        }
        QCOMPARE(model.lostWindows(), 0u);
        model.waitForWrites();
        QCoreApplication::processEvents();
        for (std::uint32_t w = 1; w <= 3; ++w) {
            QFile a(file("K", QString("run%1_A.csv").arg(w)));
            QVERIFY(a.open(QIODevice::ReadOnly));
            const QStringList lines = QString::fromUtf8(a.readAll()).split('\n');
            QVERIFY2(lines.size() > 3 && lines[2].endsWith(QString(",%1").arg(w)), qPrintable(lines.value(2)));
            QFile b(file("K", QString("run%1_B.csv").arg(w)));
            QVERIFY(b.open(QIODevice::ReadOnly));
            QVERIFY(QString::fromUtf8(b.readAll()).split('\n').value(2).endsWith(QString(",%1").arg(10 * w)));
        }
        model.setEnableTimeTrigger(false);
    }

    void anOverrunAbandonsTheWindow()
    {
        makeHistograms(2);
        TimeTriggerModel model;
        configure(model, "O", {".png"});
        QSignalSpy images(&model, &TimeTriggerModel::exportHistogram);
        model.setEnableTimeTrigger(true);
        // Histogram 0 delivers window 1 twice before histogram 1 delivers it.
        m_devices[0]->deliver(counts(1), 1, true);
        m_devices[0]->deliver(counts(1), 1, true);
        QCoreApplication::processEvents();
        m_devices[1]->deliver(counts(1), 1, true);
        QCoreApplication::processEvents();
        QCOMPARE(images.count(), 0);
        m_devices[1]->deliver(counts(1), 2, true);
        window(3);
        QCOMPARE(images.count(), 1);
        QCOMPARE(model.winNum(), 3u);
        QCOMPARE(model.lostWindows(), 2u);
        model.setEnableTimeTrigger(false);
        QVERIFY(!m_wrappers[0]->isTimeTrigActive());
        QVERIFY(m_devices[0]->calls().last() == "disable");
    }

    void oneCombinedFilePerWindow()
    {
        makeHistograms(2);
        TimeTriggerModel model;
        configure(model, "C", {".csv"});
        model.setSingleCSV(true);
        model.setEnableTimeTrigger(true);
        window(1, false, 3);
        window(2, false, 4);
        model.waitForWrites();
        QCoreApplication::processEvents();
        QFile f(file("C", "run1.csv"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.first(), QString("# Bin value [s],A,B"));
        QCOMPARE(lines.size(), 1 + 1024);
        QCOMPARE(lines[1], QString("0,3,3"));
        QVERIFY(QFileInfo::exists(file("C", "run2.csv")));
        QVERIFY(!QFileInfo::exists(file("C", "run1_A.csv")));
        QCOMPARE(model.savedFilesSize(), qulonglong(sizeOf(f.fileName()) + sizeOf(file("C", "run2.csv"))));
        model.setEnableTimeTrigger(false);
    }

    void aWindowsSizeIsPublishedWhenAllItsTextFilesAreWritten()
    {
        makeHistograms(3);
        TimeTriggerModel model;
        configure(model, "Z", {".csv"});
        model.setRepetition(2);
        QSignalSpy sizes(&model, &TimeTriggerModel::savedFilesSizeChanged);
        model.setEnableTimeTrigger(true);
        const int atStart = sizes.count();
        window(1);
        window(2, true);
        QVERIFY(!model.enableTimeTrigger());
        model.waitForWrites();
        QCoreApplication::processEvents();
        // Once per window, each time with every file of the window counted; the run's last
        // window included.
        QCOMPARE(sizes.count(), atStart + 2);
        qulonglong all = 0;
        for (const char *name : {"run1_A.csv", "run1_B.csv", "run1_C.csv", "run2_A.csv", "run2_B.csv", "run2_C.csv"})
            all += qulonglong(sizeOf(file("Z", name)));
        QVERIFY(all > 0);
        QCOMPARE(model.savedFilesSize(), all);
    }

    void sizesPastFourGiBAndPathsWithoutExtension()
    {
        TimeTriggerModel model;
        model.setExtension({".png"});
        const qint64 big = qint64(3) << 30;
        for (const char *name : {"a.png", "b.png"}) {
            QFile f(m_dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (!f.resize(big))
                QSKIP("the temporary folder cannot hold sparse 3 GiB files");
        }
        model.exportComplete(m_dir.filePath("a.png"));
        model.exportComplete(m_dir.filePath("b.png"));
        QCOMPARE(model.savedFilesSize(), qulonglong(2 * big));
        // No "." in the path: refused with a warning, nothing counted, nothing thrown.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("has no extension"));
        model.exportComplete(m_dir.filePath("noextension"));
        QCOMPARE(model.savedFilesSize(), qulonglong(2 * big));
        // A file that does not exist counts nothing.
        model.exportComplete(m_dir.filePath("absent.png"));
        QCOMPARE(model.savedFilesSize(), qulonglong(2 * big));
    }

    void anEmptyRunLastsUntilStopped()
    {
        TimeTriggerModel model;
        QSignalSpy enabled(&model, &TimeTriggerModel::enableTimeTriggerChanged);
        model.setEnableTimeTrigger(true);
        QVERIFY(model.enableTimeTrigger());
        QCOMPARE(model.elapsedTime(), 0u);
        QCoreApplication::processEvents();
        QVERIFY(model.enableTimeTrigger());
        model.setEnableTimeTrigger(false);
        QVERIFY(!model.enableTimeTrigger());
        QCOMPARE(enabled.count(), 2);
    }

    void listOperationsAndAWrapperThatGoes()
    {
        makeHistograms(3);
        TimeTriggerModel model;
        for (auto &w : m_wrappers)
            model.addHistModel(w.get());
        model.removeHistModel(m_wrappers[1].get());
        model.removeHistModel(m_wrappers[1].get());
        QCOMPARE(model.histModels().size(), 2);
        QCOMPARE(model.histModels()[1], static_cast<QObject *>(m_wrappers[2].get()));
        m_wrappers[2].reset();
        QCOMPARE(model.histModels().size(), 1);
        model.clearHistModels();
        QVERIFY(model.histModels().isEmpty());
    }
};

TESSARON_TEST_MAIN(QCoreApplication, TimeTriggerModelTest)
#include "tst_timetriggermodel.moc"
