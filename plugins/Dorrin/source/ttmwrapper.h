#pragma once
// The model of one time tagger: records every tag of the chosen channels and edges into raw
// files (split by size or time, continuous or for a fixed time), shows live statistics, and
// otherwise feeds the preview histogram of TTMChart.
//
// Capture runs while a recording or the preview wants it. Stopping it disables the module
// and drains its queue on the pool; once every tag captured before the stop has reached the
// file, the file is closed and the GUI thread is told (`emptyingQueue` goes false). A new
// capture waits for that.
//
// Threads: properties, timers and the module's enable/disable on the GUI thread; the
// measurement handler on the device library's capture thread (it touches only the worker);
// the drain task on the Qt global thread pool (it touches only the module's queue and the
// worker's writer).
// Ownership: the backend wrapper is the parent; the module belongs to the device library and
// is released (`releaseModule`) before it goes away; the wrapper owns the worker (shared
// with the capture callback) and the chart.

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVector>

#include <cstdint>
#include <memory>

#include "plugin-contract/tdcbaseextensionobject.h"
#include "ttmchart.h"

class Dorrin;
class TTMDevice;
class TTMWorker;

class TTMWrapper : public TDCBaseExtensionObject {
    Q_OBJECT
    Q_PROPERTY(QUrl folderImg READ folderImg WRITE setFolderImg NOTIFY folderImgChanged)
    Q_PROPERTY(QString subFolderImg READ subFolderImg WRITE setSubFolderImg NOTIFY subFolderImgChanged)
    Q_PROPERTY(QString fileNameImg READ fileNameImg WRITE setFileNameImg NOTIFY fileNameImgChanged)
    Q_PROPERTY(QUrl folderRAW READ folderRAW WRITE setFolderRAW NOTIFY folderRAWChanged)
    Q_PROPERTY(QString subFolderRAW READ subFolderRAW WRITE setSubFolderRAW NOTIFY subFolderRAWChanged)
    Q_PROPERTY(QString fileNameRAW READ fileNameRAW WRITE setFileNameRAW NOTIFY fileNameRAWChanged)
    Q_PROPERTY(QVector<uint> risingFilter READ risingFilter WRITE setRisingFilter NOTIFY risingFilterChanged)
    Q_PROPERTY(QVector<uint> fallingFilter READ fallingFilter WRITE setFallingFilter NOTIFY fallingFilterChanged)
    Q_PROPERTY(QString integrationMode READ integrationMode WRITE setIntegrationMode NOTIFY integrationModeChanged)
    Q_PROPERTY(QString splitMode READ splitMode WRITE setSplitMode NOTIFY splitModeChanged)
    Q_PROPERTY(bool enableSplit READ enableSplit WRITE setEnableSplit NOTIFY enableSplitChanged)
    Q_PROPERTY(uint timeInterval READ timeInterval WRITE setTimeInterval NOTIFY timeIntervalChanged)
    Q_PROPERTY(qulonglong fileSize READ fileSize WRITE setFileSize NOTIFY fileSizeChanged)
    Q_PROPERTY(uint splitTimeInterval READ splitTimeInterval WRITE setSplitTimeInterval NOTIFY splitTimeIntervalChanged)
    Q_PROPERTY(bool enableSaveRAW READ enableSaveRAW WRITE setEnableSaveRAW NOTIFY enableSaveRAWChanged)
    Q_PROPERTY(QString rawFileFormat READ rawFileFormat WRITE setRawFileFormat)
    Q_PROPERTY(bool enableHist READ enableHist WRITE setEnableHist NOTIFY enableHistChanged)
    Q_PROPERTY(bool enableTTM READ enableTTM NOTIFY enableTTMChanged)
    Q_PROPERTY(double integrationRate READ integrationRate NOTIFY integrationRateChanged)
    Q_PROPERTY(double integrationTime READ integrationTime NOTIFY integrationTimeChanged)
    Q_PROPERTY(double integrationSize READ integrationSize NOTIFY integrationSizeChanged)
    Q_PROPERTY(double lostSamples READ lostSamples NOTIFY lostSamplesChanged)
    Q_PROPERTY(qulonglong integrationSample READ integrationSample NOTIFY integrationSampleChanged)
    Q_PROPERTY(bool emptyingQueue READ emptyingQueue WRITE setEmptyingQueue NOTIFY emptyingQueueChanged)
    Q_PROPERTY(TTMChart *chart READ chart CONSTANT)

public:
    TTMWrapper(Dorrin *module, QObject *parent, unsigned statisticsPeriodMs = 100);
    // A wrapper around any time tagger: `module` gives the version texts, `device` the work.
    TTMWrapper(TessaronModule *module, std::unique_ptr<TTMDevice> device, QObject *parent,
               unsigned statisticsPeriodMs = 100);
    ~TTMWrapper() override;

    QUrl folderImg() const { return m_folderImg; }
    QString subFolderImg() const { return m_subFolderImg; }
    QString fileNameImg() const { return m_fileNameImg; }
    QUrl folderRAW() const { return m_folderRAW; }
    QString subFolderRAW() const { return m_subFolderRAW; }
    QString fileNameRAW() const { return m_fileNameRAW; }
    QVector<uint> risingFilter() const { return m_risingFilter; }
    QVector<uint> fallingFilter() const { return m_fallingFilter; }
    QString integrationMode() const { return m_integrationMode; }
    QString splitMode() const { return m_splitMode; }
    bool enableSplit() const { return m_enableSplit; }
    uint timeInterval() const { return m_timeInterval; }
    qulonglong fileSize() const { return m_fileSize; }
    uint splitTimeInterval() const { return m_splitTimeInterval; }
    bool enableSaveRAW() const { return m_enableSaveRAW; }
    QString rawFileFormat() const { return m_rawFileFormat; }
    bool enableHist() const { return m_enableHist; }
    bool enableTTM() const { return m_enableTTM; }
    double integrationRate() const { return m_integrationRate; }
    double integrationTime() const;
    double integrationSize() const;
    double lostSamples() const { return m_lostSamples; }
    qulonglong integrationSample() const;
    bool emptyingQueue() const { return m_emptyingQueue; }
    TTMChart *chart() const { return m_chart; }

    uint numCh() const { return m_numCh; }
    double minBinWidth() const { return m_minBinWidth; }
    TTMWorker *worker() const { return m_worker.get(); }
    // The path handed to the writer of the current (or last) recording, "{:d}" included.
    QString pathRAW() const { return m_pathRAW; }

    void releaseModule() override;

public slots:
    void setFolderImg(const QUrl &folderImg);
    void setSubFolderImg(const QString &subFolderImg);
    void setFileNameImg(const QString &fileNameImg);
    void setFolderRAW(const QUrl &folderRAW);
    void setSubFolderRAW(const QString &subFolderRAW);
    void setFileNameRAW(const QString &fileNameRAW);
    void setRisingFilter(const QVector<uint> &risingFilter);
    void setFallingFilter(const QVector<uint> &fallingFilter);
    void setIntegrationMode(const QString &integrationMode);
    void setSplitMode(const QString &splitMode);
    void setEnableSplit(bool enableSplit);
    void setTimeInterval(uint timeInterval);
    void setFileSize(qulonglong fileSize);
    void setSplitTimeInterval(uint splitTimeInterval);
    void setEnableSaveRAW(bool enableSaveRAW);
    void setRawFileFormat(const QString &rawFileFormat);
    void setEnableHist(bool enableHist);
    void setEmptyingQueue(bool emptyingQueue);

    void createRAWFile();
    void updateEnableTTM();
    void turnOnTTM();

signals:
    void risingFilterChanged();
    void fallingFilterChanged();
    void integrationModeChanged();
    void splitModeChanged();
    void timeIntervalChanged();
    void fileSizeChanged();
    void splitTimeIntervalChanged();
    void enableSplitChanged();
    void enableHistChanged();
    void enableTTMChanged();
    void integrationRateChanged();
    void integrationTimeChanged();
    void integrationSizeChanged();
    void lostSamplesChanged();
    void integrationSampleChanged();
    void enableSaveRAWChanged();
    void pathRAWChanged();
    void channelsChanged();
    void emptyingQueueChanged();
    void folderRAWChanged();
    void subFolderRAWChanged();
    void fileNameRAWChanged();
    void folderImgChanged();
    void subFolderImgChanged();
    void fileNameImgChanged();

private:
    void init(unsigned statisticsPeriodMs);
    void onPreviewChanged();
    void onAcquisitionTimeout();
    void onStatisticsTick();
    void startRecording();
    void stopCapture();
    void finishDrain(std::uint64_t writerLost);
    void failRecording();
    void schedulePreviewRestart();
    void setLostSamples(double lost);

    std::unique_ptr<TTMDevice> m_device;
    std::shared_ptr<TTMWorker> m_worker;
    TTMChart *m_chart = nullptr;
    uint m_numCh = 0;
    double m_minBinWidth = 0;

    QTimer m_acquisitionTimer;
    QTimer m_statisticsTimer;
    QElapsedTimer m_clock;
    unsigned m_statisticsPeriodMs = 100;
    QElapsedTimer m_tickClock;
    std::uint64_t m_lastTickCount = 0;
    // The module's count when it was released.
    std::uint64_t m_lastSample = 0;
    // Set while a recording starts: switching the preview off must not start or stop the
    // capture halfway.
    bool m_starting = false;
    bool m_previewRestartPending = false;

    QUrl m_folderImg;
    QString m_subFolderImg = QStringLiteral("time");
    QString m_fileNameImg = QStringLiteral("Chart");
    QUrl m_folderRAW;
    QString m_subFolderRAW = QStringLiteral("time");
    QString m_fileNameRAW = QStringLiteral("RawData");
    QVector<uint> m_risingFilter;
    QVector<uint> m_fallingFilter;
    QString m_integrationMode = QStringLiteral("CONTINUOUS");
    QString m_splitMode = QStringLiteral("SIZE");
    bool m_enableSplit = false;
    uint m_timeInterval = 10000;
    qulonglong m_fileSize = 104857600;
    uint m_splitTimeInterval = 100;
    bool m_enableSaveRAW = false;
    QString m_rawFileFormat = QStringLiteral(".csv");
    bool m_enableHist = false;
    bool m_enableTTM = false;
    double m_integrationRate = 0;
    double m_lostSamples = 0;
    bool m_emptyingQueue = false;
    QString m_pathRAW;
};
