// The legacy histogram plugin end to end: its settings view sets the channels of a correlated
// pair, a chart view shows the histogram, and a time-trigger run of three windows from the
// panel writes its files.
#include "e2ekit.h"

#include <QDir>
#include <QFile>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <cmath>

namespace e2e {

namespace {
const QString kView = QStringLiteral("bar-chart");
constexpr int kRunTimeoutMs = 60000;

int blocksIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return QString::fromUtf8(file.readAll()).count(QStringLiteral("# ---------- Histogram"));
}

bool runFirst(Kit &kit)
{
    if (!kit.waitForMainWindow() || !kit.connectBoard(QStringLiteral("01_home")))
        return false;
    kit.window()->resize(1100, 760);
    QQuickItem *settings = kit.viewItem(kView);
    if (!kit.check(settings != nullptr, QStringLiteral("the legacy histogram view is added after connection")))
        return false;
    kit.eval(QStringLiteral("setViewByUUID('%1')").arg(kView));

    // Channel 2 receives half of channel 1's pulses 12 ns later.
    QQuickItem *card = kit.findItem(settings, QStringLiteral("legacySettingsCard"));
    if (!kit.check(card != nullptr, QStringLiteral("the settings view shows the legacy histogram")))
        return false;
    kit.evalIn(card, QStringLiteral("(hist.setRefCH(1, 1), hist.setMeasCH(2, 1))"));
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].refCH === 1 && dictView['%1'].tdcModelData[0].measCH === 2")
                      .arg(kView), 10000, QStringLiteral("the channels reach the board"));
    kit.click(kit.findItem(card, QStringLiteral("activeSwitch")));
    kit.click(kit.findItem(card, QStringLiteral("autopushSwitch")));
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].isActive && dictView['%1'].tdcModelData[0].autopush").arg(kView),
                  5000, QStringLiteral("ENABLE and AUTO PUSH switch the histogram on"));
    QTest::qWait(500);
    kit.screenshot(QStringLiteral("02_settings"));

    // A chart view from the top bar.
    // The message cards stand over the top bar's right end until they go.
    kit.waitUntil(QStringLiteral("messages.count === 0"), 20000, QStringLiteral("the connection message has gone"));
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton0")));
    QQuickItem *chart = nullptr;
    kit.waitFor([&] { return (chart = kit.findItem(kit.window(), QStringLiteral("legacyChartView"))) != nullptr; },
                10000, QStringLiteral("the top bar opens a chart view"));
    if (!chart)
        return false;
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].integrationEvent > 50").arg(kView), 30000,
                  QStringLiteral("the histogram fills"));
    const double mean = kit.eval(QStringLiteral("dictView['%1'].tdcModelData[0].mean").arg(kView)).toDouble();
    kit.check(std::abs(mean - 12e-9) < 1.5e-9, QStringLiteral("the mean sits at the pair's 12 ns delay (%1 s)").arg(mean));
    QTest::qWait(1000);
    kit.screenshot(QStringLiteral("03_chart"));

    // The time-trigger panel: three windows of one second, CSV and PNG, into the artifacts.
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton1")));
    QQuickItem *panel = nullptr;
    kit.waitFor([&] { return (panel = kit.findItem(chart, QStringLiteral("legacyTimeTriggerPanel"))) != nullptr; },
                10000, QStringLiteral("the top bar shows the time-trigger panel"));
    if (!panel)
        return false;
    const QString folder = kit.artifactPath(QStringLiteral("run.files"));
    QDir().mkpath(folder);
    kit.typeInto(kit.findItem(panel, QStringLiteral("ttFolder")), folder);
    kit.typeInto(kit.findItem(panel, QStringLiteral("ttFileName")), QStringLiteral("legacy"));
    kit.click(kit.findItem(panel, QStringLiteral("ttPng")));
    kit.check(kit.evalIn(panel, QStringLiteral("chosenExtensions().join(',')")).toString() == QLatin1String(".png,.csv"),
              QStringLiteral("PNG and CSV are chosen"));
    kit.screenshot(QStringLiteral("04_time_trigger"));
    kit.click(kit.findItem(panel, QStringLiteral("ttStartButton")));
    kit.waitUntil(QStringLiteral("dictView['%1'].tdcModelData[0].isTimeTrigActive").arg(kView), 10000,
                  QStringLiteral("START arms the histogram's time trigger"));
    QTest::qWait(500);
    kit.screenshot(QStringLiteral("05_running"));
    kit.waitFor([&] { return !kit.evalIn(panel, QStringLiteral("running")).toBool(); }, kRunTimeoutMs,
                QStringLiteral("the run ends by itself after three windows"));
    const QString dir = folder + QStringLiteral("/legacy");
    for (int window = 0; window < 3; ++window) {
        const QString csv = dir + QStringLiteral("/legacy%1.csv").arg(window);
        kit.check(blocksIn(csv) == 1, QStringLiteral("window %1 has its CSV with one block").arg(window));
        kit.check(QFile(dir + QStringLiteral("/legacy%1.png").arg(window)).size() > 0,
                  QStringLiteral("window %1 has its image").arg(window));
    }
    kit.check(!QFile::exists(dir + QStringLiteral("/legacy3.csv")), QStringLiteral("no fourth window is written"));
    kit.screenshot(QStringLiteral("06_done"));
    if (!kit.disconnectBoard())
        return false;
    return kit.passedSoFar();
}

} // namespace

bool runScenario(Kit &kit)
{
    if (kit.phase() == QLatin1String("first"))
        return runFirst(kit);
    return kit.check(false, QStringLiteral("known phase (\"first\"), not \"%1\"").arg(kit.phase()));
}

} // namespace e2e
