// The backend wrapper with the real device library, a virtual board and the counter plugin
// from build/bin/plugins: listing, connecting, linking, live counts, disconnecting.
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QSignalSpy>
#include <QtTest>

#include "testmain.h"
#include "tessaron/tdcbackendwrapper.h"

class VirtualBoardTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_data;
    std::unique_ptr<TDCBackendWrapper> m_wrapper;

    static QList<int> connectAndWait(TDCBackendWrapper &wrapper, int index)
    {
        QSignalSpy results(&wrapper, &TDCBackendWrapper::connectionResult);
        wrapper.connectToDevice(index);
        if (results.isEmpty())
            results.wait(30000);
        QList<int> values;
        for (const auto &arguments : results)
            values.append(arguments.at(0).toInt());
        return values;
    }

private slots:
    void initTestCase()
    {
        qputenv("TESSARON_VIRTUAL_BOARDS", "1");
        TDCBackendWrapper::Setup setup;
        setup.factory = &tessaron::makeTdcDeviceBackend;
        setup.applicationDir = QStringLiteral(TESSARON_BIN_DIR);
        setup.dataDir = m_data.path();
        setup.pollIntervalMs = 100;
        m_wrapper = std::make_unique<TDCBackendWrapper>(nullptr, tessaron::BackendOptions{{"baudrate", "2000000"}},
                                                        std::move(setup));
    }

    void cleanupTestCase()
    {
        m_wrapper.reset();
    }

    void listsTheVirtualBoard()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!m_wrapper->deviceListMap().isEmpty(), 30000);
        const QVariantMap board = m_wrapper->deviceListMap().at(0).toMap();
        QCOMPARE(board.value("index").toInt(), 0);
        QCOMPARE(board.value("boardName").toString(), QString("Kestrane"));
        QVERIFY(!board.value("class").toString().isEmpty());
        QVERIFY2(board.value("serialNumber").toString().startsWith("KEST-VIRTUAL-"),
                 qPrintable(board.value("serialNumber").toString()));
        QVERIFY(board.value("numCH").toInt() > 1);
    }

    void counterPluginIsLoaded()
    {
        ModuleObject *counter = nullptr;
        for (ModuleObject *plugin : m_wrapper->pluginModule())
            if (plugin->name() == QLatin1String("Counter"))
                counter = plugin;
        QVERIFY(counter);
        QCOMPARE(counter->property("uuid").toString(), QString("stopwatch"));
        QCOMPARE(counter->pluginUuid(), QString("CounterView"));
        QCOMPARE(counter->priority(), 16384);
        QCOMPARE(counter->view(), QString("qrc:/plugin/fennick/CounterView.qml"));
        QCOMPARE(counter->version(), QString("1.2.0"));
    }

    void indexOutsideTheListFails()
    {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Can't open device. ERROR: no board at index 42"));
        QCOMPARE(connectAndWait(*m_wrapper, 42), QList<int>{TDCFrontend::ERROR_});
        QVERIFY(!m_wrapper->isConnected());
    }

    void connectsCountsAndDisconnects()
    {
        const int listedChannels = m_wrapper->deviceListMap().at(0).toMap().value("numCH").toInt();
        QCOMPARE(connectAndWait(*m_wrapper, 0), QList<int>{TDCFrontend::CONNECTED});
        QVERIFY(m_wrapper->isConnected());
        QCOMPARE(int(m_wrapper->numCh()), listedChannels);
        QVERIFY(m_wrapper->getFwTag() != QLatin1String("Unknown"));
        QVERIFY(m_wrapper->getFwTag() != QLatin1String("No board connected"));
        QVERIFY(m_wrapper->tdcPeriod() > 0);

        QObject *model = nullptr;
        for (ModuleObject *plugin : m_wrapper->pluginModule())
            if (plugin->name() == QLatin1String("Counter") && !plugin->modelList().isEmpty())
                model = plugin->modelList().first();
        QVERIFY(model);
        QVERIFY(model->property("hwVersion").toString().startsWith('v'));
        QCOMPARE(m_wrapper->getModelByUUID(model->property("modelUUID").toString()), model);

        QSignalSpy counters(model, SIGNAL(countersChanged()));
        model->setProperty("integrationTime", 0.05);
        model->setProperty("autopush", true);
        QTRY_VERIFY_WITH_TIMEOUT(counters.count() >= 2, 30000);
        QVERIFY(model->property("tdcClock").toDouble() > 0);
        const auto histories = model->property("counters").value<QVector<QVector<double>>>();
        QCOMPARE(histories.size(), listedChannels);

        // What the views read: the plugin list, each model list and the histories as arrays.
        QQmlEngine engine;
        engine.rootContext()->setContextProperty("tdc_backed", m_wrapper.get());
        QQmlExpression expression(engine.rootContext(), nullptr,
            "var counter = tdc_backed.pluginModule.filter(function(p) { return p.uuid === 'stopwatch' })[0];"
            "var model = counter.modelList[0];"
            "[tdc_backed.pluginModule.length, counter.name, model.counters.length, model.counters[0].length,"
            " tdc_backed.getModelByUUID(model.modelUUID) === model, typeof model.counters[0][99]]");
        const QVariantList seen = expression.evaluate().toList();
        QVERIFY2(!expression.hasError(), qPrintable(expression.error().toString()));
        QCOMPARE(seen.value(0).toInt(), m_wrapper->pluginModule().size());
        QCOMPARE(seen.value(1).toString(), QString("Counter"));
        QCOMPARE(seen.value(2).toInt(), listedChannels);
        QCOMPARE(seen.value(3).toInt(), 100);
        QCOMPARE(seen.value(4).toBool(), true);
        QCOMPARE(seen.value(5).toString(), QString("number"));

        QPointer<QObject> guard(model);
        QSignalSpy results(m_wrapper.get(), &TDCBackendWrapper::connectionResult);
        m_wrapper->disconnectDevice();
        QCOMPARE(results.count(), 1);
        QCOMPARE(results.at(0).at(0).toInt(), int(TDCFrontend::DISCONNECTED));
        QCOMPARE(m_wrapper->numCh(), 0u);
        // A late write from a view between disconnection and deletion reaches no module.
        model->setProperty("integrationTime", 0.3);
        QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 10000);

        // The same board connects again.
        QCOMPARE(connectAndWait(*m_wrapper, 0), QList<int>{TDCFrontend::CONNECTED});
        m_wrapper->disconnectDevice();
    }
};

TESSARON_TEST_MAIN(QCoreApplication, VirtualBoardTest)
#include "tst_virtualboard.moc"
