#include "e2edriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

namespace e2e {

namespace {
// Generous: the machine is a loaded two-core VM rendering with a software rasteriser.
constexpr int kWindowTimeoutMs = 60000;
constexpr int kConnectTimeoutMs = 60000;
constexpr int kRatesTimeoutMs = 30000;

QQuickWindow *findWindow(const QString &name)
{
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->objectName() == name && window->isVisible())
            return qobject_cast<QQuickWindow *>(window);
    }
    return nullptr;
}
} // namespace

Driver::Driver(Options options) : options_(std::move(options)) {}

void Driver::note(const QString &text) const
{
    // The program sends its standard output into its log file; progress goes to stderr.
    std::fprintf(stderr, "e2e[%s]: %s\n", qPrintable(options_.phase), qPrintable(text));
    std::fflush(stderr);
}

bool Driver::check(bool condition, const QString &what)
{
    note(QStringLiteral("%1 %2").arg(condition ? QStringLiteral("ok  ") : QStringLiteral("FAIL"), what));
    if (!condition)
        failures_ << what;
    return condition;
}

QString Driver::statePath() const
{
    return options_.artifactDir + QStringLiteral("/state.ini");
}

void Driver::run()
{
    QDir().mkpath(options_.artifactDir);
    bool passed = false;
    if (options_.phase == QLatin1String("first"))
        passed = runFirstStart();
    else if (options_.phase == QLatin1String("restart"))
        passed = runRestart();
    else
        check(false, QStringLiteral("known phase (\"first\" or \"restart\"), not \"%1\"").arg(options_.phase));

    keepLog();
    if (!passed || !failures_.isEmpty()) {
        screenshot(QStringLiteral("failure_%1").arg(options_.phase));
        note(QStringLiteral("failed: %1").arg(failures_.join(QStringLiteral("; "))));
        QCoreApplication::exit(1);
        return;
    }
    note(QStringLiteral("passed; closing the main window"));
    // Closing saves the layout, as a user's close does, and ends the event loop.
    window_->close();
}

bool Driver::waitForMainWindow()
{
    const bool shown = QTest::qWaitFor([this] {
        window_ = findWindow(QStringLiteral("mainWindow"));
        return window_ && window_->isExposed();
    }, kWindowTimeoutMs);
    if (!check(shown, QStringLiteral("the main window appears after the splash")))
        return false;
    return waitUntil(QStringLiteral("homeView.shownBoards.length >= 1"), kConnectTimeoutMs,
                     QStringLiteral("the home view lists the virtual board"));
}

// Walks the visual item tree: items made by repeaters and loaders are not found among the
// QObject children of the view that shows them.
QQuickItem *Driver::findItem(QObject *root, const QString &name) const
{
    QQuickItem *start = nullptr;
    if (auto *window = qobject_cast<QQuickWindow *>(root))
        start = window->contentItem();
    else
        start = qobject_cast<QQuickItem *>(root);
    if (!start)
        return nullptr;
    QList<QQuickItem *> pending{start};
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeFirst();
        if (!item->isVisible())
            continue;
        if (item->objectName() == name)
            return item;
        pending.append(item->childItems());
    }
    return nullptr;
}

QVariant Driver::evalIn(QObject *scope, const QString &expression)
{
    QQmlContext *context = qmlContext(scope);
    if (!context) {
        check(false, QStringLiteral("a QML context for \"%1\"").arg(expression));
        return {};
    }
    QQmlExpression qmlExpression(context, scope, expression);
    const QVariant value = qmlExpression.evaluate();
    if (qmlExpression.hasError()) {
        note(QStringLiteral("expression \"%1\": %2").arg(expression, qmlExpression.error().toString()));
        return {};
    }
    return value;
}

QVariant Driver::eval(const QString &expression)
{
    return evalIn(window_, expression);
}

bool Driver::waitUntil(const QString &expression, int timeoutMs, const QString &what)
{
    const bool reached = QTest::qWaitFor([&] { return eval(expression).toBool(); }, timeoutMs);
    return check(reached, what);
}

bool Driver::click(QQuickItem *item)
{
    if (!item || !item->window())
        return false;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(item->window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}

void Driver::screenshot(const QString &name)
{
    if (!window_)
        return;
    const QString path = options_.artifactDir + QLatin1Char('/') + name + QStringLiteral(".png");
    const QImage image = window_->grabWindow();
    if (image.isNull() || !image.save(path))
        note(QStringLiteral("could not save the screenshot %1").arg(path));
    else
        note(QStringLiteral("screenshot %1").arg(path));
}

void Driver::keepLog() const
{
    const QDir logs(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/logs"));
    const auto files = logs.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Time);
    if (files.isEmpty())
        return;
    const QString target = options_.artifactDir + QStringLiteral("/tessaron_%1.log").arg(options_.phase);
    QFile::remove(target);
    QFile::copy(logs.filePath(files.first()), target);
}

bool Driver::connectBoard()
{
    eval(QStringLiteral("setViewByUUID('Home')"));
    QQuickItem *pages = findItem(window_, QStringLiteral("boardPages"));
    if (!check(pages != nullptr, QStringLiteral("the home view shows board pages")))
        return false;
    // The pages are laid out once the swipe view has its size.
    const bool laidOut = QTest::qWaitFor([&] {
        return evalIn(pages, QStringLiteral("currentItem !== null && currentItem.x === 0 && currentItem.width > 0")).toBool();
    }, kWindowTimeoutMs);
    check(laidOut, QStringLiteral("the board pages are laid out"));
    auto *page = qvariant_cast<QQuickItem *>(pages->property("currentItem"));
    QQuickItem *button = findItem(page, QStringLiteral("connectButton"));
    if (!check(button && button->property("text").toString() == QLatin1String("CONNECT"),
               QStringLiteral("the board page offers CONNECT")))
        return false;
    QQuickItem *link = findItem(page, QStringLiteral("linkText"));
    check(link && link->property("text").toString() == QLatin1String("USB link"),
          QStringLiteral("the virtual board is listed on a USB link"));
    check(findItem(page, QStringLiteral("virtualNote")) != nullptr,
          QStringLiteral("the page says the board is virtual"));
    screenshot(options_.phase == QLatin1String("first") ? QStringLiteral("01_home") : QStringLiteral("05_restarted_home"));

    click(button);
    if (!waitUntil(QStringLiteral("tdc_backed.isConnected"), kConnectTimeoutMs, QStringLiteral("CONNECT connects the board")))
        return false;
    check(button->property("text").toString() == QLatin1String("DISCONNECT"),
          QStringLiteral("the button then reads DISCONNECT"));
    return waitUntil(QStringLiteral("dictView['stopwatch'] !== undefined && dictView['stopwatch'].item !== null"),
                     kConnectTimeoutMs, QStringLiteral("the counter view is added after connection"));
}

bool Driver::disconnectBoard()
{
    eval(QStringLiteral("setViewByUUID('Home')"));
    QQuickItem *pages = findItem(window_, QStringLiteral("boardPages"));
    auto *page = pages ? qvariant_cast<QQuickItem *>(pages->property("currentItem")) : nullptr;
    QQuickItem *button = findItem(page, QStringLiteral("connectButton"));
    if (!check(button && button->property("text").toString() == QLatin1String("DISCONNECT"),
               QStringLiteral("the board page offers DISCONNECT")))
        return false;
    QTest::qWait(300);
    click(button);
    if (!waitUntil(QStringLiteral("!tdc_backed.isConnected"), kConnectTimeoutMs, QStringLiteral("DISCONNECT disconnects")))
        return false;
    return waitUntil(QStringLiteral("frame.leftBar.moduleModel.count === 0 && frame.leftBar.viewsModel.count === 0"),
                     kConnectTimeoutMs, QStringLiteral("the module and sub views are gone after disconnection"));
}

// The cards of a counter view show rates that are not zero and change from sample to sample.
bool Driver::ratesMove(QObject *view, const QString &what)
{
    auto rates = [&] {
        QList<double> values;
        for (int channel = 0; channel < 64; ++channel) {
            QQuickItem *card = findItem(view, QStringLiteral("channelCard%1").arg(channel));
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
    if (!check(someRate, what + QStringLiteral(": a channel shows a rate above zero")))
        return false;
    const bool changed = QTest::qWaitFor([&] { return rates() != first; }, kRatesTimeoutMs);
    return check(changed, what + QStringLiteral(": the rates change over time"));
}

bool Driver::runFirstStart()
{
    if (!waitForMainWindow() || !connectBoard())
        return false;
    QObject *counterView = qvariant_cast<QObject *>(eval(QStringLiteral("dictView['stopwatch'].item")));
    check(eval(QStringLiteral("dictView['stopwatch'].item.viewSocket === dictView['stopwatch']"
                              " && dictView['stopwatch'].item.topWindowBar === dictView['stopwatch']"
                              " && dictView['stopwatch'].item.mainWindow === mainWindow")).toBool(),
          QStringLiteral("the counter view is handed its container, top bar and main window"));
    eval(QStringLiteral("setViewByUUID('stopwatch')"));
    if (!ratesMove(counterView, QStringLiteral("counter view")))
        return false;
    screenshot(QStringLiteral("02_counter_rates"));

    // Make a layout to find again: a sub view with the counter models, a display setting of
    // channel 1, and a window size.
    const QString uuid = eval(QStringLiteral("dictView['stopwatch'].tdcModelData[0].modelUUID")).toString();
    check(uuid.startsWith(QLatin1Char('{')), QStringLiteral("the counter model has an identifier"));
    const QString subView = eval(QStringLiteral(
        "registerNewView('MainWindow', '', dictView['stopwatch'].tdcModelData, 'qrc:/plugin/fennick/CounterView.qml',"
        " 'Rates', 'stopwatch').uuid")).toString();
    check(!subView.isEmpty(), QStringLiteral("a sub view with the counter models is added"));
    QQuickItem *grid = findItem(counterView, QStringLiteral("channelGrid"));
    if (!check(grid != nullptr, QStringLiteral("the counter view has a channel grid")))
        return false;
    evalIn(grid, QStringLiteral("setChannelSetting(1, 'maxVal', 6)"));
    evalIn(grid, QStringLiteral("setChannelSetting(1, 'isLog', false)"));
    window_->resize(1100, 760);
    eval(QStringLiteral("setViewByUUID('%1')").arg(subView));
    QQuickItem *subItem = qvariant_cast<QQuickItem *>(eval(QStringLiteral("dictView['%1'].item").arg(subView)));
    if (!ratesMove(subItem, QStringLiteral("sub view")))
        return false;
    screenshot(QStringLiteral("03_layout"));

    QSettings state(statePath(), QSettings::IniFormat);
    state.setValue(QStringLiteral("modelUUID"), uuid);
    state.setValue(QStringLiteral("subViewUUID"), subView);
    state.sync();

    if (!disconnectBoard())
        return false;
    screenshot(QStringLiteral("04_disconnected"));
    return true;
}

bool Driver::runRestart()
{
    QSettings state(statePath(), QSettings::IniFormat);
    const QString uuid = state.value(QStringLiteral("modelUUID")).toString();
    const QString subView = state.value(QStringLiteral("subViewUUID")).toString();
    if (!check(!uuid.isEmpty() && !subView.isEmpty(), QStringLiteral("the first start left its state")))
        return false;
    if (!waitForMainWindow())
        return false;
    check(window_->width() == 1100 && window_->height() == 760,
          QStringLiteral("the window size is restored (%1 x %2)").arg(window_->width()).arg(window_->height()));
    if (!connectBoard())
        return false;

    waitUntil(QStringLiteral("frame.leftBar.viewsModel.count === 1 && frame.leftBar.viewsModel.get(0).viewTitle === 'Rates'"),
              kConnectTimeoutMs, QStringLiteral("the sub view \"Rates\" is restored"));
    check(eval(QStringLiteral("dictView['stopwatch'].tdcModelData[0].modelUUID")).toString() == uuid,
          QStringLiteral("the counter model's identifier is restored"));
    check(eval(QStringLiteral("dictView['%1'] !== undefined && dictView['%1'].tdcModelData[0].modelUUID").arg(subView)).toString() == uuid,
          QStringLiteral("the restored sub view finds its model again"));
    QObject *counterView = qvariant_cast<QObject *>(eval(QStringLiteral("dictView['stopwatch'].item")));
    QQuickItem *grid = findItem(counterView, QStringLiteral("channelGrid"));
    check(grid && evalIn(grid, QStringLiteral("channelSetting(1, 'maxVal', 9)")).toInt() == 6
               && !evalIn(grid, QStringLiteral("channelSetting(1, 'isLog', true)")).toBool(),
          QStringLiteral("the counter view's channel display settings are restored"));

    eval(QStringLiteral("setViewByUUID('%1')").arg(subView));
    QQuickItem *subItem = qvariant_cast<QQuickItem *>(eval(QStringLiteral("dictView['%1'].item").arg(subView)));
    if (!ratesMove(subItem, QStringLiteral("restored sub view")))
        return false;
    screenshot(QStringLiteral("06_restored"));

    eval(QStringLiteral("versionDialog.open()"));
    const bool versionShown = QTest::qWaitFor([&] { return eval(QStringLiteral("versionDialog.opened")).toBool(); },
                                              kWindowTimeoutMs);
    check(versionShown && eval(QStringLiteral("versionDialog.moduleRows.length > 0 && versionDialog.moduleRows[0].name"))
                                  .toString() == QLatin1String("Counter"),
          QStringLiteral("the version dialog lists the counter plugin"));
    check(eval(QStringLiteral("versionDialog.moduleRows[0].backend")).toString().startsWith(QLatin1String("Backend: v")),
          QStringLiteral("the version dialog shows the connected module's version"));
    screenshot(QStringLiteral("07_version_dialog"));
    eval(QStringLiteral("versionDialog.close()"));
    if (!disconnectBoard())
        return false;
    return failures_.isEmpty();
}

} // namespace e2e
