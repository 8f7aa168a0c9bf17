#pragma once
// Base class of every model a plugin creates for a hardware module. It carries the model's
// identifier (stored views find their model again by it), the module's version texts, and the
// save and load of the properties named in `persistedProperties`.
//
// Ownership: the backend wrapper is the parent; the hardware module belongs to the device
// library's entry object and is released (`releaseModule`) before that object goes away, so a
// model never touches a module that no longer exists.
// Threads: GUI thread, unless a derived class says otherwise. Work that must not block the GUI
// thread (parameter changes that stop and restart hardware) runs through `startTask` on the Qt
// global thread pool; `releaseModule` and the destructor wait until every such task has
// ended, so no task reaches the module, or the model, during teardown.

#include <QObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <mutex>

class QSettings;
class TessaronModule;
struct TessaronVersion;

// "v" major "." minor "." patch, each in decimal.
QString moduleVersionText(const TessaronVersion &version);

class TDCBaseExtensionObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString modelUUID READ modelUUID WRITE setModelUUID)
    Q_PROPERTY(QString hwVersion READ hwVersion CONSTANT)
    Q_PROPERTY(QString swVersion READ swVersion CONSTANT)

public:
    TDCBaseExtensionObject(TessaronModule *module, QObject *parent);
    ~TDCBaseExtensionObject() override;

    QString modelUUID() const { return m_modelUUID; }
    QString hwVersion() const { return m_hwVersion; }
    QString swVersion() const { return m_swVersion; }
    QStringList persistedProperties() const { return m_persistedProperties; }

    TessaronModule *hardwareModule() const { return m_module; }
    // Called on the GUI thread before the module's owner destroys it (disconnection, quit).
    // Waits for every task of `startTask` to end, then `hardwareModule()` is null and no new
    // task starts. Derived classes that installed callbacks remove them here and call the base.
    virtual void releaseModule();

    // Number of tasks of `startTask` that have not ended yet.
    int runningTasks() const;

public slots:
    void setModelUUID(QString modelUUID);
    // `settings` is positioned at the model's own array element.
    virtual void saveModelSettings(QSettings *settings);
    virtual void loadModelSettings(QSettings *settings);

protected:
    // Runs `task` on the Qt global thread pool (GUI thread only). Answers false, and runs
    // nothing, once the module has been released. A task may use `hardwareModule()` as read
    // when it was started; it must end in bounded time and must never wait for the GUI
    // thread, which may be blocked in `releaseModule` waiting for it. An exception leaving
    // the task is caught and logged.
    bool startTask(std::function<void()> task);

    QStringList m_persistedProperties;

private:
    void waitForTasks();

    QString m_modelUUID;
    TessaronModule *m_module;
    mutable std::mutex m_taskMutex;
    std::condition_variable m_tasksDone;
    int m_runningTasks = 0;
    QString m_hwVersion;
    QString m_swVersion;
};
