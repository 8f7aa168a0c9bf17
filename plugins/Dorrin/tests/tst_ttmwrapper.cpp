// The time-tagging model against a scripted time tagger: what it enables, the files it
// writes, how a stop drains into the file, timed runs, statistics, and the preview's place
// beside a recording.
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "rawfileplan.h"
#include "scriptedtagger.h"
#include "tdc/rawreader.h"
#include "testmain.h"
#include "ttmchart.h"
#include "ttmworker.h"
#include "ttmwrapper.h"

namespace {
using M = Dorrin::measurement;

QStringList g_log;
QtMessageHandler g_previous = nullptr;
void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_log.append(message);
    if (g_previous && type != QtDebugMsg)
        g_previous(type, context, message);
}

std::vector<M> tags(std::uint8_t channel, std::uint64_t from, int count)
{
    std::vector<M> out;
    for (int i = 0; i < count; ++i)
        out.push_back({channel, 1, from + std::uint64_t(i) * 10});
    return out;
}

int csvRows(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = f.readAll().split('\n');
    int rows = 0;
    for (const QByteArray &l : lines)
        if (!l.isEmpty() && !l.startsWith('#') && l != "channel,edge,tag")
            ++rows;
    return rows;
}
} // namespace

class TTMWrapperTest : public QObject {
    Q_OBJECT
private:
    QObject m_backend;
    std::unique_ptr<QTemporaryDir> m_dir;
    ScriptedTagger *m_tagger = nullptr;

    std::unique_ptr<TTMWrapper> make(unsigned period = 50)
    {
        auto device = std::make_unique<ScriptedTagger>();
        m_tagger = device.get();
        auto w = std::make_unique<TTMWrapper>(m_tagger, std::move(device), &m_backend, period);
        w->setFolderRAW(QUrl::fromLocalFile(m_dir->path()));
        w->setSubFolderRAW("run");
        w->setFileNameRAW("ttm-acquisition");
        w->setRisingFilter({0, 1, 2});
        return w;
    }

    // Stops a recording and waits until its file is closed.
    static void stop(TTMWrapper &w)
    {
        w.setEnableSaveRAW(false);
        QTRY_VERIFY_WITH_TIMEOUT(!w.emptyingQueue(), 5000);
    }

    QString runDir() const { return m_dir->path() + "/run"; }

private slots:
    void initTestCase()
    {
        m_backend.setProperty("numCh", 9u);
        m_backend.setProperty("minBinWidth", 1e-12);
        g_previous = qInstallMessageHandler(collect);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkpath("run"));
        g_log.clear();
    }

    void interfaceAndDefaults()
    {
        auto w = make();
        const QMetaObject *mo = w->metaObject();
        QStringList properties;
        for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i)
            properties << mo->property(i).name();
        QCOMPARE(properties, QStringList({"folderImg", "subFolderImg", "fileNameImg", "folderRAW", "subFolderRAW",
                                          "fileNameRAW", "risingFilter", "fallingFilter", "integrationMode",
                                          "splitMode", "enableSplit", "timeInterval", "fileSize",
                                          "splitTimeInterval", "enableSaveRAW", "rawFileFormat", "enableHist",
                                          "enableTTM", "integrationRate", "integrationTime", "integrationSize",
                                          "lostSamples", "integrationSample", "emptyingQueue", "chart"}));
        QStringList signalNames;
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
            if (mo->method(i).methodType() == QMetaMethod::Signal)
                signalNames << mo->method(i).name();
        QCOMPARE(signalNames.first(), QString("risingFilterChanged"));
        QCOMPARE(signalNames.indexOf("pathRAWChanged") + 1, signalNames.indexOf("channelsChanged"));
        QCOMPARE(signalNames.last(), QString("fileNameImgChanged"));
        QCOMPARE(signalNames.size(), 25);
        QVERIFY(!mo->property(mo->indexOfProperty("rawFileFormat")).hasNotifySignal());

        QCOMPARE(w->persistedProperties(), QStringList({"folderImg", "fileNameImg", "folderRAW", "fileNameRAW"}));
        QCOMPARE(w->numCh(), 9u);
        QCOMPARE(w->worker()->scale(), 0.1);
        QCOMPARE(w->splitMode(), QString("SIZE"));
        QCOMPARE(w->fileSize(), qulonglong(104857600));
        QCOMPARE(w->splitTimeInterval(), 100u);
        QVERIFY(!w->enableSplit() && !w->enableSaveRAW() && !w->enableTTM() && !w->enableHist());
        QCOMPARE(w->fileNameImg(), QString("Chart"));
        QCOMPARE(w->subFolderImg(), QString("time"));
        QVERIFY(w->folderImg().isLocalFile());
        QVERIFY(g_log.contains("Init TTMWrapper with 9 channels"));

        // The view writes channel lists as JS arrays.
        QVERIFY(w->setProperty("fallingFilter", QVariantList{4, 7}));
        QCOMPARE(w->fallingFilter(), QVector<uint>({4, 7}));

        QSignalSpy spy(w.get(), &TTMWrapper::fileSizeChanged);
        w->setFileSize(104857600);
        w->setFileSize(5);
        QCOMPARE(spy.count(), 1);
        QVERIFY(g_log.contains("Set fileSize to:5"));
    }

    void channelMaps()
    {
        // The sync channel is never taken on its falling edge; a channel in both lists takes both.
        Dorrin::ChannelMap m = rawfileplan::channelMap({0, 1, 3}, {0, 2, 3});
        QCOMPARE(m.size(), std::size_t(4));
        QCOMPARE(int(m.at(0)), 1);
        QCOMPARE(int(m.at(1)), 1);
        QCOMPARE(int(m.at(2)), 2);
        QCOMPARE(int(m.at(3)), 3);
        QVERIFY(rawfileplan::channelMap({}, {0}).empty());

        auto w = make();
        w->setRisingFilter({});
        w->setFallingFilter({0, 1, 2, 3, 4, 5, 6, 7, 8});
        w->setEnableSaveRAW(true);
        QCOMPARE(m_tagger->enables.size(), std::size_t(1));
        QCOMPARE(m_tagger->enables[0].count(0), std::size_t(0));
        QCOMPARE(m_tagger->enables[0].size(), std::size_t(8));
        stop(*w);
    }

    void fileNames()
    {
        QCOMPARE(rawfileplan::fileName("ttm-acquisition", ".bin", true), QString("ttm-acquisition{:d}.bin"));
        QCOMPARE(rawfileplan::fileName("ttm-acquisition", ".bin", false), QString("ttm-acquisition.bin"));
        QCOMPARE(rawfileplan::fileName("run.bin", ".bin", false), QString("run.bin"));
        QCOMPARE(rawfileplan::fileName("run.bin", ".bin", true), QString("run{:d}.bin"));
        QCOMPARE(rawfileplan::fileName("run.BIN", ".bin", false), QString("run.BIN.bin"));
        QCOMPARE(rawfileplan::fileName("noext", "", true), QString("noext{:d}"));

        // Upper case is not ".bin": the text form is written, under the name asked for.
        auto w = make();
        w->setRawFileFormat(".BIN");
        w->setEnableSaveRAW(true);
        QCOMPARE(w->pathRAW(), runDir() + "/ttm-acquisition.BIN");
        m_tagger->push(tags(1, 100, 3));
        stop(*w);
        QFile f(runDir() + "/ttm-acquisition.BIN");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readLine().startsWith("channel,edge,tag"));
        QCOMPARE(csvRows(f.fileName()), 3);
    }

    void splitBySizeNumbersTheFiles()
    {
        auto w = make();
        w->setRawFileFormat(".csv");
        w->setEnableSplit(true);
        w->setSplitMode("SIZE");
        w->setFileSize(2000);
        w->setEnableSaveRAW(true);
        QCOMPARE(w->pathRAW(), runDir() + "/ttm-acquisition{:d}.csv");
        QVERIFY(g_log.contains("Create RAW file with splitMode = SIZE      fileSize =2000"));
        for (int b = 0; b < 10; ++b)
            m_tagger->push(tags(1, 1000000 + b * 1000, 50));
        stop(*w);
        const QStringList files = QDir(runDir()).entryList({"ttm-acquisition*.csv"}, QDir::Files, QDir::Name);
        QVERIFY2(files.size() >= 3, qPrintable(files.join(',')));
        QVERIFY(files.contains("ttm-acquisition0.csv"));
        int rows = 0;
        for (const QString &f : files) {
            QVERIFY(QFileInfo(runDir() + "/" + f).size() <= 2000);
            rows += csvRows(runDir() + "/" + f);
        }
        QCOMPARE(rows, 500);
        QCOMPARE(w->integrationSample(), qulonglong(500));
    }

    void splitByTimeAndNoSplit()
    {
        auto w = make();
        w->setEnableSplit(true);
        w->setSplitMode("TIME");
        w->setSplitTimeInterval(30);
        w->setEnableSaveRAW(true);
        QVERIFY(g_log.contains("Create RAW file with splitMode = TIME      splitTimeInterval =30"));
        QVERIFY(QFile::exists(runDir() + "/ttm-acquisition0.csv"));
        stop(*w);

        // A split mode that is neither rule records into one file.
        w->setSplitMode("NEITHER");
        w->setEnableSaveRAW(true);
        QVERIFY(g_log.contains("Create RAW file with enableSplit=false"));
        QCOMPARE(w->pathRAW(), runDir() + "/ttm-acquisition{:d}.csv");
        stop(*w);
        w->setEnableSplit(false);
        w->setEnableSaveRAW(true);
        QCOMPARE(w->pathRAW(), runDir() + "/ttm-acquisition.csv");
        QVERIFY(QFile::exists(runDir() + "/ttm-acquisition.csv"));
        stop(*w);
    }

    void timeIntervalStopsByItself()
    {
        auto w = make();
        w->setIntegrationMode("TIME_INTERVAL");
        w->setTimeInterval(300);
        QSignalSpy saving(w.get(), &TTMWrapper::enableSaveRAWChanged);
        w->setEnableSaveRAW(true);
        QVERIFY(w->enableTTM());
        m_tagger->push(tags(2, 5, 7));
        QTRY_VERIFY_WITH_TIMEOUT(!w->enableSaveRAW(), 5000);
        QCOMPARE(saving.count(), 2);
        QVERIFY(!w->enableTTM());
        QVERIFY(!m_tagger->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!w->emptyingQueue(), 5000);
        QCOMPARE(csvRows(runDir() + "/ttm-acquisition.csv"), 7);

        // A handler that starts the next run from the stop gets a fresh recording.
        w->setFileNameRAW("second");
        bool restarted = false;
        QMetaObject::Connection c = connect(w.get(), &TTMWrapper::enableSaveRAWChanged, this, [&] {
            if (!w->enableSaveRAW() && !restarted) {
                restarted = true;
                w->setFileNameRAW("third");
                w->setEnableSaveRAW(true);
            }
        });
        w->setEnableSaveRAW(true);
        m_tagger->push(tags(3, 5, 4));
        QTRY_VERIFY_WITH_TIMEOUT(restarted, 5000);
        disconnect(c);
        QVERIFY(w->enableSaveRAW());
        QVERIFY(w->enableTTM());
        m_tagger->push(tags(3, 500, 6));
        QTRY_VERIFY_WITH_TIMEOUT(!w->enableSaveRAW(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!w->emptyingQueue(), 5000);
        QCOMPARE(csvRows(runDir() + "/second.csv"), 4);
        QCOMPARE(csvRows(runDir() + "/third.csv"), 6);
    }

    void stopDrainsEveryCapturedTagIntoTheFile()
    {
        auto w = make();
        w->setRawFileFormat(".bin");
        w->setEnableSaveRAW(true);
        // A backlog: the capture thread is behind by many batches when the user stops.
        m_tagger->hold(true);
        for (int b = 0; b < 40; ++b)
            m_tagger->push(tags(1, 1000 + std::uint64_t(b) * 100000, 1000));
        QSignalSpy emptying(w.get(), &TTMWrapper::emptyingQueueChanged);
        w->setEnableSaveRAW(false);
        QVERIFY(w->emptyingQueue());
        QVERIFY(!w->enableTTM());
        // Nothing may start while the queue drains: a new recording waits for the file.
        w->setEnableHist(true);
        QVERIFY(!w->enableTTM());
        QCOMPARE(m_tagger->enables.size(), std::size_t(1));
        QTest::qWait(100);
        QVERIFY(w->emptyingQueue());
        m_tagger->hold(false);
        QTRY_VERIFY_WITH_TIMEOUT(!w->emptyingQueue(), 5000);
        QCOMPARE(emptying.count(), 2);
        QVERIFY(!w->worker()->hasWriter());
        QCOMPARE(w->integrationRate(), 0.0);
        QCOMPARE(w->integrationTime(), 0.0);

        tdcraw::Reader r;
        QVERIFY(!r.open((runDir() + "/ttm-acquisition.bin").toStdString()));
        std::vector<tdcraw::measurement> read;
        std::vector<tdcraw::loss> markers;
        bool end = false;
        while (!end)
            QVERIFY(!r.next(read, markers, end));
        QCOMPARE(read.size(), std::size_t(40000));
        QCOMPARE(w->integrationSize(), double(QFileInfo(runDir() + "/ttm-acquisition.bin").size()));
        // The header names the channels of this capture, not of an earlier one.
        QVERIFY(r.header().settingsJson.find("\"1\":\"rising\"") != std::string::npos);

        // The preview asked for during the drain starts after it.
        QVERIFY(w->enableTTM());
        QCOMPARE(m_tagger->enables.size(), std::size_t(2));
        QVERIFY(w->chart()->active());
        w->setEnableHist(false);
        QTRY_VERIFY_WITH_TIMEOUT(!w->emptyingQueue(), 5000);
    }

    void lostSamplesOnlyAfterAStop()
    {
        auto w = make();
        w->setEnableSaveRAW(true);
        m_tagger->addLost(5);
        m_tagger->push(tags(1, 10, 3));
        QTest::qWait(150);
        QCOMPARE(w->lostSamples(), 0.0);
        QSignalSpy lost(w.get(), &TTMWrapper::lostSamplesChanged);
        stop(*w);
        QCOMPARE(w->lostSamples(), 5.0);
        QVERIFY(lost.count() >= 1);

        // Starting again clears it.
        w->setEnableSaveRAW(true);
        QCOMPARE(w->lostSamples(), 0.0);
        stop(*w);

        // A destination that cannot be written: every tag handed to the writer is lost, and
        // the stop says so instead of reporting a clean run.
        w->setSubFolderRAW("missing-folder");
        w->setEnableSaveRAW(true);
        QVERIFY(g_log.filter("Cannot write the RAW file").size() == 1);
        m_tagger->push(tags(1, 10, 12));
        stop(*w);
        QCOMPARE(w->lostSamples(), 12.0);
    }

    void previewStaysOutOfARecording()
    {
        auto w = make();
        TTMChart *chart = w->chart();
        chart->setRefCH(1, 1);
        chart->setMeasCH(2, 1);
        w->setRisingFilter({1, 2});
        chart->setEnabled(true);
        QVERIFY(w->enableHist());
        QVERIFY(w->enableTTM());
        QCOMPARE(m_tagger->enables.size(), std::size_t(1));
        m_tagger->push({{1, 1, 100}, {2, 1, 130}});
        QTRY_COMPARE_WITH_TIMEOUT(w->worker()->binValue(3), quint64(1), 5000);

        // Recording switches the preview off and restarts the capture with the recording's
        // channels and counts from zero.
        w->setRisingFilter({0, 1, 2, 3});
        w->setEnableSaveRAW(true);
        QVERIFY(!chart->enabled());
        QVERIFY(!w->enableHist());
        QVERIFY(w->enableTTM());
        QCOMPARE(m_tagger->enables.size(), std::size_t(2));
        QCOMPARE(m_tagger->enables[1].size(), std::size_t(4));
        QCOMPARE(w->integrationSample(), qulonglong(0));

        // The preview wanted during a recording changes nothing until the recording ends.
        chart->setEnabled(true);
        QVERIFY(w->enableHist());
        QVERIFY(!chart->active());
        m_tagger->push({{1, 1, 200}, {2, 1, 250}});
        QTRY_COMPARE_WITH_TIMEOUT(w->worker()->tagsToWriter(), quint64(2), 5000);
        QCOMPARE(w->worker()->binValue(5), quint64(0));
        QCOMPARE(m_tagger->enables.size(), std::size_t(2));

        // Ending the recording closes its file though the preview still wants the capture,
        // then the preview starts afresh.
        w->setEnableSaveRAW(false);
        QVERIFY(w->emptyingQueue());
        QTRY_VERIFY_WITH_TIMEOUT(!w->emptyingQueue(), 5000);
        QCOMPARE(csvRows(runDir() + "/ttm-acquisition.csv"), 2);
        QVERIFY(chart->active());
        QVERIFY(w->enableTTM());
        QCOMPARE(m_tagger->enables.size(), std::size_t(3));
        QCOMPARE(w->worker()->binCount(), std::size_t(0));
        m_tagger->push({{1, 1, 300}, {2, 1, 307}});
        QTRY_COMPARE_WITH_TIMEOUT(w->worker()->binValue(0), quint64(1), 5000);
        chart->setEnabled(false);
        QTRY_VERIFY_WITH_TIMEOUT(!w->emptyingQueue(), 5000);
        QVERIFY(!w->enableTTM());
    }

    void previewCaptureFollowsItsChannels()
    {
        auto w = make();
        w->setRisingFilter({1, 2});
        w->chart()->setEnabled(true);
        QCOMPARE(m_tagger->enables.size(), std::size_t(1));
        w->setRisingFilter({1});
        w->setFallingFilter({3});
        QTRY_COMPARE_WITH_TIMEOUT(m_tagger->enables.size(), std::size_t(2), 5000);
        QCoreApplication::processEvents();
        QCOMPARE(m_tagger->enables.size(), std::size_t(2));   // one restart for both lists
        const Dorrin::ChannelMap expected{{1, TDCChannel::RISING}, {3, TDCChannel::FALLING}};
        QVERIFY(m_tagger->enables[1] == expected);
        w->chart()->setEnabled(false);
        QTRY_VERIFY_WITH_TIMEOUT(!w->emptyingQueue(), 5000);
        // Filters changed while nothing runs start nothing.
        w->setRisingFilter({4});
        QCoreApplication::processEvents();
        QCOMPARE(m_tagger->enables.size(), std::size_t(2));
    }

    void statisticsRate()
    {
        auto w = make(100);
        QSignalSpy rate(w.get(), &TTMWrapper::integrationRateChanged);
        w->setEnableSaveRAW(true);
        QTest::qWait(20);
        m_tagger->push(tags(1, 10, 50000));
        QTRY_VERIFY_WITH_TIMEOUT(w->integrationRate() > 0, 5000);
        // 50 000 tags in one period of about 0.1 s (late ticks under load stretch it).
        QVERIFY2(w->integrationRate() > 50000 / 1.0 && w->integrationRate() < 50000 / 0.09,
                 qPrintable(QString::number(w->integrationRate())));
        QCOMPARE(w->integrationSample(), qulonglong(50000));
        // No tags since: the next period's rate is zero again.
        QTRY_COMPARE_WITH_TIMEOUT(w->integrationRate(), 0.0, 5000);
        QVERIFY(w->integrationTime() > 0);
        stop(*w);
        QCOMPARE(w->integrationRate(), 0.0);
    }

    void refusedEnableEndsTheRecording()
    {
        auto w = make();
        m_tagger->failEnable = true;
        w->setEnableSaveRAW(true);
        QVERIFY(!w->enableSaveRAW());
        QVERIFY(!w->enableTTM());
        QVERIFY(!w->worker()->hasWriter());
        QVERIFY(!g_log.filter("Cannot turn TTM on").isEmpty());
    }

    void releaseClosesARecordingInProgress()
    {
        auto w = make();
        w->setEnableSaveRAW(true);
        m_tagger->push(tags(4, 10, 9));
        w->releaseModule();
        QVERIFY(!w->worker()->hasWriter());
        QCOMPARE(csvRows(runDir() + "/ttm-acquisition.csv"), 9);
        QCOMPARE(w->integrationSample(), qulonglong(9));
        // Setters after the release leave the (gone) module alone.
        w->setEnableSaveRAW(false);
        w->setEnableHist(true);
        QVERIFY(!w->enableTTM());
    }
};

TESSARON_TEST_MAIN(QCoreApplication, TTMWrapperTest)
#include "tst_ttmwrapper.moc"
