// The counter plugin end to end: the first start connects the virtual board, watches rates,
// makes a layout and disconnects; the restart finds the layout again.
#include "e2ekit.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTest>

namespace e2e {

namespace {
constexpr int kRatesTimeoutMs = 30000;

// The cards of a counter view show rates that are not zero and change from sample to sample.
bool ratesMove(Kit &kit, QObject *view, const QString &what)
{
    auto rates = [&] {
        QList<double> values;
        for (int channel = 0; channel < 64; ++channel) {
            QQuickItem *card = kit.findItem(view, QStringLiteral("channelCard%1").arg(channel));
            if (!card)
                break;
            values << card->property("processedRate").toDouble();
        }
        return values;
    };
    QList<double> first;
    const bool someRate = QTest::qWaitFor([&] {
        first = rates();
        for (double value : first)
            if (value > 0)
                return true;
        return false;
    }, kRatesTimeoutMs);
    if (!kit.check(someRate, what + QStringLiteral(": a channel shows a rate above zero")))
        return false;
    const bool changed = QTest::qWaitFor([&] { return rates() != first; }, kRatesTimeoutMs);
    return kit.check(changed, what + QStringLiteral(": the rates change over time"));
}

bool runFirstStart(Kit &kit)
{
    if (!kit.waitForMainWindow() || !kit.connectBoard(kit.phase() == QLatin1String("first") ? QStringLiteral("01_home") : QStringLiteral("05_restarted_home")))
        return false;
    QObject *counterView = qvariant_cast<QObject *>(kit.eval(QStringLiteral("dictView['stopwatch'].item")));
    kit.check(kit.eval(QStringLiteral("dictView['stopwatch'].item.viewSocket === dictView['stopwatch']"
                              " && dictView['stopwatch'].item.topWindowBar === dictView['stopwatch']"
                              " && dictView['stopwatch'].item.mainWindow === mainWindow")).toBool(),
          QStringLiteral("the counter view is handed its container, top bar and main window"));
    kit.eval(QStringLiteral("setViewByUUID('stopwatch')"));
    if (!ratesMove(kit, counterView, QStringLiteral("counter view")))
        return false;
    kit.screenshot(QStringLiteral("02_counter_rates"));

    // Make a layout to find again: a sub view with the counter models, a display setting of
    // channel 1, and a window size.
    const QString uuid = kit.eval(QStringLiteral("dictView['stopwatch'].tdcModelData[0].modelUUID")).toString();
    kit.check(uuid.startsWith(QLatin1Char('{')), QStringLiteral("the counter model has an identifier"));
    const QString subView = kit.eval(QStringLiteral(
        "registerNewView('MainWindow', '', dictView['stopwatch'].tdcModelData, 'qrc:/plugin/fennick/CounterView.qml',"
        " 'Rates', 'stopwatch').uuid")).toString();
    kit.check(!subView.isEmpty(), QStringLiteral("a sub view with the counter models is added"));
    QQuickItem *grid = kit.findItem(counterView, QStringLiteral("channelGrid"));
    if (!kit.check(grid != nullptr, QStringLiteral("the counter view has a channel grid")))
        return false;
    kit.evalIn(grid, QStringLiteral("setChannelSetting(1, 'maxVal', 6)"));
    kit.evalIn(grid, QStringLiteral("setChannelSetting(1, 'isLog', false)"));
    kit.window()->resize(1100, 760);
    kit.eval(QStringLiteral("setViewByUUID('%1')").arg(subView));
    QQuickItem *subItem = qvariant_cast<QQuickItem *>(kit.eval(QStringLiteral("dictView['%1'].item").arg(subView)));
    if (!ratesMove(kit, subItem, QStringLiteral("sub view")))
        return false;
    kit.screenshot(QStringLiteral("03_layout"));

    QSettings state(kit.statePath(), QSettings::IniFormat);
    state.setValue(QStringLiteral("modelUUID"), uuid);
    state.setValue(QStringLiteral("subViewUUID"), subView);
    state.sync();

    if (!kit.disconnectBoard())
        return false;
    kit.screenshot(QStringLiteral("04_disconnected"));
    return true;
}

bool runRestart(Kit &kit)
{
    QSettings state(kit.statePath(), QSettings::IniFormat);
    const QString uuid = state.value(QStringLiteral("modelUUID")).toString();
    const QString subView = state.value(QStringLiteral("subViewUUID")).toString();
    if (!kit.check(!uuid.isEmpty() && !subView.isEmpty(), QStringLiteral("the first start left its state")))
        return false;
    if (!kit.waitForMainWindow())
        return false;
    kit.check(kit.window()->width() == 1100 && kit.window()->height() == 760,
          QStringLiteral("the window size is restored (%1 x %2)").arg(kit.window()->width()).arg(kit.window()->height()));
    if (!kit.connectBoard(kit.phase() == QLatin1String("first") ? QStringLiteral("01_home") : QStringLiteral("05_restarted_home")))
        return false;

    kit.waitUntil(QStringLiteral("frame.leftBar.viewsModel.count === 1 && frame.leftBar.viewsModel.get(0).viewTitle === 'Rates'"),
              kConnectTimeoutMs, QStringLiteral("the sub view \"Rates\" is restored"));
    kit.check(kit.eval(QStringLiteral("dictView['stopwatch'].tdcModelData[0].modelUUID")).toString() == uuid,
          QStringLiteral("the counter model's identifier is restored"));
    kit.check(kit.eval(QStringLiteral("dictView['%1'] !== undefined && dictView['%1'].tdcModelData[0].modelUUID").arg(subView)).toString() == uuid,
          QStringLiteral("the restored sub view finds its model again"));
    QObject *counterView = qvariant_cast<QObject *>(kit.eval(QStringLiteral("dictView['stopwatch'].item")));
    QQuickItem *grid = kit.findItem(counterView, QStringLiteral("channelGrid"));
    kit.check(grid && kit.evalIn(grid, QStringLiteral("channelSetting(1, 'maxVal', 9)")).toInt() == 6
               && !kit.evalIn(grid, QStringLiteral("channelSetting(1, 'isLog', true)")).toBool(),
          QStringLiteral("the counter view's channel display settings are restored"));

    kit.eval(QStringLiteral("setViewByUUID('%1')").arg(subView));
    QQuickItem *subItem = qvariant_cast<QQuickItem *>(kit.eval(QStringLiteral("dictView['%1'].item").arg(subView)));
    if (!ratesMove(kit, subItem, QStringLiteral("restored sub view")))
        return false;
    kit.screenshot(QStringLiteral("06_restored"));

    kit.eval(QStringLiteral("versionDialog.open()"));
    const bool versionShown = QTest::qWaitFor([&] { return kit.eval(QStringLiteral("versionDialog.opened")).toBool(); },
                                              kWindowTimeoutMs);
    kit.check(versionShown && kit.eval(QStringLiteral("versionDialog.moduleRows.length > 0 && versionDialog.moduleRows[0].name"))
                                  .toString() == QLatin1String("Counter"),
          QStringLiteral("the version dialog lists the counter plugin"));
    kit.check(kit.eval(QStringLiteral("versionDialog.moduleRows[0].backend")).toString().startsWith(QLatin1String("Backend: v")),
          QStringLiteral("the version dialog shows the connected module's version"));
    kit.screenshot(QStringLiteral("07_version_dialog"));
    kit.eval(QStringLiteral("versionDialog.close()"));
    if (!kit.disconnectBoard())
        return false;
    return kit.passedSoFar();
}

} // namespace

bool runScenario(Kit &kit)
{
    if (kit.phase() == QLatin1String("first"))
        return runFirstStart(kit);
    if (kit.phase() == QLatin1String("restart"))
        return runRestart(kit);
    return kit.check(false, QStringLiteral("known phase (\"first\" or \"restart\"), not \"%1\"").arg(kit.phase()));
}

} // namespace e2e
