#include "tessaron/tdcbackendwrapper.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QSettings>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>

#include "tdc/tdcmastermodule.h"
#include "tdc/tdcmodule.h"
#include "tessaron/modelconfiguration.h"
#include "tessaron/pluginhost.h"

namespace {
const QString kNoBoard = QStringLiteral("No board connected");
const QString kUnknown = QStringLiteral("Unknown");
constexpr std::chrono::milliseconds kOpenTimeout{5000};

void registerWrapperTypes()
{
    qRegisterMetaType<ModuleObject *>("ModuleObject*");
    qRegisterMetaType<QVector<ModuleObject *>>("QVector<ModuleObject*>");
    qRegisterMetaType<QList<TDCBaseExtensionObject *>>("QList<TDCBaseExtensionObject*>");
}
} // namespace

TDCBackendWrapper::TDCBackendWrapper(QObject *parent, tessaron::BackendOptions options, Setup setup)
    : QObject(parent), m_setup(std::move(setup))
{
    registerWrapperTypes();
    m_pluginModule = tessaron::loadPluginModules(m_setup.applicationDir, QStringLiteral("plugins"));

    qInfo().noquote() << "Initialize TDCBackend.";
    QDir().mkpath(m_setup.dataDir + QStringLiteral("/bt"));
    m_backend = m_setup.factory((m_setup.dataDir + QStringLiteral("/bt/")).toStdString());
    m_libTDCVersion = QString::fromStdString(m_backend->libraryVersion());
    m_libTDCBuildInfo = QString::fromStdString(m_backend->libraryBuildInfo());
    m_libVETRAVersion = QString::fromStdString(m_backend->linkLibraryVersion());
    m_libVETRABuildInfo = QString::fromStdString(m_backend->linkLibraryBuildInfo());

    connect(&m_connectionWatcher, &QFutureWatcherBase::finished, this,
            &TDCBackendWrapper::onConnectionFinished);
    connect(&m_refreshWatcher, &QFutureWatcherBase::finished, this,
            &TDCBackendWrapper::onRefreshFinished);

    m_backendOptions = std::move(options);
    m_devicePollTimer = new QTimer(this);
    m_devicePollTimer->setInterval(m_setup.pollIntervalMs);
    connect(m_devicePollTimer, &QTimer::timeout, this, &TDCBackendWrapper::pollDeviceList);
    m_devicePollTimer->start();

    m_fwCompileTime = kNoBoard;
    m_fwTag = kNoBoard;
}

TDCBackendWrapper::~TDCBackendWrapper()
{
    m_devicePollTimer->stop();
    // Pool tasks use the entry object; it must outlive them.
    m_refreshWatcher.waitForFinished();
    m_connectionWatcher.waitForFinished();
    releaseModels();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_channelModule = nullptr;
        m_backend.reset();
    }
    // The plugin records live as long as the wrapper, which lives as long as the program; the
    // QML engine that read them is gone by now. The models go with the wrapper's children.
    qDeleteAll(m_pluginModule);
}

uint TDCBackendWrapper::numCh() const
{
    return m_channelModule ? m_channelModule->numChannels() : 0;
}

uint TDCBackendWrapper::bitCoarse() const
{
    return m_channelModule ? m_channelModule->coarseBits() : 8;
}

uint TDCBackendWrapper::bitFine() const
{
    return m_channelModule ? m_channelModule->fineBits() : 16;
}

double TDCBackendWrapper::tdcPeriod() const
{
    return m_channelModule ? m_channelModule->tdcPeriod() : 2.5e-9;
}

double TDCBackendWrapper::minBinWidth() const
{
    return m_channelModule ? m_channelModule->minBinWidth() : 1e-12;
}

double TDCBackendWrapper::syncPeriod() const
{
    if (m_channelModule && m_channelModule->numChannels() > 0)
        return double(m_channelModule->ch(0).getPeriod());
    return 277777777;
}

QVariantMap TDCBackendWrapper::deviceEntry(const tessaron::DeviceDescription &device, int index)
{
    QVariantMap entry;
    for (const auto &[key, value] : device)
        entry.insert(QString::fromStdString(key), QString::fromStdString(value));
    entry.insert(QStringLiteral("index"), index);
    const auto serial = device.find("serialNumber");
    entry.insert(QStringLiteral("serialNumber"),
                 serial == device.end() ? QVariant() : QVariant(QString::fromStdString(serial->second)));
    if (serial != device.end() && serial->second == "DLA5M3VRO")
        entry.insert(QStringLiteral("numCH"), 3);
    entry.insert(QStringLiteral("boardName"), QStringLiteral("Kestrane"));
    return entry;
}

QVariantList TDCBackendWrapper::getDeviceListMap()
{
    qInfo().noquote() << "Asking for device list...";
    const std::vector<tessaron::DeviceDescription> devices = m_backend->devices();
    QVariantList list;
    for (std::size_t i = 0; i < devices.size(); ++i)
        list.append(deviceEntry(devices[i], int(i)));
    qInfo().noquote() << "Device list read!";
    return list;
}

void TDCBackendWrapper::pollDeviceList()
{
    // A slow listing must not pile refreshes up behind the mutex: skip the tick instead.
    if (m_connectedDevice != -1 || m_refreshRunning)
        return;
    m_refreshRunning = true;
    m_refreshWatcher.setFuture(QtConcurrent::run([this] {
        RefreshResult result;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state != ConnectionState::Idle)
            return result;
        try {
            result.list = getDeviceListMap();
            result.valid = true;
        } catch (const std::exception &e) {
            qCritical().noquote() << "Cannot read the device list: " + QString::fromUtf8(e.what());
        } catch (...) {
            qCritical().noquote() << "Cannot read the device list: Unknown exception";
        }
        return result;
    }));
}

void TDCBackendWrapper::onRefreshFinished()
{
    m_refreshRunning = false;
    const RefreshResult result = m_refreshWatcher.result();
    if (!result.valid || m_connectedDevice != -1)
        return;
    if (result.list == m_deviceListMap)
        return;
    m_deviceListMap = result.list;
    emit deviceListMapChanged(m_deviceListMap);
}

void TDCBackendWrapper::connectToDevice(int index)
{
    qDebug().noquote() << "Connecting to FPGA board...";
    if (isConnecting()) {
        qWarning().noquote() << "A connection is already being opened; request ignored.";
        return;
    }
    if (isConnected())
        disconnectDevice();

    setState(ConnectionState::Connecting);
    m_connectedDevice = index;
    emit connectedDeviceChanged(index);
    m_connectionWatcher.setFuture(QtConcurrent::run([this, index] { return openChannelAtIndex(index); }));
}

void TDCBackendWrapper::setState(ConnectionState state)
{
    const ConnectionState old = m_state;
    if (old == state)
        return;
    m_state = state;
    // The change signals in the order QML has always seen them.
    if (old == ConnectionState::Connected || state == ConnectionState::Connected)
        emit isConnectedChanged();
    if (old == ConnectionState::Connecting || state == ConnectionState::Connecting)
        emit isConnectingChanged();
}

bool TDCBackendWrapper::openChannelAtIndex(int index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<tessaron::DeviceDescription> devices;
    try {
        devices = m_backend->devices();
    } catch (const std::exception &e) {
        qCritical().noquote() << "Can't open device. ERROR: " + QString::fromUtf8(e.what());
        return false;
    }
    qDebug().noquote() << QStringLiteral("Opening device at index %1...").arg(index);
    if (index < 0 || std::size_t(index) >= devices.size()) {
        qCritical().noquote() << QStringLiteral("Can't open device. ERROR: no board at index %1 (%2 listed).")
                                     .arg(index)
                                     .arg(devices.size());
        return false;
    }
    const std::error_code ec = m_backend->open(devices[std::size_t(index)], m_backendOptions, kOpenTimeout);
    if (ec) {
        qCritical().noquote() << "Can't open device. ERROR: " + QString::fromStdString(ec.message());
        return false;
    }
    qInfo().noquote() << QStringLiteral("Device opened at index %1").arg(index);
    qDebug().noquote() << "Loading Hardware modules...";
    try {
        m_backend->loadModules();
    } catch (const std::exception &e) {
        qCritical().noquote() << "TDCBackendWrapper: can't load hardware modules!";
        const QString what = QString::fromUtf8(e.what());
        qCritical().noquote() << (what.isEmpty() ? QStringLiteral("Unknown exception") : what);
        return false;
    } catch (...) {
        qCritical().noquote() << "TDCBackendWrapper: can't load hardware modules!";
        qCritical().noquote() << "Unknown exception";
        return false;
    }
    qInfo().noquote() << "Hardware Modules loaded.";
    qInfo().noquote() << "Device connected.";
    return true;
}

void TDCBackendWrapper::connectionFailed()
{
    setState(ConnectionState::Idle);
    m_connectedDevice = -1;
    emit connectedDeviceChanged(-1);
    emit connectionResult(TDCFrontend::ERROR_);
}

void TDCBackendWrapper::onConnectionFinished()
{
    if (!m_connectionWatcher.result()) {
        connectionFailed();
        return;
    }
    if (m_connectedDevice == -1)
        return;

    const std::vector<TessaronModule *> modules = m_backend->modules();
    TDCMasterModule *master = nullptr;
    for (TessaronModule *module : modules) {
        if (!master)
            master = dynamic_cast<TDCMasterModule *>(module);
        if (!m_channelModule)
            m_channelModule = dynamic_cast<TDCModule *>(module);
    }
    if (master) {
        const qint64 seconds = master->compileTime() / 10000000;
        setFirmwareTexts(QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t")),
                         QString::fromStdString(master->firmwareTag()));
    } else {
        // Firmware without a master module cannot say what it is.
        setFirmwareTexts(kUnknown, kUnknown);
    }

    tessaron::linkHardwareAndPluginModules(modules, m_pluginModule, this);

    setState(ConnectionState::Connected);
    emit connectionResult(TDCFrontend::CONNECTED);
    loadSettings();
}

void TDCBackendWrapper::setFirmwareTexts(const QString &compileTime, const QString &tag)
{
    m_fwCompileTime = compileTime;
    m_fwTag = tag;
    emit fwCompileTimeChanged();
    emit fwTagChanged();
}

void TDCBackendWrapper::releaseModels()
{
    for (ModuleObject *plugin : qAsConst(m_pluginModule)) {
        for (TDCBaseExtensionObject *model : plugin->modelList())
            model->releaseModule();
    }
}

void TDCBackendWrapper::disconnectDevice()
{
    qDebug().noquote() << "Disconnecting from FPGA board...";
    if (isConnecting()) {
        qWarning().noquote() << "A connection is being opened; disconnect once it is done.";
        return;
    }
    // Models may be called from QML until their deferred deletion; they must not reach the
    // modules that go away with the entry object.
    releaseModels();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_channelModule = nullptr;
        m_backend.reset();
        m_backend = m_setup.factory(std::string());
    }
    // Both values change before either signal, as listeners of one may read the other.
    m_connectedDevice = -1;
    m_state = ConnectionState::Idle;
    emit connectedDeviceChanged(-1);
    emit isConnectedChanged();
    setFirmwareTexts(kNoBoard, kNoBoard);
    emit connectionResult(TDCFrontend::DISCONNECTED);

    qDebug().noquote() << "Destroy plugins models...";
    for (ModuleObject *plugin : qAsConst(m_pluginModule)) {
        for (TDCBaseExtensionObject *model : plugin->takeModels())
            model->deleteLater();
    }
    qInfo().noquote() << "Plugins models destroyed.";
    qInfo().noquote() << "Board disconnected.";
}

void TDCBackendWrapper::saveSettings()
{
    qDebug().noquote() << "Saving TDC Modules configuration...";
    QSettings settings;
    tessaron::saveModelConfiguration(settings, m_pluginModule);
    qInfo().noquote() << "Save TDC Modules configuration Completed.";
}

void TDCBackendWrapper::loadSettings()
{
    QSettings settings;
    if (settings.allKeys().isEmpty())
        return;
    qDebug().noquote() << "Loading TDC Hardware Modules configuration...";
    tessaron::loadModelConfiguration(settings, m_pluginModule);
    qInfo().noquote() << "Load TDC Modules configuration Completed.";
    emit loadGUISettings();
}

QObject *TDCBackendWrapper::getModelByUUID(QString uuid)
{
    return tessaron::findModelByUUID(m_pluginModule, uuid);
}
