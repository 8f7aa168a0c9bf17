#pragma once
// A legacy time-trigger run: every histogram of the run arms its module's own time trigger
// for one window; when every module has ended its window, the window is written (one CSV
// with one block per histogram, images through the view), and the next window is armed until
// `repetition` windows are recorded. Files are numbered from 0.
//
// Created in QML ("TimeTriggerModel" of "TDCFrontend.OldHistogrammer" 1.0). Kept in its own
// namespace: the histogram plugin has a class of the same name, and both are loaded in one
// process.
//
// Ownership: QML owns the model; the wrappers belong to the backend wrapper and are only
// referenced (removed from the list when they are destroyed). Threads: GUI thread only.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>

class TDCOldHistogrammerWrapper;

namespace calvire {

class TimeTriggerModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QUrl folder READ folder WRITE setFolder NOTIFY folderChanged)
    Q_PROPERTY(QString subFolder READ subFolder WRITE setSubFolder NOTIFY subFolderChanged)
    Q_PROPERTY(QString filePrefix READ filePrefix WRITE setFilePrefix NOTIFY filePrefixChanged)
    Q_PROPERTY(QString savePath READ savePath WRITE setSavePath NOTIFY savePathChanged)
    Q_PROPERTY(QStringList extension READ extension WRITE setExtension NOTIFY extensionChanged)
    Q_PROPERTY(bool enableTimeTrigger READ enableTimeTrigger WRITE setEnableTimeTrigger NOTIFY enableTimeTriggerChanged)
    Q_PROPERTY(uint timeInterval READ timeInterval WRITE setTimeInterval NOTIFY timeIntervalChanged)
    Q_PROPERTY(uint repetition READ repetition WRITE setRepetition NOTIFY repetitionChanged)
    Q_PROPERTY(QList<QObject *> histModels READ histModels NOTIFY histModelsChanged)
    // Figures of the current (or last) run, for the panel: windows whose files are all
    // written, whole seconds since the start, and the bytes those windows' files hold.
    Q_PROPERTY(uint windowsSaved READ windowsSaved NOTIFY windowsSavedChanged)
    Q_PROPERTY(uint elapsedTime READ elapsedTime NOTIFY elapsedTimeChanged)
    Q_PROPERTY(qint64 savedFilesSize READ savedFilesSize NOTIFY savedFilesSizeChanged)

public:
    explicit TimeTriggerModel(QObject *parent = nullptr);
    ~TimeTriggerModel() override;

    QUrl folder() const { return m_folder; }
    QString subFolder() const { return m_subFolder; }
    QString filePrefix() const { return m_filePrefix; }
    QString savePath() const { return m_savePath; }
    QStringList extension() const { return m_extension; }
    bool enableTimeTrigger() const { return m_enableTimeTrigger; }
    uint timeInterval() const { return m_timeInterval; }
    uint repetition() const { return m_repetition; }
    QList<QObject *> histModels() const;
    uint windowsSaved() const { return m_windowsSaved; }
    uint elapsedTime() const { return m_elapsedTime; }
    qint64 savedFilesSize() const { return m_savedFilesSize; }

    void setFolder(const QUrl &folder);
    void setSubFolder(const QString &subFolder);
    void setFilePrefix(const QString &filePrefix);
    void setSavePath(const QString &savePath);
    void setExtension(const QStringList &extension);
    void setEnableTimeTrigger(bool enable);
    void setTimeInterval(uint timeInterval);
    void setRepetition(uint repetition);

    Q_INVOKABLE void addHistModel(QObject *model);
    Q_INVOKABLE void removeHistModel(QObject *model);
    Q_INVOKABLE void clearHistModels();

    // The path of window `window` for one extension (with its dot).
    QString windowPath(uint window, const QString &ext) const;

signals:
    void folderChanged();
    void subFolderChanged();
    void filePrefixChanged();
    void savePathChanged();
    void extensionChanged();
    void enableTimeTriggerChanged();
    void timeIntervalChanged();
    void repetitionChanged();
    void histModelsChanged();
    void exportHistogram(QString path);
    void windowsSavedChanged();
    void elapsedTimeChanged();
    void savedFilesSizeChanged();

public slots:
    // An export of the current window has ended: `ext` is its extension (".png") or the path
    // of the file written.
    void exportComplete(QString ext);

private:
    void start();
    void stop();
    void tick();
    void checkWindowEnd();
    void resetFigures();
    void updateElapsed();
    void countWindowSaved();
    QList<TDCOldHistogrammerWrapper *> wrappers() const;

    QUrl m_folder;
    QString m_subFolder;
    QString m_filePrefix;
    QString m_savePath;
    QStringList m_extension{QStringLiteral(".png"), QStringLiteral(".jpeg")};
    bool m_enableTimeTrigger = false;
    uint m_timeInterval = 10;
    uint m_writtenTimeInterval = 10;
    uint m_repetition = 0;
    uint m_writtenRepetition = 0;
    QList<QPointer<TDCOldHistogrammerWrapper>> m_models;
    QStringList m_completed;
    bool m_running = false; // a window is armed and not yet written
    QTimer m_secondTimer;
    uint m_window = 0; // the window being written
    uint m_windowsSaved = 0;
    uint m_elapsedTime = 0;
    qint64 m_savedFilesSize = 0;
    QElapsedTimer m_runClock;
};

} // namespace calvire
