// The backend wrapper's state machine over a stand-in device library: device list, polling,
// connection success and every failure, firmware texts, linking and the module configuration.
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSettings>
#include <QSignalSpy>
#include <QThreadPool>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>

#include "fakeplugin.h"
#include "tdc/tdcmastermodule.h"
#include "testmain.h"
#include "tessaron/application.h"
#include "tessaron/tdcbackendwrapper.h"

using namespace tessaron;

namespace {
// What the stand-in library knows; shared by every entry object the wrapper makes.
struct FakeBoard {
    std::mutex mutex;
    std::vector<DeviceDescription> devices;
    std::error_code openError;
    bool throwOnLoad = false;
    std::vector<TessaronModule *> modules;
    std::atomic<int> listDelayMs{0};
    std::atomic<int> listCalls{0};
    std::atomic<int> inFlight{0};
    std::atomic<int> maxInFlight{0};
    std::vector<std::string> paths;

    std::vector<DeviceDescription> snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return devices;
    }
    void setDevices(std::vector<DeviceDescription> d)
    {
        std::lock_guard<std::mutex> lock(mutex);
        devices = std::move(d);
    }
};

class FakeBackend : public DeviceBackend {
public:
    explicit FakeBackend(std::shared_ptr<FakeBoard> board) : m_board(std::move(board)) {}
    std::vector<DeviceDescription> devices() override
    {
        const int now = ++m_board->inFlight;
        int seen = m_board->maxInFlight;
        while (now > seen && !m_board->maxInFlight.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(m_board->listDelayMs.load()));
        ++m_board->listCalls;
        --m_board->inFlight;
        return m_board->snapshot();
    }
    std::error_code open(const DeviceDescription &, const DeviceDescription &options,
                         std::chrono::milliseconds timeout) override
    {
        if (options.at("baudrate") != "2000000" || timeout != std::chrono::milliseconds(5000))
            return std::make_error_code(std::errc::invalid_argument);
        return m_board->openError;
    }
    void loadModules() override
    {
        if (m_board->throwOnLoad)
            throw std::runtime_error("module table unreadable");
        m_loaded = true;
    }
    std::vector<TessaronModule *> modules() const override
    {
        return m_loaded ? m_board->modules : std::vector<TessaronModule *>{};
    }
    std::string libraryVersion() const override { return "tdc-1"; }
    std::string libraryBuildInfo() const override { return "tdc-build"; }
    std::string linkLibraryVersion() const override { return "vetra-1"; }
    std::string linkLibraryBuildInfo() const override { return "vetra-build"; }

private:
    std::shared_ptr<FakeBoard> m_board;
    bool m_loaded = false;
};

DeviceDescription usbBoard(const std::string &serial)
{
    return {{"class", "LibFTDI"}, {"serialNumber", serial}, {"description", "Kestrane USB"}, {"numCH", "9"}};
}

QList<int> ints(const QSignalSpy &spy)
{
    QList<int> values;
    for (const QList<QVariant> &arguments : spy)
        values.append(arguments.value(0).toInt());
    return values;
}
} // namespace

class BackendWrapperTest : public QObject {
    Q_OBJECT
private:
    std::shared_ptr<FakeBoard> m_board;
    QTemporaryDir m_data;

    std::unique_ptr<TDCBackendWrapper> makeWrapper(int pollMs = 50, bool withPlugins = false)
    {
        TDCBackendWrapper::Setup setup;
        auto board = m_board;
        setup.factory = [board](const std::string &path) {
            board->paths.push_back(path);
            return std::make_unique<FakeBackend>(board);
        };
        setup.applicationDir = withPlugins ? QStringLiteral(FIXTURE_PLUGIN_DIR "/..") : m_data.path();
        setup.dataDir = m_data.path();
        setup.pollIntervalMs = pollMs;
        return std::make_unique<TDCBackendWrapper>(nullptr, BackendOptions{{"baudrate", "2000000"}},
                                                   std::move(setup));
    }

    // The fixture plugins carry their own copy of FakeModel's meta-object, so qobject_cast
    // cannot recognise their models; the class name can.
    static FakeModel *fixtureModel(ModuleObject *plugin)
    {
        if (plugin->modelList().isEmpty())
            return nullptr;
        TDCBaseExtensionObject *model = plugin->modelList().at(0);
        return qstrcmp(model->metaObject()->className(), "FakeModel") == 0 ? static_cast<FakeModel *>(model)
                                                                           : nullptr;
    }

    // Connects and waits for the outcome; returns the connection results seen.
    static QList<int> connectAndWait(TDCBackendWrapper &wrapper, int index)
    {
        QSignalSpy results(&wrapper, &TDCBackendWrapper::connectionResult);
        wrapper.connectToDevice(index);
        if (!results.wait(20000) && results.isEmpty())
            return {};
        return ints(results);
    }

private slots:
    void init()
    {
        m_board = std::make_shared<FakeBoard>();
        QSettings().clear();
    }

    void defaultsWithoutBoard()
    {
        auto wrapper = makeWrapper(60000);
        QCOMPARE(wrapper->numCh(), 0u);
        QCOMPARE(wrapper->bitCoarse(), 8u);
        QCOMPARE(wrapper->bitFine(), 16u);
        QCOMPARE(wrapper->tdcPeriod(), 2.5e-9);
        QCOMPARE(wrapper->minBinWidth(), 1e-12);
        QCOMPARE(wrapper->syncPeriod(), 277777777.0);
        QCOMPARE(wrapper->getFWCompileTime(), QString("No board connected"));
        QCOMPARE(wrapper->getFwTag(), QString("No board connected"));
        QCOMPARE(wrapper->connectedDevice(), -1);
        QVERIFY(!wrapper->isConnected());
        QVERIFY(!wrapper->isConnecting());
        QCOMPARE(wrapper->property("libTDCVersion").toString(), QString("tdc-1"));
        QCOMPARE(wrapper->property("libVETRABuildInfo").toString(), QString("vetra-build"));
        // The entry object gets the per-user "bt" folder, which now exists.
        QCOMPARE(QString::fromStdString(m_board->paths.at(0)), m_data.path() + "/bt/");
        QVERIFY(QDir(m_data.path() + "/bt").exists());
    }

    void enumsAreRegisteredForQml()
    {
        tessaron::registerFrontendTypes();
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml 2.0\nimport TDCFrontend 1.0\n"
                          "QtObject { property var values: [EConnectionStatus.NONE, EConnectionStatus.CONNECTING,"
                          " EConnectionStatus.CONNECTED, EConnectionStatus.DISCONNECTED, EConnectionStatus.ERROR_,"
                          " EEdge.FALLING, EEdge.RISING, EEdge.BOTH] }",
                          QUrl());
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        QCOMPARE(object->property("values").toList(),
                 (QVariantList{0, 1, 2, 3, 4, 2, 1, 3}));

        QQmlComponent creating(&engine);
        creating.setData("import QtQml 2.0\nimport TDCFrontend 1.0\nEEdge {}", QUrl());
        QVERIFY(creating.isError());
        QVERIFY(creating.errorString().contains("Error: only enums"));
    }

    void deviceEntries()
    {
        const QVariantMap usb = TDCBackendWrapper::deviceEntry(usbBoard("K123"), 2);
        QCOMPARE(usb.value("index").toInt(), 2);
        QCOMPARE(usb.value("boardName").toString(), QString("Kestrane"));
        QCOMPARE(usb.value("class").toString(), QString("LibFTDI"));
        QCOMPARE(usb.value("serialNumber").toString(), QString("K123"));
        QCOMPARE(usb.value("numCH").toString(), QString("9"));
        QCOMPARE(usb.value("description").toString(), QString("Kestrane USB"));

        const QVariantMap special = TDCBackendWrapper::deviceEntry(usbBoard("DLA5M3VRO"), 0);
        QCOMPARE(special.value("numCH").toInt(), 3);

        const QVariantMap serial = TDCBackendWrapper::deviceEntry({{"class", "Serial"}, {"boardName", "X"}}, 0);
        QVERIFY(serial.contains("serialNumber"));
        QVERIFY(!serial.value("serialNumber").isValid());
        QCOMPARE(serial.value("boardName").toString(), QString("Kestrane"));
    }

    void pollingPublishesChangesOnce()
    {
        m_board->setDevices({usbBoard("A"), usbBoard("B")});
        auto wrapper = makeWrapper(30);
        QSignalSpy changed(wrapper.get(), &TDCBackendWrapper::deviceListMapChanged);
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 20000);
        QCOMPARE(wrapper->deviceListMap().size(), 2);
        QCOMPARE(changed.at(0).at(0).toList().size(), 2);

        // Unchanged lists emit nothing, however many refreshes run.
        const int calls = m_board->listCalls;
        QTRY_VERIFY_WITH_TIMEOUT(m_board->listCalls >= calls + 3, 20000);
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 1);

        m_board->setDevices({usbBoard("B")});
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, 20000);
        QCOMPARE(wrapper->deviceListMap().at(0).toMap().value("serialNumber").toString(), QString("B"));
        QCOMPARE(wrapper->deviceListMap().at(0).toMap().value("index").toInt(), 0);
    }

    void slowListingSkipsTicks()
    {
        m_board->setDevices({usbBoard("A")});
        m_board->listDelayMs = 150;
        auto wrapper = makeWrapper(5);
        int busiestPool = 0;
        QElapsedTimer timer;
        timer.start();
        while (m_board->listCalls < 4 && timer.elapsed() < 30000) {
            QTest::qWait(5);
            busiestPool = std::max(busiestPool, QThreadPool::globalInstance()->activeThreadCount());
        }
        QVERIFY(m_board->listCalls >= 4);
        // Ticks come thirty times faster than a refresh ends; none waits behind another.
        QCOMPARE(busiestPool, 1);
        QCOMPARE(m_board->maxInFlight.load(), 1);
    }

    void openErrorEndsInFailure()
    {
        m_board->setDevices({usbBoard("A")});
        m_board->openError = std::make_error_code(std::errc::io_error);
        auto wrapper = makeWrapper(60000);
        QSignalSpy device(wrapper.get(), &TDCBackendWrapper::connectedDeviceChanged);
        QSignalSpy connecting(wrapper.get(), &TDCBackendWrapper::isConnectingChanged);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Can't open device. ERROR: "));
        QCOMPARE(connectAndWait(*wrapper, 0), QList<int>{TDCFrontend::ERROR_});
        QCOMPARE(ints(device), (QList<int>{0, -1}));
        QCOMPARE(connecting.count(), 2);
        QCOMPARE(wrapper->connectedDevice(), -1);
        QVERIFY(!wrapper->isConnecting());
        QVERIFY(!wrapper->isConnected());

        // The next attempt tries again.
        m_board->openError = {};
        QCOMPARE(connectAndWait(*wrapper, 0), QList<int>{TDCFrontend::CONNECTED});
    }

    void indexOutsideTheListFails_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("past the end") << 1;
        QTest::newRow("far past") << 1000;
        QTest::newRow("negative") << -2;
    }
    void indexOutsideTheListFails()
    {
        QFETCH(int, index);
        m_board->setDevices({usbBoard("A")});
        auto wrapper = makeWrapper(60000);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Can't open device. ERROR: no board at index"));
        QCOMPARE(connectAndWait(*wrapper, index), QList<int>{TDCFrontend::ERROR_});
        QCOMPARE(wrapper->connectedDevice(), -1);
        QVERIFY(!wrapper->isConnecting());
    }

    void moduleLoadingFailureEndsInFailure()
    {
        m_board->setDevices({usbBoard("A")});
        m_board->throwOnLoad = true;
        auto wrapper = makeWrapper(60000);
        QTest::ignoreMessage(QtCriticalMsg, "TDCBackendWrapper: can't load hardware modules!");
        QTest::ignoreMessage(QtCriticalMsg, "module table unreadable");
        QCOMPARE(connectAndWait(*wrapper, 0), QList<int>{TDCFrontend::ERROR_});
        QVERIFY(!wrapper->isConnected());
    }

    void boardWithoutMasterModuleShowsUnknown()
    {
        FakeModule other(0x55);
        m_board->setDevices({usbBoard("A")});
        m_board->modules = {&other};
        auto wrapper = makeWrapper(60000);
        QSignalSpy compile(wrapper.get(), &TDCBackendWrapper::fwCompileTimeChanged);
        QCOMPARE(connectAndWait(*wrapper, 0), QList<int>{TDCFrontend::CONNECTED});
        QCOMPARE(wrapper->getFWCompileTime(), QString("Unknown"));
        QCOMPARE(wrapper->getFwTag(), QString("Unknown"));
        QCOMPARE(compile.count(), 1);
        QVERIFY(wrapper->isConnected());
        QCOMPARE(wrapper->connectedDevice(), 0);
    }

    void firmwareTextsAndReconnectOrder()
    {
        const qint64 seconds = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)).toSecsSinceEpoch();
        TDCMasterModule master(0, 0, {}, {}, seconds * 10000000 + 9999999, "fw;repo = r;SHA = abc;branch = main");
        m_board->setDevices({usbBoard("A"), usbBoard("B")});
        m_board->modules = {&master};
        auto wrapper = makeWrapper(60000);
        QCOMPARE(connectAndWait(*wrapper, 1), QList<int>{TDCFrontend::CONNECTED});
        QCOMPARE(wrapper->getFWCompileTime(),
                 QDateTime::fromSecsSinceEpoch(seconds).toString("yyyy-MM-dd HH:mm:ss t"));
        QVERIFY(wrapper->getFWCompileTime().startsWith("2024-05-06 07:08:09"));
        QCOMPARE(wrapper->getFwTag(), QString("fw;repo = r;SHA = abc;branch = main"));

        // Connecting while connected disconnects first.
        QCOMPARE(connectAndWait(*wrapper, 0), (QList<int>{TDCFrontend::DISCONNECTED, TDCFrontend::CONNECTED}));
        QCOMPARE(wrapper->connectedDevice(), 0);

        QSignalSpy results(wrapper.get(), &TDCBackendWrapper::connectionResult);
        wrapper->disconnectDevice();
        QCOMPARE(ints(results), QList<int>{TDCFrontend::DISCONNECTED});
        QCOMPARE(wrapper->getFwTag(), QString("No board connected"));
        QCOMPARE(wrapper->connectedDevice(), -1);
        QCOMPARE(m_board->paths.back(), std::string());
    }

    void connectionStateFollowsTheOpen()
    {
        m_board->setDevices({usbBoard("A")});
        auto wrapper = makeWrapper(60000);
        using State = TDCBackendWrapper::ConnectionState;
        QCOMPARE(wrapper->connectionState(), State::Idle);
        QSignalSpy connected(wrapper.get(), &TDCBackendWrapper::isConnectedChanged);
        QSignalSpy connecting(wrapper.get(), &TDCBackendWrapper::isConnectingChanged);
        QSignalSpy results(wrapper.get(), &TDCBackendWrapper::connectionResult);
        wrapper->connectToDevice(0);
        QCOMPARE(wrapper->connectionState(), State::Connecting);
        QVERIFY(wrapper->isConnecting());
        QVERIFY(!wrapper->isConnected());
        QCOMPARE(connecting.count(), 1);
        // A second request while opening changes nothing.
        QTest::ignoreMessage(QtWarningMsg, "A connection is already being opened; request ignored.");
        wrapper->connectToDevice(0);
        QTRY_COMPARE_WITH_TIMEOUT(results.count(), 1, 20000);
        QCOMPARE(wrapper->connectionState(), State::Connected);
        QVERIFY(!wrapper->isConnecting());
        QCOMPARE(connected.count(), 1);
        QCOMPARE(connecting.count(), 2);
        wrapper->disconnectDevice();
        QCOMPARE(wrapper->connectionState(), State::Idle);
        QCOMPARE(connected.count(), 2);
        // Disconnecting never passes through connecting.
        QCOMPARE(connecting.count(), 2);
    }

    // At quit the wrapper releases every model; a model task still running then must end
    // before its module, and the model itself, go away.
    void releaseWaitsForRunningModelTasks()
    {
        FakeModule alphaModule(0x77);
        m_board->setDevices({usbBoard("A")});
        m_board->modules = {&alphaModule};
        auto wrapper = makeWrapper(60000, true);
        QCOMPARE(connectAndWait(*wrapper, 0), QList<int>{TDCFrontend::CONNECTED});
        FakeModel *model = fixtureModel(wrapper->pluginModule().at(0));
        QVERIFY(model);

        std::atomic<bool> started{false}, finished{false}, sawModule{false};
        QVERIFY(model->startProbeTask([&] {
            started = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sawModule = model->hardwareModule() == &alphaModule;
            finished = true;
        }));
        QTRY_VERIFY_WITH_TIMEOUT(started, 20000);
        QCOMPARE(model->runningTasks(), 1);
        wrapper.reset();
        QVERIFY(finished);
        QVERIFY(sawModule);
    }

    void releasedModelStartsNoTaskAndSurvivesAThrowingOne()
    {
        FakeModule alphaModule(0x77);
        m_board->setDevices({usbBoard("A")});
        m_board->modules = {&alphaModule};
        auto wrapper = makeWrapper(60000, true);
        QCOMPARE(connectAndWait(*wrapper, 0), QList<int>{TDCFrontend::CONNECTED});
        QPointer<FakeModel> model = fixtureModel(wrapper->pluginModule().at(0));
        QVERIFY(model);

        QTest::ignoreMessage(QtCriticalMsg, "Model task failed: no board answer");
        QVERIFY(model->startProbeTask([] { throw std::runtime_error("no board answer"); }));
        QTRY_COMPARE_WITH_TIMEOUT(model->runningTasks(), 0, 20000);

        std::atomic<bool> ran{false};
        wrapper->disconnectDevice();
        QVERIFY(!model->startProbeTask([&] { ran = true; }));
        QCOMPARE(model->runningTasks(), 0);
        QThreadPool::globalInstance()->waitForDone(5000);
        QVERIFY(!ran);
    }

    void modelsAreLinkedReleasedAndRestored()
    {
        FakeModule alphaModule(0x77), betaModule(0x55), stray(0x99);
        m_board->setDevices({usbBoard("A")});
        m_board->modules = {&alphaModule, &stray, &betaModule};
        auto wrapper = makeWrapper(60000, true);
        QCOMPARE(wrapper->pluginModule().size(), 2);
        QSignalSpy loadGui(wrapper.get(), &TDCBackendWrapper::loadGUISettings);

        // First start, empty store: no layout to restore.
        QCOMPARE(connectAndWait(*wrapper, 0), QList<int>{TDCFrontend::CONNECTED});
        QCOMPARE(loadGui.count(), 0);
        ModuleObject *alpha = wrapper->pluginModule().at(0);
        QCOMPARE(alpha->modelList().size(), 1);
        QPointer<TDCBaseExtensionObject> model = alpha->modelList().at(0);
        QCOMPARE(model->parent(), wrapper.get());
        QCOMPARE(wrapper->getModelByUUID(model->modelUUID()), model.data());
        model->setProperty("gain", 4.25);
        const QString storedId = model->modelUUID();
        wrapper->saveSettings();
        QCOMPARE(QSettings().value("pluginModels/Alpha/1/modelUUID").toString(), storedId);
        QCOMPARE(QSettings().value("pluginModels/Beta/size").toInt(), 1);

        wrapper->disconnectDevice();
        QVERIFY(alpha->modelList().isEmpty());
        QVERIFY(!model.isNull());                   // deleted later in the event loop...
        QCOMPARE(model->hardwareModule(), nullptr); // ...but already cut off from the module
        QCOMPARE(wrapper->getModelByUUID(storedId), nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(model.isNull());

        QCOMPARE(connectAndWait(*wrapper, 0), QList<int>{TDCFrontend::CONNECTED});
        QCOMPARE(loadGui.count(), 1);
        QObject *restored = wrapper->getModelByUUID(storedId);
        QVERIFY(restored);
        QCOMPARE(restored->property("gain").toDouble(), 4.25);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, BackendWrapperTest)
#include "tst_backendwrapper.moc"
