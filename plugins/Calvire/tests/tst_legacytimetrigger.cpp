// Legacy time-trigger runs with the legacy histogrammers of two virtual boards: windows
// numbered from 0, one CSV per window with one block per histogram, images reported by path.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "legacyboards.h"
#include "tdcoldhistogrammerwrapper.h"
#include "testmain.h"
#include "timetriggermodel.h"

class LegacyTimeTriggerTest : public QObject {
    Q_OBJECT
private:
    std::vector<std::unique_ptr<LegacyBoard>> m_boards;
    std::vector<std::unique_ptr<TDCOldHistogrammerWrapper>> m_wrappers;
    QTemporaryDir m_root;

    // A run of `repetition` windows of one second into a fresh folder; the folder's path.
    QString run(calvire::TimeTriggerModel &model, uint repetition, const QStringList &extensions,
                const QString &folderName)
    {
        const QString folder = m_root.filePath(folderName);
        QDir().mkpath(folder + "/sub");
        model.setFolder(QUrl::fromLocalFile(folder));
        model.setSubFolder("sub");
        model.setFilePrefix("legacy");
        model.setExtension(extensions);
        model.setTimeInterval(1);
        model.setRepetition(repetition);
        model.clearHistModels();
        for (auto &w : m_wrappers)
            model.addHistModel(w.get());
        model.setEnableTimeTrigger(true);
        return folder + "/sub";
    }

    static int blocks(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        return QString::fromUtf8(file.readAll()).count(QRegularExpression("^# ---------- .* ---------- #$",
                                                                          QRegularExpression::MultilineOption));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        const QString failure = openLegacyBoards(m_boards, 2);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        for (auto &board : m_boards) {
            auto wrapper = std::make_unique<TDCOldHistogrammerWrapper>(board->legacy, &board->facts);
            wrapper->setRefCH(1, TDCChannel::RISING);
            wrapper->setMeasCH(2, TDCChannel::RISING);
            wrapper->setIsActive(true);
            m_wrappers.push_back(std::move(wrapper));
        }
        QCOMPARE(m_wrappers[0]->name() == m_wrappers[1]->name(), false);
        for (auto &w : m_wrappers)
            QTRY_COMPARE_WITH_TIMEOUT(w->runningTasks(), 0, 10000);
    }

    void cleanupTestCase()
    {
        m_wrappers.clear();
        m_boards.clear();
    }

    void threeWindowsThreeFilesTwoBlocksEach()
    {
        calvire::TimeTriggerModel model;
        QSignalSpy repetitions(&model, &calvire::TimeTriggerModel::repetitionChanged);
        const QString dir = run(model, 3, {".csv"}, "three");
        QVERIFY(model.enableTimeTrigger());
        QTRY_VERIFY_WITH_TIMEOUT(!model.enableTimeTrigger(), 30000);
        for (int window = 0; window < 3; ++window) {
            const QString path = dir + QStringLiteral("/legacy%1.csv").arg(window);
            QVERIFY2(QFile::exists(path), qPrintable(path));
            QCOMPARE(blocks(path), 2);
        }
        QVERIFY(!QFile::exists(dir + "/legacy3.csv"));
        // The panel's figures: every window counted once, with the bytes of its file.
        QCOMPARE(model.windowsSaved(), 3u);
        qint64 bytes = 0;
        for (int window = 0; window < 3; ++window)
            bytes += QFileInfo(dir + QStringLiteral("/legacy%1.csv").arg(window)).size();
        QCOMPARE(model.savedFilesSize(), bytes);
        QVERIFY2(model.elapsedTime() >= 2u, qPrintable(QString::number(model.elapsedTime())));
        // The run counted down and restored what the user wrote.
        QVERIFY(repetitions.count() >= 3);
        QCOMPARE(model.repetition(), 3u);
        QCOMPARE(model.timeInterval(), 1u);
        for (auto &w : m_wrappers)
            QVERIFY(!w->isTimeTrigActive());
        // Each window's block holds the histogram's bins: a title, a column line, the bins,
        // a rule and an empty line.
        QFile file(dir + "/legacy0.csv");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        const int bins = 1 << m_wrappers[0]->binAddrWidth();
        QCOMPARE(lines.size(), 2 * (bins + 4) + 1);
        QCOMPARE(lines[0], "# ---------- " + m_wrappers[0]->name() + " ---------- #");
        // Bin i is written at (i + 1) bin widths, whatever the offset.
        const double binWidth = m_wrappers[0]->binWidth();
        QVERIFY2(lines[2].startsWith(QString::number(binWidth, 'g', 6) + ","), qPrintable(lines[2]));
        QVERIFY2(lines[3].startsWith(QString::number(2 * binWidth, 'g', 6) + ","), qPrintable(lines[3]));
        QCOMPARE(lines[bins + 4], "# ---------- " + m_wrappers[1]->name() + " ---------- #");
    }

    void repetitionZeroOrOneRecordsOneWindow()
    {
        for (uint repetition : {0u, 1u}) {
            calvire::TimeTriggerModel model;
            const QString dir = run(model, repetition, {".csv"}, QStringLiteral("once%1").arg(repetition));
            QTRY_VERIFY_WITH_TIMEOUT(!model.enableTimeTrigger(), 20000);
            QVERIFY(QFile::exists(dir + "/legacy0.csv"));
            QVERIFY(!QFile::exists(dir + "/legacy1.csv"));
        }
    }

    void imagesInAFolderWithADotComplete()
    {
        // The view writes each image and reports the path it wrote.
        calvire::TimeTriggerModel model;
        QStringList asked;
        connect(&model, &calvire::TimeTriggerModel::exportHistogram, &model, [&](const QString &path) {
            asked << path;
            QFile image(path);
            if (image.open(QIODevice::WriteOnly))
                image.write("png");
            QMetaObject::invokeMethod(&model, [&model, path] { model.exportComplete(path); }, Qt::QueuedConnection);
        });
        const QString dir = run(model, 2, {".png", ".csv"}, "run.2");
        QTRY_VERIFY_WITH_TIMEOUT(!model.enableTimeTrigger(), 30000);
        QCOMPARE(asked, (QStringList{dir + "/legacy0.png", dir + "/legacy1.png"}));
        QVERIFY(QFile::exists(dir + "/legacy1.csv"));
    }

    void figuresStartAgainWithEachRun()
    {
        calvire::TimeTriggerModel model;
        QSignalSpy saved(&model, &calvire::TimeTriggerModel::windowsSavedChanged);
        const QString first = run(model, 1, {".csv"}, "again1");
        QTRY_VERIFY_WITH_TIMEOUT(!model.enableTimeTrigger(), 20000);
        QCOMPARE(model.windowsSaved(), 1u);
        const QString second = run(model, 1, {".csv"}, "again2");
        // Started afresh, not added to the last run's figures.
        QCOMPARE(model.windowsSaved(), 0u);
        QCOMPARE(model.savedFilesSize(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!model.enableTimeTrigger(), 20000);
        QCOMPARE(model.windowsSaved(), 1u);
        QCOMPARE(model.savedFilesSize(), QFileInfo(second + "/legacy0.csv").size());
        QVERIFY(QFileInfo(first + "/legacy0.csv").size() > 0);
        QCOMPARE(saved.count(), 3);
    }

    void stoppingEndsTheRun()
    {
        calvire::TimeTriggerModel model;
        run(model, 5, {".csv"}, "stopped");
        QTRY_VERIFY_WITH_TIMEOUT(m_wrappers[0]->isTimeTrigActive() && m_wrappers[1]->isTimeTrigActive(), 10000);
        model.setEnableTimeTrigger(false);
        QCOMPARE(model.repetition(), 5u);
        for (auto &w : m_wrappers)
            QVERIFY(!w->isTimeTrigActive());
        // A window that ends afterwards writes nothing.
        QTest::qWait(1500);
        QVERIFY(!QFile::exists(m_root.filePath("stopped/sub/legacy0.csv")));
        QCOMPARE(model.windowsSaved(), 0u);
        QCOMPARE(model.savedFilesSize(), 0);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, LegacyTimeTriggerTest)
#include "tst_legacytimetrigger.moc"
