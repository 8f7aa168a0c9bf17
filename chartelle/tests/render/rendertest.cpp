// Charts drawn in real windows (Xvfb with Mesa's software renderer): the pictures are grabbed
// and checked pixel by pixel, and kept as PNG files in the test artifact folder.
#include "chartelle/barplotterdx.h"
#include "chartelle/chartarea.h"
#include "plotters/areaplotter.h"
#include "plotters/bardecorator.h"
#include "shaders/chartprograms.h"
#include "chartwindow.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QSignalSpy>
#include <QUrl>

using namespace charttest;

class RenderTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void barsWhereTheDataIs();
    void hresBarLandsOnItsPixels();
    void areaFillsUnderTheData();
    void throttledChangeIsDrawnLater();
    void exportWritesTheImage();
    void exportsEndOnceWithTheirPaths();
    void hoverHighlightFades();
};

void RenderTest::initTestCase()
{
    // The QML scenes import the plugin, which registers the types; native charts only need
    // the programs.
    chartelle::registerChartPrograms();
}

void RenderTest::barsWhereTheDataIs()
{
    ChartWindow w;
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    bars.setData({1, 0, 1, 10, 1, 0, 1, 5});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->chartRect(), QRectF(0, 0, 4, 10.5), 20000);
    w.chart->resetZoomView();
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(0, 0, 4, 10.5), 20000);

    const QImage image = w.grab(QStringLiteral("bars"));
    QCOMPARE(image.size(), QSize(400, 300));
    // 100 pixels per bar; full height is 10.5, so bar 1 reaches y = 14 and bar 3 y = 157.
    QVERIFY(near(image.pixelColor(150, 290), BarColor));
    QVERIFY(near(image.pixelColor(150, 20), BarColor));
    QVERIFY(near(image.pixelColor(150, 8), Background));
    QVERIFY(near(image.pixelColor(350, 290), BarColor));
    QVERIFY(near(image.pixelColor(350, 165), BarColor));
    QVERIFY(near(image.pixelColor(350, 150), Background));
    for (int y = 10; y < 300; y += 20) {
        QVERIFY2(near(image.pixelColor(50, y), Background), "no bar where the data are 0");
        QVERIFY2(near(image.pixelColor(250, y), Background), "no bar where the data are 0");
    }
}

void RenderTest::hresBarLandsOnItsPixels()
{
    ChartWindow w;
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    // A gap up to 1e9 + 0.25 units, then a bar half a unit wide: a single float cannot tell
    // 1e9 + 0.25 from 1e9 (its spacing there is 64).
    bars.setData({1e9 + 0.25, 0, 0.5, 10, 10, 0});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(w.chart->chartRect().width() > 1e9, 20000);
    w.chart->setZoomRect(QRectF(1e9, 0, 1.0, 10.5));
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(1e9, 0, 1.0, 10.5), 20000);

    const QImage image = w.grab(QStringLiteral("hresbar"));
    // One unit spans 400 pixels: the bar covers x from 100 to 300.
    for (int y : {60, 150, 280}) {
        QVERIFY(near(image.pixelColor(95, y), Background));
        QVERIFY(near(image.pixelColor(105, y), BarColor));
        QVERIFY(near(image.pixelColor(200, y), BarColor));
        QVERIFY(near(image.pixelColor(295, y), BarColor));
        QVERIFY(near(image.pixelColor(305, y), Background));
    }
}

void RenderTest::areaFillsUnderTheData()
{
    ChartWindow w;
    AreaPlotter area;
    area.setColor(QColor(0, 0, 255, 255));
    area.setBorderEnable(false);
    area.setChartArea(w.chart);
    area.setPlotterArea(QRectF(0, 0, 8, 0));
    area.setData({0, 0, 8, 8, 0, 0, 0, 0});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(area.isInitialized(), 20000);
    w.chart->resetZoomView();
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(0, 0, 8, 8.4), 20000);

    const QImage image = w.grab(QStringLiteral("area"));
    const QColor fill(0, 0, 255);
    // The fill is a strip through the bin values, so a rising edge spans bins 1..2 and a
    // falling one bins 3..4; the flat top covers x 100..150 pixels (bins 2 and 3 at 50 px).
    QVERIFY(near(image.pixelColor(125, 200), fill));
    QVERIFY(near(image.pixelColor(125, 30), fill));
    QVERIFY(near(image.pixelColor(125, 10), Background));
    QVERIFY(near(image.pixelColor(300, 150), Background));
    QVERIFY(near(image.pixelColor(20, 150), Background));
}

void RenderTest::throttledChangeIsDrawnLater()
{
    ChartWindow w;
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    bars.setData({1, 10, 1, 0});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    w.chart->resetZoomView();
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(0, 0, 2, 10.5), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(bars.dirtyFlags(), 0u, 20000);

    const unsigned interval = 4000;
    w.chart->setUpdateIntervalMs(interval);
    QTest::qWait(int(interval) + 200);  // whatever came before is out of the interval
    const quint64 before = w.chart->updateCount();
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    bars.setData({1, 10, 1, 3});
    QCOMPARE(w.chart->updateCount(), before + 1);
    // Let that frame be drawn, then change again inside the interval.
    while (bars.dirtyFlags() != 0u && sinceFirst.elapsed() < interval - 500)
        QTest::qWait(20);
    if (bars.dirtyFlags() != 0u)
        QSKIP("The machine was too slow to draw a frame inside the interval.");
    bars.setData({1, 10, 1, 7});
    if (sinceFirst.elapsed() >= interval)
        QSKIP("The machine was too slow to change the data inside the interval.");
    QCOMPARE(w.chart->updateCount(), before + 1);
    QVERIFY(bars.dirtyFlags() != 0u);

    // Nothing else asks for a repaint: only the deferred request can draw the newest data.
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->updateCount(), before + 2, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(bars.dirtyFlags(), 0u, 20000);
    const QImage image = w.grab(QStringLiteral("deferred"));
    // Bar 1 at 7 of 10.5 reaches y = 100 of 300.
    QVERIFY(near(image.pixelColor(300, 110), BarColor));
    QVERIFY(near(image.pixelColor(300, 90), Background));
}

void RenderTest::exportWritesTheImage()
{
    ChartWindow w(200, 100);
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    bars.setData({1, 1, 1, 0});
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    w.chart->resetZoomView();

    QSignalSpy finished(w.chart, &ChartArea::exportFinished);
    const QString png = artifact(QStringLiteral("export.png"));
    const QString jpg = artifact(QStringLiteral("export.jpg"));
    QFile::remove(png);
    QFile::remove(jpg);
    w.chart->exportImage(png);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QCOMPARE(finished.at(0).at(0).toString(), png);
    QVERIFY(finished.at(0).at(1).toBool());
    QImage saved(png);
    QCOMPARE(saved.size(), QSize(400, 200));
    QVERIFY(near(saved.pixelColor(100, 190), BarColor));

    w.chart->exportImage(jpg);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
    QVERIFY(finished.at(1).at(1).toBool());
    QCOMPARE(QImageReader(jpg).format(), QByteArray("jpeg"));
}

void RenderTest::hoverHighlightFades()
{
    ChartWindow w;
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    bars.setData({1, 10, 1, 10});
    BarDecorator deco;
    deco.setDrawLayer(2);
    deco.setChartArea(w.chart);
    deco.addPlotter(&bars);
    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    w.chart->resetZoomView();
    QTRY_COMPARE_WITH_TIMEOUT(w.chart->zoomRect(), QRectF(0, 0, 2, 10.5), 20000);

    deco.setActive(true);
    deco.setMouseX(100);
    deco.setMouseY(200);
    QCOMPARE(deco.infoMap().size(), 1);
    QImage image = w.grab(QStringLiteral("hover"));
    QVERIFY2(!near(image.pixelColor(100, 200), BarColor, 20), "the hovered bar is highlighted");
    QVERIFY(near(image.pixelColor(300, 200), BarColor, 20));

    // Leaving the chart releases the highlight; it fades out within its fade time.
    deco.setActive(false);
    QTRY_VERIFY_WITH_TIMEOUT(near(w.window.grabWindow().pixelColor(100, 200), BarColor, 20), 20000);
    w.grab(QStringLiteral("hover-faded"));
}

void RenderTest::exportsEndOnceWithTheirPaths()
{
    ChartWindow w(200, 100);
    BarPlotterDx bars;
    bars.setColor(BarColor);
    bars.setChartArea(w.chart);
    bars.setData({1, 1, 1, 0});

    // Not shown: no grab can come, and the failure is reported at once, once.
    QSignalSpy finished(w.chart, &ChartArea::exportFinished);
    const QString early = artifact(QStringLiteral("export-unshown.png"));
    w.chart->exportImage(early);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toString(), early);
    QVERIFY(!finished.at(0).at(1).toBool());
    QVERIFY(!QFile::exists(early));

    QVERIFY(w.show());
    QTRY_VERIFY_WITH_TIMEOUT(bars.isInitialized(), 20000);
    finished.clear();

    // Back to back, before either grab is ready, then one that cannot be written, and one
    // given as a file URL: each ends once with the path exactly as it was given.
    const QString first = artifact(QStringLiteral("export-first.png"));
    const QString second = artifact(QStringLiteral("export-second.png"));
    const QString bad = QStringLiteral("/nonexistent-folder-for-chart-test/third.png");
    const QString url = QUrl::fromLocalFile(artifact(QStringLiteral("export-url.png"))).toString();
    for (const QString &f : {first, second, artifact(QStringLiteral("export-url.png"))})
        QFile::remove(f);
    w.chart->exportImage(first);
    w.chart->exportImage(second);
    w.chart->exportImage(bad);
    w.chart->exportImage(url);
    QCOMPARE(w.chart->pendingExports(), 4);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 4, 20000);
    QMap<QString, bool> results;
    for (const QList<QVariant> &args : qAsConst(finished))
        results.insert(args.at(0).toString(), args.at(1).toBool());
    QCOMPARE(results.size(), 4);
    QCOMPARE(results.value(first, false), true);
    QCOMPARE(results.value(second, false), true);
    QCOMPARE(results.value(bad, true), false);
    QCOMPARE(results.value(url, false), true);
    for (const QList<QVariant> &args : qAsConst(finished))
        QCOMPARE(args.at(2).toString().isEmpty(), args.at(1).toBool());
    QCOMPARE(QImage(first).size(), QSize(400, 200));
    QCOMPARE(QImage(second).size(), QSize(400, 200));
    QVERIFY(QFile::exists(artifact(QStringLiteral("export-url.png"))));
    QCOMPARE(w.chart->pendingExports(), 0);
    // The time-out of each export must not report it a second time.
    w.chart->setExportTimeoutMs(50);
    w.chart->exportImage(artifact(QStringLiteral("export-fast.png")));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 5, 20000);
    QTest::qWait(300);
    QCOMPARE(finished.count(), 5);
}

int runRenderTests(int argc, char **argv)
{
    RenderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "rendertest.moc"
