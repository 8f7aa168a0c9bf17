// The threshold plugin end to end: the first start moves a channel's threshold by slider and
// by text and watches the counted rate follow the board's pulse heights, runs the automatic
// tuning from its dialog and disconnects; the restart finds the stored thresholds on the board
// again.
#include "e2ekit.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTest>

#include <cmath>

namespace e2e {

namespace {
const QString kView = QStringLiteral("iic");
constexpr int kRatesTimeoutMs = 30000;
constexpr int kTuningTimeoutMs = 60000;
// The virtual board's pulse heights (built-in profile): Gaussian, mean 0.5 V, sigma 0.05 V.
constexpr double kPulseMean = 0.5;
constexpr double kPulseSigma = 0.05;
// Channel 3 takes 5 kHz of pulses, channel 5 20 kHz; neither receives a correlated pair.
constexpr int kEdgeChannel = 3;
constexpr int kStoredChannel = 5;

// The share of pulses higher than the threshold.
double passing(double volts)
{
    return 0.5 * std::erfc((volts - kPulseMean) / (kPulseSigma * std::sqrt(2.0)));
}

QString channelExpr(int channel)
{
    return QStringLiteral("thresholdModel.channels[%1]").arg(channel);
}

// The mean of the rates the view received for a channel over `samples` counter periods that
// all began after now.
double settledRate(Kit &kit, QQuickItem *view, int channel, int samples)
{
    // The counter pushes every 0.2 s; let the periods that straddle the change go by.
    QTest::qWait(600 + 200 * samples);
    const QVariant mean = kit.evalIn(view, QStringLiteral(
        "(function(h, n) { if (!h || h.length < n) return -1; var s = 0;"
        " for (var i = h.length - n; i < h.length; ++i) s += h[i]; return s / n; })(histories[%1], %2)")
        .arg(channel).arg(samples));
    return mean.isValid() ? mean.toDouble() : -1;
}

bool rateAsPredicted(Kit &kit, double measured, double fullRate, double volts, const QString &how)
{
    const double predicted = fullRate * passing(volts);
    // Counting noise of five 0.2 s periods and the slope of the edge around the DAC step.
    const double tolerance = 0.04 * fullRate + 0.12 * predicted;
    return kit.check(std::abs(measured - predicted) <= tolerance,
                     QStringLiteral("%1: channel %2 at %3 V counts %4 Hz, the pulse heights predict %5 Hz")
                         .arg(how).arg(kEdgeChannel).arg(volts, 0, 'f', 3).arg(measured, 0, 'f', 0)
                         .arg(predicted, 0, 'f', 0));
}

QQuickItem *cardItem(Kit &kit, QQuickItem *view, int channel, const QString &name)
{
    QQuickItem *card = kit.findItem(view, QStringLiteral("thresholdCard%1").arg(channel));
    return card ? kit.findItem(card, name) : nullptr;
}

bool openView(Kit &kit, QQuickItem *&view)
{
    view = kit.viewItem(kView);
    if (!kit.check(view != nullptr, QStringLiteral("the threshold view is added after connection")))
        return false;
    kit.eval(QStringLiteral("setViewByUUID('%1')").arg(kView));
    return kit.waitFor([&] { return kit.evalIn(view, QStringLiteral("histories.length")).toInt() > kStoredChannel; },
                       kRatesTimeoutMs, QStringLiteral("the threshold view receives the counter view's rates"));
}

bool runFirstStart(Kit &kit)
{
    if (!kit.waitForMainWindow() || !kit.connectBoard(QStringLiteral("01_home")))
        return false;
    kit.window()->resize(1100, 760);
    QQuickItem *view = nullptr;
    if (!openView(kit, view))
        return false;
    kit.check(kit.eval(QStringLiteral("frame.leftBar.moduleModel.count >= 2")).toBool(),
              QStringLiteral("the module bar lists the threshold plugin beside the counters"));

    const double fullRate = settledRate(kit, view, kEdgeChannel, 5);
    kit.check(fullRate > 3000 && fullRate < 7000,
              QStringLiteral("at its power-up threshold channel %1 counts its 5 kHz of pulses (%2 Hz)")
                  .arg(kEdgeChannel).arg(fullRate, 0, 'f', 0));
    kit.screenshot(QStringLiteral("02_grid"));

    // By slider: a click at the middle of the pulse heights.
    QQuickItem *slider = cardItem(kit, view, kEdgeChannel, QStringLiteral("voltageSlider"));
    if (!kit.check(slider != nullptr, QStringLiteral("channel %1 has a slider").arg(kEdgeChannel)))
        return false;
    const double from = slider->property("from").toDouble();
    const double to = slider->property("to").toDouble();
    const double handle = kit.evalIn(slider, QStringLiteral("handle ? handle.width : 0")).toDouble();
    const double left = slider->property("leftPadding").toDouble();
    const double span = slider->property("availableWidth").toDouble() - handle;
    const double x = left + handle / 2 + span * (kPulseMean - from) / (to - from);
    QTest::mouseClick(kit.window(), Qt::LeftButton, Qt::NoModifier,
                      slider->mapToScene(QPointF(x, slider->height() / 2)).toPoint());
    // The model writes what waited 100 ms.
    QTest::qWait(400);
    const double bySlider = kit.evalIn(view, channelExpr(kEdgeChannel) + QStringLiteral(".voltage")).toDouble();
    kit.check(std::abs(bySlider - kPulseMean) < 0.05,
              QStringLiteral("the slider set channel %1 near %2 V (%3 V)").arg(kEdgeChannel).arg(kPulseMean).arg(bySlider));
    rateAsPredicted(kit, settledRate(kit, view, kEdgeChannel, 5), fullRate, bySlider, QStringLiteral("by slider"));

    // By text, in millivolts: high on the edge, where few pulses pass.
    QQuickItem *field = cardItem(kit, view, kEdgeChannel, QStringLiteral("voltageField"));
    if (!kit.check(field != nullptr, QStringLiteral("channel %1 has a voltage field").arg(kEdgeChannel)))
        return false;
    kit.typeInto(field, QStringLiteral("560 mV"));
    kit.check(std::abs(kit.evalIn(view, channelExpr(kEdgeChannel) + QStringLiteral(".voltage")).toDouble() - 0.56) < 1e-9,
              QStringLiteral("the text \"560 mV\" sets 0.56 V"));
    kit.check(field->property("text").toString() == QLatin1String("0.560 V"), QStringLiteral("the field shows \"0.560 V\""));
    rateAsPredicted(kit, settledRate(kit, view, kEdgeChannel, 5), fullRate, 0.56, QStringLiteral("by text"));
    kit.screenshot(QStringLiteral("03_voltages_set"));

    // The table, through the top bar's page switch.
    // The top bar makes its buttons anew when the view's icons change: look them up each time.
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton0")));
    kit.waitFor([&] { return kit.findItem(view, QStringLiteral("thresholdTable")) != nullptr; }, 10000,
                QStringLiteral("the page switch shows the table"));
    QTest::qWait(1000);
    kit.screenshot(QStringLiteral("04_table"));
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton0")));

    // The automatic tuning from its dialog, over every channel at once (nothing selected): the
    // board sweeps all of them through the noise, and the tuning waits for it however slowly
    // a loaded machine lets it answer.
    const int channelCount = kit.evalIn(view, QStringLiteral("thresholdModel.channels.length")).toInt();
    kit.click(kit.findItem(kit.window(), QStringLiteral("topBarButton1")));
    QQuickItem *dialogText = nullptr;
    kit.waitFor([&] { return (dialogText = kit.findItem(kit.window(), QStringLiteral("autoTuningText"))) != nullptr; },
                10000, QStringLiteral("the top bar's \"Auto-tune\" opens the dialog"));
    kit.check(dialogText && dialogText->property("text").toString()
                  == QStringLiteral("Apply Threshold AutoTuning to %1 channels. Continue?").arg(channelCount),
              QStringLiteral("with nothing selected the dialog counts every channel"));
    kit.screenshot(QStringLiteral("05_autotune_dialog"));
    kit.click(kit.findItem(kit.window(), QStringLiteral("autoTuningOk")));
    kit.waitUntil(QStringLiteral("dictView['%1'].item.thresholdModel.autoTuning").arg(kView), 5000,
                  QStringLiteral("OK starts the tuning"));
    QTest::qWait(500);
    kit.screenshot(QStringLiteral("06_autotune_running"));
    kit.waitFor([&] { return kit.findItem(kit.window(), QStringLiteral("autoTuningText")) == nullptr
                             && !kit.evalIn(view, QStringLiteral("thresholdModel.autoTuning")).toBool(); },
                kTuningTimeoutMs, QStringLiteral("the dialog closes itself when the tuning ends"));
    const double tuned = kit.evalIn(view, channelExpr(kEdgeChannel) + QStringLiteral(".voltage")).toDouble();
    // Every input has pulses of 0.5 ± 0.05 V over 10 mV of noise: each lands between them.
    for (int c = 1; c < channelCount; ++c) {
        const double volts = kit.evalIn(view, channelExpr(c) + QStringLiteral(".voltage")).toDouble();
        kit.check(volts > 0.03 && volts < 0.35,
                  QStringLiteral("channel %1 is tuned onto its plateau, between the noise and the pulses (%2 V)")
                      .arg(c).arg(volts));
    }
    const double tunedRate = settledRate(kit, view, kEdgeChannel, 5);
    kit.check(std::abs(tunedRate - fullRate) < 0.1 * fullRate,
              QStringLiteral("on the plateau channel %1 counts all its pulses again (%2 Hz)").arg(kEdgeChannel).arg(tunedRate, 0, 'f', 0));
    kit.check(kit.eval(QStringLiteral("(function() { var cards = messages.children[0].children;"
                                      " for (var i = 0; i < cards.length; ++i)"
                                      "   if (cards[i].title === 'Threshold AutoTuning') return false;"
                                      " return true; })()")).toBool(),
              QStringLiteral("no channel reports a failed tuning"));
    kit.screenshot(QStringLiteral("07_tuned"));

    // A threshold to find again after the restart.
    kit.typeInto(cardItem(kit, view, kStoredChannel, QStringLiteral("voltageField")), QStringLiteral("0.55 V"));
    QTest::qWait(400);
    QSettings state(kit.statePath(), QSettings::IniFormat);
    state.setValue(QStringLiteral("tuned"), tuned);
    state.sync();

    if (!kit.disconnectBoard())
        return false;
    return kit.passedSoFar();
}

bool runRestart(Kit &kit)
{
    QSettings state(kit.statePath(), QSettings::IniFormat);
    const double tuned = state.value(QStringLiteral("tuned"), -1).toDouble();
    if (!kit.check(tuned > 0, QStringLiteral("the first start left its state")))
        return false;
    if (!kit.waitForMainWindow() || !kit.connectBoard(QStringLiteral("08_restarted_home")))
        return false;
    QQuickItem *view = nullptr;
    if (!openView(kit, view))
        return false;
    const double stored = kit.evalIn(view, channelExpr(kStoredChannel) + QStringLiteral(".voltage")).toDouble();
    kit.check(std::abs(stored - 0.55) < 1e-9,
              QStringLiteral("channel %1's threshold is restored (%2 V)").arg(kStoredChannel).arg(stored));
    const double restoredTuned = kit.evalIn(view, channelExpr(kEdgeChannel) + QStringLiteral(".voltage")).toDouble();
    kit.check(std::abs(restoredTuned - tuned) < 1e-9,
              QStringLiteral("channel %1's tuned threshold is restored (%2 V)").arg(kEdgeChannel).arg(restoredTuned));
    QQuickItem *field = cardItem(kit, view, kStoredChannel, QStringLiteral("voltageField"));
    kit.check(field && field->property("text").toString() == QLatin1String("0.550 V"),
              QStringLiteral("the restored threshold is shown"));
    // The board itself has it: the 20 kHz channel counts only the pulses above 0.55 V.
    const double rate = settledRate(kit, view, kStoredChannel, 5);
    const double predicted = 20000 * passing(0.55);
    kit.check(std::abs(rate - predicted) < 0.04 * 20000 + 0.12 * predicted,
              QStringLiteral("the board counts channel %1 at the restored threshold (%2 Hz, predicted %3 Hz)")
                  .arg(kStoredChannel).arg(rate, 0, 'f', 0).arg(predicted, 0, 'f', 0));
    kit.screenshot(QStringLiteral("09_restored"));
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
