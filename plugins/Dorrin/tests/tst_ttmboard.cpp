// The time-tagging model against the time tagger of a virtual board in the process: what it
// records reads back complete, and the preview finds the built-in profile's correlated pair.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "chartelle/filter1d.h"

#include "tdc/dorrin.h"
#include "tdc/rawreader.h"
#include "tdc/tdcbackend.h"
#include "testmain.h"
#include "ttmchart.h"
#include "ttmworker.h"
#include "ttmwrapper.h"

class TTMBoardTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TDCBackend> m_backend;
    Dorrin *m_tagger = nullptr;
    QObject m_parent;
    QTemporaryDir m_dir;

    std::uint64_t readAll(const QStringList &files, std::uint64_t &markers)
    {
        std::uint64_t count = 0;
        markers = 0;
        for (const QString &file : files) {
            tdcraw::Reader r;
            if (r.open(file.toStdString())) {
                qWarning() << "cannot open" << file;
                return 0;
            }
            std::vector<tdcraw::measurement> tags;
            std::vector<tdcraw::loss> losses;
            bool end = false;
            while (!end) {
                if (r.next(tags, losses, end)) {
                    qWarning() << QString::fromStdString(r.errorText());
                    return 0;
                }
            }
            count += tags.size();
            markers += losses.size();
        }
        return count;
    }

private slots:
    void initTestCase()
    {
        m_backend = std::make_unique<TDCBackend>();
        const auto devices = m_backend->getDevices().first;
        QVERIFY2(!devices.empty(), "no virtual board listed");
        QVERIFY(!m_backend->open(devices.front(), {}, std::chrono::milliseconds(5000)));
        m_backend->loadModules(0);
        for (TessaronModule *module : m_backend->getModules())
            if (!m_tagger)
                m_tagger = dynamic_cast<Dorrin *>(module);
        QVERIFY2(m_tagger, "the virtual board has no time tagger");
        m_parent.setProperty("numCh", m_tagger->numChannels());
        m_parent.setProperty("minBinWidth", m_tagger->tagUnit());
    }

    void cleanupTestCase() { m_backend.reset(); }

    void recordingReadsBackComplete()
    {
        TTMWrapper w(m_tagger, &m_parent, 100);
        QVector<uint> all;
        for (uint c = 0; c < w.numCh(); ++c)
            all << c;
        w.setRisingFilter(all);
        w.setFallingFilter(all);
        w.setFolderRAW(QUrl::fromLocalFile(m_dir.path()));
        w.setSubFolderRAW("board");
        QVERIFY(QDir(m_dir.path()).mkpath("board"));
        w.setFileNameRAW("ttm-acquisition");
        w.setRawFileFormat(".bin");
        w.setEnableSplit(true);
        w.setFileSize(64 * 1024);
        w.setEnableSaveRAW(true);
        QVERIFY(w.enableTTM());
        QTRY_VERIFY_WITH_TIMEOUT(w.integrationSample() > 20000, 10000);
        w.setEnableSaveRAW(false);
        QTRY_VERIFY_WITH_TIMEOUT(!w.emptyingQueue(), 10000);
        QCOMPARE(w.lostSamples(), 0.0);

        const QDir dir(m_dir.path() + "/board");
        QStringList files;
        for (const QString &f : dir.entryList({"ttm-acquisition*.bin"}, QDir::Files))
            files << dir.filePath(f);
        // Numbered from 0 in the order written.
        std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        QVERIFY2(files.size() >= 2, qPrintable(files.join(',')));
        std::uint64_t markers = 0;
        const std::uint64_t read = readAll(files, markers);
        QCOMPARE(read, quint64(w.integrationSample()));
        QCOMPARE(markers, std::uint64_t(0));
        qint64 bytes = 0;
        for (const QString &f : files)
            bytes += QFileInfo(f).size();
        QVERIFY(w.integrationSize() > 0 && w.integrationSize() <= double(bytes));
    }

    void previewFindsTheCorrelatedPair()
    {
        // Channel 2 repeats half of channel 1's pulses 12 ns later: bin 1200 of 10 ps.
        TTMWrapper w(m_tagger, &m_parent, 100);
        w.chart()->setRefCH(1, 1);
        w.chart()->setMeasCH(2, 1);
        w.setRisingFilter({1, 2});
        w.chart()->setEnabled(true);
        QVERIFY(w.enableTTM());
        QTRY_VERIFY_WITH_TIMEOUT(w.worker()->binCount() > 2000, 20000);
        w.chart()->refresh();
        QTRY_VERIFY_WITH_TIMEOUT(w.chart()->data()->data().size() > 2, 5000);
        std::uint64_t peak = 0, near = 0;
        std::uint64_t peakBin = 0;
        for (std::uint64_t b = 1100; b < 1300; ++b) {
            const std::uint64_t c = w.worker()->binValue(b);
            if (c > peak) {
                peak = c;
                peakBin = b;
            }
            if (b >= 1150 && b < 1250)
                near += c;
        }
        QVERIFY2(peakBin >= 1170 && peakBin <= 1230, qPrintable(QString::number(peakBin)));
        QVERIFY2(near > 100, qPrintable(QString::number(near)));
        w.chart()->setEnabled(false);
        QTRY_VERIFY_WITH_TIMEOUT(!w.emptyingQueue(), 10000);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, TTMBoardTest)
#include "tst_ttmboard.moc"
