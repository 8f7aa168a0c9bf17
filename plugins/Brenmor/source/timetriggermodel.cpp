#include "timetriggermodel.h"

#include <QDebug>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "chartelle/filter1d.h"
#include "combinedgrid.h"
#include "filewriterqueue.h"
#include "histogramtextfile.h"
#include "tdchistogrammerwrapper.h"
#include "triggergroup.h"

namespace {
// Windows whose completions never all arrive (an image the view did not write) are forgotten
// after this many newer ones.
constexpr std::size_t maxPendingWindows = 1024;
// Text files waiting for the writer threads, each holding its window's counts: enough for
// seconds of a busy run to ride out a slow moment of the disk or the machine, within a bound
// on the counts held. One that cannot keep up for longer loses windows (counted in
// lostWindows) instead of memory.
constexpr std::size_t maxQueuedFiles = 1024;
constexpr std::size_t maxQueuedBytes = std::size_t(512) << 20;
constexpr std::size_t minQueuedFiles = 16;
} // namespace

TimeTriggerModel::TimeTriggerModel(QObject *parent)
    : QObject(parent),
      m_folder(QUrl::fromLocalFile(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))),
      m_group(std::make_unique<TriggerGroup>()),
      m_writer(std::make_unique<FileWriterQueue>())
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TimeTriggerModel::onTick);
}

TimeTriggerModel::~TimeTriggerModel()
{
    if (m_enableTimeTrigger)
        stop(false);
    // Everything posted is written before the model goes; completions still queued for the
    // model are dropped with it.
    m_writer.reset();
}

QList<QObject *> TimeTriggerModel::histModels() const
{
    QList<QObject *> list;
    for (const auto &model : m_histModels)
        if (model)
            list.append(model.data());
    return list;
}

uint TimeTriggerModel::lostBy(int h) const
{
    return h >= 0 && std::size_t(h) < m_tracker.histograms() ? m_tracker.lostBy(std::size_t(h)) : 0;
}

int TimeTriggerModel::pendingWrites() const
{
    return int(m_writer->pending());
}

void TimeTriggerModel::waitForWrites()
{
    m_writer->waitIdle();
}

// --- properties -----------------------------------------------------------------------------

void TimeTriggerModel::setFolder(const QUrl &folder)
{
    if (folder == m_folder)
        return;
    m_folder = folder;
    emit folderChanged();
}

void TimeTriggerModel::setSubFolder(const QString &subFolder)
{
    if (subFolder == m_subFolder)
        return;
    m_subFolder = subFolder;
    emit subFolderChanged();
}

void TimeTriggerModel::setFilePrefix(const QString &filePrefix)
{
    if (filePrefix == m_filePrefix)
        return;
    m_filePrefix = filePrefix;
    emit filePrefixChanged();
}

void TimeTriggerModel::setSavePath(const QString &savePath)
{
    if (savePath == m_savePath)
        return;
    m_savePath = savePath;
    emit savePathChanged();
}

void TimeTriggerModel::setExtension(const QStringList &extension)
{
    if (extension == m_extension)
        return;
    m_extension = extension;
    emit extensionChanged();
}

void TimeTriggerModel::setElapsedTime(uint elapsedTime)
{
    if (elapsedTime == m_elapsedWritten)
        return;
    m_elapsedWritten = elapsedTime;
    m_elapsedTime = elapsedTime;
    emit elapsedTimeChanged();
}

void TimeTriggerModel::setRepetition(uint repetition)
{
    if (repetition == m_repetitionWritten)
        return;
    m_repetitionWritten = repetition;
    m_repetition = repetition;
    emit repetitionChanged();
}

void TimeTriggerModel::setRefreshPeriod(uint refreshPeriod)
{
    m_refreshPeriod = refreshPeriod;
    emit refreshPeriodChanged();
}

void TimeTriggerModel::setSingleCSV(bool singleCSV)
{
    m_singleCSV = singleCSV;
    emit singleCSVChanged();
}

void TimeTriggerModel::setUnit(const QString &unit)
{
    if (unit == m_unit)
        return;
    m_unit = unit;
    emit unitChanged();
}

void TimeTriggerModel::setConvFactor(double convFactor)
{
    if (convFactor == m_convFactor)
        return;
    m_convFactor = convFactor;
    emit convFactorChanged();
}

void TimeTriggerModel::setConvOffset(double convOffset)
{
    if (convOffset == m_convOffset)
        return;
    m_convOffset = convOffset;
    emit convOffsetChanged();
}

void TimeTriggerModel::setEnableTimeTrigger(bool enable)
{
    if (enable == m_enableTimeTrigger)
        return;
    m_enableTimeTrigger = enable;
    emit enableTimeTriggerChanged();
    if (enable)
        start();
    else
        stop(true);
}

// --- list -----------------------------------------------------------------------------------

void TimeTriggerModel::addHistModel(TDCHistogrammerWrapper *model)
{
    if (model)
        m_histModels.append(model);
}

void TimeTriggerModel::removeHistModel(TDCHistogrammerWrapper *model)
{
    for (int i = 0; i < m_histModels.size(); ++i) {
        if (m_histModels[i] == model) {
            m_histModels.removeAt(i);
            return;
        }
    }
}

void TimeTriggerModel::clearHistModels()
{
    m_histModels.clear();
}

void TimeTriggerModel::abortTimeTrigger()
{
    m_abort = true;
}

// --- run ------------------------------------------------------------------------------------

void TimeTriggerModel::start()
{
    qDebug().noquote() << "Begin Time Trigger start rutine";
    m_running.clear();
    for (const auto &model : m_histModels)
        if (model)
            m_running.append(model);
    for (int i = 0; i < m_running.size(); ++i) {
        TDCHistogrammerWrapper *wrapper = m_running[i];
        wrapper->prepareForTimeTrigger();
        if (HistogrammerDevice *device = wrapper->device())
            m_group->add(*device);
        connect(wrapper, &TDCHistogrammerWrapper::timeTriggerData, this, &TimeTriggerModel::onWindow,
                Qt::UniqueConnection);
        wrapper->setHistogramNumber(uint(i));
        wrapper->startTimeTrigger();
    }
    qDebug().noquote() << "Enable all the Time Triggers...";

    m_tracker.start(std::size_t(m_running.size()));
    m_blocks.clear();
    emit winNumChanged();
    emit lostWindowsChanged();

    m_grid.reset();
    if (m_singleCSV && m_running.size() >= 2) {
        qDebug().noquote() << "Exporting single CSV";
        std::vector<CombinedGrid::Bounds> bounds;
        for (const auto &wrapper : m_running) {
            const HistogrammerDevice::Bounds b = wrapper->currentBounds();
            bounds.push_back({b.left.value_or(0), b.binWidth.value_or(0), b.right.value_or(0)});
        }
        m_grid = std::make_shared<CombinedGrid>(bounds);
        qDebug().noquote() << "max right:" << m_grid->maxRight();
        qDebug().noquote() << "min left:" << m_grid->minLeft();
        qDebug().noquote() << "min bin width:" << m_grid->minBinWidth();
        qDebug().noquote() << "data len:" << m_grid->rows();
        if (m_grid->wantedRows() > m_grid->rows())
            qWarning().noquote() << "The combined file keeps only the first " + QString::number(m_grid->rows()) +
                                        " of " + QString::number(m_grid->wantedRows()) + " rows";
    }

    m_savedFilesSize = 0;
    m_sizeAccumulator = 0;
    emit savedFilesSizeChanged();
    m_elapsedTime = 0;
    emit elapsedTimeChanged();
    m_timer.start();
    m_pendingWindows.clear();
    m_windowOfPath.clear();
    m_lastWrittenWindow = 0;
    if (m_refreshPeriod == 0)
        qWarning().noquote() << "Time trigger: a window of 0 ms cannot be recorded";
    m_group->enable(std::chrono::duration<double>(m_refreshPeriod / 1000.0), m_repetition);
}

void TimeTriggerModel::stop(bool byProperty)
{
    if (byProperty)
        qDebug().noquote() << "Disable all the Time Triggers...";
    m_group->disable();
    for (const auto &wrapper : m_running) {
        if (!wrapper)
            continue;
        if (HistogrammerDevice *device = wrapper->device())
            m_group->remove(*device);
        disconnect(wrapper, &TDCHistogrammerWrapper::timeTriggerData, this, &TimeTriggerModel::onWindow);
        wrapper->disableTimeTrigger();
    }
    m_running.clear();
    m_blocks.clear();
    if (m_unwrittenWindows > 0)
        qWarning().noquote() << "Time trigger: the files of " + QString::number(m_unwrittenWindows) +
                                    " windows were not written; they count as lost windows";
    m_unwrittenWindows = 0;
    if (m_enableTimeTrigger) {
        m_enableTimeTrigger = false;
        emit enableTimeTriggerChanged();
    }
}

void TimeTriggerModel::onWindow(uint hist_ID, uint win_ID, bool lastWin)
{
    if (!m_enableTimeTrigger)
        return;
    // The wrapper keeps only its newest block, and another histogram may complete this window
    // after this one has moved on: the block of the window is kept until it is written.
    if (hist_ID < uint(m_running.size()) && m_running[int(hist_ID)]) {
        QVector<QVector<double>> &blocks = m_blocks[win_ID];
        blocks.resize(m_running.size());
        blocks[int(hist_ID)] = m_running[int(hist_ID)]->dataContainer()->data();
    }
    const WindowTracker::Step step = m_tracker.deliver(hist_ID, win_ID, lastWin);
    if (step.complete) {
        exportWindow(win_ID);
        m_tracker.exportDone(win_ID, step.lost);
        emit winNumChanged();
        emit lostWindowsChanged();
    }
    // Blocks of windows exported, abandoned or given up go.
    const std::vector<std::uint32_t> assembling = m_tracker.assembling();
    for (auto it = m_blocks.begin(); it != m_blocks.end();) {
        if (std::find(assembling.begin(), assembling.end(), it->first) == assembling.end())
            it = m_blocks.erase(it);
        else
            ++it;
    }
    if (step.finished)
        stop(false);
}

void TimeTriggerModel::onTick()
{
    qDebug().noquote() << "Updating TimeTrigger GUI values...";
    if (!m_enableTimeTrigger)
        return;
    ++m_elapsedTime;
    emit elapsedTimeChanged();
}

QString TimeTriggerModel::localFolder() const
{
    const QString local = m_folder.toLocalFile();
    return local.isEmpty() ? m_folder.path() : local;
}

// --- export ---------------------------------------------------------------------------------

void TimeTriggerModel::exportWindow(uint window)
{
    // Files are named by the window they hold, so a lost window shows as a gap in the names.
    const QString base = localFolder() + QLatin1Char('/') + m_subFolder + QLatin1Char('/') + m_filePrefix +
                         QString::number(window);
    PendingWindow pending;
    pending.sequence = m_nextSequence++;
    pending.remaining = m_extension;
    m_pendingWindows.push_back(pending);
    if (m_pendingWindows.size() > maxPendingWindows)
        m_pendingWindows.pop_front();

    std::size_t widest = 1;
    for (const auto &wrapper : qAsConst(m_running))
        if (wrapper)
            widest = std::max(widest, std::size_t(wrapper->dataContainer()->data().size()));
    const std::size_t queueLimit =
        std::clamp(maxQueuedBytes / (widest * sizeof(double)), minQueuedFiles, maxQueuedFiles);
    const bool writerFull = m_writer->pending() >= queueLimit;
    bool skipped = false;
    for (const QString &ext : qAsConst(m_extension)) {
        if (ext == QLatin1String(".csv") && writerFull) {
            m_pendingWindows.back().remaining.removeAll(ext);
            skipped = true;
        } else if (ext != QLatin1String(".csv")) {
            const QString file = base + ext;
            m_windowOfPath.insert(file, pending.sequence);
            emit exportHistogram(file);
        } else if (m_singleCSV && m_running.size() >= 2 && m_grid) {
            const QString file = base + ext;
            m_windowOfPath.insert(file, pending.sequence);
            postCombined(file, window, blocksOf(window));
        } else {
            int posted = 0;
            const QVector<QVector<double>> blocks = blocksOf(window);
            for (int h = 0; h < m_running.size(); ++h) {
                TDCHistogrammerWrapper *wrapper = m_running[h];
                if (!wrapper)
                    continue;
                const QString file = base + QLatin1Char('_') + wrapper->name() + QStringLiteral(".csv");
                m_windowOfPath.insert(file, pending.sequence);
                postFile(file, wrapper, window, blocks.value(h));
                ++posted;
            }
            m_pendingWindows.back().textFiles = posted;
        }
    }
    if (skipped) {
        m_tracker.addLost(1);
        if (m_unwrittenWindows++ == 0)
            qWarning().noquote() << "Time trigger: the files of window " + QString::number(window) +
                                        " are not written, the writer is " + QString::number(queueLimit) +
                                        " files behind";
    }
}

QVector<QVector<double>> TimeTriggerModel::blocksOf(uint window) const
{
    QVector<QVector<double>> blocks = m_blocks.count(window) ? m_blocks.at(window) : QVector<QVector<double>>();
    blocks.resize(m_running.size());
    return blocks;
}

void TimeTriggerModel::postFile(const QString &path, TDCHistogrammerWrapper *wrapper, uint window,
                                const QVector<double> &data)
{
    const HistogrammerDevice::Bounds bounds = wrapper->currentBounds();
    const double left = bounds.left.value_or(0);
    const double width = bounds.binWidth.value_or(0);
    const std::string name = wrapper->name().toStdString();
    m_writer->post(
        path,
        [data, left, width, name](std::string &text) {
            histfile::appendHistogramBlock(text, name, left, width, data.constData(), std::size_t(data.size()));
        },
        [this, window](const QString &file, bool, std::uint64_t) {
            QMetaObject::invokeMethod(this, [this, file, window] { textFileWritten(file, window); },
                                      Qt::QueuedConnection);
        });
}

void TimeTriggerModel::postCombined(const QString &path, uint window, const QVector<QVector<double>> &blocks)
{
    std::vector<QVector<double>> columns;
    std::vector<std::string> names;
    for (int h = 0; h < m_running.size(); ++h) {
        const auto &wrapper = m_running[h];
        columns.push_back(wrapper ? blocks.value(h) : QVector<double>());
        names.push_back(wrapper ? wrapper->name().toStdString() : std::string());
    }
    std::shared_ptr<CombinedGrid> grid = m_grid;
    m_writer->post(
        path,
        [grid, columns = std::move(columns), names = std::move(names)](std::string &text) {
            for (std::size_t h = 0; h < columns.size(); ++h)
                grid->put(h, columns[h].constData(), std::size_t(columns[h].size()));
            grid->appendText(text, names);
        },
        [this, window](const QString &file, bool, std::uint64_t) {
            QMetaObject::invokeMethod(this, [this, file, window] { textFileWritten(file, window); },
                                      Qt::QueuedConnection);
        },
        // The grid keeps its cells from one window to the next: its windows go one at a time.
        QStringLiteral("combined grid"));
}

void TimeTriggerModel::textFileWritten(const QString &path, uint window)
{
    m_lastWrittenWindow = window;
    exportComplete(path);
}

void TimeTriggerModel::exportComplete(QString path)
{
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        qWarning().noquote() << "exportComplete: \"" + path + "\" has no extension; ignored";
        return;
    }
    const QString ext = path.mid(dot);
    const QFileInfo info(path);
    m_sizeAccumulator += info.exists() ? qulonglong(info.size()) : 0;

    const auto known = m_windowOfPath.find(path);
    if (known != m_windowOfPath.end()) {
        const quint64 sequence = known.value();
        m_windowOfPath.erase(known);
        completeExtension(sequence, ext);
        return;
    }
    // A completion of a file the model did not ask for counts toward the newest window.
    if (m_pendingWindows.empty())
        m_pendingWindows.push_back({m_nextSequence++, m_extension});
    completeExtension(m_pendingWindows.back().sequence, ext);
}

void TimeTriggerModel::completeExtension(quint64 sequence, const QString &extension)
{
    for (auto it = m_pendingWindows.begin(); it != m_pendingWindows.end(); ++it) {
        if (it->sequence != sequence)
            continue;
        // Otherwise the sizes of a window's other text files would be published only with the
        // next window, and those of the last window never.
        if (extension == QLatin1String(".csv") && it->textFiles > 1) {
            --it->textFiles;
            return;
        }
        it->remaining.removeAll(extension);
        if (it->remaining.isEmpty()) {
            m_pendingWindows.erase(it);
            m_savedFilesSize = m_sizeAccumulator;
            emit savedFilesSizeChanged();
        }
        return;
    }
}
