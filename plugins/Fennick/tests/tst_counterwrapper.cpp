// The counter model against the real counter module of a virtual board.
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <thread>

#include "tdc/tdcbackend.h"
#include "tdc/tdcfennick.h"
#include "tdc/tdcmodule.h"
#include "tdccounterwrapper.h"
#include "testmain.h"

namespace {
QStringList g_messages;
QtMessageHandler g_previous = nullptr;
void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_messages.append(message);
    if (g_previous)
        g_previous(type, context, message);
}
} // namespace

class CounterWrapperTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TDCBackend> m_backend;
    TDCFennick *m_module = nullptr;
    std::uint32_t m_channels = 0;
    QObject m_parent;   // stands in for the backend wrapper and its "numCh"

    std::unique_ptr<TDCCounterWrapper> makeWrapper()
    {
        m_module->setAutoPush(false);
        return std::make_unique<TDCCounterWrapper>(m_module, &m_parent);
    }

    // The callback the wrapper installed, taken back out of the module and put in again.
    TDCFennick::Callback installedCallback()
    {
        TDCFennick::Callback cb = m_module->setCallback(TDCFennick::Callback());
        m_module->setCallback(cb);
        return cb;
    }

private slots:
    void initTestCase()
    {
        qputenv("TESSARON_VIRTUAL_BOARDS", "1");
        m_backend = std::make_unique<TDCBackend>();
        const auto devices = m_backend->getDevices().first;
        QVERIFY2(!devices.empty(), "no virtual board listed");
        QVERIFY(!m_backend->open(devices.front(), {{"baudrate", "2000000"}}, 5000));
        m_backend->loadModules(0);
        for (TessaronModule *module : m_backend->getModules()) {
            if (!m_module)
                m_module = dynamic_cast<TDCFennick *>(module);
            if (auto *channels = dynamic_cast<TDCModule *>(module); channels && !m_channels)
                m_channels = channels->numChannels();
        }
        QVERIFY2(m_module, "the virtual board has no counter module");
        QVERIFY(m_channels > 1);
        m_parent.setProperty("numCh", m_channels);
    }

    void cleanupTestCase()
    {
        if (m_module)
            m_module->setAutoPush(false);
        m_backend.reset();
    }

    void construction()
    {
        auto wrapper = makeWrapper();
        QCOMPARE(wrapper->counters().size(), int(m_channels));
        for (const QVector<double> &history : wrapper->counters())
            QCOMPARE(history, QVector<double>(100, 0.0));
        QCOMPARE(wrapper->integrationTime(), 0.2);
        QCOMPARE(wrapper->integrationTick(), 100u);
        QCOMPARE(wrapper->tdcClock(), 0.0);
        QVERIFY(!wrapper->autopush());
        QCOMPARE(wrapper->counterType(),
                 m_module->inputLogic() ? QString("InputLogic") : QString("BeltBus"));
        QVERIFY(wrapper->persistedProperties().isEmpty());
        QVERIFY(installedCallback());
        QVERIFY(wrapper->counters().size() > 0);
    }

    void takesTheBoardsAutoPush()
    {
        m_module->setAutoPush(true);
        TDCCounterWrapper wrapper(m_module, &m_parent);
        QVERIFY(wrapper.autopush());
        m_module->setAutoPush(false);
    }

    void sampleUpdatesHistoriesAndSignalsOnlyWithAutopush()
    {
        auto wrapper = makeWrapper();
        QSignalSpy counters(wrapper.get(), &TDCCounterWrapper::countersChanged);
        QSignalSpy clock(wrapper.get(), &TDCCounterWrapper::tdcClockChanged);
        const TDCFennick::Callback cb = installedCallback();
        std::mutex libraryMutex;

        cb(libraryMutex, std::chrono::duration<double>(0.2), {1000, 50});
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->tdcClock(), 5000.0, 10000);
        QCOMPARE(wrapper->counters()[0].last(), 5000.0);
        QCOMPARE(wrapper->counters()[1].last(), 250.0);
        QCOMPARE(wrapper->counters()[0].size(), 100);
        QCoreApplication::processEvents();
        QCOMPARE(counters.count(), 0);
        QCOMPARE(clock.count(), 0);

        // A sample from another thread with autopush on: one pair of signals, on this thread.
        wrapper->setAutopush(true);
        std::thread([&] { cb(libraryMutex, std::chrono::duration<double>(0.5), {10, 20}); }).join();
        QTRY_COMPARE_WITH_TIMEOUT(counters.count(), 1, 10000);
        QCOMPARE(clock.count(), 1);
        QCOMPARE(wrapper->tdcClock(), 20.0);
        QCOMPARE(wrapper->counters()[0][98], 5000.0);
        QCOMPARE(wrapper->counters()[0][99], 20.0);
        wrapper->setAutopush(false);
    }

    void countsBeyondTheHistoriesAreIgnored()
    {
        auto wrapper = makeWrapper();
        const TDCFennick::Callback cb = installedCallback();
        std::mutex libraryMutex;
        std::vector<std::uint32_t> counts(m_channels + 7, 100);
        cb(libraryMutex, std::chrono::duration<double>(1.0), counts);
        cb(libraryMutex, std::chrono::duration<double>(0.0), {5, 5});   // no rate: dropped
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->tdcClock(), 100.0, 10000);
        QCOMPARE(wrapper->counters().size(), int(m_channels));
        QCOMPARE(wrapper->counters().last().last(), 100.0);
    }

    void manySamplesFromTheLibraryThreadWhileTheViewReads()
    {
        auto wrapper = makeWrapper();
        const TDCFennick::Callback cb = installedCallback();
        std::mutex libraryMutex;
        std::atomic<bool> done{false};
        std::thread producer([&] {
            for (std::uint32_t i = 1; i <= 2000; ++i)
                cb(libraryMutex, std::chrono::duration<double>(1.0), std::vector<std::uint32_t>(m_channels, i));
            done = true;
        });
        double sum = 0;
        while (!done) {
            QCoreApplication::processEvents();
            for (const QVector<double> &history : wrapper->counters())
                sum += history.last();
        }
        producer.join();
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->tdcClock(), 2000.0, 20000);
        QVERIFY(sum >= 0);
        QCOMPARE(wrapper->counters()[0][99], 2000.0);
        QCOMPARE(wrapper->counters()[0][0], 1901.0);
    }

    void integrationTickResizes()
    {
        auto wrapper = makeWrapper();
        const TDCFennick::Callback cb = installedCallback();
        std::mutex libraryMutex;
        for (std::uint32_t i = 1; i <= 100; ++i)
            cb(libraryMutex, std::chrono::duration<double>(1.0), {i});
        QTRY_COMPARE_WITH_TIMEOUT(wrapper->tdcClock(), 100.0, 10000);
        QSignalSpy tick(wrapper.get(), &TDCCounterWrapper::integrationTickChanged);
        QSignalSpy counters(wrapper.get(), &TDCCounterWrapper::countersChanged);
        wrapper->setIntegrationTick(50);
        QCOMPARE(wrapper->counters()[0].size(), 50);
        QCOMPARE(wrapper->counters()[0].first(), 1.0);
        QCOMPARE(wrapper->counters()[0].last(), 50.0);
        wrapper->setIntegrationTick(100);
        QCOMPARE(wrapper->counters()[0].size(), 100);
        QCOMPARE(wrapper->counters()[0][49], 50.0);
        QCOMPARE(wrapper->counters()[0].last(), 0.0);
        wrapper->setIntegrationTick(100);
        QCOMPARE(tick.count(), 2);
        QCOMPARE(counters.count(), 2);
    }

    void integrationTimeReachesTheBoard()
    {
        auto wrapper = makeWrapper();
        QSignalSpy changed(wrapper.get(), &TDCCounterWrapper::integrationTimeChanged);
        g_messages.clear();
        g_previous = qInstallMessageHandler(collect);
        wrapper->setIntegrationTime(0.2);
        wrapper->setIntegrationTime(0.2 * (1 + 1e-14));
        qInstallMessageHandler(g_previous);
        QCOMPARE(changed.count(), 0);
        QVERIFY(g_messages.filter("Set Counters integrationTime").isEmpty());

        wrapper->setIntegrationTime(0.5);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(wrapper->integrationTime(), 0.5);
        QVERIFY(qAbs(m_module->integrationTime() - 0.5) < 1e-3);
        wrapper->setIntegrationTime(0.2);
    }

    void liveRatesFromTheVirtualBoard()
    {
        auto wrapper = makeWrapper();
        QSignalSpy counters(wrapper.get(), &TDCCounterWrapper::countersChanged);
        wrapper->setIntegrationTime(0.05);
        wrapper->setAutopush(true);
        QVERIFY(m_module->autoPushEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(counters.count() >= 2, 20000);
        QVERIFY(wrapper->tdcClock() > 0);

        // Quitting switches the board's pushing off but leaves the property alone.
        wrapper->onDestruction();
        QVERIFY(!m_module->autoPushEnabled());
        QVERIFY(wrapper->autopush());
        wrapper->setIntegrationTime(0.2);
    }

    void releasedModuleIsLeftAlone()
    {
        auto wrapper = makeWrapper();
        wrapper->releaseModule();
        QVERIFY(!m_module->setCallback(TDCFennick::Callback()));
        const double before = m_module->integrationTime();
        wrapper->setIntegrationTime(0.7);
        wrapper->setAutopush(true);
        wrapper->onDestruction();
        QCOMPARE(m_module->integrationTime(), before);
        QVERIFY(!m_module->autoPushEnabled());
        QCOMPARE(wrapper->hardwareModule(), nullptr);
    }
};

TESSARON_TEST_MAIN(QCoreApplication, CounterWrapperTest)
#include "tst_counterwrapper.moc"
