#include "timetriggermodel.h"

#include <QDebug>
#include <QFileInfo>
#include <QStandardPaths>

#include "legacyrules.h"
#include "tdcoldhistogrammerwrapper.h"

namespace calvire {

TimeTriggerModel::TimeTriggerModel(QObject *parent)
    : QObject(parent),
      m_folder(QUrl::fromLocalFile(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)))
{
    m_secondTimer.setInterval(1000);
    connect(&m_secondTimer, &QTimer::timeout, this, &TimeTriggerModel::tick);
}

TimeTriggerModel::~TimeTriggerModel()
{
    clearHistModels();
}

QList<QObject *> TimeTriggerModel::histModels() const
{
    QList<QObject *> list;
    for (TDCOldHistogrammerWrapper *w : wrappers())
        list << w;
    return list;
}

QList<TDCOldHistogrammerWrapper *> TimeTriggerModel::wrappers() const
{
    QList<TDCOldHistogrammerWrapper *> list;
    for (const auto &w : m_models)
        if (w)
            list << w.data();
    return list;
}

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

void TimeTriggerModel::setTimeInterval(uint timeInterval)
{
    if (timeInterval == m_writtenTimeInterval && timeInterval == m_timeInterval)
        return;
    m_timeInterval = m_writtenTimeInterval = timeInterval;
    emit timeIntervalChanged();
}

void TimeTriggerModel::setRepetition(uint repetition)
{
    if (repetition == m_writtenRepetition && repetition == m_repetition)
        return;
    m_repetition = m_writtenRepetition = repetition;
    emit repetitionChanged();
}

void TimeTriggerModel::addHistModel(QObject *model)
{
    auto *wrapper = qobject_cast<TDCOldHistogrammerWrapper *>(model);
    if (!wrapper) {
        qWarning().noquote() << "Only legacy histograms take part in a legacy time trigger.";
        return;
    }
    m_models.append(wrapper);
    connect(wrapper, &TDCOldHistogrammerWrapper::stateChanged, this, &TimeTriggerModel::checkWindowEnd);
}

void TimeTriggerModel::removeHistModel(QObject *model)
{
    for (int i = 0; i < m_models.size(); ++i) {
        if (m_models[i] == model) {
            if (m_models[i])
                disconnect(m_models[i], nullptr, this, nullptr);
            m_models.removeAt(i);
            return;
        }
    }
}

void TimeTriggerModel::clearHistModels()
{
    for (const auto &w : qAsConst(m_models))
        if (w)
            disconnect(w, nullptr, this, nullptr);
    m_models.clear();
}

void TimeTriggerModel::setEnableTimeTrigger(bool enable)
{
    if (enable == m_enableTimeTrigger)
        return;
    m_enableTimeTrigger = enable;
    emit enableTimeTriggerChanged();
    if (enable) {
        m_timeInterval = m_writtenTimeInterval;
        resetFigures();
        start();
    } else {
        stop();
    }
}

void TimeTriggerModel::start()
{
    qDebug().noquote() << "Begin Time Trigger start rutine";
    qDebug().noquote() << "Enable all the Time Triggers...";
    for (TDCOldHistogrammerWrapper *w : wrappers())
        w->startTimeTrigger(double(m_writtenTimeInterval));
    m_running = true;
    m_secondTimer.start();
    m_completed.clear();
    qInfo().noquote() << "Time Trigger correctly started";
}

void TimeTriggerModel::stop()
{
    qDebug().noquote() << "Begin Time Trigger stop rutine";
    m_secondTimer.stop();
    m_running = false;
    updateElapsed();
    qDebug().noquote() << "Disable all the Time Triggers...";
    for (TDCOldHistogrammerWrapper *w : wrappers())
        w->disableTimeTrigger();
    qDebug().noquote() << "Reset interval and repetition properties";
    m_timeInterval = m_writtenTimeInterval;
    m_repetition = m_writtenRepetition;
    emit timeIntervalChanged();
    emit repetitionChanged();
    qDebug().noquote() << "Turn off Time Trigger property";
    if (m_enableTimeTrigger) {
        m_enableTimeTrigger = false;
        emit enableTimeTriggerChanged();
    }
    qInfo().noquote() << "Time Trigger correctly stopped";
}

void TimeTriggerModel::tick()
{
    qDebug().noquote() << "Updating TimeTrigger GUI values...";
    updateElapsed();
    if (!m_enableTimeTrigger || m_timeInterval == 0)
        return;
    --m_timeInterval;
    emit timeIntervalChanged();
}

QString TimeTriggerModel::windowPath(uint window, const QString &ext) const
{
    return m_folder.path() + QLatin1Char('/') + m_subFolder + QLatin1Char('/') + m_filePrefix
           + QString::number(window) + ext;
}

void TimeTriggerModel::checkWindowEnd()
{
    const QList<TDCOldHistogrammerWrapper *> list = wrappers();
    if (!m_running || list.isEmpty())
        return;
    for (TDCOldHistogrammerWrapper *w : list)
        if (!w->isTimeTrigActive() || w->state())
            return;
    m_running = false;
    m_secondTimer.stop();
    const uint window = m_writtenRepetition > m_repetition ? m_writtenRepetition - m_repetition : 0;
    m_window = window;
    // The list may change under the loop: a completion can start the next window or stop.
    const QStringList extensions = m_extension;
    for (const QString &ext : extensions) {
        const QString path = windowPath(window, ext);
        if (ext == QLatin1String(".csv")) {
            for (TDCOldHistogrammerWrapper *w : list)
                w->exportCSV(path);
            exportComplete(ext);
        } else {
            emit exportHistogram(path);
        }
    }
}

void TimeTriggerModel::exportComplete(QString ext)
{
    const QString completed = completedExtension(ext);
    if (!m_enableTimeTrigger || m_running || completed.isEmpty() || m_completed.contains(completed))
        return;
    m_completed << completed;
    for (const QString &wanted : qAsConst(m_extension))
        if (!m_completed.contains(wanted))
            return;
    countWindowSaved();
    if (m_repetition < 2) {
        setEnableTimeTrigger(false);
        return;
    }
    --m_repetition;
    emit repetitionChanged();
    m_timeInterval = m_writtenTimeInterval;
    emit timeIntervalChanged();
    start();
}

void TimeTriggerModel::resetFigures()
{
    m_runClock.start();
    if (m_windowsSaved != 0) {
        m_windowsSaved = 0;
        emit windowsSavedChanged();
    }
    if (m_elapsedTime != 0) {
        m_elapsedTime = 0;
        emit elapsedTimeChanged();
    }
    if (m_savedFilesSize != 0) {
        m_savedFilesSize = 0;
        emit savedFilesSizeChanged();
    }
}

void TimeTriggerModel::updateElapsed()
{
    if (!m_runClock.isValid())
        return;
    const uint seconds = uint(m_runClock.elapsed() / 1000);
    if (seconds == m_elapsedTime)
        return;
    m_elapsedTime = seconds;
    emit elapsedTimeChanged();
}

// Every file of the window is reported written: it counts, with what it holds on disk.
void TimeTriggerModel::countWindowSaved()
{
    qint64 bytes = 0;
    for (const QString &ext : qAsConst(m_extension))
        bytes += qMax<qint64>(0, QFileInfo(windowPath(m_window, ext)).size());
    ++m_windowsSaved;
    emit windowsSavedChanged();
    if (bytes > 0) {
        m_savedFilesSize += bytes;
        emit savedFilesSizeChanged();
    }
    updateElapsed();
}

} // namespace calvire
