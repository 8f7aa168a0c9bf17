#pragma once
// A time-trigger run (QML type "TimeTriggerModel"): several histogrammers enabled together
// for a number of windows of one duration; every window that all of them have delivered is
// exported (images through the view's chart, text files here) and windows that were skipped
// are counted.
//
// Files are formatted and written by the writer threads of the model; their completions
// come back to the GUI thread in the order of the windows and feed the size
// accounting of the window they belong to.
//
// Ownership: created by the time-trigger panel in QML; owns its group and its writer threads
// (the destructor stops a running run and lets the writers finish what was posted). The
// wrappers in histModels belong to the backend wrapper; a wrapper that goes away simply
// leaves the list. Threads: GUI thread; the writer threads only format and write.

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVector>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>

#include "windowtracker.h"

class CombinedGrid;
class FileWriterQueue;
class TDCHistogrammerWrapper;
class TriggerGroup;

class TimeTriggerModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QUrl folder READ folder WRITE setFolder NOTIFY folderChanged)
    Q_PROPERTY(QString subFolder READ subFolder WRITE setSubFolder NOTIFY subFolderChanged)
    Q_PROPERTY(QString filePrefix READ filePrefix WRITE setFilePrefix NOTIFY filePrefixChanged)
    Q_PROPERTY(QString savePath READ savePath WRITE setSavePath NOTIFY savePathChanged)
    Q_PROPERTY(QStringList extension READ extension WRITE setExtension NOTIFY extensionChanged)
    Q_PROPERTY(bool enableTimeTrigger READ enableTimeTrigger WRITE setEnableTimeTrigger NOTIFY enableTimeTriggerChanged)
    Q_PROPERTY(uint elapsedTime READ elapsedTime WRITE setElapsedTime NOTIFY elapsedTimeChanged)
    Q_PROPERTY(uint repetition READ repetition WRITE setRepetition NOTIFY repetitionChanged)
    Q_PROPERTY(uint refreshPeriod READ refreshPeriod WRITE setRefreshPeriod NOTIFY refreshPeriodChanged)
    Q_PROPERTY(uint lostWindows READ lostWindows NOTIFY lostWindowsChanged)
    Q_PROPERTY(uint winNum READ winNum NOTIFY winNumChanged)
    Q_PROPERTY(bool singleCSV READ singleCSV WRITE setSingleCSV NOTIFY singleCSVChanged)
    Q_PROPERTY(qulonglong savedFilesSize READ savedFilesSize NOTIFY savedFilesSizeChanged)
    Q_PROPERTY(QList<QObject *> histModels READ histModels NOTIFY histModelsChanged)
    Q_PROPERTY(QString unit READ unit WRITE setUnit NOTIFY unitChanged)
    Q_PROPERTY(double convFactor READ convFactor WRITE setConvFactor NOTIFY convFactorChanged)
    Q_PROPERTY(double convOffset READ convOffset WRITE setConvOffset NOTIFY convOffsetChanged)

public:
    explicit TimeTriggerModel(QObject *parent = nullptr);
    ~TimeTriggerModel() override;

    QUrl folder() const { return m_folder; }
    QString subFolder() const { return m_subFolder; }
    QString filePrefix() const { return m_filePrefix; }
    QString savePath() const { return m_savePath; }
    QStringList extension() const { return m_extension; }
    bool enableTimeTrigger() const { return m_enableTimeTrigger; }
    uint elapsedTime() const { return m_elapsedTime; }
    uint repetition() const { return m_repetition; }
    uint refreshPeriod() const { return m_refreshPeriod; }
    uint lostWindows() const { return m_tracker.lostWindows(); }
    uint winNum() const { return m_tracker.winNum(); }
    bool singleCSV() const { return m_singleCSV; }
    qulonglong savedFilesSize() const { return m_savedFilesSize; }
    QList<QObject *> histModels() const;
    QString unit() const { return m_unit; }
    double convFactor() const { return m_convFactor; }
    double convOffset() const { return m_convOffset; }

    // Windows missed by histogram h in the current run.
    uint lostBy(int h) const;
    // Files posted to the writer and not yet written.
    int pendingWrites() const;
    // Blocks until the writer has written everything posted so far (tests, benchmarks).
    void waitForWrites();
    // The window of the text file written last in this run (0 before the first): files are
    // reported in posting order, so every text file of an earlier window is written.
    uint lastWrittenWindow() const { return m_lastWrittenWindow; }

    void setFolder(const QUrl &folder);
    void setSubFolder(const QString &subFolder);
    void setFilePrefix(const QString &filePrefix);
    void setSavePath(const QString &savePath);
    void setExtension(const QStringList &extension);
    void setEnableTimeTrigger(bool enable);
    void setElapsedTime(uint elapsedTime);
    void setRepetition(uint repetition);
    void setRefreshPeriod(uint refreshPeriod);
    void setSingleCSV(bool singleCSV);
    void setUnit(const QString &unit);
    void setConvFactor(double convFactor);
    void setConvOffset(double convOffset);

signals:
    void folderChanged();
    void subFolderChanged();
    void filePrefixChanged();
    void savePathChanged();
    void extensionChanged();
    void enableTimeTriggerChanged();
    void elapsedTimeChanged();
    void repetitionChanged();
    void refreshPeriodChanged();
    void lostWindowsChanged();
    void winNumChanged();
    void singleCSVChanged();
    void savedFilesSizeChanged();
    void histModelsChanged();
    void unitChanged();
    void convFactorChanged();
    void convOffsetChanged();
    // Asks the view for an image of the chart at path; the view answers with exportComplete.
    void exportHistogram(QString path);

public slots:
    void exportComplete(QString path);
    void abortTimeTrigger();
    void addHistModel(TDCHistogrammerWrapper *model);
    void removeHistModel(TDCHistogrammerWrapper *model);
    void clearHistModels();

private slots:
    void onWindow(uint hist_ID, uint win_ID, bool lastWin);
    void onTick();

private:
    // The files of one exported window and the extensions not yet reported complete.
    struct PendingWindow {
        quint64 sequence = 0;
        QStringList remaining;
        // ".csv" is done when the last of the window's text files is written, not the first.
        int textFiles = 0;
    };

    void start();
    void stop(bool byProperty);
    void exportWindow(uint window);
    QString localFolder() const;
    // The blocks of window, one per histogram of the run (empty for one not delivered).
    QVector<QVector<double>> blocksOf(uint window) const;
    void postFile(const QString &path, TDCHistogrammerWrapper *wrapper, uint window, const QVector<double> &data);
    void postCombined(const QString &path, uint window, const QVector<QVector<double>> &blocks);
    void textFileWritten(const QString &path, uint window);
    void completeExtension(quint64 sequence, const QString &extension);

    QUrl m_folder;
    QString m_subFolder;
    QString m_filePrefix;
    QString m_savePath;
    QStringList m_extension{QStringLiteral(".png"), QStringLiteral(".jpeg")};
    bool m_enableTimeTrigger = false;
    uint m_elapsedTime = 10;
    uint m_elapsedWritten = 10;
    uint m_repetition = 0;
    uint m_repetitionWritten = 0;
    uint m_refreshPeriod = 50;
    bool m_singleCSV = false;
    bool m_abort = false;
    qulonglong m_savedFilesSize = 0;
    qulonglong m_sizeAccumulator = 0;
    QList<QPointer<TDCHistogrammerWrapper>> m_histModels;
    // The wrappers of the running run, in their histogram-number order.
    QList<QPointer<TDCHistogrammerWrapper>> m_running;
    QString m_unit = QStringLiteral("s");
    double m_convFactor = 1.0;
    double m_convOffset = 0.0;

    WindowTracker m_tracker;
    // Each histogram's block of every window being assembled.
    std::map<uint, QVector<QVector<double>>> m_blocks;
    std::shared_ptr<CombinedGrid> m_grid;
    std::unique_ptr<TriggerGroup> m_group;
    QTimer m_timer;
    std::deque<PendingWindow> m_pendingWindows;
    QHash<QString, quint64> m_windowOfPath;
    quint64 m_nextSequence = 0;
    // Windows of the run whose text files were not written (the writer too far behind).
    quint64 m_unwrittenWindows = 0;
    uint m_lastWrittenWindow = 0;
    std::unique_ptr<FileWriterQueue> m_writer;
};
