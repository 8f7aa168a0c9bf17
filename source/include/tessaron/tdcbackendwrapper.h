#pragma once
// The one object through which QML reaches the board ("tdc_backed"). It keeps the list of
// attached boards fresh while nothing is connected, opens a board on a pool thread, publishes
// its firmware texts, hands its hardware modules to the plugins and tears the connection down.
//
// Ownership: the GUI application is the parent; the wrapper owns the device library's entry
// object and, as their parent, the plugin models; the ModuleObjects live as long as the wrapper
// (the whole run).
// Threads: every property, signal and slot belongs to the GUI thread. Device-list refreshes
// and the open run on the Qt global thread pool, one at a time on the entry object (a mutex),
// and hand their results back to the GUI thread through future watchers.

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVector>

#include <atomic>
#include <memory>
#include <mutex>

#include "plugin-contract/moduleobject.h"
#include "plugin-contract/tdcbaseextensionobject.h"
#include "plugin-contract/tdcfrontend.h"
#include "tessaron/commandline.h"
#include "tessaron/devicebackend.h"

class QTimer;
class TDCModule;

class TDCBackendWrapper : public QObject {
    Q_OBJECT
    Q_PROPERTY(uint numCh READ numCh CONSTANT)
    Q_PROPERTY(QString fwCompileTime READ getFWCompileTime NOTIFY fwCompileTimeChanged)
    Q_PROPERTY(QString fwTag READ getFwTag NOTIFY fwTagChanged)
    Q_PROPERTY(uint bitCoarse READ bitCoarse CONSTANT)
    Q_PROPERTY(uint bitFine READ bitFine CONSTANT)
    Q_PROPERTY(double tdcPeriod READ tdcPeriod CONSTANT)
    Q_PROPERTY(double minBinWidth READ minBinWidth CONSTANT)
    Q_PROPERTY(double syncPeriod READ syncPeriod CONSTANT)
    Q_PROPERTY(bool isConnecting READ isConnecting NOTIFY isConnectingChanged)
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)
    Q_PROPERTY(int connectedDevice READ connectedDevice NOTIFY connectedDeviceChanged)
    Q_PROPERTY(QVariantList deviceListMap READ deviceListMap NOTIFY deviceListMapChanged)
    Q_PROPERTY(QVector<ModuleObject *> pluginModule READ pluginModule CONSTANT)
    Q_PROPERTY(QString libTDCVersion READ libTDCVersion CONSTANT)
    Q_PROPERTY(QString libTDCBuildInfo READ libTDCBuildInfo CONSTANT)
    Q_PROPERTY(QString libVETRAVersion READ libVETRAVersion CONSTANT)
    Q_PROPERTY(QString libVETRABuildInfo READ libVETRABuildInfo CONSTANT)

public:
    // Where the wrapper finds its collaborators; the defaults are the real ones.
    struct Setup {
        tessaron::DeviceBackendFactory factory;
        QString applicationDir;   // the plugins folder is looked for from here
        QString dataDir;          // the per-user application data folder
        int pollIntervalMs = 1000;
    };

    // The program's wrapper: the device library, the application folder and the per-user
    // data folder.
    TDCBackendWrapper(QObject *parent, tessaron::BackendOptions options);
    TDCBackendWrapper(QObject *parent, tessaron::BackendOptions options, Setup setup);
    ~TDCBackendWrapper() override;

    uint numCh() const;
    uint bitCoarse() const;
    uint bitFine() const;
    double tdcPeriod() const;
    double minBinWidth() const;
    double syncPeriod() const;
    // idle → connecting (connectToDevice) → connected (open succeeded) or idle (it failed);
    // connected → idle (disconnectDevice).
    enum class ConnectionState { Idle, Connecting, Connected };
    ConnectionState connectionState() const { return m_state; }
    bool isConnecting() const { return m_state == ConnectionState::Connecting; }
    bool isConnected() const { return m_state == ConnectionState::Connected; }
    int connectedDevice() const { return m_connectedDevice; }
    QVariantList deviceListMap() const { return m_deviceListMap; }
    QVector<ModuleObject *> pluginModule() const { return m_pluginModule; }
    QString libTDCVersion() const { return m_libTDCVersion; }
    QString libTDCBuildInfo() const { return m_libTDCBuildInfo; }
    QString libVETRAVersion() const { return m_libVETRAVersion; }
    QString libVETRABuildInfo() const { return m_libVETRABuildInfo; }

    // The module configuration is read after every connection; emits loadGUISettings when
    // the store holds anything.
    void loadSettings();

    // Builds the device list from the entry object (pool thread, mutex held).
    QVariantList getDeviceListMap();
    // One device-list entry as QML sees it.
    static QVariantMap deviceEntry(const tessaron::DeviceDescription &device, int index);

signals:
    void deviceListMapChanged(QVariantList list);
    void loadGUISettings();
    void isConnectedChanged();
    void connectedDeviceChanged(int connectedDevice);
    void isConnectingChanged();
    void connectionResult(int res);
    void fwCompileTimeChanged();
    void fwTagChanged();

public slots:
    QString getFWCompileTime() { return m_fwCompileTime; }
    QString getFwTag() { return m_fwTag; }

public:
    Q_INVOKABLE void disconnectDevice();
    Q_INVOKABLE void connectToDevice(int index);
    // The open step of a connection; runs on a pool thread. Answers whether the board was
    // opened and its modules loaded; the connection-finished handler acts on that.
    Q_INVOKABLE bool openChannelAtIndex(int index);
    Q_INVOKABLE void saveSettings();
    Q_INVOKABLE QObject *getModelByUUID(QString uuid);

private:
    struct RefreshResult {
        bool valid = false;
        QVariantList list;
    };

    void pollDeviceList();
    void onRefreshFinished();
    void onConnectionFinished();
    void connectionFailed();
    void setFirmwareTexts(const QString &compileTime, const QString &tag);
    void releaseModels();

    Setup m_setup;
    std::unique_ptr<tessaron::DeviceBackend> m_backend;
    std::mutex m_mutex;   // one call at a time on the entry object
    TDCModule *m_channelModule = nullptr;
    QVector<ModuleObject *> m_pluginModule;
    void setState(ConnectionState state);

    // The open task's answer: whether the board was opened and its modules loaded.
    QFutureWatcher<bool> m_connectionWatcher;
    QFutureWatcher<RefreshResult> m_refreshWatcher;
    bool m_refreshRunning = false;
    // Written on the GUI thread only; read by refresh tasks, so that one queued before a
    // connection leaves the board alone.
    std::atomic<ConnectionState> m_state{ConnectionState::Idle};
    QVariantList m_deviceListMap;
    QTimer *m_devicePollTimer = nullptr;
    tessaron::BackendOptions m_backendOptions;
    int m_connectedDevice = -1;
    QString m_fwCompileTime;
    QString m_fwTag;
    QString m_libTDCVersion;
    QString m_libTDCBuildInfo;
    QString m_libVETRAVersion;
    QString m_libVETRABuildInfo;
};
