#include "ttmwrapper.h"

#include <QDebug>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "rawfileplan.h"
#include "tdc/dorrin.h"
#include "ttmchart.h"
#include "ttmdevice.h"
#include "ttmworker.h"

namespace {
bool sameDouble(double a, double b)
{
    return std::abs(a - b) <= 1e-12 * std::max(std::abs(a), std::abs(b));
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// QML hands channel lists over as JS arrays (variant lists) and reads them back as such.
void registerChannelListConversions()
{
    static const bool done = [] {
        qRegisterMetaType<QVector<uint>>("QVector<uint>");
        QMetaType::registerConverter<QVariantList, QVector<uint>>([](const QVariantList &list) {
            QVector<uint> out;
            out.reserve(list.size());
            for (const QVariant &v : list)
                out.append(v.toUInt());
            return out;
        });
        QMetaType::registerConverter<QVector<uint>, QVariantList>([](const QVector<uint> &list) {
            QVariantList out;
            out.reserve(list.size());
            for (uint v : list)
                out.append(v);
            return out;
        });
        return true;
    }();
    (void)done;
}

// Waiting for the queue of a capture that is being replaced: long enough for a full queue,
// short enough that a stuck disk cannot freeze the window for good.
constexpr std::chrono::milliseconds replaceWait(5000);
} // namespace

TTMWrapper::TTMWrapper(Dorrin *module, QObject *parent, unsigned statisticsPeriodMs)
    : TDCBaseExtensionObject(module, parent),
      m_device(module ? std::make_unique<DorrinDevice>(module) : nullptr)
{
    init(statisticsPeriodMs);
}

TTMWrapper::TTMWrapper(TessaronModule *module, std::unique_ptr<TTMDevice> device, QObject *parent,
                       unsigned statisticsPeriodMs)
    : TDCBaseExtensionObject(module, parent), m_device(std::move(device))
{
    init(statisticsPeriodMs);
}

void TTMWrapper::init(unsigned statisticsPeriodMs)
{
    registerChannelListConversions();
    const QUrl documents =
        QUrl::fromLocalFile(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    m_folderImg = documents;
    m_folderRAW = documents;
    if (QObject *backend = parent()) {
        m_numCh = backend->property("numCh").toUInt();
        m_minBinWidth = backend->property("minBinWidth").toDouble();
    }
    m_statisticsPeriodMs = std::max(1u, statisticsPeriodMs);
    m_worker = std::make_shared<TTMWorker>(m_minBinWidth / 1e-11);
    m_chart = new TTMChart(m_worker, this);
    connect(m_chart, &TTMChart::enabledChanged, this, &TTMWrapper::onPreviewChanged);

    m_acquisitionTimer.setSingleShot(true);
    connect(&m_acquisitionTimer, &QTimer::timeout, this, &TTMWrapper::onAcquisitionTimeout);
    m_statisticsTimer.setInterval(int(m_statisticsPeriodMs));
    connect(&m_statisticsTimer, &QTimer::timeout, this, &TTMWrapper::onStatisticsTick);

    m_persistedProperties = QStringList{QStringLiteral("folderImg"), QStringLiteral("fileNameImg"),
                                        QStringLiteral("folderRAW"), QStringLiteral("fileNameRAW")};
    qDebug().noquote() << "Init TTMWrapper with " + QString::number(m_numCh) + " channels";
}

TTMWrapper::~TTMWrapper()
{
    releaseModule();
}

void TTMWrapper::releaseModule()
{
    m_acquisitionTimer.stop();
    m_statisticsTimer.stop();
    if (m_device && m_enableTTM)
        m_device->disable();
    // A drain task still running finishes first; whatever it left is closed here.
    TDCBaseExtensionObject::releaseModule();
    if (m_device) {
        if (m_worker->hasWriter()) {
            if (!m_device->queue_waitEmpty(replaceWait))
                qWarning().noquote() << "TTM queue not drained before the module was released";
            m_worker->closeWriter();
        }
        m_lastSample = m_device->captured_events();
        m_device.reset();
    }
    m_worker->setSaving(false);
    m_worker->setPreview(false);
    m_enableTTM = false;
}

double TTMWrapper::integrationTime() const
{
    return m_clock.isValid() ? double(m_clock.elapsed()) : 0.0;
}

double TTMWrapper::integrationSize() const
{
    return double(m_worker->writtenBytes());
}

qulonglong TTMWrapper::integrationSample() const
{
    return m_device ? m_device->captured_events() : m_lastSample;
}

// --- settings -----------------------------------------------------------------------------

void TTMWrapper::setFolderImg(const QUrl &folderImg)
{
    if (folderImg == m_folderImg)
        return;
    m_folderImg = folderImg;
    emit folderImgChanged();
}

void TTMWrapper::setSubFolderImg(const QString &subFolderImg)
{
    if (subFolderImg == m_subFolderImg)
        return;
    m_subFolderImg = subFolderImg;
    emit subFolderImgChanged();
}

void TTMWrapper::setFileNameImg(const QString &fileNameImg)
{
    if (fileNameImg == m_fileNameImg)
        return;
    m_fileNameImg = fileNameImg;
    emit fileNameImgChanged();
}

void TTMWrapper::setFolderRAW(const QUrl &folderRAW)
{
    if (folderRAW == m_folderRAW)
        return;
    m_folderRAW = folderRAW;
    emit folderRAWChanged();
}

void TTMWrapper::setSubFolderRAW(const QString &subFolderRAW)
{
    if (subFolderRAW == m_subFolderRAW)
        return;
    m_subFolderRAW = subFolderRAW;
    emit subFolderRAWChanged();
}

void TTMWrapper::setFileNameRAW(const QString &fileNameRAW)
{
    if (fileNameRAW == m_fileNameRAW)
        return;
    m_fileNameRAW = fileNameRAW;
    emit fileNameRAWChanged();
}

void TTMWrapper::setRisingFilter(const QVector<uint> &risingFilter)
{
    if (risingFilter == m_risingFilter)
        return;
    m_risingFilter = risingFilter;
    emit risingFilterChanged();
    emit channelsChanged();
    schedulePreviewRestart();
}

void TTMWrapper::setFallingFilter(const QVector<uint> &fallingFilter)
{
    if (fallingFilter == m_fallingFilter)
        return;
    m_fallingFilter = fallingFilter;
    emit fallingFilterChanged();
    emit channelsChanged();
    schedulePreviewRestart();
}

void TTMWrapper::setIntegrationMode(const QString &integrationMode)
{
    if (integrationMode == m_integrationMode)
        return;
    m_integrationMode = integrationMode;
    emit integrationModeChanged();
}

void TTMWrapper::setSplitMode(const QString &splitMode)
{
    if (splitMode == m_splitMode)
        return;
    qDebug().noquote() << "Set splitMode to: " + splitMode;
    m_splitMode = splitMode;
    emit splitModeChanged();
}

void TTMWrapper::setEnableSplit(bool enableSplit)
{
    if (enableSplit == m_enableSplit)
        return;
    m_enableSplit = enableSplit;
    emit enableSplitChanged();
}

void TTMWrapper::setTimeInterval(uint timeInterval)
{
    if (timeInterval == m_timeInterval)
        return;
    qDebug().noquote() << "Set time interval to: " + QString::number(timeInterval);
    m_timeInterval = timeInterval;
    emit timeIntervalChanged();
}

void TTMWrapper::setFileSize(qulonglong fileSize)
{
    if (fileSize == m_fileSize)
        return;
    qDebug().noquote() << "Set fileSize to:" + QString::number(fileSize);
    m_fileSize = fileSize;
    emit fileSizeChanged();
}

void TTMWrapper::setSplitTimeInterval(uint splitTimeInterval)
{
    if (splitTimeInterval == m_splitTimeInterval)
        return;
    qDebug().noquote() << "Set splitTimeInterval to:" + QString::number(splitTimeInterval);
    m_splitTimeInterval = splitTimeInterval;
    emit splitTimeIntervalChanged();
}

void TTMWrapper::setRawFileFormat(const QString &rawFileFormat)
{
    m_rawFileFormat = rawFileFormat;
}

void TTMWrapper::setEnableHist(bool enableHist)
{
    // The chart holds the preview's state; the wrapper mirrors it.
    m_chart->setEnabled(enableHist);
}

void TTMWrapper::setEmptyingQueue(bool emptyingQueue)
{
    if (emptyingQueue == m_emptyingQueue)
        return;
    m_emptyingQueue = emptyingQueue;
    emit emptyingQueueChanged();
}

void TTMWrapper::setLostSamples(double lost)
{
    m_lostSamples = lost;
    emit lostSamplesChanged();
}

void TTMWrapper::schedulePreviewRestart()
{
    // The preview's capture follows its channels at once; both filters usually change
    // together, so one restart serves them.
    if (m_previewRestartPending || !m_enableTTM || m_worker->saving())
        return;
    m_previewRestartPending = true;
    QMetaObject::invokeMethod(this, [this] {
        m_previewRestartPending = false;
        if (m_enableTTM && !m_worker->saving() && !m_emptyingQueue && !m_enableSaveRAW && m_device)
            turnOnTTM();
    }, Qt::QueuedConnection);
}

// --- recording ----------------------------------------------------------------------------

void TTMWrapper::setEnableSaveRAW(bool enableSaveRAW)
{
    if (enableSaveRAW == m_enableSaveRAW)
        return;
    m_enableSaveRAW = enableSaveRAW;
    emit enableSaveRAWChanged();
    if (enableSaveRAW)
        startRecording();
    updateEnableTTM();
}

void TTMWrapper::startRecording()
{
    m_starting = true;
    m_chart->setEnabled(false);
    m_starting = false;
    if (!m_device) {
        qWarning().noquote() << "TTM cannot record: the module has been released";
        failRecording();
        return;
    }
    // The capture of the previous stop is still draining into its file; this recording
    // starts when that file is closed.
    if (m_emptyingQueue)
        return;
    const bool restart = m_enableTTM;
    if (restart) {
        // The running capture (the preview's, or a recording that just ended) has other
        // channels and counts; its tags stay out of this recording's files.
        m_device->disable();
        if (!m_device->queue_waitEmpty(replaceWait))
            qWarning().noquote() << "TTM queue not drained before the new recording";
        const TTMWorker::WriterSummary previous = m_worker->closeWriter();
        if (previous.lost > 0)
            setLostSamples(m_lostSamples + double(previous.lost));
    }
    m_worker->setSaving(true);
    createRAWFile();
    if (m_integrationMode == QLatin1String("TIME_INTERVAL"))
        m_acquisitionTimer.start(int(std::min<uint>(m_timeInterval, uint(std::numeric_limits<int>::max()))));
    m_clock.start();
    if (restart)
        turnOnTTM();
}

void TTMWrapper::createRAWFile()
{
    qDebug().noquote() << "Try to create a RAW file (" + m_rawFileFormat + ").      enableSplit =" +
                              boolText(m_enableSplit) + "     splitMode =" + m_splitMode;
    const QString name = rawfileplan::fileName(m_fileNameRAW, m_rawFileFormat, m_enableSplit);
    const QString path = m_folderRAW.toLocalFile() + QLatin1Char('/') + m_subFolderRAW + QLatin1Char('/') + name;
    const int format = m_rawFileFormat == QLatin1String(".bin") ? Dorrin::file_writer::binary
                                                                : Dorrin::file_writer::csv;
    const Dorrin::file_writer::description description =
        m_device ? m_device->describe(rawfileplan::channelMap(m_risingFilter, m_fallingFilter))
                 : Dorrin::file_writer::description{};

    std::unique_ptr<Dorrin::file_writer> writer;
    if (m_enableSplit && m_splitMode == QLatin1String("SIZE")) {
        qInfo().noquote() << "Create RAW file with splitMode = SIZE      fileSize =" + QString::number(m_fileSize);
        writer = std::make_unique<Dorrin::file_writer>(path.toStdString(), format, false, description, 65535,
                                                       m_fileSize, std::chrono::seconds(0),
                                                       Dorrin::file_writer::Clock());
    } else if (m_enableSplit && m_splitMode == QLatin1String("TIME")) {
        qInfo().noquote() << "Create RAW file with splitMode = TIME      splitTimeInterval =" +
                                 QString::number(m_splitTimeInterval);
        writer = std::make_unique<Dorrin::file_writer>(path.toStdString(), format, false, description, 65535, 0,
                                                       std::chrono::seconds(m_splitTimeInterval),
                                                       Dorrin::file_writer::Clock());
    } else {
        qInfo().noquote() << "Create RAW file with enableSplit=false";
        writer = std::make_unique<Dorrin::file_writer>(path.toStdString(), format, false, description, 1, 0,
                                                       std::chrono::seconds(0), Dorrin::file_writer::Clock());
    }
    // The writer keeps going and counts what it cannot write; the loss shows when the
    // recording stops, the reason goes to the log now.
    if (const std::error_code ec = writer->error())
        qWarning().noquote() << "Cannot write the RAW file " + path + ": " + QString::fromStdString(ec.message());
    m_worker->setWriter(std::move(writer));
    m_pathRAW = path;
    emit pathRAWChanged();
    m_lastTickCount = 0;
    m_tickClock.start();
    m_statisticsTimer.start();
}

void TTMWrapper::updateEnableTTM()
{
    const bool wanted = m_enableHist || m_enableSaveRAW;
    qDebug().noquote() << "Try to set enableTTM to: " + boolText(wanted);
    if (m_starting)
        return;
    // A recording that ended closes its file even when the preview still wants the capture:
    // the capture stops, drains into the file, and starts again for the preview.
    const bool recordingEnded = m_enableTTM && m_worker->saving() && !m_enableSaveRAW;
    if (wanted == m_enableTTM && !recordingEnded)
        return;
    // The drain's end asks again.
    if (m_emptyingQueue)
        return;
    if (!m_device)
        return;
    if (wanted && !m_enableTTM) {
        m_enableTTM = true;
        turnOnTTM();
        if (m_enableTTM)
            emit enableTTMChanged();
        return;
    }
    stopCapture();
    emit enableTTMChanged();
}

void TTMWrapper::turnOnTTM()
{
    if (!m_device)
        return;
    const Dorrin::ChannelMap channels = rawfileplan::channelMap(m_risingFilter, m_fallingFilter);
    std::shared_ptr<TTMWorker> worker = m_worker;
    const std::error_code ec = m_device->enable(
        [worker](const std::vector<Dorrin::measurement> &batch) { worker->handleBatch(batch); }, channels);
    if (ec) {
        qWarning().noquote() << "Cannot turn TTM on: " + QString::fromStdString(ec.message());
        const bool wasOn = m_enableTTM;
        m_enableTTM = false;
        if (m_enableSaveRAW || m_worker->saving())
            failRecording();
        if (wasOn)
            emit enableTTMChanged();
        return;
    }
    qInfo().noquote() << "TTM turned ON";
    setLostSamples(0);
}

void TTMWrapper::stopCapture()
{
    m_enableTTM = false;
    emit integrationSampleChanged();
    emit integrationTimeChanged();
    m_acquisitionTimer.stop();
    m_device->disable();
    setEmptyingQueue(true);
    TTMDevice *device = m_device.get();
    std::shared_ptr<TTMWorker> worker = m_worker;
    const auto drain = [this, device, worker] {
        device->queue_waitEmpty(std::chrono::milliseconds(0));
        const TTMWorker::WriterSummary summary = worker->closeWriter();
        // Timers and properties belong to the GUI thread.
        QMetaObject::invokeMethod(
            this, [this, lost = summary.lost] { finishDrain(lost); }, Qt::QueuedConnection);
    };
    if (!startTask(drain))
        drain();
    qInfo().noquote() << "TTM turned OFF";
    setLostSamples(double(m_device->lost_events()));
}

void TTMWrapper::finishDrain(std::uint64_t writerLost)
{
    m_statisticsTimer.stop();
    m_worker->setSaving(false);
    m_integrationRate = 0;
    emit integrationRateChanged();
    emit integrationSampleChanged();
    emit integrationSizeChanged();
    // Tags the writer could not put on disk are lost as surely as those the module dropped.
    if (writerLost > 0)
        setLostSamples(m_lostSamples + double(writerLost));
    setEmptyingQueue(false);
    m_clock.invalidate();
    emit integrationTimeChanged();

    // What was asked for while the queue drained.
    if (m_enableSaveRAW && !m_worker->hasWriter()) {
        startRecording();
    } else if (m_chart->enabled() && !m_chart->active()) {
        m_chart->activate();
    }
    updateEnableTTM();
}

void TTMWrapper::failRecording()
{
    m_acquisitionTimer.stop();
    m_statisticsTimer.stop();
    const TTMWorker::WriterSummary summary = m_worker->closeWriter();
    m_worker->setSaving(false);
    m_clock.invalidate();
    if (summary.lost > 0)
        setLostSamples(m_lostSamples + double(summary.lost));
    if (m_enableSaveRAW) {
        m_enableSaveRAW = false;
        emit enableSaveRAWChanged();
    }
}

// --- timers and the preview ---------------------------------------------------------------

void TTMWrapper::onPreviewChanged()
{
    const bool enabled = m_chart->enabled();
    if (enabled == m_enableHist)
        return;
    m_enableHist = enabled;
    emit enableHistChanged();
    updateEnableTTM();
}

void TTMWrapper::onAcquisitionTimeout()
{
    if (m_enableSaveRAW) {
        m_enableSaveRAW = false;
        emit enableSaveRAWChanged();
    }
    // A handler of the signal started a new recording; the setter has done the rest.
    if (m_enableSaveRAW)
        return;
    updateEnableTTM();
}

void TTMWrapper::onStatisticsTick()
{
    emit integrationSampleChanged();
    emit integrationTimeChanged();
    emit integrationSizeChanged();
    if (!m_device)
        return;
    const std::uint64_t count = m_device->captured_events();
    // The time that really passed: a late tick under load must not inflate the rate.
    const qint64 ns = m_tickClock.isValid() ? m_tickClock.nsecsElapsed() : 0;
    m_tickClock.start();
    const double seconds = ns > 0 ? double(ns) * 1e-9 : m_statisticsPeriodMs / 1000.0;
    const std::uint64_t delta = count >= m_lastTickCount ? count - m_lastTickCount : count;
    const double rate = double(delta) / seconds;
    // Remembered on every tick: a rate that happens to repeat must not count twice next time.
    m_lastTickCount = count;
    if (!sameDouble(rate, m_integrationRate)) {
        m_integrationRate = rate;
        emit integrationRateChanged();
    }
}
