// The render thread drawing while the GUI thread changes everything it could draw: data of
// changing sizes, plotters added and destroyed, a decorator hovering over plotters that go
// away, and a navigator showing the main chart's plotters beside one of its own. Run under
// AddressSanitizer as well; the pictures at the end prove the charts still draw the truth.
#include "chartelle/barplotterdx.h"
#include "chartelle/chartarea.h"
#include "plotters/areaplotter.h"
#include "plotters/bardecorator.h"
#include "shaders/chartprograms.h"
#include "chartwindow.h"

#include <QElapsedTimer>
#include <QPointer>

#include <deque>
#include <memory>
#include <random>

using namespace charttest;

namespace {

QAtomicInt glErrors;
QtMessageHandler previousHandler = nullptr;

void countGlErrors(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("OPENGL ERROR")))
        glErrors.ref();
    if (previousHandler)
        previousHandler(type, context, message);
}

// A chart above, its navigator below, as a chart view lays them out.
struct ChartAndNavigator
{
    ChartAndNavigator()
    {
        window.setColor(Background);
        window.resize(400, 300);
        chart = new ChartArea(window.contentItem());
        chart->setSize(QSizeF(400, 200));
        chart->setUpdateIntervalMs(0);
        navigator = new ChartArea(window.contentItem());
        navigator->setY(220);
        navigator->setSize(QSizeF(400, 80));
        navigator->setAdaptChartHeight(false);
        navigator->setUpdateIntervalMs(0);
        navigator->setSourceChart(chart);
        QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [this] { frames.ref(); },
                         Qt::DirectConnection);
    }
    QQuickWindow window;
    ChartArea *chart = nullptr;
    ChartArea *navigator = nullptr;
    QAtomicInt frames;
};

QVector<double> pairs(std::mt19937 &random, int bars)
{
    std::uniform_real_distribution<double> height(0.0, 50.0);
    QVector<double> v(2 * bars);
    for (int k = 0; k < bars; ++k) {
        v[2 * k] = 1.0;
        v[2 * k + 1] = height(random);
    }
    return v;
}

}  // namespace

class StressTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void navigatorDrawsSharedAndOwnPlotters();
    void destroyedPlotterIsGoneFromTheNextFrame();
    void renderWhileEverythingChanges();
};

void StressTest::initTestCase()
{
    chartelle::registerChartPrograms();
    previousHandler = qInstallMessageHandler(countGlErrors);
}

void StressTest::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
}

void StressTest::navigatorDrawsSharedAndOwnPlotters()
{
    ChartAndNavigator w;
    // Shown by the chart and, through it, by the navigator: bars 0..2 of height 10.
    BarPlotterDx shared;
    shared.setColor(BarColor);
    shared.setChartArea(w.chart);
    shared.setData({2, 10, 2, 0});
    // The navigator's own plotter, right of the shared one; the chart must not show it.
    BarPlotterDx own;
    own.setColor(Qt::blue);
    own.setChartArea(w.navigator);
    own.setData({2, 0, 2, 10});
    QCOMPARE(w.navigator->plotter(), QList<IPlotter *>{&own});
    QCOMPARE(w.navigator->drawnPlotters(), (QList<IPlotter *>{&own, &shared}));

    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window, 20000));
    QTRY_VERIFY_WITH_TIMEOUT(shared.isInitialized() && own.isInitialized(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->chartRect(), QRectF(0, 0, 4, 10.5), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(w.navigator->chartRect(), QRectF(0, 0, 4, 10.5), 20000);
    w.chart->resetZoomView();
    w.navigator->resetZoomView();
    QTRY_VERIFY_WITH_TIMEOUT(near(w.window.grabWindow().pixelColor(100, 150), BarColor), 20000);
    QImage image = w.window.grabWindow();
    image.save(artifact(QStringLiteral("navigator-shared.png")));
    // Chart: the shared bars left, nothing right.
    QVERIFY(near(image.pixelColor(100, 150), BarColor));
    QVERIFY(near(image.pixelColor(300, 150), Background));
    // Navigator: both, each in its half.
    QVERIFY(near(image.pixelColor(100, 280), BarColor));
    QVERIFY(near(image.pixelColor(300, 280), QColor(Qt::blue)));

    // New data of the shared plotter reach both charts.
    shared.setData({2, 0, 2, 10});
    QTRY_VERIFY_WITH_TIMEOUT(near(w.window.grabWindow().pixelColor(300, 150), BarColor), 20000);
    image = w.window.grabWindow();
    QVERIFY(near(image.pixelColor(100, 150), Background));
    QVERIFY(near(image.pixelColor(100, 280), Background));
    QVERIFY(!near(image.pixelColor(300, 280), Background));
}

void StressTest::destroyedPlotterIsGoneFromTheNextFrame()
{
    ChartWindow w;
    w.chart->setAdaptAreaToPlotters(false);
    w.chart->setChartRect(QRectF(0, 0, 2, 10));
    w.chart->setAdaptChartHeight(false);
    w.chart->setZoomRect(QRectF(0, 0, 2, 10));
    auto *bars = new BarPlotterDx;
    bars->setColor(BarColor);
    bars->setChartArea(w.chart);
    bars->setData({2, 10});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(near(w.window.grabWindow().pixelColor(200, 150), BarColor), 20000);
    // Destroyed without any ceremony while the render thread may be drawing its last frame.
    delete bars;
    QVERIFY(w.chart->plotter().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(near(w.window.grabWindow().pixelColor(200, 150), Background), 20000);
}

void StressTest::renderWhileEverythingChanges()
{
    ChartAndNavigator w;
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    AreaPlotter area;
    area.setColor(QColor(0, 0, 255, 128));
    area.setChartArea(w.chart);
    area.setPlotterArea(QRectF(0, 0, 100, 0));
    AreaPlotter preview;  // the navigator's own
    preview.setColor(QColor(0, 160, 0, 255));
    preview.setChartArea(w.navigator);
    preview.setPlotterArea(QRectF(0, 0, 100, 0));
    BarDecorator decorator;
    decorator.setDrawLayer(2);
    decorator.setChartArea(w.chart);
    decorator.addPlotter(&bars);
    decorator.setActive(true);

    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window, 20000));
    const int glErrorsBefore = glErrors.loadAcquire();
    const int framesBefore = w.frames.loadAcquire();

    std::mt19937 random(7);
    std::uniform_int_distribution<int> size(0, 3000);
    std::deque<std::unique_ptr<BarPlotterDx>> transient;
    QElapsedTimer clock;
    clock.start();
    int rounds = 0;
    // Bounded in time and in rounds, whichever ends first.
    while (clock.elapsed() < 3000 && rounds < 200000) {
        ++rounds;
        bars.setData(pairs(random, size(random)));
        QVector<double> values(size(random));
        for (double &v : values)
            v = double(random() % 100);
        area.setData(values);
        if (rounds % 2 == 0)
            preview.setData(values.mid(0, values.size() / 2));
        if (rounds % 3 == 0) {
            auto extra = std::make_unique<BarPlotterDx>();
            extra->setColor(QColor(0, 0, 0, 90));
            extra->setChartArea(w.chart);
            extra->setData(pairs(random, 1 + size(random) / 10));
            decorator.addPlotter(extra.get());
            transient.push_back(std::move(extra));
            if (transient.size() > 4)
                transient.pop_front();  // destroyed while still listed by the decorator
        }
        decorator.setMouseX(double(rounds % 400));
        decorator.setMouseY(double(50 + rounds % 150));
        QCoreApplication::processEvents();
    }
    transient.clear();
    const int stormFrames = w.frames.loadAcquire() - framesBefore;
    qInfo("%d rounds of changes, %d frames drawn meanwhile", rounds, stormFrames);
    QVERIFY2(stormFrames >= 5, "the render thread kept drawing during the changes");
    QCOMPARE(decorator.plotters(), QList<IPlotter *>{&bars});

    // What is drawn at the end is what was set last.
    area.setVisible(false);
    area.setData({});
    decorator.setActive(false);
    preview.setData({});
    bars.setData({50, 10, 50, 0});
    w.chart->resetZoomView();
    w.navigator->resetZoomView();
    QTRY_VERIFY_WITH_TIMEOUT(near(w.window.grabWindow().pixelColor(300, 100), Background)
                                 && near(w.window.grabWindow().pixelColor(100, 100), BarColor), 20000);
    const QImage image = w.window.grabWindow();
    image.save(artifact(QStringLiteral("stress-end.png")));
    QVERIFY(near(image.pixelColor(100, 180), BarColor));
    QVERIFY(near(image.pixelColor(300, 180), Background));
    QVERIFY(near(image.pixelColor(100, 290), BarColor));
    QVERIFY(near(image.pixelColor(300, 290), Background));
    QCOMPARE(glErrors.loadAcquire(), glErrorsBefore);
}

int runStressTests(int argc, char **argv)
{
    StressTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "stresstest.moc"
